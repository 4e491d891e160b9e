// Decoding speed of the source reader against FFmpeg's own command-line tool on
// the same 1080p H.264 clip, in software and, where a device is found (the
// mode of EMULSA_HW_DECODE, auto by default), on the video hardware side by
// side; and the latency of a precise seek. Prints figures; run it on a quiet
// machine.

#include "common/FfmpegTool.h"
#include "media/clip/AssetMetadata.h"
#include "media/frame/Frame.h"
#include "media/source/HardwareDecoding.h"
#include "media/source/WinSourceReader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace Emulsa;

namespace {

constexpr int kSeconds = 10;
constexpr int kRounds = 3;

bool runFfmpeg(const QStringList& arguments, double* seconds = nullptr)
{
    const Test::FfmpegTool::Result result = Test::FfmpegTool::ffmpeg(arguments);
    if (!result.ok)
        std::fprintf(stderr, "%s", qPrintable(result.errors));
    if (seconds)
        *seconds = result.seconds;
    return result.ok;
}

// *onDevice: whether the last frame still came from the device.
double readerFramesPerSecond(AssetMetadata* metadata, int* frames, bool* onDevice = nullptr)
{
    WinSourceReader reader;
    if (!reader.initializeFromMetadata(metadata))
        return 0.0;
    QElapsedTimer timer;
    timer.start();
    int count = 0;
    while (Frame* frame = reader.getNextFrame(false)) {
        delete frame;
        ++count;
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    *frames = count;
    if (onDevice)
        *onDevice = reader.decodesWithHardware();
    return count / seconds;
}

bool reportSeekLatency(const QString& path)
{
    AssetMetadata metadata;
    metadata.filePath = path;
    WinSourceReader reader;
    if (!reader.initializeFromMetadata(&metadata) || !reader.fillMetadata())
        return false;
    const quint32 middle = metadata.frameCount / 2;
    std::vector<double> latencies;
    for (int i = 0; i < 7; ++i) {
        reader.seekToFrame(0, false);
        QElapsedTimer timer;
        timer.start();
        reader.seekToFrame(middle, true);
        std::unique_ptr<Frame> frame(reader.getNextFrame(false));
        latencies.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!frame || frame->index != int(middle)) {
            std::fprintf(stderr, "precise seek to %u delivered %d\n", middle, frame ? frame->index : -1);
            return false;
        }
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("%s: precise seek to frame %u of %u and read: median %.1f ms, min %.1f ms, max %.1f ms\n",
        qPrintable(QFileInfo(path).suffix()), middle, metadata.frameCount, latencies[latencies.size() / 2],
        latencies.front(), latencies.back());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    QTemporaryDir folder;
    const QString clip = folder.filePath(QStringLiteral("bench_1080p25.mp4"));
    std::printf("Making a %d s 1920x1080 25 fps H.264 clip...\n", kSeconds);
    if (!runFfmpeg({ QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("testsrc2=s=1920x1080:r=25:d=%1,noise=alls=12:allf=t,format=yuv420p").arg(kSeconds),
            QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("veryfast"),
            QStringLiteral("-crf"), QStringLiteral("20"), QStringLiteral("-g"), QStringLiteral("25"), clip })) {
        std::fprintf(stderr, "ffmpeg could not make the clip\n");
        return 1;
    }

    AssetMetadata metadata;
    metadata.filePath = clip;
    {
        WinSourceReader describer(true);
        if (!describer.initializeFromMetadata(&metadata) || !describer.fillMetadata()) {
            std::fprintf(stderr, "the reader could not describe the clip\n");
            return 1;
        }
    }
    std::printf(
        "clip: %ux%u, %u frames, stride %u\n", metadata.width, metadata.height, metadata.frameCount, metadata.stride);

    const HardwareDecodingMode mode = HardwareDecoding::modeFromEnvironment();
    HardwareDecoding::setMode(mode);
    const std::shared_ptr<const HardwareDecoding::Device> device = HardwareDecoding::device();
    if (device)
        std::printf("hardware decoding: the %s device (mode %s)\n", qPrintable(device->name),
            qPrintable(HardwareDecoding::modeName(mode)));
    else
        std::printf("hardware decoding: no device found (mode %s); software only\n",
            qPrintable(HardwareDecoding::modeName(mode)));

    // Alternate the decoders and keep the best round of each.
    double bestReader = 0.0;
    double bestDevice = 0.0;
    double bestFfmpeg = 0.0;
    int frames = 0;
    for (int round = 0; round < kRounds; ++round) {
        HardwareDecoding::setMode(HardwareDecodingMode::Off);
        const double reader = readerFramesPerSecond(&metadata, &frames);
        double onDevice = 0.0;
        int deviceFrames = 0;
        bool stayed = false;
        if (device) {
            HardwareDecoding::setMode(mode);
            onDevice = readerFramesPerSecond(&metadata, &deviceFrames, &stayed);
        }
        double seconds = 0.0;
        if (!runFfmpeg({ QStringLiteral("-i"), clip, QStringLiteral("-pix_fmt"), QStringLiteral("yuyv422"),
                           QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-") },
                &seconds)) {
            std::fprintf(stderr, "ffmpeg could not decode the clip\n");
            return 1;
        }
        const double ffmpeg = metadata.frameCount / seconds;
        std::printf("round %d: WinSourceReader software %.1f fps (%d frames)", round + 1, reader, frames);
        if (device)
            std::printf(", %s %.1f fps (%d frames%s)", qPrintable(device->name), onDevice, deviceFrames,
                stayed ? "" : ", fell back to software");
        std::printf(", ffmpeg -pix_fmt yuyv422 -f null %.1f fps\n", ffmpeg);
        bestReader = std::max(bestReader, reader);
        bestDevice = std::max(bestDevice, onDevice);
        bestFfmpeg = std::max(bestFfmpeg, ffmpeg);
    }
    std::printf("decode to YUY2, best of %d: WinSourceReader software %.1f fps", kRounds, bestReader);
    if (device)
        std::printf(", %s %.1f fps (%.2f x software)", qPrintable(device->name), bestDevice, bestDevice / bestReader);
    std::printf(", ffmpeg %.1f fps, software / ffmpeg %.2f\n", bestFfmpeg, bestReader / bestFfmpeg);
    HardwareDecoding::setMode(mode);

    // Precise seek to the middle of the clip, then the read of that frame,
    // in the MP4 (an index) and the same pictures in MPEG-TS (no index).
    const QString transport = folder.filePath(QStringLiteral("bench_1080p25.ts"));
    if (!runFfmpeg({ QStringLiteral("-i"), clip, QStringLiteral("-c"), QStringLiteral("copy"), transport })) {
        std::fprintf(stderr, "ffmpeg could not remux the clip\n");
        return 1;
    }
    for (const QString& path : { clip, transport }) {
        if (!reportSeekLatency(path))
            return 1;
    }
    return 0;
}
