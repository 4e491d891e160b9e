#pragma once

// What the preview benchmarks share: their clip and a wait that keeps the
// event loop running.

#include "media/clip/AssetMetadata.h"
#include "media/frame/Frame.h"
#include "media/source/WinSourceReader.h"

#include <QEventLoop>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdio>

namespace Emulsa::Bench {

// A 1080p25 H.264 clip with moving detail made with the ffmpeg tool, with a
// 440 Hz AAC tone when `withSound`; empty when ffmpeg fails.
inline QString make1080p25Clip(const QString& folder, int seconds, bool withSound)
{
    const QString path = folder + QStringLiteral("/bench_1080p25.mp4");
    QStringList arguments { QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
        QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
        QStringLiteral("testsrc2=s=1920x1080:r=25:d=%1").arg(seconds) };
    if (withSound)
        arguments << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
                  << QStringLiteral("sine=f=440:r=48000:d=%1").arg(seconds) << QStringLiteral("-c:a")
                  << QStringLiteral("aac");
    arguments << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p") << QStringLiteral("-c:v")
              << QStringLiteral("libx264") << QStringLiteral("-preset") << QStringLiteral("veryfast") << path;
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
    if (!ffmpeg.waitForFinished(600000) || ffmpeg.exitCode() != 0)
        return QString();
    return path;
}

// Describes a clip as the metadata reader would, ready for the preview;
// false, with a message, when it cannot be read.
inline bool describe(AssetMetadata& asset, const QString& clip)
{
    asset.filePath = clip;
    WinSourceReader describer(true);
    if (!describer.initializeFromMetadata(&asset) || !describer.fillMetadata()) {
        std::fprintf(stderr, "could not read %s\n", qPrintable(clip));
        return false;
    }
    delete describer.takeCurrentFrame();
    asset.ready = true;
    return true;
}

// Runs the event loop for a while.
inline void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Shows the preview window at the size and waits up to 5 s for it to be
// exposed; false, with a message, when it is not.
template<typename Preview> bool showExposed(Preview& preview, const QSize& size)
{
    preview.resize(size);
    preview.show();
    for (int i = 0; i < 100 && !preview.isExposed(); ++i)
        wait(50);
    if (preview.isExposed())
        return true;
    std::fprintf(stderr, "the preview window was not shown\n");
    return false;
}

} // namespace Emulsa::Bench
