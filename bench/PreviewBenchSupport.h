#pragma once

// What the preview benchmarks share: their clip and a wait that keeps the
// event loop running.

#include "media/clip/AssetMetadata.h"
#include "media/frame/Frame.h"
#include "media/source/WinSourceReader.h"

#include <QEventLoop>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

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
// false when it cannot be read.
inline bool describe(AssetMetadata& asset, const QString& clip)
{
    asset.filePath = clip;
    WinSourceReader describer(true);
    if (!describer.initializeFromMetadata(&asset) || !describer.fillMetadata())
        return false;
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

} // namespace Emulsa::Bench
