#include "TestMedia.h"

#include "FfmpegTool.h"
#include "TestEnvironment.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QImage>
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

// Writes the bytes to the path; returns the path, or empty on failure.
QString writtenFile(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size())
        return QString();
    return path;
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
    case SurroundSound:
        return { QStringLiteral("h264_surround.mov"), 640, 360, 25, 1, 25, true };
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
    case SurroundSound:
        // Front left sounds for the first half second, the centre for the
        // second; the other channels are silent.
        args << video + QStringLiteral(",format=yuv420p") << QStringLiteral("-f") << QStringLiteral("lavfi")
             << QStringLiteral("-i")
             << QStringLiteral("aevalsrc=0.125*sin(2*PI*440*t)*lt(t\\,0.5)|0|0.125*sin(2*PI*440*t)*gte(t\\,0.5)|0|0|0"
                               ":c=5.1:s=48000:d=%1")
                    .arg(seconds)
             << h264 << QStringLiteral("-c:a") << QStringLiteral("pcm_s16le");
        break;
    case AudioOnly:
        args.clear();
        args << stereoTone << QStringLiteral("-c:a") << QStringLiteral("aac");
        break;
    }
    args << QStringLiteral("-t") << QString::number(seconds);
    return generate(clipInfo.fileName, args);
}

TestMedia::FootageInfo TestMedia::footageInfo(Footage clip)
{
    switch (clip) {
    case FootageMp4:
        return { QStringLiteral("MP4"), QStringLiteral("footage.mp4") };
    case FootageMov:
        return { QStringLiteral("MOV"), QStringLiteral("footage.mov") };
    case FootageFragmentedMp4:
        return { QStringLiteral("fragmented MP4"), QStringLiteral("footage_fragmented.mp4") };
    case FootageTsGop12:
        return { QStringLiteral("MPEG-TS GOP 12"), QStringLiteral("footage_gop12.ts") };
    case FootageTsOneKey:
        return { QStringLiteral("MPEG-TS one key frame"), QStringLiteral("footage_onekey.ts") };
    case FootageM2ts:
        return { QStringLiteral("M2TS"), QStringLiteral("footage.m2ts") };
    case FootageMpegPs:
        return { QStringLiteral("MPEG-PS"), QStringLiteral("footage.mpg") };
    case FootageMkv:
        return { QStringLiteral("MKV"), QStringLiteral("footage.mkv") };
    case FootageAviBFrames:
        return { QStringLiteral("AVI B-frames"), QStringLiteral("footage_bframes.avi") };
    case FootageVfr:
        return { QStringLiteral("VFR"), QStringLiteral("footage_vfr.mp4") };
    case FootageVfrBFrames:
        return { QStringLiteral("VFR B-frames"), QStringLiteral("footage_vfr_bframes.mp4") };
    case FootageInterlaced:
        return { QStringLiteral("interlaced"), QStringLiteral("footage_interlaced.ts") };
    case FootageRotated:
        return { QStringLiteral("rotated 90"), QStringLiteral("footage_rotated.mp4"), 120, 160 };
    case FootageOddWidth:
        return { QStringLiteral("odd width"), QStringLiteral("footage_odd.mp4"), 160, 121 };
    case FootageRgb:
        return { QStringLiteral("RGB-coded"), QStringLiteral("footage_rgb.mov") };
    case FootageTruncated:
        return { QStringLiteral("truncated"), QStringLiteral("footage_truncated.mp4"), 160, 120, true };
    case FootageCount:
        break;
    }
    return {};
}

double TestMedia::footagePictureTime(Footage clip, int picture)
{
    const bool late
        = (clip == FootageVfr || clip == FootageVfrBFrames) && picture >= 21 && picture <= 39 && picture % 2 == 1;
    return (picture + (late ? 0.5 : 0.0)) / 25.0;
}

QString TestMedia::footagePath(Footage clip)
{
    return makeFootage(clip, QStringLiteral("sine=f=440:r=48000:d=2"), QString());
}

QString TestMedia::markedSoundPath(Footage clip)
{
    if (clip == FootageRotated || clip == FootageTruncated || clip == FootageCount)
        return QString();
    // A 1 kHz burst starting at its crest (a cosine), 10 ms long, at every
    // marked frame.
    // Counted in samples (n), so that every mark starts on its frame's
    // sample exactly.
    const int first = markFirstFrame * 48000 / 25;
    const int every = markEvery * 48000 / 25;
    const QString marks = QStringLiteral("aevalsrc=0.5*cos(2*PI*1000*(n-%1)/48000)*gte(n\\,%1)*lt(mod(n-%1\\,%2)\\,480)"
                                         ":s=48000:d=2")
                              .arg(first)
                              .arg(every);
    return makeFootage(clip, marks, QStringLiteral("marked_"));
}

QString TestMedia::makeFootage(Footage clip, const QString& sound, const QString& prefix)
{
    const FootageInfo clipInfo = footageInfo(clip);
    const double seconds = 2.0;
    const auto s = [](const char* text) { return QString::fromLatin1(text); };
    QString video
        = indexedVideoSource(clipInfo.width + (clip == FootageOddWidth ? 1 : 0), clipInfo.height, s("25"), seconds);
    const QString& tone = sound;
    const QStringList x264 = { s("-c:v"), s("libx264"), s("-preset"), s("veryfast"), s("-g"), s("12") };
    const QStringList aac = { s("-c:a"), s("aac") };
    const QStringList pcm = { s("-c:a"), s("pcm_s16le") };
    QStringList codecs;
    QStringList output;
    QString target = prefix + clipInfo.fileName;
    switch (clip) {
    case FootageMp4:
    case FootageMkv:
    case FootageTsGop12:
    case FootageM2ts:
        codecs << x264 << aac;
        break;
    case FootageMov:
        codecs << x264 << pcm;
        break;
    case FootageFragmentedMp4:
        codecs << x264 << aac;
        output << s("-movflags") << s("frag_keyframe+empty_moov+default_base_moof");
        break;
    case FootageTsOneKey:
        codecs << s("-c:v") << s("libx264") << s("-preset") << s("veryfast") << s("-x264-params")
               << s("keyint=1000:min-keyint=1000:scenecut=0") << aac;
        break;
    case FootageMpegPs:
        codecs << s("-c:v") << s("mpeg2video") << s("-q:v") << s("2") << s("-g") << s("12") << s("-bf") << s("2")
               << s("-c:a") << s("mp2");
        break;
    case FootageAviBFrames:
        codecs << s("-c:v") << s("mpeg4") << s("-q:v") << s("2") << s("-g") << s("12") << s("-bf") << s("2") << pcm;
        break;
    case FootageVfr:
    case FootageVfrBFrames:
        // Odd pictures 21 .. 39 half a frame late: frames repeat and drop.
        video += s(",settb=1/1000,setpts='(N+if(between(N\\,21\\,39)*mod(N\\,2)\\,0.5\\,0))/(25*TB)'");
        codecs << x264 << aac << s("-fps_mode") << s("passthrough");
        if (clip == FootageVfr)
            codecs << s("-bf") << s("0");
        break;
    case FootageInterlaced:
        codecs << x264 << s("-flags") << s("+ilme+ildct") << s("-x264-params") << s("tff=1") << s("-field_order")
               << s("tt") << aac;
        break;
    case FootageRotated:
        // Coded turned a quarter to the right, with a display matrix (the
        // "rotate" tag, kept only when copying) that turns it back.
        video += s(",transpose=clock");
        codecs << x264 << aac;
        target = prefix + s("footage_rotated_coded.mp4");
        break;
    case FootageOddWidth:
        codecs << x264 << aac;
        break;
    case FootageRgb:
        video += s(",format=rgb24");
        codecs << s("-c:v") << s("qtrle") << pcm;
        break;
    case FootageTruncated:
        codecs << x264 << aac;
        output << s("-movflags") << s("+faststart");
        target = prefix + s("footage_whole.mp4");
        break;
    case FootageCount:
        return QString();
    }
    const QString pixelFormat = clip == FootageRgb ? s("rgb24") : clip == FootageOddWidth ? s("yuv444p") : s("yuv420p");
    if (clip != FootageRgb)
        video += s(",format=") + pixelFormat;
    QStringList args = { s("-f"), s("lavfi"), s("-i"), video, s("-f"), s("lavfi"), s("-i"), tone, s("-ac"), s("2") };
    args << codecs << output << s("-t") << QString::number(seconds);
    const QString made = generate(target, args);
    if (clip == FootageRotated && !made.isEmpty())
        return generate(
            prefix + clipInfo.fileName, { s("-i"), made, s("-c"), s("copy"), s("-metadata:s:v:0"), s("rotate=90") });
    if (clip != FootageTruncated || made.isEmpty())
        return made;
    QFile source(made);
    if (!source.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = source.readAll();
    const QString cut = m_folder + QLatin1Char('/') + prefix + clipInfo.fileName;
    QFile file(cut);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write(bytes.left(int(bytes.size() * 0.6)));
    return cut;
}

QString TestMedia::pixelPatternPath()
{
    // The same expression as pixelPatternIsWhite(), on every pixel.
    const QString source = QStringLiteral("nullsrc=s=%1x%2:r=25:d=0.2,format=yuv420p,"
                                          "geq=lum='if(mod(X+Y+floor(X/7)+floor(Y/5)\\,2)\\,235\\,16)':cb=128:cr=128")
                               .arg(pixelPatternWidth)
                               .arg(pixelPatternHeight);
    return generate(QStringLiteral("pixel_pattern.mp4"),
        { QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), source, QStringLiteral("-c:v"),
            QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("veryfast"), QStringLiteral("-qp"),
            QStringLiteral("0"), QStringLiteral("-t"), QStringLiteral("0.2") });
}

QString TestMedia::generate(const QString& fileName, const QStringList& arguments)
{
    const QString target = m_folder + QLatin1Char('/') + fileName;
    if (QFileInfo(target).size() > 0)
        return target;
    const FfmpegTool::Result result = FfmpegTool::ffmpeg(QStringList(arguments) << target, 300000);
    if (!result.ok) {
        qWarning() << "TestMedia: ffmpeg failed for" << fileName << result.errors;
        QFile::remove(target);
        return QString();
    }
    return target;
}

QString TestMedia::tenBitRamp(const QString& fileName, int width, int height, const QString& luma, const QString& cb)
{
    return generate(fileName,
        { QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("nullsrc=s=%1x%2:r=25,format=yuv422p10le,geq=lum='%3':cb='%4':cr=512")
                .arg(width)
                .arg(height)
                .arg(luma, cb),
            QStringLiteral("-frames:v"), QStringLiteral("3"), QStringLiteral("-c:v"), QStringLiteral("prores_ks"),
            QStringLiteral("-profile:v"), QStringLiteral("3"), QStringLiteral("-pix_fmt"),
            QStringLiteral("yuv422p10le") });
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

QString TestMedia::makeHlsPlaylistFile(const QString& fileName, const QString& listed)
{
    return writtenFile(m_folder + QLatin1Char('/') + fileName,
        QByteArrayLiteral("#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\n") + listed.toUtf8()
            + QByteArrayLiteral("\n#EXT-X-ENDLIST\n"));
}

QString TestMedia::makeConcatListFile(const QString& fileName, const QString& listed)
{
    return writtenFile(m_folder + QLatin1Char('/') + fileName,
        QByteArrayLiteral("ffconcat version 1.0\nfile '") + listed.toUtf8() + QByteArrayLiteral("'\n"));
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
