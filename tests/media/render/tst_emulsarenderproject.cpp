#include "common/RendererRun.h"
#include "common/TestEnvironment.h"

#include "common/RenderProbe.h"
#include "common/TestMedia.h"
#include "core/ApplicationPaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QUuid>

#include <QtTest>
#include <algorithm>

using Emulsa::Test::RenderProbe;
using Emulsa::Test::TestMedia;

namespace {

// One clip of a project file as the application writes it; only the values
// the test varies are parameters. Grain (unless asked for) and the stock are
// off so that the frame index stays readable, and the colour temperature
// tells the grades apart. `effects`: elements written after Original (the
// film effect amounts).
QByteArray projectItem(int position, const QString& path, int in, int out, int kelvin,
    const QByteArray& profile = "825250895", int grain = 0, const QString& effects = QString())
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
                <GrainAmount>%9</GrainAmount>
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
                <Original>0</Original>%10
            </ClipSettings>
        </SequenceItem>
)")
        .arg(position)
        .arg(QString::fromLatin1(id), path.toHtmlEscaped(), QUuid::createUuid().toString())
        .arg(in)
        .arg(out)
        .arg(kelvin)
        .arg(QString::fromLatin1(profile))
        .arg(grain)
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

// Every file under `folder`, hidden ones included, by path relative to it:
// a digest of its bytes.
QMap<QString, QByteArray> folderContents(const QString& folder)
{
    QMap<QString, QByteArray> contents;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
        contents.insert(QDir(folder).relativeFilePath(path), QCryptographicHash::hash(bytes, QCryptographicHash::Sha1));
    }
    return contents;
}

// The image names of frames first .. end - 1 of an image folder <base>.
QStringList imageNames(const QString& base, int first, int end)
{
    QStringList names;
    for (int i = first; i < end; ++i)
        names << QStringLiteral("%1/%1.%2.tiff").arg(base).arg(i, 6, 10, QLatin1Char('0'));
    return names;
}

// The images a run reports written: the sum of its "(N frames" counts.
int framesReported(const QString& output)
{
    static const QRegularExpression written(QStringLiteral("\\((\\d+) frames"));
    int frames = 0;
    auto it = written.globalMatch(output);
    while (it.hasNext())
        frames += it.next().captured(1).toInt();
    return frames;
}

// Where the sound's bursts begin (in stereo sample frames): a sample of
// the left channel above a quarter of full scale after at least 10 ms of
// near silence.
QList<int> burstOnsets(const QByteArray& pcm)
{
    const auto* samples = reinterpret_cast<const qint16*>(pcm.constData());
    const int frames = int(pcm.size() / 4);
    QList<int> onsets;
    int quiet = 0;
    for (int i = 0; i < frames; ++i) {
        const int level = std::abs(int(samples[2 * i]));
        if (level > 8192 && quiet >= 480)
            onsets << i;
        quiet = level < 1000 ? quiet + 1 : 0;
    }
    return onsets;
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
            QVERIFY(
                writeFile(file, project(projectItem(0, clip, r.in, 12, 6500, "825250895", 0, r.effects), 1, "1.1")));
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

    // The two-clip project, grain on, as TIFF in one run, and in 1, 3 and 7
    // parts run one after the other into one folder: the same images byte for byte,
    // each frame written once, nothing else left. A part run again keeps
    // its images, or writes them again with --overwrite.
    void chunksRenderTheImagesOfOneRun()
    {
        const QString out = Emulsa::Test::makeTempFolder(QStringLiteral("project-chunks"));
        const QString first = TestMedia::instance().path(TestMedia::NoAudio);
        const QString second = TestMedia::instance().path(TestMedia::PlanarFloatAudio);
        QVERIFY(!first.isEmpty() && !second.isEmpty());
        const QString file = out + QStringLiteral("/job.empf");
        QVERIFY(writeFile(file,
            project(projectItem(0, first, 3, 13, 2500, "825250895", 100)
                    + projectItem(1, second, 5, 20, 11000, "825250895", 150),
                2)));
        const QStringList common { QStringLiteral("--project"), file, QStringLiteral("-f"), QStringLiteral("tiff"),
            QStringLiteral("-s"), QStringLiteral("64x36"), QStringLiteral("-q") };
        QString output;
        QVERIFY2(run(common + QStringList { QStringLiteral("-o"), out + QStringLiteral("/one") }, &output) == 0,
            qPrintable(output));
        const QMap<QString, QByteArray> reference = folderContents(out + QStringLiteral("/one"));
        QStringList expected = imageNames(QFileInfo(first).completeBaseName(), 3, 13)
            + imageNames(QFileInfo(second).completeBaseName(), 5, 20);
        expected.sort();
        QCOMPARE(reference.keys(), expected);

        for (int count : { 1, 3, 7 }) {
            const QString folder = out + QStringLiteral("/parts%1").arg(count);
            int written = 0;
            for (int k = 0; k < count; ++k) {
                const QString chunk = QStringLiteral("%1/%2").arg(k).arg(count);
                const int status = run(
                    common + QStringList { QStringLiteral("--chunk"), chunk, QStringLiteral("-o"), folder }, &output);
                QVERIFY2(status == 0, qPrintable(chunk + QLatin1Char(' ') + output));
                QVERIFY2(!output.contains(QLatin1String("kept")), qPrintable(output));
                written += framesReported(output);
            }
            QCOMPARE(written, 25);
            QCOMPARE(folderContents(folder), reference);
        }

        const QString folder = out + QStringLiteral("/parts3");
        const QStringList middle { QStringLiteral("--chunk"), QStringLiteral("1/3"), QStringLiteral("-o"), folder };
        QVERIFY2(run(common + middle, &output) == 0, qPrintable(output));
        QVERIFY2(output.contains(QLatin1String("skipped, all")), qPrintable(output));
        QCOMPARE(framesReported(output), 0);
        QVERIFY2(
            run(common + middle + QStringList { QStringLiteral("--overwrite") }, &output) == 0, qPrintable(output));
        QCOMPARE(framesReported(output), 8);
        QCOMPARE(folderContents(folder), reference);
    }

    // A part killed while it writes leaves no image that is not whole under
    // an image's name; run again, it renders what is missing, removes the
    // working files left, and the images are those of a clean run.
    void killedChunkFinishesWhenRunAgain()
    {
        const QString out = Emulsa::Test::makeTempFolder(QStringLiteral("project-killed"));
        const QString clip = TestMedia::instance().path(TestMedia::H264Limited1080p25);
        QVERIFY(!clip.isEmpty());
        const QString base = QFileInfo(clip).completeBaseName();
        const QString file = out + QStringLiteral("/job.empf");
        QVERIFY(writeFile(file, project(projectItem(0, clip, 0, 50, 4000, "825250895", 100), 1)));
        const QStringList common { QStringLiteral("--project"), file, QStringLiteral("-f"), QStringLiteral("tiff"),
            QStringLiteral("-s"), QStringLiteral("960x540"), QStringLiteral("--tiff-compression"),
            QStringLiteral("deflate"), QStringLiteral("-q") };
        QString output;
        QVERIFY2(run(common + QStringList { QStringLiteral("-o"), out + QStringLiteral("/clean") }, &output) == 0,
            qPrintable(output));
        const QMap<QString, QByteArray> clean = folderContents(out + QStringLiteral("/clean"));
        QCOMPARE(clean.size(), 50);

        const QString target = out + QStringLiteral("/killed");
        const QStringList arguments
            = common + QStringList { QStringLiteral("--chunk"), QStringLiteral("0/1"), QStringLiteral("-o"), target };
        const QString images = target + QLatin1Char('/') + base;
        const auto finished
            = [&] { return QDir(images).entryList({ base + QStringLiteral(".*.tiff") }, QDir::Files).size(); };
        QProcess process;
        process.setProcessEnvironment(Emulsa::Test::rendererEnvironment(true));
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(m_program, arguments);
        QVERIFY(process.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(finished() >= 2 || process.state() == QProcess::NotRunning, 300000);
        process.kill();
        QVERIFY(process.waitForFinished(30000));
        const QMap<QString, QByteArray> left = folderContents(target);
        const int whole = finished();
        QVERIFY2(whole >= 2 && whole < 50, qPrintable(QString::fromLocal8Bit(process.readAll())));
        for (auto it = left.constBegin(); it != left.constEnd(); ++it) {
            if (!QFileInfo(it.key()).fileName().startsWith(QLatin1Char('.')))
                QVERIFY2(clean.value(it.key()) == it.value(), qPrintable(it.key()));
        }
        // A working file of an earlier stopped run, whatever this one left.
        QVERIFY(writeFile(images + QStringLiteral("/.%1.000049.tiff.abc123.part").arg(base), "half an image"));

        QVERIFY2(run(arguments, &output) == 0, qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("%1 kept").arg(whole)), qPrintable(output));
        QCOMPARE(framesReported(output), 50 - whole);
        QCOMPARE(folderContents(target), clean);
    }

    // Two items of one source write apart, the second as <name>_2, in one
    // run and in parts.
    void sameSourceTwiceWritesApart()
    {
        const QString out = Emulsa::Test::makeTempFolder(QStringLiteral("project-twice"));
        const QString clip = TestMedia::instance().path(TestMedia::NoAudio);
        QVERIFY(!clip.isEmpty());
        const QString base = QFileInfo(clip).completeBaseName();
        const QString file = out + QStringLiteral("/job.empf");
        QVERIFY(writeFile(file, project(projectItem(0, clip, 0, 4, 5600) + projectItem(1, clip, 10, 14, 5600), 2)));
        QStringList expected = imageNames(base, 0, 4) + imageNames(base + QStringLiteral("_2"), 10, 14);
        expected.sort();
        for (const QStringList& extra :
            { QStringList(), QStringList { QStringLiteral("--chunk"), QStringLiteral("0/1") } }) {
            const QString folder = out + (extra.isEmpty() ? QStringLiteral("/one") : QStringLiteral("/part"));
            QString output;
            const int status = run(
                QStringList { QStringLiteral("--project"), file, QStringLiteral("-f"), QStringLiteral("tiff"),
                    QStringLiteral("-s"), QStringLiteral("64x36"), QStringLiteral("-q"), QStringLiteral("-o"), folder }
                    + extra,
                &output);
            QVERIFY2(status == 0, qPrintable(output));
            QCOMPARE(folderContents(folder).keys(), expected);
        }
        QString output;
        QCOMPARE(run({ QStringLiteral("--project"), file, QStringLiteral("-f"), QStringLiteral("hq"),
                         QStringLiteral("--list-chunks"), QStringLiteral("2") },
                     &output),
            0);
        QVERIFY2(output.contains(QStringLiteral("chunk 0/2: 4 frames in movies: %1.mov frames 0-3").arg(base))
                && output.contains(QStringLiteral("chunk 1/2: 4 frames in movies: %1_2.mov frames 10-13").arg(base)),
            qPrintable(output));
    }

    // Which part a task takes, from the command line and the scheduler's
    // variables; bad values are usage errors that render nothing.
    void chunkOnTheCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("variables");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QStringList none;
        QTest::newRow("3/2") << QStringList { "--chunk", "3/2" } << none << 2 << "part 3 does not exist";
        QTest::newRow("-1/4") << QStringList { "--chunk", "-1/4" } << none << 2 << "part -1 does not exist";
        QTest::newRow("a/b") << QStringList { "--chunk", "a/b" } << none << 2 << "as K/N";
        QTest::newRow("missing count") << QStringList { "--chunk", "3" } << none << 2 << "as K/N";
        QTest::newRow("no value") << QStringList { "--chunk" } << none << 2 << "Missing value";
        QTest::newRow("auto without a scheduler")
            << QStringList { "--chunk", "auto" } << none << 2 << "no scheduler's task index";
        QTest::newRow("kubernetes without --chunks")
            << QStringList { "--chunk", "auto" } << QStringList { "JOB_COMPLETION_INDEX=1" } << 2 << "--chunks N";
        QTest::newRow("--chunks without auto")
            << QStringList { "--chunk", "1/4", "--chunks", "4" } << none << 2 << "goes with --chunk auto";
        QTest::newRow("slurm past the array")
            << QStringList { "--chunk", "auto" } << QStringList { "SLURM_ARRAY_TASK_ID=4", "SLURM_ARRAY_TASK_COUNT=4" }
            << 2 << "part 4 does not exist";
        QTest::newRow("slurm count") << QStringList { "--chunk", "auto" }
                                     << QStringList { "SLURM_ARRAY_TASK_ID=2", "SLURM_ARRAY_TASK_COUNT=4" } << 0
                                     << "chunk 2/4";
        QTest::newRow("slurm min and max")
            << QStringList { "--chunk", "auto" }
            << QStringList { "SLURM_ARRAY_TASK_ID=1", "SLURM_ARRAY_TASK_MIN=1", "SLURM_ARRAY_TASK_MAX=4" } << 0
            << "chunk 0/4";
        QTest::newRow("kubernetes") << QStringList { "--chunk", "auto", "--chunks", "4" }
                                    << QStringList { "JOB_COMPLETION_INDEX=3" } << 0 << "chunk 3/4";
    }
    void chunkOnTheCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, variables);
        QFETCH(int, status);
        QFETCH(QString, message);
        const QString out = Emulsa::Test::makeTempFolder(QStringLiteral("project-chunk-values"));
        const QString clip = TestMedia::instance().path(TestMedia::NoAudio);
        QProcessEnvironment environment = Emulsa::Test::rendererEnvironment(true);
        for (const QString& key : environment.keys()) {
            if (key.startsWith(QLatin1String("SLURM_")) || key == QLatin1String("JOB_COMPLETION_INDEX"))
                environment.remove(key);
        }
        for (const QString& variable : qAsConst(variables))
            environment.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
        const QString folder = out + QStringLiteral("/images");
        const Emulsa::Test::RendererRun result = Emulsa::Test::runRenderer(m_program,
            QStringList { QStringLiteral("-f"), QStringLiteral("tiff"), QStringLiteral("-s"), QStringLiteral("64x36"),
                QStringLiteral("--in"), QStringLiteral("0"), QStringLiteral("--out"), QStringLiteral("8"),
                QStringLiteral("-q"), QStringLiteral("-o"), folder, clip }
                + arguments,
            environment);
        QVERIFY2(result.exitCode == status, qPrintable(result.output));
        QVERIFY2(result.output.contains(message), qPrintable(result.output));
        if (status == 2) {
            QVERIFY(!QFileInfo::exists(folder));
        } else {
            // Two of the eight frames, part k's.
            const int k = message.mid(6, 1).toInt();
            QCOMPARE(folderContents(folder).keys(), imageNames(QFileInfo(clip).completeBaseName(), 2 * k, 2 * k + 2));
        }
    }

    void helpStatesTheExitStatus()
    {
        QString output;
        QCOMPARE(run({ QStringLiteral("--help") }, &output), 0);
        for (const char* line : { "0  Everything asked for is done", "1  Something failed", "2  A usage error",
                 "--chunk K/N", "--chunk auto", "--list-chunks N" })
            QVERIFY2(output.contains(QLatin1String(line)), line);
    }

    // A clip rendered as intermediate movies by three parts and joined has
    // every picture once, in order, and the sound of a one-piece render,
    // its bursts on the frames they belong to. A part missing is named.
    void intermediatesAssembleIntoOneMovie()
    {
        const QString out = Emulsa::Test::makeTempFolder(QStringLiteral("project-assemble"));
        const QString clip = TestMedia::instance().markedSoundPath(TestMedia::FootageMov);
        QVERIFY(!clip.isEmpty());
        const QString base = QFileInfo(clip).completeBaseName();
        const QString parts = out + QStringLiteral("/parts");
        QString output;
        for (int k = 0; k < 3; ++k) {
            QVERIFY2(run({ QStringLiteral("--intermediate"), QStringLiteral("--chunk"), QStringLiteral("%1/3").arg(k),
                             QStringLiteral("--no-grade"), QStringLiteral("-q"), QStringLiteral("-o"), parts, clip },
                         &output)
                    == 0,
                qPrintable(output));
        }
        // What a join stopped earlier left.
        const QString stale = parts + QStringLiteral("/.%1.mov.abc123.part").arg(base);
        QVERIFY(writeFile(stale, "half a movie"));
        QVERIFY2(run({ QStringLiteral("--assemble"), parts }, &output) == 0, qPrintable(output));
        QVERIFY2(output.contains(QLatin1String("1 joined, 0 skipped, 0 failed")), qPrintable(output));
        QVERIFY(!QFileInfo::exists(stale));
        const QString movie = parts + QLatin1Char('/') + base + QStringLiteral(".mov");
        const RenderProbe::Movie probe = RenderProbe::probe(movie);
        QVERIFY2(probe.ok, qPrintable(movie));
        QCOMPARE(probe.video.codec, QStringLiteral("prores"));
        QCOMPARE(probe.video.frames, TestMedia::footagePictures);
        QList<int> every;
        for (int i = 0; i < TestMedia::footagePictures; ++i)
            every << i;
        QCOMPARE(RenderProbe::shownIndices(movie, probe.video.width, probe.video.height), every);

        const QString plain = out + QStringLiteral("/plain");
        QVERIFY2(run({ QStringLiteral("-f"), QStringLiteral("prores"), QStringLiteral("--no-grade"),
                         QStringLiteral("-q"), QStringLiteral("-o"), plain, clip },
                     &output)
                == 0,
            qPrintable(output));
        const QByteArray joined = RenderProbe::decodeAudio(movie, 48000);
        const QByteArray whole
            = RenderProbe::decodeAudio(plain + QLatin1Char('/') + base + QStringLiteral(".mov"), 48000);
        QCOMPARE(joined.size(), TestMedia::footagePictures * 1920 * 4);
        QCOMPARE(joined.size(), whole.size());
        QList<int> expected;
        for (int frame = TestMedia::markFirstFrame; frame < TestMedia::footagePictures; frame += TestMedia::markEvery)
            expected << frame * 1920;
        const QList<int> onsets = burstOnsets(joined);
        QCOMPARE(onsets.size(), expected.size());
        for (int i = 0; i < onsets.size(); ++i)
            QVERIFY2(std::abs(onsets[i] - expected[i]) <= 48, qPrintable(QString::number(onsets[i])));
        QCOMPARE(onsets, burstOnsets(whole));

        // Without its middle part the clip is not joined, and the missing
        // frames are named.
        const QString intermediate = parts + QLatin1Char('/') + base + QStringLiteral(".intermediate");
        QVERIFY(QFile::remove(intermediate + QLatin1Char('/') + base + QStringLiteral(".000016-000032.mov")));
        QCOMPARE(run({ QStringLiteral("--assemble"), parts, QStringLiteral("--overwrite") }, &output), 1);
        QVERIFY2(output.contains(QLatin1String("frames 16-32 are missing")), qPrintable(output));
        QCOMPARE(RenderProbe::probe(movie).video.frames, TestMedia::footagePictures);
    }
};

EMULSA_TEST_MAIN(TestEmulsaRenderProject)
#include "tst_emulsarenderproject.moc"
