#include "common/TestEnvironment.h"

#include "common/FileSizeLimit.h"
#include "common/RenderProbe.h"
#include "media/encode/MediaWriter.h"
#include "media/render/OutputSettings.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QtTest>

#include <cmath>
#include <vector>

using namespace Emulsa;
using Emulsa::Test::RenderProbe;

namespace {

// A packed YUY2 picture: luma `left` on the left half and `right` on the
// right half, neutral chroma.
std::vector<uchar> twoLevelPicture(int width, int height, uchar left, uchar right)
{
    std::vector<uchar> bytes(size_t(width) * height * 2);
    for (int y = 0; y < height; ++y) {
        uchar* row = bytes.data() + size_t(y) * width * 2;
        for (int x = 0; x < width; x += 2) {
            const uchar luma = x < width / 2 ? left : right;
            row[2 * x] = luma;
            row[2 * x + 1] = 128;
            row[2 * x + 2] = luma;
            row[2 * x + 3] = 128;
        }
    }
    return bytes;
}

// A textured picture (smooth gradients plus fine detail) that moves with t.
std::vector<uchar> texturedPicture(int width, int height, int t)
{
    std::vector<uchar> bytes(size_t(width) * height * 2);
    QRandomGenerator random(1234 + t);
    for (int y = 0; y < height; ++y) {
        uchar* row = bytes.data() + size_t(y) * width * 2;
        for (int x = 0; x < width; x += 2) {
            for (int k = 0; k < 2; ++k) {
                const double v
                    = 126 + 60 * std::sin((x + k + 3 * t) * 0.05) * std::cos(y * 0.07) + int(random.bounded(24)) - 12;
                row[2 * (x + k)] = uchar(std::clamp(int(v), 16, 235));
            }
            row[2 * x + 1] = uchar(128 + 40 * std::sin(y * 0.03 + t * 0.1));
            row[2 * x + 3] = uchar(128 + 40 * std::cos(x * 0.02));
        }
    }
    return bytes;
}

QByteArray tone(int sampleRate, double seconds)
{
    const int samples = int(std::lround(sampleRate * seconds));
    QByteArray pcm(samples * 4, '\0');
    auto* out = reinterpret_cast<qint16*>(pcm.data());
    for (int i = 0; i < samples; ++i) {
        const qint16 v = qint16(8000 * std::sin(2 * M_PI * 440.0 * i / sampleRate));
        out[2 * i] = v;
        out[2 * i + 1] = v;
    }
    return pcm;
}

// A grey ramp of 16-bit RGBA, black at the left to white at the right, one
// step of the 10-bit scale a column when the width is 1024.
std::vector<uchar> greyRamp16(int width, int height)
{
    std::vector<uchar> bytes(size_t(width) * height * 8);
    auto* samples = reinterpret_cast<quint16*>(bytes.data());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            quint16* p = samples + (size_t(y) * width + x) * 4;
            p[0] = p[1] = p[2] = quint16(std::lround(x * 65535.0 / (width - 1)));
            p[3] = 65535;
        }
    return bytes;
}

double psnr(const uchar* a, const uchar* b, int count)
{
    double sum = 0;
    for (int i = 0; i < count; ++i) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    const double mse = sum / count;
    return mse <= 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

} // namespace

class TestMediaWriter : public QObject
{
    Q_OBJECT

private:
    QString m_folder;

    // H.264 of the given size and quality at 25 frames a second.
    static MediaWriter::VideoFormat sizedFormat(int width, int height, int quality = 100)
    {
        MediaWriter::VideoFormat format;
        format.width = width;
        format.height = height;
        format.quality = quality;
        return format;
    }

    // Writes `frames` pictures made by `picture` and optionally `audioSeconds`
    // of tone; returns whether every step succeeded.
    template<typename Picture>
    bool writeMovie(const QString& path, MediaWriter::VideoFormat format, int frames, qint64 duration, Picture picture,
        double audioSeconds = 0.0, int sampleRate = 48000)
    {
        MediaWriter writer;
        if (!writer.create(path) || writer.addVideoStream(format) != 0)
            return false;
        if (audioSeconds > 0 && writer.addAudioStream(sampleRate) != 1)
            return false;
        if (!writer.beginWriting())
            return false;
        const QByteArray sound = audioSeconds > 0 ? tone(sampleRate, audioSeconds) : QByteArray();
        int soundOffset = 0;
        for (int i = 0; i < frames; ++i) {
            const std::vector<uchar> bytes = picture(i);
            const bool written = VideoEncoder::takesRgba64(format.codec)
                ? writer.writeVideoFrameRgba64(
                    reinterpret_cast<const quint16*>(bytes.data()), format.width * 8, duration)
                : writer.writeVideoFrame(bytes.data(), format.width * 2, duration);
            if (!written)
                return false;
            // Interleave sound the way a demuxer would, in 1/frames slices.
            if (!sound.isEmpty()) {
                const int end = int(qint64(sound.size() / 4) * (i + 1) / frames) * 4;
                if (!writer.writeAudio(
                        reinterpret_cast<const uchar*>(sound.constData()) + soundOffset, end - soundOffset))
                    return false;
                soundOffset = end;
            }
        }
        return writer.finalize();
    }

private slots:
    void initTestCase() { m_folder = Emulsa::Test::makeTempFolder(QStringLiteral("writer")); }

    // ffprobe sees H.264 High 5.1 at the asked size and rate, every picture,
    // and AAC sound of the written length starting at 0.
    void movieIsH264AndAac()
    {
        const QString path = m_folder + QStringLiteral("/basic.mov");
        MediaWriter::VideoFormat format = sizedFormat(320, 240, 80);
        QVERIFY(writeMovie(
            path, format, 50, 400000, [](int i) { return texturedPicture(320, 240, i); }, 2.0));
        const RenderProbe::Movie movie = RenderProbe::probe(path);
        QVERIFY(movie.ok);
        QVERIFY(movie.container.contains(QLatin1String("mov")));
        QCOMPARE(movie.streamCount, 2);
        QCOMPARE(movie.video.codec, QStringLiteral("h264"));
        QCOMPARE(movie.video.profile, QStringLiteral("High"));
        QCOMPARE(movie.video.level, 51);
        QCOMPARE(movie.video.width, 320);
        QCOMPARE(movie.video.height, 240);
        QCOMPARE(movie.video.frameRate, QStringLiteral("25/1"));
        QCOMPARE(movie.video.pixelFormat, QStringLiteral("yuv420p"));
        QCOMPARE(movie.video.frames, 50);
        QCOMPARE(movie.video.startTime, 0.0);
        QVERIFY(std::abs(movie.video.duration - 2.0) < 0.001);
        QCOMPARE(movie.audio.codec, QStringLiteral("aac"));
        QCOMPARE(movie.audio.sampleRate, 48000);
        QCOMPARE(movie.audio.channels, 2);
        QCOMPARE(movie.audio.startTime, 0.0);
        QVERIFY2(std::abs(movie.audio.duration - 2.0) < 0.025, qPrintable(QString::number(movie.audio.duration)));
        // The tone survives: the decoded sound has the written loudness.
        const QByteArray sound = RenderProbe::decodeAudio(path, 48000);
        QVERIFY(sound.size() >= 48000 * 4);
        const auto* samples = reinterpret_cast<const qint16*>(sound.constData());
        int peak = 0;
        for (int i = 48000; i < 96000; ++i)
            peak = std::max(peak, std::abs(int(samples[i])));
        QVERIFY2(peak > 7000 && peak < 9000, qPrintable(QString::number(peak)));
    }

    void deepCodecsKeepTenBits_data()
    {
        QTest::addColumn<int>("codec");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("pixelFormat");
        QTest::addColumn<QString>("sound");
        using Codec = MediaWriter::VideoCodec;
        QTest::newRow("ProRes 422 HQ") << int(Codec::ProRes422HQ) << "prores"
                                       << "HQ"
                                       << "yuv422p10le"
                                       << "pcm_s24le";
        // The decoder gives every 4444 stream at 12 bits.
        QTest::newRow("ProRes 4444") << int(Codec::ProRes4444) << "prores"
                                     << "4444"
                                     << "yuv444p12le"
                                     << "pcm_s24le";
        QTest::newRow("DNxHR HQX") << int(Codec::DNxHRHQX) << "dnxhd"
                                   << "DNXHR HQX"
                                   << "yuv422p10le"
                                   << "pcm_s24le";
        QTest::newRow("H.265 Main 10") << int(Codec::HevcMain10) << "hevc"
                                       << "Main 10"
                                       << "yuv420p10le"
                                       << "aac";
    }

    // 16-bit pictures reach the file at 10 bits: a ramp of 1024 steps keeps
    // (nearly) all of them, where a pass through 8 bits would leave at most
    // 256, and each sits within 2 codes of its limited-range value. ffprobe
    // sees the codec, profile, layout, BT.709 tags, every picture and the
    // sound in its codec and length.
    void deepCodecsKeepTenBits()
    {
        QFETCH(int, codec);
        QFETCH(QString, name);
        QFETCH(QString, profile);
        QFETCH(QString, pixelFormat);
        QFETCH(QString, sound);
        constexpr int width = 1024;
        constexpr int height = 128;
        const QString path = m_folder + QStringLiteral("/deep%1.mov").arg(codec);
        MediaWriter::VideoFormat format = sizedFormat(width, height);
        format.codec = MediaWriter::VideoCodec(codec);
        QVERIFY(writeMovie(
            path, format, 10, 400000, [](int) { return greyRamp16(width, height); }, 0.4));

        const RenderProbe::Movie movie = RenderProbe::probe(path);
        QVERIFY(movie.ok);
        QCOMPARE(movie.video.codec, name);
        QCOMPARE(movie.video.profile, profile);
        QCOMPARE(movie.video.pixelFormat, pixelFormat);
        QCOMPARE(movie.video.colorRange, QStringLiteral("tv"));
        QCOMPARE(movie.video.colorSpace, QStringLiteral("bt709"));
        QCOMPARE(movie.video.colorTransfer, QStringLiteral("bt709"));
        QCOMPARE(movie.video.colorPrimaries, QStringLiteral("bt709"));
        QCOMPARE(movie.video.frames, 10);
        QVERIFY(std::abs(movie.video.duration - 0.4) < 0.001);
        QCOMPARE(movie.audio.codec, sound);
        QCOMPARE(movie.audio.channels, 2);
        QVERIFY2(std::abs(movie.audio.duration - 0.4) < 0.025, qPrintable(QString::number(movie.audio.duration)));

        // The luma plane of the first picture, as coded.
        const QByteArray planes = RenderProbe::decode(path, QString());
        QVERIFY(planes.size() >= width * height * 2);
        const auto* luma = reinterpret_cast<const quint16*>(planes.constData()) + size_t(height / 2) * width;
        const int shift = pixelFormat.contains(QLatin1String("12")) ? 2 : 0;
        QSet<int> codes;
        int worst = 0;
        for (int x = 0; x < width; ++x) {
            const double code = double(luma[x]) / (1 << shift);
            codes.insert(int(luma[x]));
            worst = std::max(worst, int(std::ceil(std::abs(code - (64.0 + x * 876.0 / (width - 1))) - 0.5)));
        }
        QVERIFY2(codes.size() >= 700, qPrintable(QString::number(codes.size())));
        QVERIFY2(worst <= 2, qPrintable(QString::number(worst)));
    }

    void movieWithoutSoundHasOneStream()
    {
        const QString path = m_folder + QStringLiteral("/silent.mov");
        MediaWriter::VideoFormat format = sizedFormat(64, 48, 50);
        QVERIFY(writeMovie(path, format, 10, 400000, [](int) { return twoLevelPicture(64, 48, 40, 200); }));
        const RenderProbe::Movie movie = RenderProbe::probe(path);
        QCOMPARE(movie.streamCount, 1);
        QCOMPARE(movie.video.frames, 10);
        QVERIFY(!movie.audio.present);
    }

    // Pictures stamped by their durations at 30000/1001.
    void ntscRateFollowsDurations()
    {
        const QString path = m_folder + QStringLiteral("/ntsc.mov");
        MediaWriter::VideoFormat format = sizedFormat(64, 48);
        format.frameRateNum = 30000;
        format.frameRateDen = 1001;
        QVERIFY(writeMovie(
            path, format, 30, 333667, [](int) { return twoLevelPicture(64, 48, 40, 200); }, 1.001, 44100));
        const RenderProbe::Movie movie = RenderProbe::probe(path);
        QCOMPARE(movie.video.frameRate, QStringLiteral("30000/1001"));
        QCOMPARE(movie.video.frames, 30);
        QCOMPARE(movie.audio.sampleRate, 44100);
        QVERIFY(std::abs(movie.audio.duration - 1.001) < 0.025);
    }

    // Limited-range pictures stay limited (16..235) and full-range ones full
    // (0..255), each tagged with its range.
    void levelsAreKept_data()
    {
        QTest::addColumn<bool>("fullRange");
        QTest::addColumn<int>("dark");
        QTest::addColumn<int>("bright");
        QTest::addColumn<QString>("tag");
        QTest::newRow("limited") << false << 16 << 235 << QStringLiteral("tv");
        QTest::newRow("full") << true << 0 << 255 << QStringLiteral("pc");
    }
    void levelsAreKept()
    {
        QFETCH(bool, fullRange);
        QFETCH(int, dark);
        QFETCH(int, bright);
        QFETCH(QString, tag);
        const QString path = m_folder + QStringLiteral("/levels_%1.mov").arg(tag);
        MediaWriter::VideoFormat format = sizedFormat(128, 64);
        format.fullRange = fullRange;
        QVERIFY(writeMovie(
            path, format, 5, 400000, [&](int) { return twoLevelPicture(128, 64, uchar(dark), uchar(bright)); }));
        const RenderProbe::Movie movie = RenderProbe::probe(path);
        QCOMPARE(movie.video.colorRange, tag);
        const QByteArray planes = RenderProbe::decode(path, QStringLiteral("yuv420p"));
        QCOMPARE(planes.size(), 5 * 128 * 64 * 3 / 2);
        const auto* luma = reinterpret_cast<const uchar*>(planes.constData());
        QVERIFY2(std::abs(int(luma[32 * 128 + 20]) - dark) <= 1, qPrintable(QString::number(luma[32 * 128 + 20])));
        QVERIFY2(std::abs(int(luma[32 * 128 + 100]) - bright) <= 1, qPrintable(QString::number(luma[32 * 128 + 100])));
    }

    // Higher quality gives a lower rate factor, more bits and a closer
    // picture; "High Quality" is visually transparent: above 40 dB on this
    // picture, whose per-pixel noise changes every frame (worst case for a
    // motion-compensated coder).
    void qualityDrivesRateControl()
    {
        QVERIFY(VideoEncoder::crfForQuality(100) < VideoEncoder::crfForQuality(80));
        QVERIFY(VideoEncoder::crfForQuality(80) < VideoEncoder::crfForQuality(50));
        QVERIFY(VideoEncoder::crfForQuality(100) <= 16.0);
        QCOMPARE(VideoEncoder::declaredBitRate(400000000), qint64(250000000));
        QCOMPARE(VideoEncoder::declaredBitRate(10000000), qint64(10000000));

        const int w = 320;
        const int h = 240;
        double quality[2];
        qint64 size[2];
        const int levels[2] = { 100, 50 };
        for (int k = 0; k < 2; ++k) {
            const QString path = m_folder + QStringLiteral("/quality%1.mov").arg(levels[k]);
            MediaWriter::VideoFormat format = sizedFormat(w, h, levels[k]);
            QVERIFY(writeMovie(path, format, 10, 400000, [&](int i) { return texturedPicture(w, h, i); }));
            size[k] = QFile(path).size();
            // The encoder writes its settings into the stream.
            QFile movie(path);
            QVERIFY(movie.open(QIODevice::ReadOnly));
            const QByteArray lookAhead = "rc_lookahead=" + QByteArray::number(VideoEncoder::lookAheadFrames);
            QVERIFY2(movie.readAll().contains(lookAhead + ' '), lookAhead.constData());
            const QByteArray planes = RenderProbe::decode(path, QStringLiteral("yuv420p"));
            QCOMPARE(planes.size(), 10 * w * h * 3 / 2);
            const std::vector<uchar> source = texturedPicture(w, h, 5);
            std::vector<uchar> sourceLuma(size_t(w) * h);
            for (int i = 0; i < w * h; ++i)
                sourceLuma[i] = source[2 * i];
            quality[k] = psnr(
                reinterpret_cast<const uchar*>(planes.constData()) + 5 * w * h * 3 / 2, sourceLuma.data(), w * h);
        }
        QVERIFY2(quality[0] > 40.0, qPrintable(QString::number(quality[0])));
        QVERIFY2(quality[0] > quality[1] + 3.0, qPrintable(QStringLiteral("%1 %2").arg(quality[0]).arg(quality[1])));
        QVERIFY(size[0] > size[1]);
    }

    void refusesUnusableSizes()
    {
        const int sizes[][2] = { { 1, 2 }, { 2, 1 }, { 0, 0 }, { 321, 240 }, { 320, 239 } };
        for (const auto& size : sizes) {
            MediaWriter writer;
            QVERIFY(writer.create(m_folder + QStringLiteral("/size.mov")));
            MediaWriter::VideoFormat format = sizedFormat(size[0], size[1]);
            QCOMPARE(writer.addVideoStream(format), -1);
            QVERIFY(!OutputSettings::sizeProblem(size[0], size[1], true).isEmpty());
        }
        QVERIFY(OutputSettings::sizeProblem(2, 2, true).isEmpty());
        QVERIFY(OutputSettings::sizeProblem(320, 241, false).isEmpty());
        QVERIFY(!OutputSettings::sizeProblem(321, 240, false).isEmpty());
        QVERIFY(!OutputSettings::sizeProblem(1, 5, false).isEmpty());
        QVERIFY(!QFile::exists(m_folder + QStringLiteral("/size.mov")));
    }

    // A full disk is a failure, never a finished movie: an earlier movie of
    // the name stays as it was and nothing unfinished is left beside it.
    void diskFullIsAFailure()
    {
        const QString folder = m_folder + QStringLiteral("/full");
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/full.mov");
        {
            QFile earlier(path);
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.write("earlier movie");
        }
        MediaWriter::VideoFormat format = sizedFormat(320, 240);
        {
            const Emulsa::Test::FileSizeLimit limit(16384);
            QVERIFY(!writeMovie(
                path, format, 25, 400000, [](int i) { return texturedPicture(320, 240, i); }, 1.0));
        }
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier movie"));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList { QStringLiteral("full.mov") });
    }

    // A folder removed while writing leaves no movie: the write is a failure.
    void removedFolderIsAFailure()
    {
        const QString folder = m_folder + QStringLiteral("/vanishing");
        QVERIFY(QDir().mkpath(folder));
        MediaWriter writer;
        QVERIFY(writer.create(folder + QStringLiteral("/clip.mov")));
        MediaWriter::VideoFormat format = sizedFormat(64, 48);
        QCOMPARE(writer.addVideoStream(format), 0);
        QVERIFY(writer.beginWriting());
        const std::vector<uchar> picture = twoLevelPicture(64, 48, 30, 200);
        QVERIFY(writer.writeVideoFrame(picture.data(), 128, 400000));
        QVERIFY(QDir(folder).removeRecursively());
        writer.writeVideoFrame(picture.data(), 128, 400000);
        QVERIFY(!writer.finalize());
        QVERIFY(!writer.lastError().isEmpty());
    }

    void missingFolderIsRefused()
    {
        MediaWriter writer;
        QVERIFY(!writer.create(m_folder + QStringLiteral("/no/such/folder/clip.mov")));
        QVERIFY(!writer.lastError().isEmpty());
    }
};

EMULSA_TEST_MAIN(TestMediaWriter)
#include "tst_mediawriter.moc"
