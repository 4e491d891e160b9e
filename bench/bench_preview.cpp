// Playback of the preview window: frames shown per second and frames dropped
// while a 1080p25 H.264 clip plays graded in a 1280 x 720 preview, the clock
// following its own time (no sound device needed). Needs a display (run it
// through scripts/with-display.sh); prints figures.
//
//   bench_preview [seconds] [clip]

#include "core/ApplicationPaths.h"
#include "core/ClipSettings.h"
#include "media/AssetMetadata.h"
#include "media/Frame.h"
#include "media/SequenceItem.h"
#include "media/WinSourceReader.h"
#include "ui/OpenGLPreview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <memory>

using namespace Emulsa;

namespace {

// A 1080p25 H.264 clip with moving detail, made with the ffmpeg tool.
QString makeClip(const QString& folder, int seconds)
{
    const QString path = folder + QStringLiteral("/bench_1080p25.mp4");
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.start(QStringLiteral("ffmpeg"),
        { QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
            QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("testsrc2=s=1920x1080:r=25:d=%1").arg(seconds), QStringLiteral("-pix_fmt"),
            QStringLiteral("yuv420p"), QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
            QStringLiteral("veryfast"), path });
    if (!ffmpeg.waitForFinished(600000) || ffmpeg.exitCode() != 0)
        return QString();
    return path;
}

// Runs the event loop for a while.
void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const int seconds = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 10;
    QTemporaryDir folder;
    const QString clip = argc > 2 ? QString::fromLocal8Bit(argv[2]) : makeClip(folder.path(), seconds + 2);
    if (clip.isEmpty()) {
        std::fprintf(stderr, "could not make the 1080p25 clip (is ffmpeg installed?)\n");
        return 1;
    }

    AssetMetadata asset;
    asset.filePath = clip;
    {
        WinSourceReader describer(true);
        if (!describer.initializeFromMetadata(&asset) || !describer.fillMetadata()) {
            std::fprintf(stderr, "could not read %s\n", qPrintable(clip));
            return 1;
        }
        delete describer.takeCurrentFrame();
    }
    asset.ready = true;
    ClipSettings settings;
    SequenceItem item(&asset, &settings, 0, asset.frameCount);

    WinSourceReader reader;
    OpenGLPreview preview(&reader);
    preview.resize(1280, 720);
    preview.show();
    for (int i = 0; i < 100 && !preview.isExposed(); ++i)
        wait(50);
    if (!preview.isExposed()) {
        std::fprintf(stderr, "the preview window was not shown\n");
        return 1;
    }
    reader.initializeFromSequenceItem(&item);
    preview.currentItemChanged(&item);
    if (!preview.processor()) {
        std::fprintf(stderr, "the preview could not grade the clip: %s\n", qPrintable(preview.failure()));
        return 1;
    }

    int shownSignals = 0;
    QObject::connect(&preview, &OpenGLPreview::positionChanged, [&shownSignals] { ++shownSignals; });
    const qint64 shownBefore = preview.clock().shownCount();
    const qint64 droppedBefore = preview.clock().droppedCount();
    QElapsedTimer timer;
    timer.start();
    preview.setPlayState(false);
    wait(seconds * 1000);
    preview.setPlayState(true);
    const double elapsed = double(timer.nsecsElapsed()) / 1e9;
    const qint64 shown = preview.clock().shownCount() - shownBefore;
    const qint64 dropped = preview.clock().droppedCount() - droppedBefore;

    std::printf("preview 1280x720, clip %ux%u at %.3f fps, %.1f s played\n", asset.width, asset.height,
        double(asset.frameRateNum) / double(asset.frameRateDen), elapsed);
    std::printf("frames shown:   %lld (%.2f per second)\n", static_cast<long long>(shown), double(shown) / elapsed);
    std::printf("frames dropped: %lld (%.2f per second)\n", static_cast<long long>(dropped), double(dropped) / elapsed);
    std::printf("position signals: %d\n", shownSignals);
    return 0;
}
