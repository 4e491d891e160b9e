// The clip time line and the picture turns the reader applies.
#include "media/source/FrameClock.h"
#include "media/source/PictureRotation.h"

#include <QtTest>

using namespace Emulsa;

class FrameClockTest : public QObject
{
    Q_OBJECT

private slots:
    void timeLine_data()
    {
        QTest::addColumn<qint64>("num");
        QTest::addColumn<qint64>("den");
        QTest::addColumn<qint64>("frame");
        QTest::addColumn<qint64>("time");
        QTest::newRow("25 fps") << qint64(25) << qint64(1) << qint64(10) << qint64(4000000);
        QTest::newRow("29.97 fps") << qint64(30000) << qint64(1001) << qint64(30) << qint64(10010000);
        QTest::newRow("23.976 fps, an hour in")
            << qint64(24000) << qint64(1001) << qint64(86313) << qint64(35999713750);
    }
    void timeLine()
    {
        QFETCH(qint64, num);
        QFETCH(qint64, den);
        QFETCH(qint64, frame);
        QFETCH(qint64, time);
        const FrameClock clock(num, den);
        QCOMPARE(clock.timeOfFrame(frame), time);
        QCOMPARE(clock.nearestFrame(time), frame);
        // A picture a quarter frame late still shows at that frame, one
        // later by more than that does not.
        QVERIFY(clock.startsBy(time + clock.frameDuration() / 4, time));
        QVERIFY(!clock.startsBy(time + clock.frameDuration() / 3, time));
    }

    // Sound per stretch of frames adds up without drift: [S, E) has exactly
    // sampleAtFrame(E) - sampleAtFrame(S) samples, whatever the split.
    void soundFollowsFrames_data()
    {
        QTest::addColumn<qint64>("num");
        QTest::addColumn<qint64>("den");
        QTest::addColumn<int>("rate");
        QTest::addColumn<qint64>("samplesIn1001Frames");
        QTest::newRow("29.97 fps, 48 kHz") << qint64(30000) << qint64(1001) << 48000 << qint64(1603202);
        QTest::newRow("25 fps, 44.1 kHz") << qint64(25) << qint64(1) << 44100 << qint64(1765764);
    }
    void soundFollowsFrames()
    {
        QFETCH(qint64, num);
        QFETCH(qint64, den);
        QFETCH(int, rate);
        QFETCH(qint64, samplesIn1001Frames);
        const FrameClock clock(num, den);
        qint64 total = 0;
        for (qint64 frame = 0; frame < 1001; ++frame)
            total += clock.sampleAtFrame(frame + 1, rate) - clock.sampleAtFrame(frame, rate);
        QCOMPARE(total, samplesIn1001Frames);
        QCOMPARE(clock.sampleAtFrame(1001, rate), samplesIn1001Frames);
    }

    void invalidRateIsNoClock()
    {
        const FrameClock clock(0, 1);
        QVERIFY(!clock.isValid());
        QCOMPARE(clock.timeOfFrame(10), qint64(0));
        QCOMPARE(clock.frameDuration(), qint64(0));
    }

    // A 3 x 2 picture numbered 0 .. 5 row by row, turned clockwise.
    void rotation_data()
    {
        QTest::addColumn<int>("degrees");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QByteArray>("pixels");
        QTest::newRow("90") << 90 << QSize(2, 3) << QByteArray("\x03\x00\x04\x01\x05\x02", 6);
        QTest::newRow("180") << 180 << QSize(3, 2) << QByteArray("\x05\x04\x03\x02\x01\x00", 6);
        QTest::newRow("270") << 270 << QSize(2, 3) << QByteArray("\x02\x05\x01\x04\x00\x03", 6);
    }
    void rotation()
    {
        QFETCH(int, degrees);
        QFETCH(QSize, size);
        QFETCH(QByteArray, pixels);
        AV::FramePtr source(av_frame_alloc());
        source->width = 3;
        source->height = 2;
        source->format = AV_PIX_FMT_YUV444P;
        QVERIFY(av_frame_get_buffer(source.get(), 0) >= 0);
        for (int plane = 0; plane < 3; ++plane)
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    source->data[plane][y * source->linesize[plane] + x] = uint8_t(y * 3 + x + plane * 10);
        AV::FramePtr target(av_frame_alloc());
        QVERIFY(PictureRotation::rotate(source.get(), target.get(), degrees));
        QCOMPARE(QSize(target->width, target->height), size);
        for (int plane = 0; plane < 3; ++plane) {
            QByteArray turned;
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    turned += char(target->data[plane][y * target->linesize[plane] + x] - plane * 10);
            QCOMPARE(turned, pixels);
        }
    }

    void subsampledPicturesAreNotTurned()
    {
        AV::FramePtr source(av_frame_alloc());
        source->width = 4;
        source->height = 2;
        source->format = AV_PIX_FMT_YUV420P;
        QVERIFY(av_frame_get_buffer(source.get(), 0) >= 0);
        AV::FramePtr target(av_frame_alloc());
        QVERIFY(!PictureRotation::rotate(source.get(), target.get(), 90));
    }
};

QTEST_GUILESS_MAIN(FrameClockTest)
#include "tst_frameclock.moc"
