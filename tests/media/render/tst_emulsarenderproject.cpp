#include "common/RendererRun.h"
#include "common/TestEnvironment.h"

#include "common/RenderProbe.h"
#include "common/TestMedia.h"
#include "core/ApplicationPaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QUuid>

#include <QtTest>
#include <algorithm>

using Emulsa::Test::RenderProbe;
using Emulsa::Test::TestMedia;

namespace {

// One clip of a project file as the application writes it; only the values
// the test varies are parameters. Grain and the stock are off so that the
// frame index stays readable, and the colour temperature tells the grades
// apart.
// `effects`: elements written after Original (the film effect amounts).
QByteArray projectItem(int position, const QString& path, int in, int out, int kelvin,
    const QByteArray& profile = "825250895", const QString& effects = QString())
{
    const QByteArray id = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Md5).toHex();
    return QStringLiteral(R"(        <SequenceItem position="%1">
            <AssetUUID>%2</AssetUUID>
            <AssetPath>%3</AssetPath>
            <SequenceUUID>%4</SequenceUUID>
            <StartFrame>%5</StartFrame>
            <EndFrame>%6</EndFrame>
            <Current>0</Current>
            <PresetUUID></PresetUUID>
            <ClipSettings>
                <StockName>5207</StockName>
                <ProfileID>%8</ProfileID>
                <CameraModel>Other Generic</CameraModel>
                <CameraID>GEN0</CameraID>
                <StockAmount>0</StockAmount>
                <CurveAmount>0</CurveAmount>
                <GrainAmount>0</GrainAmount>
                <GrainScale>35 mm Full Frame</GrainScale>
                <Exposure>0.000000</Exposure>
                <Kelvin>%7.000000</Kelvin>
                <ColorWheels>
                    <Low><Radius>0.000000</Radius><Theta>0.000000</Theta></Low>
                    <Mid><Radius>0.000000</Radius><Theta>0.000000</Theta></Mid>
                    <High><Radius>0.000000</Radius><Theta>0.000000</Theta></High>
                </ColorWheels>
                <Lift>1.000000</Lift>
                <Gamma>1.000000</Gamma>
                <Gain>1.000000</Gain>
                <Saturation>1.000000</Saturation>
                <Histogram><Black>0.000000</Black><Mid>0.500000</Mid><White>1.000000</White></Histogram>
                <Original>0</Original>%9
            </ClipSettings>
        </SequenceItem>
)")
        .arg(position)
        .arg(QString::fromLatin1(id), path.toHtmlEscaped(), QUuid::createUuid().toString())
        .arg(in)
        .arg(out)
        .arg(kelvin)
        .arg(QString::fromLatin1(profile))
        .arg(effects)
        .toUtf8();
}

QByteArray project(const QByteArray& items, int count, const QByteArray& version = "1.0")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Project>\n    <General>\n"
           "        <FileVersion>"
        + version
        + "</FileVersion>\n        <StandaloneVersion>1.02.30</StandaloneVersion>\n"
          "        <HostOS>Linux</HostOS>\n    </General>\n"
          "    <SequenceItems timeline=\"0\" total-items=\""
        + QByteArray::number(count) + "\">\n" + items + "    </SequenceItems>\n</Project>\n";
}

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
class TestEmulsaRenderProject : public QObject
{
    Q_OBJECT

private:
    QString m_program;

    int run(const QStringList& arguments, QString* output)
    {
        const Emulsa::Test::RendererRun result = Emulsa::Test::runRenderer(m_program, arguments);
        *output = result.output;
        return result.exitCode;
    }

    static bool writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

private slots:
    void initTestCase()
    {
        m_program = qEnvironmentVariable("EMULSA_TEST_BINARY_DIR") + QStringLiteral("/bin/emulsa-render");
        QVERIFY2(QFileInfo(m_program).isExecutable(), qPrintable(m_program));
    }

    void rendersEveryClipWithItsOwnGradeAndTrim()
    {
        const QString out = Emulsa::Test::makeTempFolder(QStringLiteral("project-render"));
        const QString first = TestMedia::instance().path(TestMedia::NoAudio);
        const QString second = TestMedia::instance().path(TestMedia::PlanarFloatAudio);
        QVERIFY(!first.isEmpty() && !second.isEmpty());
        const QString file = out + QStringLiteral("/job.empf");
        QVERIFY(writeFile(file, project(projectItem(0, first, 3, 13, 2500) + projectItem(1, second, 5, 20, 11000), 2)));

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
            QVERIFY(writeFile(file, project(projectItem(0, clip, r.in, 12, 6500, "825250895", r.effects), 1, "1.1")));
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
        QVERIFY(writeFile(
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
        QVERIFY(writeFile(file, project(projectItem(0, good, 0, 3, 5600) + damaged, 2)));
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
        QVERIFY(writeFile(file, project(projectItem(0, clip, 0, 4, 5600) + damaged, 2)));
        QCOMPARE(run({ QStringLiteral("--project"), file, QStringLiteral("-f"), QStringLiteral("preview"),
                         QStringLiteral("-s"), QStringLiteral("64x36"), QStringLiteral("-o"), out },
                     &output),
            0);
        QVERIFY2(output.contains(QLatin1String("1 clip(s) could not be read")), qPrintable(output));
        QVERIFY2(output.contains(QLatin1String("1 rendered, 0 skipped, 0 failed")), qPrintable(output));

        QCOMPARE(run({ QStringLiteral("--project"), file, clip }, &output), 2);
    }
};

EMULSA_TEST_MAIN(TestEmulsaRenderProject)
#include "tst_emulsarenderproject.moc"
