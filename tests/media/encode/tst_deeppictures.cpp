#include "media/encode/DeepPictures.h"

#include "media/frame/LibAVPointers.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <QtTest>

#include <vector>

using namespace Emulsa;

namespace {

// Rows of the input are this many samples longer than the picture needs;
// the slack holds a value no row of any picture has, so reading it shows.
constexpr int rowSlack = 8;
constexpr quint16 slackValue = 0x7777;

struct Rgb
{
    quint16 r, g, b;
};

AV::FramePtr tenBitFrame(AVPixelFormat layout, int width, int height)
{
    AV::FramePtr frame(av_frame_alloc());
    frame->format = layout;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return {};
    return frame;
}

int sample(const AVFrame* frame, int plane, int x, int y)
{
    return reinterpret_cast<const quint16*>(frame->data[plane] + size_t(y) * frame->linesize[plane])[x];
}

// The 10-bit codes of the colour (r, g, b) in [0, 1] by the BT.709 matrix
// at limited range, computed apart from the conversion under test.
struct Codes
{
    int y, cb, cr;
};

Codes limitedCodes(double r, double g, double b)
{
    const double luma = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    return { int(std::lround(64 + 876 * luma)), int(std::lround(512 + 896 * (b - luma) / 1.8556)),
        int(std::lround(512 + 896 * (r - luma) / 1.5748)) };
}

} // namespace

class TestDeepPictures : public QObject
{
    Q_OBJECT

private slots:
    // A 4 x 2 picture of eight colours through each layout: every luma
    // sample is its pixel's, each chroma sample the mean of the pixels it
    // covers (one, two across, or two by two), all within one code of the
    // matrix worked out here.
    void rgbToLimitedYuv_data()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<int>("chromaWidth");
        QTest::addColumn<int>("chromaHeight");
        QTest::newRow("4:4:4") << int(AV_PIX_FMT_YUV444P10LE) << 1 << 1;
        QTest::newRow("4:2:2") << int(AV_PIX_FMT_YUV422P10LE) << 2 << 1;
        QTest::newRow("4:2:0") << int(AV_PIX_FMT_YUV420P10LE) << 2 << 2;
    }

    void rgbToLimitedYuv()
    {
        QFETCH(int, layout);
        QFETCH(int, chromaWidth);
        QFETCH(int, chromaHeight);
        constexpr int width = 4;
        constexpr int height = 2;
        const Rgb colours[height][width] = {
            { { 0, 0, 0 }, { 65535, 65535, 65535 }, { 65535, 0, 0 }, { 0, 65535, 0 } },
            { { 0, 0, 65535 }, { 32768, 16384, 49152 }, { 1000, 60000, 30000 }, { 65535, 65535, 0 } },
        };
        const int rowSamples = width * 4 + rowSlack;
        std::vector<quint16> rgba(size_t(rowSamples) * height, slackValue);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                quint16* p = &rgba[size_t(y) * rowSamples + size_t(x) * 4];
                p[0] = colours[y][x].r;
                p[1] = colours[y][x].g;
                p[2] = colours[y][x].b;
                p[3] = 65535;
            }
        AV::FramePtr frame = tenBitFrame(AVPixelFormat(layout), width, height);
        QVERIFY(frame);
        DeepPictures::toLimitedYuv10(rgba.data(), rowSamples, frame.get());

        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const Rgb& c = colours[y][x];
                const Codes expected = limitedCodes(c.r / 65535.0, c.g / 65535.0, c.b / 65535.0);
                QVERIFY2(std::abs(sample(frame.get(), 0, x, y) - expected.y) <= 1,
                    qPrintable(QStringLiteral("luma %1 at %2,%3").arg(sample(frame.get(), 0, x, y)).arg(x).arg(y)));
            }
        for (int cy = 0; cy < height / chromaHeight; ++cy)
            for (int cx = 0; cx < width / chromaWidth; ++cx) {
                double r = 0, g = 0, b = 0;
                for (int y = cy * chromaHeight; y < (cy + 1) * chromaHeight; ++y)
                    for (int x = cx * chromaWidth; x < (cx + 1) * chromaWidth; ++x) {
                        r += colours[y][x].r;
                        g += colours[y][x].g;
                        b += colours[y][x].b;
                    }
                const double scale = 1.0 / (65535.0 * chromaWidth * chromaHeight);
                const Codes expected = limitedCodes(r * scale, g * scale, b * scale);
                const int cb = sample(frame.get(), 1, cx, cy);
                const int cr = sample(frame.get(), 2, cx, cy);
                QVERIFY2(std::abs(cb - expected.cb) <= 1 && std::abs(cr - expected.cr) <= 1,
                    qPrintable(QStringLiteral("chroma %1,%2 at %3,%4, expected %5,%6")
                                   .arg(cb)
                                   .arg(cr)
                                   .arg(cx)
                                   .arg(cy)
                                   .arg(expected.cb)
                                   .arg(expected.cr)));
            }
    }

    // The ends of the limited range: black 64, white 940, neutral chroma
    // 512, and the full primaries at their documented extremes (Cr 960 for
    // red, Cb 960 for blue).
    void rgbEndsOfTheRange()
    {
        const std::vector<quint16> rgba
            = { 0, 0, 0, 65535, 65535, 65535, 65535, 65535, 65535, 0, 0, 65535, 0, 0, 65535, 65535 };
        AV::FramePtr frame = tenBitFrame(AV_PIX_FMT_YUV444P10LE, 4, 1);
        QVERIFY(frame);
        DeepPictures::toLimitedYuv10(rgba.data(), 16, frame.get());
        QCOMPARE(sample(frame.get(), 0, 0, 0), 64);
        QCOMPARE(sample(frame.get(), 0, 1, 0), 940);
        for (int x = 0; x < 2; ++x) {
            QCOMPARE(sample(frame.get(), 1, x, 0), 512);
            QCOMPARE(sample(frame.get(), 2, x, 0), 512);
        }
        QCOMPARE(sample(frame.get(), 2, 2, 0), 960);
        QCOMPARE(sample(frame.get(), 1, 3, 0), 960);
    }

    // Packed Y0 U Y1 V samples on the 8-bit scale become codes four times
    // the level; 4:2:0 takes the mean of the chroma of each pair of rows.
    void packedToTenBits_data()
    {
        QTest::addColumn<int>("layout");
        QTest::newRow("4:2:2") << int(AV_PIX_FMT_YUV422P10LE);
        QTest::newRow("4:2:0") << int(AV_PIX_FMT_YUV420P10LE);
    }

    void packedToTenBits()
    {
        QFETCH(int, layout);
        const bool halfHeight = layout == AV_PIX_FMT_YUV420P10LE;
        constexpr int width = 4;
        constexpr int height = 4;
        // Levels on the 8-bit scale, each row Y0 U Y1 V Y2 U Y3 V.
        const int levels[height][width * 2] = {
            { 16, 128, 235, 128, 100, 90, 101, 200 },
            { 17, 130, 234, 126, 102, 110, 103, 220 },
            { 50, 16, 60, 240, 70, 255, 80, 0 },
            { 51, 18, 61, 238, 71, 253, 81, 2 },
        };
        const int rowSamples = width * 2 + rowSlack;
        std::vector<quint16> packed(size_t(rowSamples) * height, slackValue);
        for (int y = 0; y < height; ++y)
            for (int i = 0; i < width * 2; ++i)
                packed[size_t(y) * rowSamples + i] = quint16(levels[y][i] * 257);
        AV::FramePtr frame = tenBitFrame(AVPixelFormat(layout), width, height);
        QVERIFY(frame);
        DeepPictures::packed16ToYuv10(packed.data(), rowSamples, frame.get());

        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                QCOMPARE(sample(frame.get(), 0, x, y), levels[y][x * 2] * 4);
        for (int cy = 0; cy < (halfHeight ? height / 2 : height); ++cy)
            for (int i = 0; i < width / 2; ++i) {
                const int top = halfHeight ? cy * 2 : cy;
                const int bottom = halfHeight ? top + 1 : top;
                QCOMPARE(sample(frame.get(), 1, i, cy), (levels[top][4 * i + 1] + levels[bottom][4 * i + 1]) * 2);
                QCOMPARE(sample(frame.get(), 2, i, cy), (levels[top][4 * i + 3] + levels[bottom][4 * i + 3]) * 2);
            }
    }
};

QTEST_GUILESS_MAIN(TestDeepPictures)
#include "tst_deeppictures.moc"
