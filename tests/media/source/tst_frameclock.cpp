// The clip time line, the picture turns and the conversion the reader applies.
#include "media/source/FrameClock.h"
#include "media/source/PictureConverter.h"
#include "media/source/PictureRotation.h"
#include "media/source/PictureTimeline.h"

#include <QtTest>

#include <cstdlib>
#include <cstring>

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

    // The clip's rate from what the stream declares: the first valid of the
    // average, base and decoder rates, snapped to a standard rate within 2 %.
    void nominalRate_data()
    {
        QTest::addColumn<int>("averageNum");
        QTest::addColumn<int>("averageDen");
        QTest::addColumn<int>("baseNum");
        QTest::addColumn<int>("decoderNum");
        QTest::addColumn<qint64>("num");
        QTest::addColumn<qint64>("den");
        QTest::newRow("29.97 declared") << 30000 << 1001 << 0 << 0 << qint64(30000) << qint64(1001);
        QTest::newRow("phone averaging 29.6 fps") << 296 << 10 << 0 << 0 << qint64(30000) << qint64(1001);
        QTest::newRow("phone averaging 30.2 fps") << 302 << 10 << 0 << 0 << qint64(30) << qint64(1);
        QTest::newRow("averaging 59.5 fps") << 595 << 10 << 0 << 0 << qint64(60000) << qint64(1001);
        QTest::newRow("2.4 % off 23.976 stays, reduced") << 234 << 10 << 0 << 0 << qint64(117) << qint64(5);
        QTest::newRow("15 fps, unreduced") << 1500 << 100 << 0 << 0 << qint64(15) << qint64(1);
        QTest::newRow("no average: base rate") << 0 << 1 << 50 << 0 << qint64(50) << qint64(1);
        QTest::newRow("negative average: base rate") << 24 << -1 << 48 << 12 << qint64(48) << qint64(1);
        QTest::newRow("only the decoder's rate") << 0 << 0 << 0 << 12 << qint64(12) << qint64(1);
        QTest::newRow("nothing declared") << 0 << 0 << 0 << 0 << qint64(25) << qint64(1);
    }
    void nominalRate()
    {
        QFETCH(int, averageNum);
        QFETCH(int, averageDen);
        QFETCH(int, baseNum);
        QFETCH(int, decoderNum);
        QFETCH(qint64, num);
        QFETCH(qint64, den);
        const FrameClock clock = PictureTimeline::nominalClock(
            AVRational { averageNum, averageDen }, AVRational { baseNum, 1 }, AVRational { decoderNum, 1 });
        QCOMPARE(clock.rateNum(), num);
        QCOMPARE(clock.rateDen(), den);
    }

    // After the last picture, frames go on while it is shown: for its
    // duration (at least a frame), less the quarter frame a picture may start
    // late and still cover a frame. At 25 fps a frame is 400000 units.
    void lastPicture_data()
    {
        QTest::addColumn<qint64>("pictureTime");
        QTest::addColumn<qint64>("pictureDuration");
        QTest::addColumn<qint64>("frameTime");
        QTest::addColumn<bool>("shown");
        QTest::newRow("its own frame") << qint64(0) << qint64(400000) << qint64(0) << true;
        QTest::newRow("the frame after") << qint64(0) << qint64(400000) << qint64(400000) << false;
        QTest::newRow("three frames long, third frame") << qint64(0) << qint64(1200000) << qint64(800000) << true;
        QTest::newRow("three frames long, fourth frame") << qint64(0) << qint64(1200000) << qint64(1200000) << false;
        QTest::newRow("no duration lasts a frame") << qint64(4000000) << qint64(0) << qint64(4000000) << true;
        QTest::newRow("no duration, next frame") << qint64(4000000) << qint64(0) << qint64(4400000) << false;
        QTest::newRow("ends under a quarter into the next frame")
            << qint64(0) << qint64(480000) << qint64(400000) << false;
        QTest::newRow("ends over a quarter into the next frame")
            << qint64(0) << qint64(520000) << qint64(400000) << true;
    }
    void lastPicture()
    {
        QFETCH(qint64, pictureTime);
        QFETCH(qint64, pictureDuration);
        QFETCH(qint64, frameTime);
        QFETCH(bool, shown);
        QCOMPARE(PictureTimeline::lastPictureShown(FrameClock(25, 1), frameTime, pictureTime, pictureDuration), shown);
    }

    // Decoded 4:2:0 pictures become YUY2 as shown: turned by the rotation
    // and without an odd last column (cropped, not scaled). The coded luma
    // rises by 10 a column (by row when `byRow`), so each shown column has
    // one expected value; chroma is flat. Deep rows code the same picture in
    // 10 bits, each value 4 x the 8-bit one + 2 (between two 8-bit levels),
    // and expect it within a code where the 8-bit passes read video levels:
    // code c at c / 1020 of the 16-bit scale (940 at 235 / 255).
    void conversion_data()
    {
        QTest::addColumn<QSize>("coded");
        QTest::addColumn<bool>("byRow");
        QTest::addColumn<int>("rotation");
        QTest::addColumn<bool>("deep");
        QTest::addColumn<QSize>("shown");
        QTest::addColumn<QVector<int>>("lumaByColumn");
        const QVector<int> rising { 30, 40, 50, 60, 70, 80, 90, 100 };
        const QVector<int> falling { 100, 90, 80, 70, 60, 50, 40, 30 };
        QTest::newRow("even, upright") << QSize(8, 4) << false << 0 << false << QSize(8, 4) << rising;
        QTest::newRow("odd width loses its last column") << QSize(9, 4) << false << 0 << false << QSize(8, 4) << rising;
        QTest::newRow("90: the bottom row shows left") << QSize(4, 8) << true << 90 << false << QSize(8, 4) << falling;
        QTest::newRow("270: the top row shows left") << QSize(4, 8) << true << 270 << false << QSize(8, 4) << rising;
        QTest::newRow("180: the last column shows left")
            << QSize(8, 4) << false << 180 << false << QSize(8, 4) << falling;
        QTest::newRow("deep, even, upright") << QSize(8, 4) << false << 0 << true << QSize(8, 4) << rising;
        QTest::newRow("deep, odd width") << QSize(9, 4) << false << 0 << true << QSize(8, 4) << rising;
        QTest::newRow("deep, 90") << QSize(4, 8) << true << 90 << true << QSize(8, 4) << falling;
    }
    void conversion()
    {
        QFETCH(QSize, coded);
        QFETCH(bool, byRow);
        QFETCH(int, rotation);
        QFETCH(bool, deep);
        QFETCH(QSize, shown);
        QFETCH(QVector<int>, lumaByColumn);
        const AVPixelFormat format = deep ? AV_PIX_FMT_YUV420P10 : AV_PIX_FMT_YUV420P;
        // The coded value of an 8-bit level.
        auto codeOf = [deep](int level) { return deep ? 4 * level + 2 : level; };
        AV::FramePtr picture(av_frame_alloc());
        picture->width = coded.width();
        picture->height = coded.height();
        picture->format = format;
        QVERIFY(av_frame_get_buffer(picture.get(), 0) >= 0);
        auto put = [&](int plane, int x, int y, int value) {
            uint8_t* row = picture->data[plane] + y * picture->linesize[plane];
            if (deep)
                reinterpret_cast<uint16_t*>(row)[x] = uint16_t(value);
            else
                row[x] = uint8_t(value);
        };
        for (int y = 0; y < coded.height(); ++y)
            for (int x = 0; x < coded.width(); ++x)
                put(0, x, y, codeOf(30 + 10 * (byRow ? y : x)));
        for (int plane = 1; plane < 3; ++plane)
            for (int y = 0; y < (coded.height() + 1) / 2; ++y)
                for (int x = 0; x < (coded.width() + 1) / 2; ++x)
                    put(plane, x, y, codeOf(plane == 1 ? 90 : 160));

        PictureConverter converter;
        QVERIFY(converter.setUp(coded.width(), coded.height(), format, rotation, false, deep));
        QCOMPARE(QSize(converter.width(), converter.height()), shown);
        QCOMPARE(converter.bitsPerSample(), deep ? 16 : 8);
        const int sampleBytes = deep ? 2 : 1;
        QVERIFY(converter.stride() >= 2 * sampleBytes * shown.width());
        QVERIFY(converter.convert(picture.get()));
        for (int y = 0; y < shown.height(); ++y) {
            const uint8_t* row = converter.data() + y * converter.stride();
            // Sample i of the row on the coded scale.
            auto sample = [&](int i) {
                if (!deep)
                    return double(row[i]);
                return double(row[2 * i] | (row[2 * i + 1] << 8)) * 1020.0 / 65535.0;
            };
            for (int x = 0; x < shown.width(); ++x) {
                const QString where
                    = QStringLiteral("at %1, %2: %3, %4").arg(x).arg(y).arg(sample(2 * x)).arg(sample(2 * x + 1));
                // Two 8-bit levels; one 10-bit code.
                const double tolerance = deep ? 1.0 : 2.0;
                QVERIFY2(std::abs(sample(2 * x) - codeOf(lumaByColumn[x])) <= tolerance, qPrintable(where));
                QVERIFY2(std::abs(sample(2 * x + 1) - codeOf((x % 2) ? 160 : 90)) <= tolerance, qPrintable(where));
            }
        }
    }

    // A stream whose pictures change size mid-stream is scaled to the size
    // set up first, deep pictures too: the set-up and the new sizes, each
    // picture flat at 10-bit codes between two 8-bit levels.
    void deepConversionScalesANewPictureSize()
    {
        PictureConverter converter;
        QVERIFY(converter.setUp(8, 4, AV_PIX_FMT_YUV420P10, 0, false, true));
        const int lumaCode = 4 * 150 + 2;
        const int chromaCodes[2] = { 4 * 90 + 2, 4 * 170 + 2 };
        for (const QSize size : { QSize(8, 4), QSize(16, 8), QSize(8, 4) }) {
            AV::FramePtr picture(av_frame_alloc());
            picture->width = size.width();
            picture->height = size.height();
            picture->format = AV_PIX_FMT_YUV420P10;
            QVERIFY(av_frame_get_buffer(picture.get(), 0) >= 0);
            for (int plane = 0; plane < 3; ++plane) {
                const int rows = plane == 0 ? size.height() : size.height() / 2;
                const int columns = plane == 0 ? size.width() : size.width() / 2;
                for (int y = 0; y < rows; ++y)
                    for (int x = 0; x < columns; ++x)
                        reinterpret_cast<uint16_t*>(picture->data[plane] + y * picture->linesize[plane])[x]
                            = uint16_t(plane == 0 ? lumaCode : chromaCodes[plane - 1]);
            }
            QVERIFY(converter.convert(picture.get()));
            QCOMPARE(QSize(converter.width(), converter.height()), QSize(8, 4));
            for (int y = 0; y < 4; ++y) {
                const uint8_t* row = converter.data() + y * converter.stride();
                for (int i = 0; i < 16; ++i) {
                    const double code = double(row[2 * i] | (row[2 * i + 1] << 8)) * 1020.0 / 65535.0;
                    // Y0 U Y1 V.
                    const int expected = i % 2 == 0 ? lumaCode : chromaCodes[(i / 2) % 2];
                    QVERIFY2(std::abs(code - expected) <= 1.0,
                        qPrintable(QStringLiteral("%1 x %2, row %3, sample %4: %5")
                                       .arg(size.width())
                                       .arg(size.height())
                                       .arg(y)
                                       .arg(i)
                                       .arg(code)));
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(FrameClockTest)
#include "tst_frameclock.moc"
