// Playback of the grading tab's preview: frames shown and dropped per second
// while a 1080p25 H.264 clip with sound plays graded, and how far the picture
// is from the sound heard, for a 1280 x 720 and a 1920 x 1080 preview. The
// sound goes to the default output device; without one the clip plays on the
// system clock and no offset is measured. Needs a display (run it through
// scripts/with-display.sh); prints figures.
//
//   bench_preview [seconds] [clip]

#include "PreviewBenchSupport.h"
#include "app/PreviewPlayer.h"
#include "core/ApplicationPaths.h"
#include "core/ClipSettings.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/frame/Frame.h"
#include "media/source/WinSourceReader.h"
#include "ui/preview/OpenGLPreview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

using namespace Emulsa;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const int seconds = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 10;
    QTemporaryDir folder;
    const QString clip
        = argc > 2 ? QString::fromLocal8Bit(argv[2]) : Bench::make1080p25Clip(folder.path(), seconds + 2, true);
    if (clip.isEmpty()) {
        std::fprintf(stderr, "could not make the 1080p25 clip (is ffmpeg installed?)\n");
        return 1;
    }

    AssetMetadata asset;
    if (!Bench::describe(asset, clip)) {
        std::fprintf(stderr, "could not read %s\n", qPrintable(clip));
        return 1;
    }
    ClipSettings settings;
    SequenceItem item(&asset, &settings, 0, asset.frameCount);

    int status = 0;
    for (const QSize& view : { QSize(1280, 720), QSize(1920, 1080) }) {
        PreviewPlayer player;
        OpenGLPreview preview(&player);
        preview.resize(view);
        preview.show();
        for (int i = 0; i < 100 && !preview.isExposed(); ++i)
            Bench::wait(50);
        if (!preview.isExposed()) {
            std::fprintf(stderr, "the preview window was not shown\n");
            return 1;
        }
        player.open(&item);
        preview.currentItemChanged(&item);
        for (int i = 0; i < 200 && !player.seekSettled(); ++i)
            Bench::wait(50);
        if (!preview.processor() || !player.seekSettled()) {
            std::fprintf(stderr, "the preview could not grade the clip: %s\n", qPrintable(preview.failure()));
            status = 1;
            continue;
        }

        // The sound heard against the picture shown, at every frame.
        double offsetSum = 0.0;
        double offsetMax = 0.0;
        qint64 offsets = 0;
        QObject::connect(&player, &PreviewPlayer::frameChanged, [&] {
            const qint64 heard = player.soundPlayTime();
            if (heard < 0)
                return;
            const double offset = double(heard - player.shownPlayTime()) / 1e6;
            offsetSum += offset;
            offsetMax = std::max(offsetMax, std::abs(offset));
            ++offsets;
        });
        const qint64 shownBefore = player.shownCount();
        const qint64 droppedBefore = player.droppedCount();
        QElapsedTimer timer;
        timer.start();
        player.setPlaying(true);
        Bench::wait(seconds * 1000);
        player.setPlaying(false);
        const double elapsed = double(timer.nsecsElapsed()) / 1e9;
        const qint64 shown = player.shownCount() - shownBefore;
        const qint64 dropped = player.droppedCount() - droppedBefore;

        std::printf("preview %dx%d, clip %ux%u at %.3f fps, %.1f s played\n", view.width(), view.height(), asset.width,
            asset.height, double(asset.frameRateNum) / double(asset.frameRateDen), elapsed);
        std::printf(
            "  frames shown:   %lld (%.2f per second)\n", static_cast<long long>(shown), double(shown) / elapsed);
        std::printf(
            "  frames dropped: %lld (%.2f per second)\n", static_cast<long long>(dropped), double(dropped) / elapsed);
        if (offsets > 0)
            std::printf("  sound - picture: mean %+.1f ms, largest %.1f ms over %lld frames (one frame is %.1f ms)\n",
                offsetSum / double(offsets), offsetMax, static_cast<long long>(offsets),
                1000.0 * asset.frameRateDen / asset.frameRateNum);
        else
            std::printf(
                "  sound - picture: no sound heard (%s)\n", player.isSilent() ? "no output device" : "no sound output");
    }
    return status;
}
