#include "common/RendererRun.h"
#include "common/TestEnvironment.h"

#include "RenderProjectFiles.h"
#include "common/RenderProbe.h"
#include "common/TestMedia.h"
#include "core/ApplicationPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <QtTest>
#include <algorithm>

using namespace Emulsa::Test;

namespace {

struct Picture
{
    int index = -1;
    // Mean red minus blue over the bright pixels: the colour cast of white.
    double redMinusBlue = 0.0;
};

// The frame index and the colour cast of every picture of a movie.
QList<Picture> pictures(const QString& movie, int width, int height)
{
    const QByteArray bytes = RenderProbe::decode(movie, QStringLiteral("rgb24"));
    const int frameBytes = width * height * 3;
    QList<Picture> result;
    for (int offset = 0; offset + frameBytes <= bytes.size(); offset += frameBytes) {
        const auto* rgb = reinterpret_cast<const uchar*>(bytes.constData()) + offset;
        const QImage image(rgb, width, height, width * 3, QImage::Format_RGB888);
        Picture picture;
        picture.index = TestMedia::frameIndexFromImage(image);
        qint64 sum = 0;
        int count = 0;
        for (int i = 0; i < width * height; ++i) {
            const uchar* p = rgb + 3 * i;
            if (std::max({ p[0], p[1], p[2] }) >= 250) {
                sum += int(p[0]) - int(p[2]);
                ++count;
            }
        }
        picture.redMinusBlue = count > 0 ? double(sum) / count : 0.0;
        result << picture;
    }
    return result;
}

} // namespace

// emulsa-render --project: every clip of a saved project with its own grade
// and trim.
class TestEmulsaRenderProject : public RenderProjectTest
{
    Q_OBJECT

private slots:
    void rendersEveryClipWithItsOwnGradeAndTrim()
    {
        const QString out = Emulsa::Test::makeTempFolder(QStringLiteral("project-render"));
        const auto [first, second, file] = writeTwoClipProject(out);
        QVERIFY(!file.isEmpty());

        QString output;
        const int status = run({ QStringLiteral("--project"), file, QStringLiteral("-f"), QStringLiteral("preview"),
                                   QStringLiteral("-s"), QStringLiteral("320x180"), QStringLiteral("-o"), out },
            &output);
        QVERIFY2(status == 0, qPrintable(output));
        QVERIFY2(output.contains(QLatin1String("2 rendered, 0 skipped, 0 failed")), qPrintable(output));
        // Sequence order: the first clip is reported first.
        const QString firstName = QFileInfo(first).completeBaseName();
        const QString secondName = QFileInfo(second).completeBaseName();
        QVERIFY(output.indexOf(firstName) < output.indexOf(secondName));

        const struct
        {
            QString name;
            int in;
            int out;
        } expected[] = { { firstName, 3, 13 }, { secondName, 5, 20 } };
        QList<Picture> rendered[2];
        for (int i = 0; i < 2; ++i) {
            const QString movie = out + QLatin1Char('/') + expected[i].name + QStringLiteral(".mov");
            const RenderProbe::Movie probe = RenderProbe::probe(movie);
            QVERIFY2(probe.ok, qPrintable(movie));
            const int frames = expected[i].out - expected[i].in;
            QCOMPARE(probe.video.frames, frames);
            QCOMPARE(probe.video.width, 320);
            QVERIFY2(
                qAbs(probe.video.duration - frames / 25.0) < 0.021, qPrintable(QString::number(probe.video.duration)));
            rendered[i] = pictures(movie, 320, 180);
            QCOMPARE(rendered[i].size(), frames);
            QCOMPARE(rendered[i].first().index, expected[i].in);
            QCOMPARE(rendered[i].last().index, expected[i].out - 1);
        }
        // Each clip carries its own colour temperature: white turns cool at
        // 2500 K and warm at 11000 K.
        const double firstCast = rendered[0].first().redMinusBlue;
        const double secondCast = rendered[1].first().redMinusBlue;
        const QByteArray casts = QByteArray::number(firstCast) + " and " + QByteArray::number(secondCast);
        QVERIFY2(firstCast < -30.0 && secondCast > 30.0, casts.constData());
    }

    // The gate weave and flicker of a project's grade reach the render: the
    // movie differs from the one without them, two renders of it are
    // identical byte for byte, and so are the frames a render trimmed later
    // in the clip shares with it (each frame's motion is its own).
    void filmMotionRendersTheSameEveryTime()
    {
        const QString clip = TestMedia::instance().path(TestMedia::NoAudio);
        QVERIFY(!clip.isEmpty());
        const QString moving = QStringLiteral("\n                <GateWeaveAmount>100</GateWeaveAmount>"
                                              "\n                <FlickerAmount>100</FlickerAmount>");
        const struct
        {
            const char* folder;
            int in;
            QString effects;
        } renders[] = { { "motion-off", 2, QString() }, { "motion-a", 2, moving }, { "motion-b", 2, moving },
            { "motion-later", 5, moving } };
        std::vector<QByteArray> movies;
        for (const auto& r : renders) {
            const QString out = Emulsa::Test::makeTempFolder(QLatin1String(r.folder));
            const QString file = out + QStringLiteral("/job.empf");
            QVERIFY(writeFileBytes(
                file, project(projectItem(0, clip, r.in, 12, 6500, "825250895", 0, r.effects), 1, "1.1")));
            QString output;
            // Each frame coded on its own, so that a frame decodes the same
            // wherever the movie starts.
            const int status = run({ QStringLiteral("--project"), file, QStringLiteral("-f"), QStringLiteral("prores"),
                                       QStringLiteral("-s"), QStringLiteral("320x180"), QStringLiteral("-o"), out },
                &output);
            QVERIFY2(status == 0 && output.contains(QLatin1String("1 rendered")), qPrintable(output));
            const QString movie = out + QLatin1Char('/') + QFileInfo(clip).completeBaseName() + QStringLiteral(".mov");
            movies.push_back(RenderProbe::decode(movie, QStringLiteral("rgb24")));
            QCOMPARE(movies.back().size(), (12 - r.in) * 320 * 180 * 3);
        }
        QVERIFY(movies[1] != movies[0]);
        QVERIFY(movies[1] == movies[2]);
        // Frames 5 .. 11 of the first render are those of the later one.
        const int frameBytes = 320 * 180 * 3;
        QVERIFY(movies[1].mid(3 * frameBytes) == movies[3]);
    }

    // A clip graded with a catalogue profile that is installed nowhere gets
    // the profile made on this machine before it renders; the next clip with
    // it uses the tables made.
    void missingProfileIsMadeForTheProject()
    {
        const QString out = Emulsa::Test::makeTempFolder(QStringLiteral("project-make"));
        const QString clip = TestMedia::instance().path(TestMedia::NoAudio);
        QVERIFY(!clip.isEmpty());
        const QString second = out + QStringLiteral("/again.mp4");
        QVERIFY(QFile::copy(clip, second));
        // "DJ01" as the project stores it: the four characters, first in the
        // lowest byte.
        const QByteArray dji
            = QByteArray::number(quint32('D') | quint32('J') << 8 | quint32('0') << 16 | quint32('1') << 24);
        const QString file = out + QStringLiteral("/job.empf");
        QVERIFY(writeFileBytes(
            file, project(projectItem(0, clip, 0, 3, 6500, dji) + projectItem(1, second, 0, 3, 6500, dji), 2)));
        QString output;
        const int status = run({ QStringLiteral("--project"), file, QStringLiteral("-f"), QStringLiteral("preview"),
                                   QStringLiteral("-s"), QStringLiteral("64x36"), QStringLiteral("-o"), out },
            &output);
        QVERIFY2(status == 0, qPrintable(output));
        QVERIFY2(output.contains(QLatin1String("2 rendered, 0 skipped, 0 failed")), qPrintable(output));
        QCOMPARE(output.count(QLatin1String("making the camera profile DJ01")), 1);
        QVERIFY(QFileInfo(Emulsa::ApplicationPaths::instance()->userProfilesPath() + QStringLiteral("DJDLGT")).isDir());
    }

    // A clip whose grade could not be read whole is not rendered: the
    // message names the project, the clip and the field, the other clips
    // render, and the exit status is 1. --accept-defaults renders it with
    // the defaults for what was lost.
    void incompleteGradeRefusesTheClip_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("field");
        QTest::newRow("kelvin") << QByteArray("<Kelvin>5600.000000</Kelvin>")
                                << QByteArray("<Kelvin>x5600.000000</Kelvin>") << "Kelvin";
        QTest::newRow("misspelled element")
            << QByteArray("<Gamma>1.000000</Gamma>") << QByteArray("<Gama>1.000000</Gama>") << "Gamma";
        QTest::newRow("histogram level") << QByteArray("<White>1.000000</White>") << QByteArray("<White>one</White>")
                                         << "White";
        // An autosave of a project that lost the field names it after the
        // grade it wrote with the default there.
        QTest::newRow("named by an autosave")
            << QByteArray("</ClipSettings>")
            << QByteArray("</ClipSettings><UnreadGradeFields>ColorWheels/Mid/Theta</UnreadGradeFields>")
            << "ColorWheels/Mid/Theta";
    }
    void incompleteGradeRefusesTheClip()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, field);
        const QString out = Emulsa::Test::makeTempFolder(QStringLiteral("project-incomplete"));
        const QString good = TestMedia::instance().path(TestMedia::NoAudio);
        const QString damagedClip = TestMedia::instance().path(TestMedia::PlanarFloatAudio);
        QByteArray damaged = projectItem(1, damagedClip, 0, 3, 5600);
        QVERIFY(damaged.contains(from));
        damaged.replace(from, to);
        const QString file = out + QStringLiteral("/job.empf");
        QVERIFY(writeFileBytes(file, project(projectItem(0, good, 0, 3, 5600) + damaged, 2)));
        const QStringList arguments { QStringLiteral("--project"), file, QStringLiteral("-f"),
            QStringLiteral("preview"), QStringLiteral("-s"), QStringLiteral("64x36"), QStringLiteral("-o"), out };
        const QString goodMovie = out + QLatin1Char('/') + QFileInfo(good).completeBaseName() + QStringLiteral(".mov");
        const QString damagedMovie
            = out + QLatin1Char('/') + QFileInfo(damagedClip).completeBaseName() + QStringLiteral(".mov");

        QString output;
        QCOMPARE(run(arguments, &output), 1);
        for (const QString& named : { file, QFileInfo(damagedClip).fileName(), field })
            QVERIFY2(output.contains(named), qPrintable(named + QStringLiteral(" in: ") + output));
        QVERIFY2(output.contains(QLatin1String("1 rendered, 0 skipped, 1 failed")), qPrintable(output));
        QVERIFY(QFileInfo::exists(goodMovie));
        QVERIFY(!QFileInfo::exists(damagedMovie));

        QCOMPARE(run(arguments + QStringList { QStringLiteral("--accept-defaults"), QStringLiteral("--overwrite") },
                     &output),
            0);
        QVERIFY2(output.contains(QLatin1String("2 rendered, 0 skipped, 0 failed")), qPrintable(output));
        QVERIFY(QFileInfo::exists(damagedMovie));
    }

    void damagedOrMissingProjects()
    {
        const QString out = Emulsa::Test::makeTempFolder(QStringLiteral("project-bad"));
        QString output;
        QCOMPARE(run({ QStringLiteral("--project"), out + QStringLiteral("/none.empf") }, &output), 1);
        QVERIFY2(output.contains(QLatin1String("can't open the project")), qPrintable(output));

        // One damaged clip of two: the other renders, the loss is reported.
        const QString clip = TestMedia::instance().path(TestMedia::NoAudio);
        QByteArray damaged = projectItem(1, clip, 0, 5, 5600);
        damaged.replace("<StartFrame>0</StartFrame>", "<StartFrame>x</StartFrame>");
        const QString file = out + QStringLiteral("/damaged.empf");
        QVERIFY(writeFileBytes(file, project(projectItem(0, clip, 0, 4, 5600) + damaged, 2)));
        QCOMPARE(run({ QStringLiteral("--project"), file, QStringLiteral("-f"), QStringLiteral("preview"),
                         QStringLiteral("-s"), QStringLiteral("64x36"), QStringLiteral("-o"), out },
                     &output),
            0);
        QVERIFY2(output.contains(QLatin1String("1 clip(s) could not be read")), qPrintable(output));
        QVERIFY2(output.contains(QLatin1String("1 rendered, 0 skipped, 0 failed")), qPrintable(output));

        QCOMPARE(run({ QStringLiteral("--project"), file, clip }, &output), 2);
    }

    void helpStatesTheExitStatus()
    {
        QString output;
        QCOMPARE(run({ QStringLiteral("--help") }, &output), 0);
        for (const char* line : { "0  Everything asked for is done", "1  Something failed", "2  A usage error",
                 "--chunk K/N", "--chunk auto", "--list-chunks N" })
            QVERIFY2(output.contains(QLatin1String(line)), line);
    }
};

EMULSA_TEST_MAIN(TestEmulsaRenderProject)
#include "tst_emulsarenderproject.moc"
