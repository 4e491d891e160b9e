#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

namespace Emulsa::Test {

// One clip of a project file as the application writes it; only the values
// the test varies are parameters. Grain (unless asked for) and the stock are
// off so that the frame index stays readable, and the colour temperature
// tells the grades apart. `effects`: elements written after Original (the
// film effect amounts).
QByteArray projectItem(int position, const QString& path, int in, int out, int kelvin,
    const QByteArray& profile = "825250895", int grain = 0, const QString& effects = QString());

// A project file holding `count` items, of the given file version.
QByteArray project(const QByteArray& items, int count, const QByteArray& version = "1.0");

// The set-up of the tests that run the build's command-line renderer on
// project files: the program, found once, and a run of it.
class RenderProjectTest : public QObject
{
    Q_OBJECT

protected:
    QString m_program;

    // The renderer's exit code, its output in *output.
    int run(const QStringList& arguments, QString* output);

    // The two-clip project the tests render, written as <folder>/job.empf:
    // the silent test clip trimmed to 3 .. 13 at 2500 K, then the clip with
    // planar sound trimmed to 5 .. 20 at 11000 K, with the grain amounts
    // given. The file is empty when a clip or the file could not be made.
    struct TwoClipProject
    {
        QString first;
        QString second;
        QString file;
    };
    static TwoClipProject writeTwoClipProject(const QString& folder, int firstGrain = 0, int secondGrain = 0);

private slots:
    void initTestCase();
};

} // namespace Emulsa::Test
