#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace Emulsa::Test {

// What a run of the command-line renderer ended with.
struct RendererRun
{
    // -1 when it did not start or did not end within ten minutes, -2 when it
    // crashed.
    int exitCode = -1;
    // Its standard output and error together.
    QString output;
};

// The command-line renderer of the build under test (EMULSA_TEST_BINARY_DIR);
// false when it is not there to run.
bool findBuiltRenderer(QString* program);

// Runs the command-line renderer `program` as a user would: without the test
// run's PROGRAMDATA and QT_QPA_PLATFORM (it inherits the test's isolated user
// folders), and without DISPLAY unless `withDisplay`.
RendererRun runRenderer(const QString& program, const QStringList& arguments, bool withDisplay = true);

// The environment runRenderer gives the renderer, to adjust for a run of
// the overload below.
QProcessEnvironment rendererEnvironment(bool withDisplay);
RendererRun runRenderer(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment);

// The exit code of a runRenderer run (with a display), its output in *output.
int rendererExitCode(const QString& program, const QStringList& arguments, QString* output);

} // namespace Emulsa::Test
