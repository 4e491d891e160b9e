#include "SourceReaderFixture.h"
#include "common/TestEnvironment.h"

using namespace Emulsa;
using namespace Emulsa::Test;

// The sound the source reader delivers: interleaved signed 16-bit samples in
// the clip's channels, following the seeks on the time line and stopping at
// the out point.
class SourceReaderAudioTest : public SourceReaderFixture
{
    Q_OBJECT

private slots:
    void audioArrivesAsInterleavedSigned16_data()
    {
        QTest::addColumn<int>("clip");
        QTest::newRow("AAC, planar float") << int(TestMedia::PlanarFloatAudio);
        QTest::newRow("PCM, interleaved float") << int(TestMedia::InterleavedFloatAudio);
        QTest::newRow("PCM, signed 16") << int(TestMedia::ProResMov);
    }

    void audioArrivesAsInterleavedSigned16()
    {
        QFETCH(int, clip);
        auto m = describe(TestMedia::Clip(clip));
        QVERIFY(m);
        QVERIFY(m->hasAudio);
        QCOMPARE(m->bitsPerSample, 16u);
        WinSourceReader reader;
        QVERIFY(reader.initializeFromMetadata(m.get()));
        qint64 totalMs = 0;
        qint64 totalSamples = 0;
        int peak = 0;
        int worstChannelDifference = 0;
        for (;;) {
            Packet p(reader.getNextAudioBuffer());
            if (!p.packet)
                break;
            QVERIFY(p.packet->pcm);
            QCOMPARE(p.packet->pcm->size() % 4, 0); // two channels of two bytes
            totalMs += p.packet->lengthMs;
            const auto* samples = reinterpret_cast<const qint16*>(p.packet->pcm->constData());
            const int count = p.packet->pcm->size() / 2;
            totalSamples += count / 2;
            for (int i = 0; i + 1 < count; i += 2) {
                peak = qMax(peak, qAbs(int(samples[i])));
                // Both channels carry the same tone: interleaved pairs agree.
                worstChannelDifference = qMax(worstChannelDifference, qAbs(samples[i] - samples[i + 1]));
            }
        }
        const double seconds = double(m->frameCount) * m->frameRateDen / m->frameRateNum;
        QVERIFY2(qAbs(totalSamples - qint64(seconds * 48000)) < 4096, qPrintable(QString::number(totalSamples)));
        QVERIFY2(qAbs(totalMs - qint64(seconds * 1000)) < 120, qPrintable(QString::number(totalMs)));
        QVERIFY2(peak > TestMedia::tonePeak16 * 7 / 10 && peak < TestMedia::tonePeak16 * 13 / 10,
            qPrintable(QString::number(peak)));
        // AAC codes the pair jointly, so allow a little; one channel's samples
        // read as both would differ by up to ~230 at this tone.
        QVERIFY2(worstChannelDifference <= 32, qPrintable(QString::number(worstChannelDifference)));
    }

    void audioFollowsTheSeeksOnTheTimeLine_data()
    {
        QTest::addColumn<int>("clip");
        const TestMedia::Footage clips[] = { TestMedia::FootageMp4, TestMedia::FootageTsGop12, TestMedia::FootageMpegPs,
            TestMedia::FootageMkv, TestMedia::FootageAviBFrames };
        for (TestMedia::Footage clip : clips)
            QTest::newRow(qPrintable(TestMedia::footageInfo(clip).name)) << int(clip);
    }

    void audioFollowsTheSeeksOnTheTimeLine()
    {
        QFETCH(int, clip);
        AssetMetadata metadata;
        metadata.filePath = TestMedia::instance().markedSoundPath(TestMedia::Footage(clip));
        QVERIFY(!metadata.filePath.isEmpty());
        WinSourceReader reader;
        QVERIFY(reader.initializeFromMetadata(&metadata));
        QVERIFY(reader.fillMetadata());
        QCOMPARE(metadata.channels, 2u);
        const int rate = int(metadata.sampleRate);
        QCOMPARE(rate, 48000);
        const FrameClock& clock = reader.frameClock();

        // From a seek to each frame (back and forth), the first mark at or
        // after it comes where its own frame starts.
        const int frames[] = { 0, 30, 12, 40, 7, 25 };
        for (int frame : frames) {
            QVERIFY(reader.seekToFrame(quint32(frame), true));
            const int markFrame = std::max(TestMedia::markFirstFrame,
                TestMedia::markFirstFrame
                    + (frame - TestMedia::markFirstFrame + TestMedia::markEvery - 1) / TestMedia::markEvery
                        * TestMedia::markEvery);
            const qint64 expected = clock.sampleAtFrame(markFrame, rate) - clock.sampleAtFrame(frame, rate);
            // Gather the sound up to a little past the mark.
            QByteArray sound;
            while (sound.size() / 4 < expected + 2000) {
                Packet p(reader.getNextAudioBuffer());
                QVERIFY(p.packet && p.packet->pcm);
                QCOMPARE(p.packet->pcm->size() % 4, 0);
                sound += *p.packet->pcm;
            }
            const auto* samples = reinterpret_cast<const qint16*>(sound.constData());
            qint64 onset = -1;
            for (qint64 i = 0; i < sound.size() / 4 && onset < 0; ++i) {
                if (std::abs(int(samples[2 * i])) >= 4000)
                    onset = i;
            }
            QVERIFY2(std::abs(onset - expected) <= 32,
                qPrintable(
                    QStringLiteral("from frame %1: mark at %2, expected at %3").arg(frame).arg(onset).arg(expected)));
        }
    }

    void surroundArrivesInItsSixChannels()
    {
        auto m = describe(TestMedia::SurroundSound);
        QVERIFY(m);
        QCOMPARE(m->channels, 6u);
        QCOMPARE(m->bitsPerSample, 16u);
        WinSourceReader reader;
        QVERIFY(reader.initializeFromMetadata(m.get()));
        QByteArray sound;
        for (;;) {
            Packet p(reader.getNextAudioBuffer());
            if (!p.packet)
                break;
            QCOMPARE(p.packet->pcm->size() % 12, 0);
            sound += *p.packet->pcm;
        }
        // The first half second sounds in the front left channel alone.
        const auto* samples = reinterpret_cast<const qint16*>(sound.constData());
        const qint64 count = sound.size() / 12;
        QVERIFY(count >= 48000);
        int peaks[6] = {};
        for (qint64 i = 0; i < 22000; ++i)
            for (int c = 0; c < 6; ++c)
                peaks[c] = std::max(peaks[c], std::abs(int(samples[6 * i + c])));
        QVERIFY(peaks[0] > TestMedia::tonePeak16 / 2);
        for (int c = 1; c < 6; ++c)
            QCOMPARE(peaks[c], 0);
    }

    void audioStopsAtTheOutPoint()
    {
        auto m = describe(TestMedia::PlanarFloatAudio);
        QVERIFY(m);
        SequenceItem item(m.get(), nullptr, 0, 9);
        WinSourceReader reader;
        QVERIFY(reader.initializeFromSequenceItem(&item));
        qint64 totalMs = 0;
        for (;;) {
            Packet p(reader.getNextAudioBuffer());
            if (!p.packet)
                break;
            totalMs += p.packet->lengthMs;
        }
        // Frames 0 to 9 last 400 ms; one buffer more is tolerated.
        QVERIFY2(totalMs >= 350 && totalMs <= 450, qPrintable(QString::number(totalMs)));
    }
};

EMULSA_TEST_MAIN(SourceReaderAudioTest)
#include "tst_sourcereaderaudio.moc"
