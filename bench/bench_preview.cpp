// Playback of the grading tab's preview: frames shown and dropped per second
// while a 1080p25 H.264 clip with sound plays graded, and how far the picture
// is from the sound heard, and how long drawing a frame takes, for a
// 1280 x 720 and a 1920 x 1080 preview. The
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
#include <vector>

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
    if (!Bench::describe(asset, clip))
        return 1;
    ClipSettings settings;
    SequenceItem item(&asset, &settings, 0, asset.frameCount);

    int status = 0;
    for (const QSize& view : { QSize(1280, 720), QSize(1920, 1080) }) {
        PreviewPlayer player;
        // Each frame's drawing: from the player's announcement, heard first,
        // to the end of the preview's draw, heard after it.
        QElapsedTimer drawTimer;
        QObject::connect(&player, &PreviewPlayer::frameChanged, [&] { drawTimer.start(); });
        OpenGLPreview preview(&player);
        if (!Bench::showExposed(preview, view))
            return 1;
        player.open(&item);
        preview.currentItemChanged(&item);
        for (int i = 0; i < 200 && !player.seekSettled(); ++i)
            Bench::wait(50);
        if (!preview.processor() || !player.seekSettled()) {
            std::fprintf(stderr, "the preview could not grade the clip: %s\n", qPrintable(preview.failure()));
            status = 1;
            continue;
        }

        double drawSum = 0.0;
        double drawMax = 0.0;
        qint64 draws = 0;
        QObject::connect(&player, &PreviewPlayer::frameChanged, [&] {
            const double ms = double(drawTimer.nsecsElapsed()) / 1e6;
            drawSum += ms;
            drawMax = std::max(drawMax, ms);
            ++draws;
        });
        // The sound heard against the picture shown, at every frame. The
        // output reports what was heard in periods (tens of milliseconds):
        // a report is up to a period old, and is exact when it has just
        // moved. The sound heard at any moment is therefore taken from the
        // line through the freshest reports (the system clock and the
        // sound's are the same clock here), and the raw reports are given
        // too.
        struct Sample
        {
            qint64 wall;
            qint64 heard;
            qint64 shown;
        };
        std::vector<Sample> samples;
        QElapsedTimer wall;
        wall.start();
        QObject::connect(&player, &PreviewPlayer::frameChanged, [&] {
            const qint64 heard = player.soundPlayTime();
            if (heard >= 0)
                samples.push_back({ wall.nsecsElapsed(), heard, player.shownPlayTime() });
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
        if (draws > 0)
            std::printf("  drawing a frame: mean %.1f ms, largest %.1f ms\n", drawSum / double(draws), drawMax);
        if (!samples.empty()) {
            qint64 lead = samples.front().heard - samples.front().wall;
            for (const Sample& sample : samples)
                lead = std::max(lead, sample.heard - sample.wall);
            double rawSum = 0.0;
            double rawMax = 0.0;
            double sum = 0.0;
            double largest = 0.0;
            // The first reading of the sound is up to a period old: the
            // pictures catch up with it over the first frames.
            double settledLargest = 0.0;
            for (const Sample& sample : samples) {
                const double raw = double(sample.heard - sample.shown) / 1e6;
                const double offset = double(sample.wall + lead - sample.shown) / 1e6;
                rawSum += raw;
                rawMax = std::max(rawMax, std::abs(raw));
                sum += offset;
                largest = std::max(largest, std::abs(offset));
                if (sample.wall - samples.front().wall > 1000000000)
                    settledLargest = std::max(settledLargest, std::abs(offset));
            }
            const double count = double(samples.size());
            std::printf("  sound - picture: mean %+.1f ms, largest %.1f ms over %zu frames (one frame is %.1f ms)\n",
                sum / count, largest, samples.size(), 1000.0 * asset.frameRateDen / asset.frameRateNum);
            std::printf("  after the first second of sound: largest %.1f ms\n", settledLargest);
            std::printf("  against the raw reports of the sound heard: mean %+.1f ms, largest %.1f ms\n",
                rawSum / count, rawMax);
        } else {
            std::printf(
                "  sound - picture: no sound heard (%s)\n", player.isSilent() ? "no output device" : "no sound output");
        }
    }
    return status;
}
