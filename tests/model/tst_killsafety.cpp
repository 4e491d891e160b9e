#include "KillScenarios.h"
#include "common/RenderProbe.h"
#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/metadata/MetadataManager.h"
#include "media/metadata/ThumbnailCache.h"
#include "model/Model.h"
#include "model/PresetsFileReader.h"
#include "model/PresetsManager.h"
#include "model/ProjectLoader.h"

#include <QDataStream>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace Emulsa;
using Emulsa::Test::fileBytes;
namespace Kill = Emulsa::Test::KillScenarios;
using Emulsa::Test::RenderProbe;

namespace {

constexpr int killsPerScenario = 100;

// How many files under `folder` the process has open (a file being written,
// or one a writer made without a name, which shows as "<folder>/#n (deleted)").
int openFilesUnder(qint64 pid, const QString& folder)
{
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    const QByteArray prefix = QFile::encodeName(folder + QLatin1Char('/'));
    int count = 0;
    for (const QString& fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[4096];
        const ssize_t n = ::readlink(QFile::encodeName(fds + QLatin1Char('/') + fd).constData(), target, sizeof target);
        if (n > 0 && QByteArray(target, int(n)).startsWith(prefix))
            ++count;
    }
    return count;
}

// Hidden files and folders (temporary ones) anywhere under `folder`.
QStringList hiddenEntries(const QString& folder)
{
    QStringList hidden;
    QDirIterator it(
        folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName().startsWith(QLatin1Char('.')))
            hidden << path;
    }
    return hidden;
}

} // namespace

// Children that write the program's files are killed (SIGKILL) at random
// moments while they write: saving a project through the model, writing the
// presets store, writing thumbnail cache records, and the command-line
// renderer writing a TIFF sequence and a movie. After every kill each file
// at its final name is a whole file of the earlier or of the new version and
// the program's own reader reads it; after the render kills, a render of the
// same clip completes with the right output.
class KillSafetyTest : public QObject
{
    Q_OBJECT

private:
    // One scenario: the child, what says it got going, how long after that
    // the kill may come, and the check of the files after each kill.
    struct Scenario
    {
        QString program;
        QStringList arguments;
        // Files open under this folder at the kill count as a kill mid-write.
        QString watched;
        // Text of the child's output after which the kill delay starts: on
        // its standard output for the writers (whose log lines are dropped,
        // so that a full pipe never holds them up), on either channel for
        // the renderer (its progress lines).
        QByteArray mark;
        // The delay is drawn from [0, window) microseconds; zero: twice the
        // time of one save, which the child prints after its mark.
        qint64 windowUs = 0;
        std::function<QString()> check;
        // After the kills: a full run and its check; empty when none.
        std::function<QString()> rerun;
    };

    QString m_bin;
    QString m_root;
    CameraListHelper* m_catalogue = nullptr;
    std::unique_ptr<FilmLibrary> m_library;
    QHash<QString, AssetMetadata*> m_assets;
    QString m_clip;

    // The writers read the build's film data as this test does; the
    // renderer runs as a user runs it, with its own, on the display.
    static QProcessEnvironment childEnvironment(const QString& program)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (program.endsWith(QLatin1String("emulsa-render"))) {
            environment.remove(QStringLiteral("PROGRAMDATA"));
            environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        }
        return environment;
    }

    // Runs a program to its end: exit code (-2 when it crashed or hung) and
    // output, and the microseconds from the first time `mark` showed in its
    // output to the moment `watched` existed (to its end without one).
    int runToEnd(const QString& program, const QStringList& arguments, QByteArray* output = nullptr,
        const QByteArray& mark = QByteArray(), qint64* afterMarkUs = nullptr, const QString& watched = QString())
    {
        QProcess process;
        process.setProcessEnvironment(childEnvironment(program));
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForStarted(10000))
            return -2;
        QByteArray all;
        QElapsedTimer sinceMark;
        qint64 span = -1;
        while (process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(1);
            all += process.readAll();
            if (!sinceMark.isValid() && !mark.isEmpty() && all.contains(mark))
                sinceMark.start();
            if (span < 0 && sinceMark.isValid() && !watched.isEmpty() && QFileInfo::exists(watched))
                span = sinceMark.nsecsElapsed() / 1000;
        }
        process.waitForFinished(60000);
        all += process.readAll();
        if (afterMarkUs)
            *afterMarkUs = span >= 0 ? span : sinceMark.isValid() ? sinceMark.nsecsElapsed() / 1000 : -1;
        if (output)
            *output = all;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    }

    AssetMetadata* asset(const QString& path)
    {
        AssetMetadata*& record = m_assets[path];
        if (!record) {
            record = new AssetMetadata;
            record->id = MetadataManager::idForPath(path);
            record->filePath = path;
            record->frameCount = 500;
            record->ready = true;
        }
        return record;
    }

    Scenario projectScenario(const QString& folder)
    {
        // The two versions as the child writes them, for comparing bytes.
        QByteArray versions[2];
        for (int version = 0; version < 2; ++version) {
            const QString reference = m_root + QStringLiteral("/project_%1.empf").arg(version);
            QByteArray output;
            if (runToEnd(m_bin + QStringLiteral("/emulsa_killchild"),
                    { QStringLiteral("project"), reference, QString::number(version + 1) }, &output)
                != 0)
                qWarning() << "reference project not written:" << output;
            versions[version] = fileBytes(reference, QByteArray());
        }
        const QString path = folder + QStringLiteral("/kill.empf");
        Scenario s;
        s.program = m_bin + QStringLiteral("/emulsa_killchild");
        s.arguments = QStringList { QStringLiteral("project"), path };
        s.watched = folder;
        s.mark = "ready ";
        s.check = [this, path, versions]() -> QString {
            if (versions[0].isEmpty() || versions[0] == versions[1])
                return QStringLiteral("no two distinct reference projects");
            const QByteArray bytes = fileBytes(path, QByteArray());
            const int version = bytes == versions[0] ? 0 : bytes == versions[1] ? 1 : -1;
            if (version < 0)
                return QStringLiteral("the project is neither version (%1 bytes)").arg(bytes.size());
            Model model(nullptr, m_catalogue, m_library.get());
            ProjectLoader loader(
                [&model](BaseTask* command) { model.runCommands(command); }, m_library.get(), m_catalogue);
            loader.setAssetResolver([this](const QByteArray&, const QString& file) { return asset(file); });
            if (loader.load(path) != ProjectLoader::Outcome::Loaded || !loader.problems().isEmpty())
                return QStringLiteral("the project does not load cleanly: ") + loader.problems();
            if (model.sequence().size() != Kill::projectItems + version)
                return QStringLiteral("%1 items loaded").arg(model.sequence().size());
            for (const SequenceItem* item : model.sequence()) {
                if (item->startFrame != Kill::projectStartFrame(version))
                    return QStringLiteral("an item of version %1 starts at %2").arg(version).arg(item->startFrame);
            }
            return QString();
        };
        return s;
    }

    Scenario presetsScenario(const QString& folder)
    {
        Scenario s;
        s.program = m_bin + QStringLiteral("/emulsa_killchild");
        s.arguments = QStringList { QStringLiteral("presets"), folder };
        s.watched = folder;
        s.mark = "ready ";
        s.check = [this, folder]() -> QString {
            for (int g = 0; g < 2; ++g) {
                const QString path = folder + QLatin1Char('/') + Kill::presetGroupName(g) + QStringLiteral(".empreset");
                QFile file(path);
                if (!file.open(QIODevice::ReadOnly))
                    return QStringLiteral("%1 is missing").arg(path);
                PresetsFileReader reader(m_library.get(), m_catalogue);
                if (!reader.read(&file) || !reader.hasGroup() || reader.groupName() != Kill::presetGroupName(g))
                    return QStringLiteral("%1 does not read (%2 bytes)").arg(path).arg(file.size());
                if (reader.presets().size() != Kill::presetsPerGroup)
                    return QStringLiteral("%1 holds %2 presets").arg(path).arg(reader.presets().size());
                const QString tag = reader.presets().first().name.right(Kill::presetTag(0).size());
                if (tag != Kill::presetTag(0) && tag != Kill::presetTag(1))
                    return QStringLiteral("%1: a preset named %2").arg(path, reader.presets().first().name);
                for (const Preset& preset : reader.presets()) {
                    if (!preset.name.endsWith(tag) || !preset.unreadFields.isEmpty())
                        return QStringLiteral("%1 mixes versions or lost fields: %2").arg(path, preset.name);
                }
            }
            // The store as the application opens it: the two groups, nothing
            // from the temporary files a killed writer left.
            PresetsManager store(folder);
            const QList<PresetGroup> groups = store.groups();
            if (groups.size() != 2)
                return QStringLiteral("the store opens with %1 groups").arg(groups.size());
            for (const PresetGroup& group : groups) {
                if (group.presets.size() != Kill::presetsPerGroup)
                    return QStringLiteral("group %1 opens with %2 presets").arg(group.name).arg(group.presets.size());
            }
            return QString();
        };
        return s;
    }

    Scenario cacheScenario(const QString& folder)
    {
        const QString clip = m_root + QStringLiteral("/cached_clip.mov");
        QFile file(clip);
        if (file.open(QIODevice::WriteOnly))
            file.write("clip");
        file.close();
        Scenario s;
        s.program = m_bin + QStringLiteral("/emulsa_killchild");
        s.arguments = QStringList { QStringLiteral("cache"), folder, clip };
        s.watched = folder;
        s.mark = "ready ";
        s.check = [folder, clip]() -> QString {
            const ThumbnailCache cache(folder);
            const QByteArray id = MetadataManager::idForPath(clip);
            const QString now = ThumbnailCache::fileTimeText(QFileInfo(clip).lastModified());
            const int clipVersion = now == ThumbnailCache::fileTimeText(Kill::cacheClipTime(0)) ? 0
                : now == ThumbnailCache::fileTimeText(Kill::cacheClipTime(1))                   ? 1
                                                                                                : -1;
            if (clipVersion < 0)
                return QStringLiteral("the clip has the time %1").arg(now);
            // Each file whole, of one version.
            AssetMetadata stored;
            QDataStream in(fileBytes(cache.recordPath(id), QByteArray()));
            in >> stored;
            const int recordVersion = stored.lastModified == ThumbnailCache::fileTimeText(Kill::cacheClipTime(0)) ? 0
                : stored.lastModified == ThumbnailCache::fileTimeText(Kill::cacheClipTime(1))                     ? 1
                                                                                                                  : -1;
            if (in.status() != QDataStream::Ok || !in.atEnd() || recordVersion < 0
                || stored.frameCount != Kill::cacheFrameCount(recordVersion))
                return QStringLiteral("the record is not whole");
            const QImage thumbnail(cache.thumbnailPath(id), "BMP");
            if (thumbnail.size() != QSize(Kill::cacheThumbnailWidth, Kill::cacheThumbnailHeight))
                return QStringLiteral("the thumbnail is not whole");
            const QRgb corner = thumbnail.pixel(thumbnail.width() - 1, thumbnail.height() - 1);
            const int thumbnailVersion = corner == Kill::cacheColour(0).rgb() ? 0
                : corner == Kill::cacheColour(1).rgb()                        ? 1
                                                                              : -1;
            if (thumbnailVersion < 0)
                return QStringLiteral("the thumbnail is of neither version");
            // The lookup: a record that describes the clip as it is now is
            // found, with its own thumbnail; an older one is not.
            AssetMetadata probe;
            probe.id = id;
            probe.filePath = clip;
            const bool found = cache.load(&probe);
            if (found != (recordVersion == clipVersion))
                return QStringLiteral("the lookup %1 a record of version %2 for a clip of version %3")
                    .arg(found ? QStringLiteral("found") : QStringLiteral("missed"))
                    .arg(recordVersion)
                    .arg(clipVersion);
            if (found
                && (probe.frameCount != Kill::cacheFrameCount(clipVersion) || !probe.thumbnail
                    || probe.thumbnail->pixel(0, 0) != Kill::cacheColour(clipVersion).rgb()))
                return QStringLiteral("the lookup gave the record of version %1 with the thumbnail of version %2")
                    .arg(clipVersion)
                    .arg(thumbnailVersion);
            return QString();
        };
        return s;
    }

    // Starts the renderer and kills it as soon as an image of `imageName`
    // shows anywhere under `destination` (hidden folders included), before
    // it ends; tried again from an empty destination while the render ends
    // first. Returns what went wrong, or an empty string.
    QString killOnceWritten(const QString& program, const QStringList& arguments, const QString& destination,
        const QRegularExpression& imageName)
    {
        for (int attempt = 0; attempt < 10; ++attempt) {
            QDir(destination).removeRecursively();
            QProcess child;
            child.setProcessEnvironment(childEnvironment(program));
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(program, arguments);
            if (!child.waitForStarted(10000))
                return QStringLiteral("the renderer did not start");
            bool written = false;
            while (!written && child.state() == QProcess::Running) {
                child.waitForReadyRead(1);
                child.readAll();
                QDirIterator it(destination, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
                while (!written && it.hasNext()) {
                    it.next();
                    written = imageName.match(it.fileName()).hasMatch();
                }
            }
            if (child.state() == QProcess::Running) {
                ::kill(pid_t(child.processId()), SIGKILL);
                child.waitForFinished(10000);
                return QString();
            }
        }
        return QStringLiteral("every render ended before the kill");
    }

    Scenario renderScenario(bool movie, const QString& folder)
    {
        const QString program = qEnvironmentVariable("EMULSA_TEST_BINARY_DIR") + QStringLiteral("/bin/emulsa-render");
        // Images big enough, deep and compressed, that their writing takes a
        // good part of the render's time for the kills to meet.
        const QString format = movie ? QStringLiteral("-f preview -s 64x36")
                                     : QStringLiteral("-f tiff -s 320x180 --tiff-depth 16 --tiff-compression deflate");
        const QStringList common = (format + QStringLiteral(" --grain 0 --overwrite -o")).split(QLatin1Char(' '));
        auto withoutOverwrite = [common, clip = m_clip](const QString& destination) {
            QStringList arguments(common);
            arguments.removeAll(QStringLiteral("--overwrite"));
            return arguments << destination << clip;
        };
        // Whole renders first: their output is what every later one must
        // match, and the time of the second (the first warms the caches)
        // from its first progress line to its last file taking its name,
        // with a tenth more, is the span the kills are spread over.
        const QString referenceFolder = folder + QStringLiteral("_reference");
        const QString base = QFileInfo(m_clip).completeBaseName();
        const QString last
            = movie ? QStringLiteral("/%1.mov").arg(base) : QStringLiteral("/%1/%1.000011.tiff").arg(base);
        qint64 window = -1;
        for (int run = 0; run < 2; ++run) {
            QDir(referenceFolder).removeRecursively();
            QByteArray output;
            if (runToEnd(program, QStringList(common) << referenceFolder << m_clip, &output, "frames", &window,
                    referenceFolder + last)
                != 0)
                qWarning() << "the reference render failed:" << output;
        }
        window += window / 10;
        qInfo().noquote() << "kills spread over" << window << "us";
        Scenario s;
        s.program = program;
        s.arguments = QStringList(common) << folder << m_clip;
        s.watched = folder;
        s.mark = "frames";
        s.windowUs = std::max<qint64>(window, 1000);
        if (movie) {
            const QString name = QStringLiteral("/") + base + QStringLiteral(".mov");
            const QByteArray reference = RenderProbe::decode(referenceFolder + name, QStringLiteral("rgb24"));
            const QString path = folder + name;
            auto checkMovie = [path, reference]() -> QString {
                const RenderProbe::Movie probed = RenderProbe::probe(path);
                if (!probed.ok || probed.video.frames != 12 || probed.video.width != 64)
                    return QStringLiteral("the movie at its name does not play whole (%1 frames)")
                        .arg(probed.video.frames);
                if (reference.isEmpty() || RenderProbe::decode(path, QStringLiteral("rgb24")) != reference)
                    return QStringLiteral("the movie's pictures differ from the whole render's");
                return QString();
            };
            // A movie is probed when it is new (the renderer puts a whole
            // file in place under a new inode).
            auto seen = std::make_shared<QPair<qint64, qint64>>(-1, -1);
            s.check = [path, seen, checkMovie]() -> QString {
                struct stat status;
                if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
                    return QString(); // absent: no render finished yet
                const QPair<qint64, qint64> now(qint64(status.st_ino), qint64(status.st_size));
                if (now == *seen)
                    return QString();
                *seen = now;
                return checkMovie();
            };
            s.rerun = [this, program, arguments = s.arguments, folder, checkMovie]() -> QString {
                QByteArray out;
                if (runToEnd(program, arguments, &out) != 0)
                    return QStringLiteral("the render after the kills failed: ") + QString::fromLocal8Bit(out);
                // The part files the killed renders left are gone.
                if (!hiddenEntries(folder).isEmpty())
                    return QStringLiteral("part files are left: ") + hiddenEntries(folder).join(QLatin1Char(' '));
                return checkMovie();
            };
            return s;
        }
        const QString images = folder + QLatin1Char('/') + base;
        const QString referenceImages = referenceFolder + QLatin1Char('/') + base;
        const QRegularExpression imageName(
            QStringLiteral("^%1\\.[0-9]{6}\\.tiff$").arg(QRegularExpression::escape(base)));
        auto checkImages = [referenceImages, imageName](const QString& images, int expected) -> QString {
            const QStringList names = QDir(images).entryList(QDir::Files, QDir::Name);
            int count = 0;
            for (const QString& name : names) {
                if (!imageName.match(name).hasMatch())
                    return QStringLiteral("an unexpected file %1").arg(name);
                const QImage image(images + QLatin1Char('/') + name, "TIFF");
                const QImage reference(referenceImages + QLatin1Char('/') + name, "TIFF");
                if (image.isNull() || reference.isNull() || image != reference)
                    return QStringLiteral("%1 is not the whole image").arg(name);
                ++count;
            }
            if (expected >= 0 && count != expected)
                return QStringLiteral("%1 images instead of %2").arg(count).arg(expected);
            return QString();
        };
        // The image folder, once there, is a whole sequence.
        s.check = [images, checkImages]() { return QFileInfo::exists(images) ? checkImages(images, 12) : QString(); };
        s.rerun = [this, program, arguments = s.arguments, folder, base, images, imageName, withoutOverwrite,
                      checkImages]() -> QString {
            QByteArray out;
            // A render killed with images written, in a destination of its
            // own, then the same command again: it renders the whole
            // sequence rather than taking the killed one's for its output.
            const QString fresh = folder + QStringLiteral("_rerun");
            const QString problem = killOnceWritten(program, withoutOverwrite(fresh), fresh, imageName);
            if (!problem.isEmpty())
                return problem;
            if (runToEnd(program, withoutOverwrite(fresh), &out) != 0 || !out.contains("1 rendered, 0 skipped"))
                return QStringLiteral("the render without --overwrite after a kill did not render: ")
                    + QString::fromLocal8Bit(out);
            if (!hiddenEntries(fresh).isEmpty())
                return QStringLiteral("left after the render without --overwrite: ")
                    + hiddenEntries(fresh).join(QLatin1Char(' '));
            const QString freshProblem = checkImages(fresh + QLatin1Char('/') + base, 12);
            if (!freshProblem.isEmpty())
                return QStringLiteral("without --overwrite: ") + freshProblem;
            // The same command as the kills', after them.
            if (runToEnd(program, arguments, &out) != 0)
                return QStringLiteral("the render after the kills failed: ") + QString::fromLocal8Bit(out);
            if (!hiddenEntries(folder).isEmpty())
                return QStringLiteral("unfinished images are left: ") + hiddenEntries(folder).join(QLatin1Char(' '));
            return checkImages(images, 12);
        };
        return s;
    }

private slots:
    void initTestCase()
    {
        m_bin = qEnvironmentVariable("EMULSA_TEST_BINARY_DIR") + QStringLiteral("/tests/bin");
        QVERIFY2(QFileInfo(m_bin + QStringLiteral("/emulsa_killchild")).isExecutable(), qPrintable(m_bin));
        m_root = Test::makeTempFolder(QStringLiteral("kills"));
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
        m_catalogue = CameraListHelper::instance();
        m_library = std::make_unique<FilmLibrary>();
        // A dozen tiny frames: the renders spend their time writing.
        m_clip = Test::TestMedia::instance().generate(QStringLiteral("kill_clip.mp4"),
            { QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                Test::TestMedia::indexedVideoSource(64, 36, QStringLiteral("25"), 0.48), QStringLiteral("-c:v"),
                QStringLiteral("libx264"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p") });
        QVERIFY(!m_clip.isEmpty());
    }

    void cleanupTestCase() { qDeleteAll(m_assets); }

    void killedWritersLeaveWholeFiles_data()
    {
        QTest::addColumn<QString>("scenario");
        for (const char* name : { "project", "presets", "thumbnail cache", "tiff sequence", "movie" })
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void killedWritersLeaveWholeFiles()
    {
        QFETCH(QString, scenario);
        QElapsedTimer took;
        took.start();
        const QString folder
            = m_root + QLatin1Char('/') + QString(scenario).replace(QLatin1Char(' '), QLatin1Char('_'));
        QVERIFY(QDir().mkpath(folder));
        Scenario s;
        if (scenario == QLatin1String("project"))
            s = projectScenario(folder);
        else if (scenario == QLatin1String("presets"))
            s = presetsScenario(folder);
        else if (scenario == QLatin1String("thumbnail cache"))
            s = cacheScenario(folder);
        else
            s = renderScenario(scenario == QLatin1String("movie"), folder);

        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        qInfo().noquote() << scenario << "seed" << seed;
        int midWrite = 0;
        int endedFirst = 0;
        for (int kill = 0; kill < killsPerScenario; ++kill) {
            QProcess child;
            child.setProcessEnvironment(childEnvironment(s.program));
            if (s.windowUs == 0)
                child.setStandardErrorFile(QProcess::nullDevice());
            else
                child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(s.program, s.arguments);
            QVERIFY(child.waitForStarted(10000));
            QByteArray output;
            QElapsedTimer waited;
            waited.start();
            while (!output.contains(s.mark) && child.state() == QProcess::Running && waited.elapsed() < 60000) {
                child.waitForReadyRead(2);
                output += child.readAll();
            }
            QVERIFY2(output.contains(s.mark), output.constData());
            QElapsedTimer sinceMark;
            sinceMark.start();
            qint64 window = s.windowUs;
            if (window == 0) {
                while (!output.contains('\n') && child.waitForReadyRead(1000))
                    output += child.readAll();
                const QByteArray line = output.mid(output.indexOf(s.mark) + s.mark.size());
                window = 2 * std::max<qint64>(line.left(line.indexOf('\n')).toLongLong(), 100);
            }
            const qint64 delay = qint64(random.generate64() % quint64(window));
            for (qint64 left = delay - sinceMark.nsecsElapsed() / 1000; left > 0;
                 left = delay - sinceMark.nsecsElapsed() / 1000)
                std::this_thread::sleep_for(std::chrono::microseconds(std::min<qint64>(left, 200)));
            if (child.state() == QProcess::Running) {
                const bool writing = openFilesUnder(child.processId(), s.watched) > 0;
                ::kill(pid_t(child.processId()), SIGKILL);
                QVERIFY(child.waitForFinished(10000));
                if (child.exitStatus() == QProcess::CrashExit && writing)
                    ++midWrite;
            }
            if (child.exitStatus() == QProcess::NormalExit) {
                // A render may end before the kill comes; a writer ends on
                // its own only when a save failed.
                ++endedFirst;
                QVERIFY2(s.windowUs != 0 && child.exitCode() == 0, child.readAll().constData());
            }
            const QString problem = s.check();
            QVERIFY2(problem.isEmpty(),
                qPrintable(QStringLiteral("%1, kill %2 of seed %3, %4 us after its mark: %5")
                               .arg(scenario)
                               .arg(kill)
                               .arg(seed)
                               .arg(delay)
                               .arg(problem)));
        }
        qInfo().noquote() << scenario << ":" << killsPerScenario << "kills," << midWrite
                          << "while a file was open for writing," << endedFirst << "ended before the kill,"
                          << hiddenEntries(s.watched).size() << "temporary files left," << took.elapsed() / 1000.0
                          << "s";
        // Random moments that never met a write would prove nothing.
        QVERIFY2(midWrite >= killsPerScenario / 20, qPrintable(QString::number(midWrite)));
        if (s.rerun) {
            const QString problem = s.rerun();
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        }
    }
};

EMULSA_TEST_MAIN(KillSafetyTest)
#include "tst_killsafety.moc"
