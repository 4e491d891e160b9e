#include "common/RendererRun.h"
#include "common/TestEnvironment.h"

#include "RenderProjectFiles.h"
#include "common/RenderProbe.h"
#include "common/TestMedia.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <QtTest>

using namespace Emulsa::Test;

namespace {

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

// emulsa-render in parts: a job split into chunks run one after another or
// killed and run again, the part a scheduler's task takes, and intermediate
// movies joined into one.
class TestEmulsaRenderChunks : public RenderProjectTest
{
    Q_OBJECT

private slots:
    // The two-clip project, grain on, as TIFF in one run, and in 1, 3 and 7
    // parts run one after the other into one folder: the same images byte for byte,
    // each frame written once, nothing else left. A part run again keeps
    // its images, or writes them again with --overwrite.
    void chunksRenderTheImagesOfOneRun()
    {
        const QString out = Emulsa::Test::makeTempFolder(QStringLiteral("project-chunks"));
        const auto [first, second, file] = writeTwoClipProject(out, 100, 150);
        QVERIFY(!file.isEmpty());
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
        QVERIFY(writeFileBytes(file, project(projectItem(0, clip, 0, 50, 4000, "825250895", 100), 1)));
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
        QVERIFY(writeFileBytes(images + QStringLiteral("/.%1.000049.tiff.abc123.part").arg(base), "half an image"));

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
        QVERIFY(
            writeFileBytes(file, project(projectItem(0, clip, 0, 4, 5600) + projectItem(1, clip, 10, 14, 5600), 2)));
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
        QVERIFY(writeFileBytes(stale, "half a movie"));
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

EMULSA_TEST_MAIN(TestEmulsaRenderChunks)
#include "tst_emulsarenderchunks.moc"
