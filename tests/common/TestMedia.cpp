#include "TestMedia.h"

#include "TestEnvironment.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>

namespace Emulsa::Test {

namespace {

constexpr int gridSize = 4;

// Reads the bits of the index grid with the luma of a pixel given by `luma`.
template<typename LumaAt> int readIndex(int width, int height, LumaAt luma)
{
    if (width < gridSize * 8 || height < gridSize * 8)
        return -1;
    int index = 0;
    for (int row = 0; row < gridSize; ++row) {
        for (int column = 0; column < gridSize; ++column) {
            // Average a small patch in the middle of the block.
            const int cx = (2 * column + 1) * width / (2 * gridSize);
            const int cy = (2 * row + 1) * height / (2 * gridSize);
            int sum = 0;
            for (int y = cy - 2; y < cy + 2; ++y)
                for (int x = cx - 2; x < cx + 2; ++x)
                    sum += luma(x, y);
            const int mean = sum / 16;
            if (mean > 60 && mean < 190)
                return -1;
            if (mean >= 190)
                index |= 1 << (column + gridSize * row);
        }
    }
    return index;
}

} // namespace

TestMedia& TestMedia::instance()
{
    static TestMedia media;
    return media;
}

TestMedia::TestMedia()
    : m_folder(makeTempFolder(QStringLiteral("media")))
{
}

TestMedia::ClipInfo TestMedia::info(Clip clip)
{
    switch (clip) {
    case H264Limited1080p25:
        return { QStringLiteral("h264_1080p25.mp4"), 1920, 1080, 25, 1, 50, true };
    case H264FullRange:
        return { QStringLiteral("h264_fullrange.mp4"), 640, 360, 25, 1, 30, false };
    case H264Height1088:
        return { QStringLiteral("h264_1920x1088.mp4"), 1920, 1088, 25, 1, 10, false };
    case ProResMov:
        return { QStringLiteral("prores_hq.mov"), 640, 360, 25, 1, 30, true };
    case H264Fps2997:
        return { QStringLiteral("h264_2997.mp4"), 640, 360, 30000, 1001, 60, true };
    case Portrait:
        return { QStringLiteral("h264_portrait.mp4"), 1080, 1920, 25, 1, 10, false };
    case NoAudio:
        return { QStringLiteral("h264_noaudio.mp4"), 640, 360, 25, 1, 30, false };
    case PlanarFloatAudio:
        return { QStringLiteral("h264_aac.mp4"), 640, 360, 25, 1, 25, true };
    case InterleavedFloatAudio:
        return { QStringLiteral("h264_pcmf32.mov"), 640, 360, 25, 1, 25, true };
    case AudioOnly:
        return { QStringLiteral("audio_only.m4a"), 0, 0, 0, 1, 0, true };
    }
    return {};
}

QString TestMedia::indexedVideoSource(int width, int height, const QString& rate, double seconds)
{
    // The grid is drawn at 4 x 4 pixels and enlarged without filtering, which
    // is far quicker than evaluating the expression on every full-size pixel.
    return QStringLiteral("nullsrc=s=4x4:r=%1:d=%2,format=yuv444p,"
                          "geq=lum='if(mod(floor(N/pow(2\\,X+4*Y))\\,2)\\,235\\,16)':cb=128:cr=128,"
                          "scale=%3:%4:flags=neighbor")
        .arg(rate)
        .arg(seconds)
        .arg(width)
        .arg(height);
}

QString TestMedia::path(Clip clip)
{
    const ClipInfo clipInfo = info(clip);
    const double seconds
        = clipInfo.frameRateNum > 0 ? double(clipInfo.frameCount) * clipInfo.frameRateDen / clipInfo.frameRateNum : 2.0;
    const QString rate = QStringLiteral("%1/%2").arg(clipInfo.frameRateNum).arg(clipInfo.frameRateDen);
    const QString video = indexedVideoSource(clipInfo.width, clipInfo.height, rate, seconds);
    const QString tone = QStringLiteral("sine=f=440:r=48000:d=%1").arg(seconds);
    const QStringList h264 = { QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
        QStringLiteral("veryfast"), QStringLiteral("-g"), QStringLiteral("12") };
    const QStringList stereoTone = { QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), tone,
        QStringLiteral("-ac"), QStringLiteral("2") };
    QStringList args = { QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i") };

    switch (clip) {
    case H264Limited1080p25:
    case H264Fps2997:
    case PlanarFloatAudio:
        args << video + QStringLiteral(",format=yuv420p") << stereoTone << h264 << QStringLiteral("-c:a")
             << QStringLiteral("aac");
        break;
    case H264FullRange:
        args << video + QStringLiteral(",format=yuvj420p") << h264 << QStringLiteral("-color_range")
             << QStringLiteral("pc");
        break;
    case H264Height1088:
    case Portrait:
    case NoAudio:
        args << video + QStringLiteral(",format=yuv420p") << h264;
        break;
    case ProResMov:
        args << video + QStringLiteral(",format=yuv422p10le") << stereoTone << QStringLiteral("-c:v")
             << QStringLiteral("prores_ks") << QStringLiteral("-profile:v") << QStringLiteral("3")
             << QStringLiteral("-c:a") << QStringLiteral("pcm_s16le");
        break;
    case InterleavedFloatAudio:
        args << video + QStringLiteral(",format=yuv420p") << stereoTone << h264 << QStringLiteral("-c:a")
             << QStringLiteral("pcm_f32le");
        break;
    case AudioOnly:
        args.clear();
        args << stereoTone << QStringLiteral("-c:a") << QStringLiteral("aac");
        break;
    }
    args << QStringLiteral("-t") << QString::number(seconds);
    return generate(clipInfo.fileName, args);
}

QString TestMedia::generate(const QString& fileName, const QStringList& arguments)
{
    const QString target = m_folder + QLatin1Char('/') + fileName;
    if (QFileInfo(target).size() > 0)
        return target;
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    QStringList all
        = { QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y") };
    all << arguments << target;
    ffmpeg.start(QStringLiteral("ffmpeg"), all);
    if (!ffmpeg.waitForFinished(300000) || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0) {
        qWarning() << "TestMedia: ffmpeg failed for" << fileName << ffmpeg.readAll();
        QFile::remove(target);
        return QString();
    }
    return target;
}

QString TestMedia::makeZeroByteFile(const QString& fileName)
{
    const QString target = m_folder + QLatin1Char('/') + fileName;
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    return target;
}

QString TestMedia::makeRandomBytesFile(const QString& fileName, int bytes)
{
    const QString target = m_folder + QLatin1Char('/') + fileName;
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    QRandomGenerator generator(20250601);
    QByteArray data(bytes, '\0');
    for (char& c : data)
        c = char(generator.bounded(256));
    file.write(data);
    return target;
}

QString TestMedia::makeTruncatedCopy(Clip clip, const QString& fileName, double keepFraction)
{
    QFile source(path(clip));
    if (!source.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = source.readAll();
    const QString target = m_folder + QLatin1Char('/') + fileName;
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write(bytes.left(int(bytes.size() * keepFraction)));
    return target;
}

QString TestMedia::makeProResWithDamagedFrame(int frame, const QString& fileName)
{
    QFile source(path(ProResMov));
    if (!source.open(QIODevice::ReadOnly))
        return QString();
    QByteArray bytes = source.readAll();
    // Every ProRes frame starts with its size and the tag "icpf".
    int at = -1;
    for (int i = 0; i <= frame; ++i) {
        at = bytes.indexOf("icpf", at + 1);
        if (at < 0)
            return QString();
    }
    bytes.replace(at, 4, "XXXX");
    const QString target = m_folder + QLatin1Char('/') + fileName;
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write(bytes);
    return target;
}

int TestMedia::frameIndexFromYuy2(const uchar* data, int width, int height, int stride)
{
    if (!data)
        return -1;
    return readIndex(width, height, [&](int x, int y) { return int(data[size_t(y) * stride + 2 * x]); });
}

int TestMedia::frameIndexFromBgra(const uchar* data, int width, int height, int stride)
{
    if (!data)
        return -1;
    return readIndex(width, height, [&](int x, int y) {
        const uchar* p = data + size_t(y) * stride + 4 * x;
        return (int(p[0]) * 29 + int(p[1]) * 150 + int(p[2]) * 77) / 256;
    });
}

int TestMedia::frameIndexFromImage(const QImage& image)
{
    if (image.isNull())
        return -1;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    return frameIndexFromBgra(rgb.constBits(), rgb.width(), rgb.height(), rgb.bytesPerLine());
}

} // namespace Emulsa::Test
