// The sound decoder on a minute of AAC stereo in MP4, MPEG-TS and Matroska:
// decoding speed against real time, and the latency of a seek and the read
// of the next 20 ms, far (anywhere in the file) and near (a step forward of
// a frame, as a player going on after a pause). Prints figures; run it on a
// quiet machine.

#include "common/FfmpegTool.h"
#include "media/clip/AssetMetadata.h"
#include "media/source/FrameClock.h"
#include "media/source/SoundDecoder.h"
#include "media/source/WinSourceReader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Emulsa;

namespace {

constexpr int kSeconds = 60;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

bool report(const QString& path)
{
    AssetMetadata metadata;
    metadata.filePath = path;
    WinSourceReader reader;
    if (!reader.initializeFromMetadata(&metadata))
        return false;
    const double origin = reader.originSeconds();
    const FrameClock clock(25, 1);

    SoundDecoder decoder;
    if (!decoder.open(path, origin))
        return false;
    const int rate = decoder.sampleRate();
    std::vector<uchar> pcm(size_t(rate) * size_t(decoder.bytesPerSample()));
    QElapsedTimer timer;
    timer.start();
    qint64 samples = 0;
    while (!decoder.ended()) {
        if (decoder.read(pcm.data(), rate) < 0)
            return false;
        samples += rate;
    }
    const double decodeSeconds = double(timer.nsecsElapsed()) / 1e9;

    // Far seeks to random frames, then 20 ms read.
    const qint64 piece = rate / 50;
    QRandomGenerator random(7);
    std::vector<double> far;
    for (int i = 0; i < 40; ++i) {
        const int frame = random.bounded(25 * kSeconds);
        timer.restart();
        decoder.seek(clock.sampleAtFrame(frame, rate));
        decoder.read(pcm.data(), piece);
        far.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    // Near seeks: a frame forward of where the last read ended.
    std::vector<double> near;
    decoder.seek(clock.sampleAtFrame(100, rate));
    for (int i = 0; i < 200; ++i) {
        timer.restart();
        decoder.seek(decoder.position() + clock.sampleAtFrame(1, rate));
        decoder.read(pcm.data(), piece);
        near.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("%-4s: whole sound %.0fx real time (%lld samples); seek + 20 ms read: far median %.2f ms, max %.2f "
                "ms; near median %.3f ms, max %.3f ms; container seeks %d, reads from the start %d\n",
        qPrintable(QFileInfo(path).suffix()), double(samples) / rate / decodeSeconds, static_cast<long long>(samples),
        median(far), *std::max_element(far.begin(), far.end()), median(near),
        *std::max_element(near.begin(), near.end()), decoder.containerSeeks(), decoder.restarts());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    QTemporaryDir folder;
    const auto s = [](const char* text) { return QString::fromLatin1(text); };
    std::printf("Making %d s clips, 160x120 H.264 with AAC stereo 48 kHz...\n", kSeconds);
    for (const char* suffix : { "mp4", "ts", "mkv" }) {
        const QString clip = folder.filePath(s("bench_sound.") + s(suffix));
        const Test::FfmpegTool::Result made = Test::FfmpegTool::ffmpeg(
            { s("-f"), s("lavfi"), s("-i"), QStringLiteral("testsrc2=s=160x120:r=25:d=%1,format=yuv420p").arg(kSeconds),
                s("-f"), s("lavfi"), s("-i"), QStringLiteral("sine=f=440:r=48000:d=%1").arg(kSeconds), s("-ac"), s("2"),
                s("-c:v"), s("libx264"), s("-preset"), s("veryfast"), s("-c:a"), s("aac"), clip });
        if (!made.ok) {
            std::fprintf(stderr, "ffmpeg could not make the clip: %s\n", qPrintable(made.errors));
            return 1;
        }
        if (!report(clip)) {
            std::fprintf(stderr, "the sound decoder could not read %s\n", qPrintable(clip));
            return 1;
        }
    }
    return 0;
}
