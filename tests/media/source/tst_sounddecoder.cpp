#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include "media/clip/AssetMetadata.h"
#include "media/source/FrameClock.h"
#include "media/source/SoundDecoder.h"
#include "media/source/WinSourceReader.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cstdlib>
#include <vector>

using namespace Emulsa;
using Emulsa::Test::TestMedia;

namespace {

const FrameClock clock25(25, 1);
constexpr int rate = 48000;

// Everything a decoder gives from `first` on, `count` samples.
std::vector<qint16> readSamples(SoundDecoder& decoder, qint64 count, qint64* fromFile = nullptr)
{
    std::vector<qint16> samples(size_t(count) * size_t(decoder.channels()));
    const qint64 got = decoder.read(reinterpret_cast<uchar*>(samples.data()), count);
    if (fromFile)
        *fromFile = got;
    return samples;
}

// The largest difference between two stretches of interleaved samples.
int worstDifference(const qint16* a, const qint16* b, size_t values)
{
    int worst = 0;
    for (size_t i = 0; i < values; ++i)
        worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

int peakOf(const std::vector<qint16>& samples, int channels, int channel, qint64 from, qint64 to)
{
    int peak = 0;
    for (qint64 i = from; i < to; ++i)
        peak = std::max(peak, std::abs(int(samples[size_t(i * channels + channel)])));
    return peak;
}

// Where the marks of a marked clip begin: the first sample of the left
// channel at or above `level` after a quiet stretch of 2000 samples.
std::vector<qint64> markOnsets(const std::vector<qint16>& stereo, int level)
{
    std::vector<qint64> onsets;
    qint64 lastLoud = -100000;
    for (qint64 i = 0; i < qint64(stereo.size() / 2); ++i) {
        if (std::abs(int(stereo[size_t(2 * i)])) < level)
            continue;
        if (i - lastLoud > 2000)
            onsets.push_back(i);
        lastLoud = i;
    }
    return onsets;
}

// The containers and codecs whose sound must land sample-exactly.
const TestMedia::Footage seekFootage[] = { TestMedia::FootageMp4, TestMedia::FootageMov,
    TestMedia::FootageFragmentedMp4, TestMedia::FootageTsGop12, TestMedia::FootageTsOneKey, TestMedia::FootageM2ts,
    TestMedia::FootageMpegPs, TestMedia::FootageMkv, TestMedia::FootageAviBFrames, TestMedia::FootageVfrBFrames,
    TestMedia::FootageInterlaced, TestMedia::FootageRgb };

} // namespace

class SoundDecoderTest : public QObject
{
    Q_OBJECT

private:
    // Time 0 of a file's time line, as the source reader finds it.
    static double originOf(const QString& path)
    {
        AssetMetadata metadata;
        metadata.filePath = path;
        WinSourceReader reader;
        if (!reader.initializeFromMetadata(&metadata))
            return -1.0;
        return reader.originSeconds();
    }

    // The clips, and how far a sample may differ between a seek and reading
    // from the start: nothing for PCM; a few steps for the lossy codecs,
    // whose decoders fill some bands with noise or dither from a state that
    // a seek starts afresh (a sample out of place differs by ~200 here).
    static void addFootageRows()
    {
        QTest::addColumn<int>("clip");
        QTest::addColumn<int>("tolerance");
        for (TestMedia::Footage clip : seekFootage) {
            const bool pcm = clip == TestMedia::FootageMov || clip == TestMedia::FootageAviBFrames
                || clip == TestMedia::FootageRgb;
            QTest::newRow(qPrintable(TestMedia::footageInfo(clip).name)) << int(clip) << (pcm ? 0 : 8);
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty(),
            "the ffmpeg command-line tool makes the test clips");
    }

    void seekGivesTheSamplesOfReadingFromTheStart_data() { addFootageRows(); }

    void seekGivesTheSamplesOfReadingFromTheStart()
    {
        QFETCH(int, clip);
        QFETCH(int, tolerance);
        const QString path = TestMedia::instance().footagePath(TestMedia::Footage(clip));
        QVERIFY(!path.isEmpty());
        const double origin = originOf(path);
        QVERIFY(origin >= 0.0);

        SoundDecoder whole;
        QVERIFY2(whole.open(path, origin), qPrintable(whole.error()));
        QCOMPARE(whole.sampleRate(), rate);
        QCOMPARE(whole.channels(), 2);
        QCOMPARE(whole.bytesPerSample(), 4);
        QCOMPARE(whole.sourceChannels(), 2);
        const qint64 total = 2 * rate + rate / 2;
        const std::vector<qint16> reference = readSamples(whole, total);
        QCOMPARE(whole.position(), total);
        // The tone is there, at its level.
        const int peak = peakOf(reference, 2, 0, rate / 2, rate);
        QVERIFY2(peak > TestMedia::tonePeak16 * 6 / 10 && peak < TestMedia::tonePeak16 * 14 / 10,
            qPrintable(QString::number(peak)));

        // A fresh decoder for each frame (container seeks from the start),
        // and one decoder going back and forth.
        const int frames[] = { 1, 13, 30, 44, 21, 49, 37, 3 };
        const qint64 length = rate / 5;
        SoundDecoder moving;
        QVERIFY(moving.open(path, origin));
        for (int frame : frames) {
            const qint64 sample = clock25.sampleAtFrame(frame, rate);
            SoundDecoder fresh;
            QVERIFY(fresh.open(path, origin));
            for (SoundDecoder* decoder : { &fresh, &moving }) {
                QVERIFY(decoder->seek(sample));
                QCOMPARE(decoder->position(), sample);
                const std::vector<qint16> got = readSamples(*decoder, length);
                const int difference = worstDifference(got.data(), reference.data() + 2 * sample, got.size());
                QVERIFY2(difference <= tolerance,
                    qPrintable(QStringLiteral("frame %1, %2 decoder: differs by up to %3")
                                   .arg(frame)
                                   .arg(decoder == &fresh ? "fresh" : "moving")
                                   .arg(difference)));
            }
            // Far enough in, the container's seek did it: the file was not
            // read again from its start.
            if (frame >= 30) {
                QVERIFY(fresh.containerSeeks() > 0);
                QCOMPARE(fresh.restarts(), 0);
            }
        }

        // A short step forward reads on, without a container seek.
        const int seeksBefore = moving.containerSeeks();
        const int restartsBefore = moving.restarts();
        const qint64 step = moving.position() + 1000;
        QVERIFY(moving.seek(step));
        const std::vector<qint16> got = readSamples(moving, 500);
        QVERIFY(worstDifference(got.data(), reference.data() + 2 * step, got.size()) <= tolerance);
        QCOMPARE(moving.containerSeeks(), seeksBefore);
        QCOMPARE(moving.restarts(), restartsBefore);
    }

    void readsFillExactlyWhatIsAsked()
    {
        const QString path = TestMedia::instance().footagePath(TestMedia::FootageMp4);
        const double origin = originOf(path);
        SoundDecoder decoder;
        QVERIFY(decoder.open(path, origin));
        // Odd lengths across the codec's 1024-sample frames, a read of one
        // sample and one far past the end of the sound.
        const qint64 counts[] = { 1, 7, 1023, 1024, 1025, 3000, 0, 4 * rate };
        const qint16 guard = 0x5A5A;
        qint64 expected = 0;
        for (qint64 count : counts) {
            std::vector<qint16> buffer(size_t(count + 16) * 2, guard);
            const qint64 got = decoder.read(reinterpret_cast<uchar*>(buffer.data()), count);
            QVERIFY(got >= 0 && got <= count);
            expected += count;
            QCOMPARE(decoder.position(), expected);
            // Nothing written past the samples asked for.
            for (size_t i = size_t(count) * 2; i < buffer.size(); ++i)
                QCOMPARE(buffer[i], guard);
        }
        // The whole two seconds came from the file once, give or take a
        // coded frame at the end.
        QVERIFY(decoder.ended());
        QCOMPARE(decoder.read(nullptr, 0), qint64(0));
        QCOMPARE(decoder.read(nullptr, 5), qint64(-1));
    }

    void silenceOutsideTheSound_data() { addFootageRows(); }

    void silenceOutsideTheSound()
    {
        QFETCH(int, clip);
        const QString path = TestMedia::instance().footagePath(TestMedia::Footage(clip));
        const double origin = originOf(path);
        SoundDecoder decoder;
        QVERIFY(decoder.open(path, origin));

        // Before the time line's start the file has no sound here.
        QVERIFY(decoder.seek(-rate));
        qint64 fromFile = -1;
        std::vector<qint16> samples = readSamples(decoder, rate / 2, &fromFile);
        QCOMPARE(fromFile, qint64(0));
        QCOMPARE(peakOf(samples, 2, 0, 0, rate / 2), 0);
        QVERIFY(!decoder.ended());

        // Across the end: the tone up to two seconds (to within a coded
        // frame), silence after it, and the end is known.
        QVERIFY(decoder.seek(2 * rate - rate / 10));
        samples = readSamples(decoder, rate, &fromFile);
        QVERIFY2(std::abs(fromFile - rate / 10) <= 1152, qPrintable(QString::number(fromFile)));
        QVERIFY(peakOf(samples, 2, 0, 0, rate / 20) > TestMedia::tonePeak16 / 2);
        QCOMPARE(peakOf(samples, 2, 0, rate / 10 + 1152, rate), 0);
        QCOMPARE(peakOf(samples, 2, 1, rate / 10 + 1152, rate), 0);
        QVERIFY(decoder.ended());

        // Far past the end, and back into the sound again.
        QVERIFY(decoder.seek(10 * rate));
        samples = readSamples(decoder, 2000, &fromFile);
        QCOMPARE(fromFile, qint64(0));
        QCOMPARE(peakOf(samples, 2, 0, 0, 2000), 0);
        QVERIFY(decoder.ended());
        QVERIFY(decoder.seek(rate));
        QVERIFY(!decoder.ended());
        samples = readSamples(decoder, 2000, &fromFile);
        QCOMPARE(fromFile, qint64(2000));
        QVERIFY(peakOf(samples, 2, 0, 0, 2000) > TestMedia::tonePeak16 / 2);
    }

    void surroundIsMixedDownOrKept()
    {
        const QString path = TestMedia::instance().path(TestMedia::SurroundSound);
        QVERIFY(!path.isEmpty());
        const double origin = originOf(path);
        const qint64 half = rate / 2;
        const qint64 edge = 1200; // left out around the change of channel

        SoundDecoder stereo;
        QVERIFY2(stereo.open(path, origin, 2), qPrintable(stereo.error()));
        QCOMPARE(stereo.channels(), 2);
        QCOMPARE(stereo.bytesPerSample(), 4);
        QCOMPARE(stereo.sourceChannels(), 6);
        std::vector<qint16> mixed = readSamples(stereo, 2 * half);
        // Front left goes left only.
        QVERIFY(peakOf(mixed, 2, 0, 0, half - edge) > TestMedia::tonePeak16 / 5);
        QCOMPARE(peakOf(mixed, 2, 1, 0, half - edge), 0);
        // The centre goes to both sides equally.
        const int centre = peakOf(mixed, 2, 0, half + edge, 2 * half - edge);
        QVERIFY(centre > TestMedia::tonePeak16 / 5);
        int worstSides = 0;
        for (qint64 i = half + edge; i < 2 * half - edge; ++i)
            worstSides = std::max(worstSides, std::abs(mixed[size_t(2 * i)] - mixed[size_t(2 * i + 1)]));
        QVERIFY2(worstSides <= 1, qPrintable(QString::number(worstSides)));

        // Channels 0 keeps the six, in the source's order.
        SoundDecoder all;
        QVERIFY(all.open(path, origin, 0));
        QCOMPARE(all.channels(), 6);
        QCOMPARE(all.bytesPerSample(), 12);
        const std::vector<qint16> six = readSamples(all, 2 * half);
        for (int channel = 0; channel < 6; ++channel) {
            const int first = peakOf(six, 6, channel, 0, half - edge);
            const int second = peakOf(six, 6, channel, half + edge, 2 * half - edge);
            QVERIFY2(
                channel == 0 ? first > TestMedia::tonePeak16 / 2 : first == 0, qPrintable(QString::number(channel)));
            QVERIFY2(
                channel == 2 ? second > TestMedia::tonePeak16 / 2 : second == 0, qPrintable(QString::number(channel)));
        }
    }

    void fileWithoutSoundIsRefused_data()
    {
        QTest::addColumn<QString>("path");
        TestMedia& media = TestMedia::instance();
        QTest::newRow("no sound stream") << media.path(TestMedia::NoAudio);
        QTest::newRow("missing") << media.folder() + QStringLiteral("/missing.mp4");
        QTest::newRow("random bytes") << media.makeRandomBytesFile(QStringLiteral("noise.mp4"), 20000);
        // Lists naming a clip with sound: its sound is not taken.
        const QString listed = QFileInfo(media.footagePath(TestMedia::FootageTsGop12)).fileName();
        QTest::newRow("HLS playlist") << media.makeHlsPlaylistFile(QStringLiteral("sound-playlist.mp4"), listed);
        QTest::newRow("concat list") << media.makeConcatListFile(QStringLiteral("sound-list.mp4"), listed);
    }

    void fileWithoutSoundIsRefused()
    {
        QFETCH(QString, path);
        SoundDecoder decoder;
        QVERIFY(!decoder.open(path, 0.0));
        QVERIFY(!decoder.isOpen());
        QVERIFY(!decoder.error().isEmpty());
        QCOMPARE(decoder.channels(), 0);
        QVERIFY(!decoder.seek(100));
        uchar pcm[16] = {};
        QCOMPARE(decoder.read(pcm, 4), qint64(-1));
        QVERIFY(!decoder.ended());

        // A failed open leaves the decoder usable for the next file.
        const QString good = TestMedia::instance().footagePath(TestMedia::FootageMov);
        QVERIFY(decoder.open(good, originOf(good)));
        QVERIFY(decoder.error().isEmpty());
        QCOMPARE(decoder.read(pcm, 4), qint64(4));
    }

    void marksLieAtTheirFrames_data()
    {
        QTest::addColumn<int>("clip");
        QTest::addColumn<int>("outputRate");
        for (TestMedia::Footage clip : seekFootage)
            QTest::newRow(qPrintable(TestMedia::footageInfo(clip).name)) << int(clip) << 0;
        QTest::newRow("MOV PCM to 44.1 kHz") << int(TestMedia::FootageMov) << 44100;
        QTest::newRow("MP4 AAC to 32 kHz") << int(TestMedia::FootageMp4) << 32000;
    }

    void marksLieAtTheirFrames()
    {
        QFETCH(int, clip);
        QFETCH(int, outputRate);
        const QString path = TestMedia::instance().markedSoundPath(TestMedia::Footage(clip));
        QVERIFY(!path.isEmpty());
        const double origin = originOf(path);
        QVERIFY(origin >= 0.0);
        SoundDecoder decoder;
        QVERIFY(decoder.open(path, origin, 2, outputRate));
        const int sampleRate = decoder.sampleRate();
        QCOMPARE(sampleRate, outputRate > 0 ? outputRate : rate);
        // A mark is a burst at half of full scale, mixed to two channels.
        const int level = 4000;
        // Lossy codecs spread a burst's start a little; PCM keeps it exact.
        const qint64 tolerance = 32;

        const std::vector<qint16> whole = readSamples(decoder, 2 * sampleRate);
        const std::vector<qint64> onsets = markOnsets(whole, level);
        std::vector<qint64> expected;
        for (int frame = TestMedia::markFirstFrame; frame < TestMedia::footagePictures; frame += TestMedia::markEvery)
            expected.push_back(clock25.sampleAtFrame(frame, sampleRate));
        QCOMPARE(onsets.size(), expected.size());
        for (size_t i = 0; i < onsets.size(); ++i)
            QVERIFY2(std::abs(onsets[i] - expected[i]) <= tolerance,
                qPrintable(QStringLiteral("mark %1 at %2, its frame at %3").arg(i).arg(onsets[i]).arg(expected[i])));

        // Sought to just before each mark, from the far end backwards, the
        // mark comes where it came reading from the start.
        for (size_t i = onsets.size(); i-- > 0;) {
            const qint64 before = 300;
            QVERIFY(decoder.seek(expected[i] - before));
            const std::vector<qint16> near = readSamples(decoder, 2 * before);
            const std::vector<qint64> found = markOnsets(near, level);
            QCOMPARE(found.size(), size_t(1));
            // A new rate is computed afresh from the seek on, at a phase a
            // fraction of a sample away from the one reading through gives.
            const qint64 slip = outputRate > 0 ? 1 : 0;
            QVERIFY2(std::abs(found.front() + expected[i] - before - onsets[i]) <= slip,
                qPrintable(QStringLiteral("mark %1 at %2 after a seek, %3 read through")
                               .arg(i)
                               .arg(found.front() + expected[i] - before)
                               .arg(onsets[i])));
        }
    }
};

EMULSA_TEST_MAIN(SoundDecoderTest)
#include "tst_sounddecoder.moc"
