// Describes a folder of generated clips twice through the metadata manager:
// cold (empty cache: every file is opened and a thumbnail decoded on the
// thread pool) and warm (every description comes from the on-disk cache), and
// prints both times, their ratio and how many cores the cold pass kept busy.
//
//   bench_metadata [--clips N] [--size WxH] [--warm-runs N]

#include "common/FfmpegTool.h"
#include "media/clip/AssetMetadata.h"
#include "media/metadata/MetadataManager.h"
#include "media/metadata/MetadataReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

using namespace Emulsa;

namespace {

// Distinct clips generated; the folder holds copies of them under other names
// (each name is a different asset to the manager).
constexpr int distinctClips = 4;

struct PassResult
{
    double wallMs = 0;
    double cpuMs = 0;
    int described = 0;
    int cacheHits = 0;
    int valid = 0;
    // Mean number of busy global-pool threads while waiting: how many files
    // were being described at once, whatever CPU share the system gave them.
    double meanBusyThreads = 0;
};

bool generateClip(const QString& path, const QString& size, int variant)
{
    // Two seconds of 25 fps H.264 with AAC sound, one key frame per clip as a
    // camera's long GOP: the thumbnail frame is decoded from the start.
    const QStringList args = { QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
        QStringLiteral("testsrc2=size=%1:rate=25:duration=2,hue=h=%2").arg(size).arg(variant * 60),
        QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
        QStringLiteral("sine=f=%1:r=48000:d=2").arg(220 * (variant + 1)), QStringLiteral("-ac"), QStringLiteral("2"),
        QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("veryfast"),
        QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:a"), QStringLiteral("aac"),
        QStringLiteral("-t"), QStringLiteral("2"), path };
    const Test::FfmpegTool::Result result = Test::FfmpegTool::ffmpeg(args);
    if (!result.ok) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", qPrintable(result.errors));
        return false;
    }
    return true;
}

double cpuMsNow()
{
    return 1000.0 * double(std::clock()) / CLOCKS_PER_SEC;
}

// Asks for every file of the folder and waits until all are read.
PassResult describeFolder(const QString& folder, const QString& cacheRoot)
{
    auto manager = std::make_unique<MetadataManager>(cacheRoot);
    QSemaphore finished;
    QObject::connect(
        manager->reader(), &MetadataReader::shouldRefresh, manager->reader(), [&finished] { finished.release(); },
        Qt::DirectConnection);
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files, QDir::Name);

    PassResult result;
    QElapsedTimer timer;
    const double cpuStart = cpuMsNow();
    timer.start();
    std::vector<AssetMetadata*> records;
    records.reserve(size_t(files.size()));
    for (const QFileInfo& file : files)
        records.push_back(manager->getMetadata(file));
    int samples = 0;
    qint64 busy = 0;
    int outstanding = files.size();
    while (outstanding > 0) {
        if (finished.tryAcquire(1, 5)) {
            --outstanding;
            while (outstanding > 0 && finished.tryAcquire(1))
                --outstanding;
        }
        busy += QThreadPool::globalInstance()->activeThreadCount();
        ++samples;
    }
    result.meanBusyThreads = samples ? double(busy) / samples : 0.0;
    result.wallMs = double(timer.nsecsElapsed()) / 1e6;
    result.cpuMs = cpuMsNow() - cpuStart;

    result.described = manager->reader()->describedCount();
    result.cacheHits = manager->reader()->cacheHitCount();
    for (const AssetMetadata* record : records)
        result.valid += (record->ready && record->valid && record->thumbnail) ? 1 : 0;
    return result;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2)
                                          : QStringLiteral("unknown");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bench_metadata"));
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));

    int clipCount = 100;
    int warmRuns = 3;
    QString size = QStringLiteral("1920x1080");
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--clips"))
            clipCount = qMax(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--size"))
            size = args[i + 1];
        else if (args[i] == QLatin1String("--warm-runs"))
            warmRuns = qMax(1, args[i + 1].toInt());
    }

    QTemporaryDir work;
    const QString sources = work.filePath(QStringLiteral("sources"));
    const QString folder = work.filePath(QStringLiteral("clips"));
    QDir().mkpath(sources);
    QDir().mkpath(folder);
    std::printf("Generating %d distinct %s H.264 clips (2 s, 25 fps, AAC) ...\n", distinctClips, qPrintable(size));
    std::fflush(stdout);
    QStringList distinct;
    for (int i = 0; i < distinctClips; ++i) {
        const QString path = sources + QStringLiteral("/source%1.mp4").arg(i);
        if (!generateClip(path, size, i))
            return 1;
        distinct << path;
    }
    for (int i = 0; i < clipCount; ++i) {
        if (!QFile::copy(distinct[i % distinctClips], folder + QStringLiteral("/clip%1.mp4").arg(i, 3, 10, QChar('0'))))
            return 1;
    }

    const QString cacheRoot = work.filePath(QStringLiteral("cache"));
    std::printf("Folder: %d clips. Cores: %d, global pool threads: %d, load average before: %s\n", clipCount,
        QThread::idealThreadCount(), QThreadPool::globalInstance()->maxThreadCount(), qPrintable(loadAverage()));

    const PassResult cold = describeFolder(folder, cacheRoot);
    std::printf("cold: %9.1f ms wall, %9.1f ms CPU, CPU/wall %.2f, busy pool threads %.2f (described %d, from cache "
                "%d, valid %d)\n",
        cold.wallMs, cold.cpuMs, cold.cpuMs / cold.wallMs, cold.meanBusyThreads, cold.described, cold.cacheHits,
        cold.valid);

    std::vector<double> warmTimes;
    bool warmOk = true;
    for (int run = 0; run < warmRuns; ++run) {
        const PassResult warm = describeFolder(folder, cacheRoot);
        warmTimes.push_back(warm.wallMs);
        warmOk = warmOk && warm.cacheHits == clipCount && warm.valid == clipCount;
        std::printf("warm: %9.1f ms wall, %9.1f ms CPU, CPU/wall %.2f (described %d, from cache %d, valid %d)\n",
            warm.wallMs, warm.cpuMs, warm.cpuMs / warm.wallMs, warm.described, warm.cacheHits, warm.valid);
    }
    std::sort(warmTimes.begin(), warmTimes.end());
    const double warmMedian = warmTimes[warmTimes.size() / 2];
    std::printf("cold %.1f ms, warm %.1f ms (median of %d), cold/warm %.1fx, per clip cold %.2f ms warm %.3f ms\n",
        cold.wallMs, warmMedian, warmRuns, cold.wallMs / warmMedian, cold.wallMs / clipCount, warmMedian / clipCount);
    std::printf("load average after: %s\n", qPrintable(loadAverage()));

    if (cold.valid != clipCount || !warmOk) {
        std::fprintf(stderr, "some clips were not described correctly\n");
        return 1;
    }
    return 0;
}
