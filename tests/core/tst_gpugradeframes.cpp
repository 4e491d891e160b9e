#include "common/TestEnvironment.h"

#include "FilmDataFixture.h"
#include "GpuTestSupport.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <set>

using namespace Emulsa;
using namespace Emulsa::Test;

namespace {

// A vertical edge and a bright top-left block: blur softens the edges, and
// a picture drawn upside down would move the block.
std::vector<float> edgePicture(int width, int height)
{
    std::vector<float> rgba(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float* p = &rgba[(size_t(y) * width + x) * 4];
            const float v = x < width / 2 ? 0.2f : 0.8f;
            p[0] = v;
            p[1] = (x < 8 && y < 8) ? 1.f : v;
            p[2] = v;
            p[3] = 1.f;
        }
    return rgba;
}

// A limited-range grey ramp, 10-bit luma 64 .. 940 over `width` columns
// (877 codes), as packed frame rows: 16-bit samples at full scale (bit
// replication, as the source reader's deep frames) or the same picture in
// 8 bits. *codes receives each column's 10-bit code.
std::vector<quint8> packedRamp(int width, int height, int bits, std::vector<int>* codes)
{
    const int sampleBytes = bits / 8;
    std::vector<quint8> bytes(size_t(width) * height * 2 * sampleBytes);
    codes->resize(size_t(width));
    for (int x = 0; x < width; ++x)
        (*codes)[size_t(x)] = 64 + int(std::lround(x * 876.0 / (width - 1)));
    auto sample = [bits](int code) { return bits == 16 ? (code << 6) | (code >> 4) : int(std::lround(code / 4.0)); };
    for (int y = 0; y < height; ++y) {
        quint8* row = bytes.data() + size_t(y) * width * 2 * sampleBytes;
        for (int x = 0; x < width; ++x) {
            // Y of each pixel, then U after an even one and V after an odd one.
            const int values[2] = { sample((*codes)[size_t(x)]), sample(512) };
            for (int i = 0; i < 2; ++i) {
                quint8* at = row + (size_t(x) * 2 + i) * sampleBytes;
                at[0] = quint8(values[i] & 0xFF);
                if (sampleBytes == 2)
                    at[1] = quint8(values[i] >> 8);
            }
        }
    }
    return bytes;
}

} // namespace

// The frame passes as the renderer and the preview run them: colour orders,
// the packed conversions, pixel-buffer reads, blur, bypass and fitting, on
// the fixture's film data.
class TestGpuGradeFrames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void colourOrders();
    void yuy2RoundTrips_data();
    void yuy2RoundTrips();
    void yuy2ConversionCases();
    void gradeFromPackedSource_data();
    void gradeFromPackedSource();
    void picturePassesThrough_data();
    void picturePassesThrough();
    void deepFrameKeepsItsLevels_data();
    void deepFrameKeepsItsLevels();
    void pixelBufferReadsKeepOrder_data();
    void pixelBufferReadsKeepOrder();
    void blurOnlyWhenGaugeAsks();
    void bypassShowsUngradedPicture();
    void fitPlacesPicture_data();
    void fitPlacesPicture();

private:
    OffscreenGLContext m_gl;
    static constexpr int W = 128;
    static constexpr int H = 64;
    std::vector<float> m_picture;
};

void TestGpuGradeFrames::initTestCase()
{
    FilmDataFixture::install();
    QVERIFY2(m_gl.create(), qPrintable(m_gl.lastError()));
    m_picture = colourCubePicture(W, H);
}

void TestGpuGradeFrames::colourOrders()
{
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, neutralSettings(), W, H));
    // Every order through the drawn pass (a neutral RGBA one would be skipped).
    grader.pipeline->setSkipsNeutralGrade(false);
    const auto rgba = grader.grade(m_picture, ShaderProcessor::OrderRGBA);
    const auto bgra = grader.grade(m_picture, ShaderProcessor::OrderBGRA);
    const auto argb = grader.grade(m_picture, ShaderProcessor::OrderARGB);
    const auto none = grader.grade(m_picture);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        QCOMPARE(bgra[i], rgba[i + 2]);
        QCOMPARE(bgra[i + 1], rgba[i + 1]);
        QCOMPARE(bgra[i + 2], rgba[i]);
        QCOMPARE(bgra[i + 3], rgba[i + 3]);
        QCOMPARE(argb[i], rgba[i + 3]);
        QCOMPARE(argb[i + 1], rgba[i]);
        QCOMPARE(argb[i + 2], rgba[i + 1]);
        QCOMPARE(argb[i + 3], rgba[i + 2]);
        QCOMPARE(none[i], rgba[i]);
        QCOMPARE(none[i + 2], rgba[i + 2]);
    }
}

void TestGpuGradeFrames::yuy2RoundTrips_data()
{
    QTest::addColumn<int>("range");
    QTest::newRow("limited") << int(GradingPipeline::LimitedRange);
    QTest::newRow("full") << int(GradingPipeline::FullRange);
}

void TestGpuGradeFrames::yuy2RoundTrips()
{
    // Packed frame -> RGB -> neutral grade -> packed frame gives the frame back.
    QFETCH(int, range);
    const auto colorRange = GradingPipeline::ColorRange(range);
    const int low = colorRange == GradingPipeline::LimitedRange ? 16 : 0;
    const int high = colorRange == GradingPipeline::LimitedRange ? 235 : 255;
    const int width = 64;
    const int height = 32;
    std::vector<quint8> frame(size_t(width) * height * 2);
    QRandomGenerator random(7);
    for (size_t i = 0; i < frame.size(); i += 4) {
        frame[i] = quint8(low + random.bounded(high - low + 1));
        frame[i + 2] = quint8(low + random.bounded(high - low + 1));
        // Mild chroma keeps the colours inside the RGB cube.
        frame[i + 1] = quint8(128 + int(random.bounded(9)) - 4);
        frame[i + 3] = quint8(128 + int(random.bounded(9)) - 4);
    }
    for (size_t i = 0; i < frame.size(); i += 4) {
        // Keep Y away from the ends where the chroma would clip.
        frame[i] = quint8(std::min(high - 8, std::max(low + 8, int(frame[i]))));
        frame[i + 2] = quint8(std::min(high - 8, std::max(low + 8, int(frame[i + 2]))));
    }

    GpuGrader grader;
    QVERIFY(grader.create(m_gl, neutralSettings(), width, height));
    grader.pipeline->uploadYuy2(frame.data());
    grader.pipeline->convertInputPass(grader.processor.get(), colorRange);
    grader.pipeline->gradePass(grader.processor.get());
    grader.pipeline->convertOutputPass(grader.processor.get(), colorRange);
    std::vector<quint8> back(frame.size());
    grader.pipeline->readYuy2(back.data());
    int worst = 0;
    for (size_t i = 0; i < frame.size(); ++i)
        worst = std::max(worst, std::abs(int(back[i]) - int(frame[i])));
    QVERIFY2(worst <= 2, qPrintable(QString::number(worst)));
}

void TestGpuGradeFrames::yuy2ConversionCases()
{
    const int width = 4;
    const int height = 2;
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, neutralSettings(), width, height));
    std::vector<float> rgb(size_t(width) * height * 4);

    // Limited: (16, 128, 235, 128) is black then white.
    const quint8 limited[16] = { 16, 128, 235, 128, 126, 128, 126, 128, 16, 128, 16, 128, 235, 128, 235, 128 };
    grader.pipeline->uploadYuy2(limited);
    grader.pipeline->convertInputPass(grader.processor.get(), GradingPipeline::LimitedRange);
    grader.pipeline->readLinear(rgb.data());
    for (int c = 0; c < 3; ++c) {
        QVERIFY(std::abs(rgb[size_t(c)]) < 1e-4f);
        QVERIFY(std::abs(rgb[size_t(4 + c)] - 1.f) < 0.5f / 255.f);
        // Grey 126 -> (126 - 16) * 298.082 / 256 / 255 of full scale.
        QVERIFY(std::abs(rgb[size_t(8 + c)] - (110.f * 298.082f / 256.f) / 255.f) < 1e-4f);
    }
    // Full: Y = 255 is white.
    const quint8 full[16] = { 255, 128, 0, 128, 128, 128, 128, 128, 0, 128, 0, 128, 0, 128, 0, 128 };
    grader.pipeline->uploadYuy2(full);
    grader.pipeline->convertInputPass(grader.processor.get(), GradingPipeline::FullRange);
    grader.pipeline->readLinear(rgb.data());
    for (int c = 0; c < 3; ++c) {
        QCOMPARE(rgb[size_t(c)], 1.f);
        QCOMPARE(rgb[size_t(4 + c)], 0.f);
        QVERIFY(std::abs(rgb[size_t(8 + c)] - 128.f / 255.f) < 1e-5f);
    }
    // White RGB packs to Y 235, U = V = 128 in limited range.
    std::vector<float> white(size_t(width) * height * 4, 1.f);
    grader.pipeline->uploadRgb(white.data());
    grader.pipeline->gradePass(grader.processor.get());
    grader.pipeline->convertOutputPass(grader.processor.get(), GradingPipeline::LimitedRange);
    quint8 packed[16];
    grader.pipeline->readYuy2(packed);
    for (int i = 0; i < 16; i += 4) {
        QCOMPARE(int(packed[i]), 235);
        QCOMPARE(int(packed[i + 1]), 128);
        QCOMPARE(int(packed[i + 2]), 235);
        QCOMPARE(int(packed[i + 3]), 128);
    }
}

void TestGpuGradeFrames::gradeFromPackedSource_data()
{
    QTest::addColumn<QString>("grade");
    QTest::addColumn<int>("range");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("onePass");
    QTest::addColumn<bool>("packedInOnePass");
    const int limited = GradingPipeline::LimitedRange;
    const int full = GradingPipeline::FullRange;
    QTest::newRow("full grade, limited range") << "full" << limited << "" << true << true;
    QTest::newRow("full grade, full range") << "full" << full << "" << true << true;
    QTest::newRow("no grain") << "no grain" << limited << "" << true << true;
    QTest::newRow("stock and grain alone") << "full stock" << limited << "" << true << true;
    QTest::newRow("no stock, full range") << "no stock" << full << "" << true << true;
    QTest::newRow("tables only") << "tables" << limited << "" << true << true;
    QTest::newRow("gate weave and flicker") << "moving" << limited << "" << true << true;
    QTest::newRow("gate weave, smaller output") << "moving" << full << "smaller" << true << true;
    QTest::newRow("halation and bloom") << "glowing" << limited << "" << true << true;
    QTest::newRow("halation and bloom, full range, smaller output") << "glowing" << full << "smaller" << true << true;
    QTest::newRow("halation and bloom, weave, histogram")
        << "glowing, moving" << limited << "histogram" << true << false;
    QTest::newRow("smaller output, odd height, filtered") << "full" << limited << "smaller" << true << true;
    QTest::newRow("larger output, fit height, full range") << "no grain" << full << "larger" << true << true;
    QTest::newRow("taller output, fit width") << "full" << limited << "taller" << true << true;
    QTest::newRow("histogram, filtered") << "full" << limited << "histogram" << true << false;
    QTest::newRow("blurring gauge") << "full" << limited << "blur" << false << false;
    QTest::newRow("neutral grade") << "neutral" << limited << "" << false << false;
}

// Graded from the packed frame in one pass (the nearest pixel one to one,
// filtered when scaled or for the histogram passes), the picture is the one
// the input conversion and the grading pass make; where one pass can't stand
// for them (a blurring gauge, a neutral grade skipped) both run. Graded and
// packed in one pass, the bytes are those the grade and the colour
// converter's packing pass make.
void TestGpuGradeFrames::gradeFromPackedSource()
{
    QFETCH(QString, grade);
    QFETCH(int, range);
    QFETCH(QString, setup);
    QFETCH(bool, onePass);
    QFETCH(bool, packedInOnePass);
    const int width = 64;
    const int height = 32;
    std::vector<quint8> frame(size_t(width) * height * 2);
    QRandomGenerator random(11);
    for (quint8& byte : frame)
        byte = quint8(random.bounded(256));

    ClipSettings settings = neutralSettings();
    if (grade != QLatin1String("neutral")) {
        // The stock at full amounts with the tone and saturation neutral: the
        // movie render's default grade, stock and grain alone.
        const bool fullStock = grade == QLatin1String("full stock");
        settings.setExposure(0.2f);
        if (!fullStock) {
            settings.setLow({ 0.4, -2.5 });
            settings.setSaturation(1.25f);
        }
        const bool noStock = grade == QLatin1String("no stock") || grade == QLatin1String("tables");
        settings.setStockLUTAmount(noStock ? 0 : fullStock ? 100 : 80);
        settings.setStockCurveAmount(fullStock ? 100 : 0);
        settings.setGrainAmount(grade == QLatin1String("no grain") || grade == QLatin1String("tables") ? 0 : 120);
        // The picture read between its pixels, one to one too.
        if (grade.contains(QLatin1String("moving"))) {
            settings.setWeaveAmount(100);
            settings.setFlickerAmount(100);
        }
        // The glows read the packed frame themselves.
        if (grade.startsWith(QLatin1String("glowing"))) {
            settings.setHalationAmount(100);
            settings.setBloomAmount(80);
        }
    }
    if (setup == QLatin1String("blur"))
        settings.setGrainScaleName(QStringLiteral("8 mm"));
    quint32 counts[3][512] = {};
    quint32* histogram[3] = { counts[0], counts[1], counts[2] };
    int outputWidth = 0;
    int outputHeight = 0;
    FitMethod fit = StretchToFit;
    if (setup == QLatin1String("smaller")) {
        outputWidth = 46;
        outputHeight = 23;
    } else if (setup == QLatin1String("larger")) {
        outputWidth = 150;
        outputHeight = 60;
        fit = FitHeight;
    } else if (setup == QLatin1String("taller")) {
        outputWidth = 48;
        outputHeight = 40;
        fit = FitWidth;
    }
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, width, height, outputWidth, outputHeight, fit,
        setup == QLatin1String("histogram") ? histogram : nullptr));
    GradingPipeline* pipeline = grader.pipeline.get();
    ShaderProcessor* processor = grader.processor.get();
    processor->setFrameIdentity(0x5eedf11u, 22);
    const auto colorRange = GradingPipeline::ColorRange(range);
    QCOMPARE(pipeline->gradesFromSourceInOnePass(processor), onePass);

    const size_t outputPixels = size_t(pipeline->outputWidth()) * size_t(pipeline->outputHeight());
    std::vector<float> oneOrBoth(outputPixels * 4);
    pipeline->uploadYuy2(frame.data());
    pipeline->gradeFromSource(processor, colorRange);
    QCOMPARE(pipeline->gradedInOnePass(), onePass);
    // The linear picture is never drawn by a grade in one pass.
    QCOMPARE(pipeline->linearStorageAllocated(), !onePass);
    pipeline->readGraded(oneOrBoth.data());
    QCOMPARE(processor->gradeSource(), ShaderProcessor::LinearSource);
    // Drawn by the program holding just the grade's stages (none failed to build).
    const unsigned stages = stagesOf(settings, setup == QLatin1String("histogram"));
    if (onePass)
        QCOMPARE(processor->gradingProgramStages(), stages);

    std::vector<float> twoPasses(outputPixels * 4);
    pipeline->uploadYuy2(frame.data());
    pipeline->convertInputPass(processor, colorRange);
    pipeline->gradePass(processor);
    pipeline->readGraded(twoPasses.data());
    float worst = 0.f;
    for (size_t i = 0; i < twoPasses.size(); ++i)
        worst = std::max(worst, std::abs(twoPasses[i] - oneOrBoth[i]));
    // The same arithmetic (filtered: weights as the texture unit takes them,
    // up to float rounding).
    const bool filtered = pipeline->packedSource(processor, colorRange) >= ShaderProcessor::PackedLimitedFilteredSource;
    QCOMPARE(filtered, !pipeline->isOneToOne(processor) || setup == QLatin1String("histogram"));
    QVERIFY2(worst <= 1e-5f, qPrintable(QString::number(double(worst))));
    if (grade != QLatin1String("neutral"))
        QVERIFY(maxByteDifference(twoPasses, std::vector<float>(twoPasses.size(), 0.f)) > 0);

    const size_t packedBytes = outputPixels * 2;
    std::vector<quint8> threePasses(packedBytes);
    pipeline->uploadYuy2(frame.data());
    pipeline->gradeFromSource(processor, colorRange);
    pipeline->convertOutputPass(processor, colorRange);
    pipeline->readYuy2(threePasses.data());
    std::vector<quint8> packed(packedBytes, 0);
    pipeline->uploadYuy2(frame.data());
    pipeline->gradeToYuy2(processor, colorRange, colorRange);
    QCOMPARE(pipeline->packedInOnePass(), packedInOnePass);
    QCOMPARE(processor->gradeOutput(), ShaderProcessor::PictureOutput);
    pipeline->readYuy2(packed.data());
    int worstByte = 0;
    size_t worstAt = 0;
    for (size_t i = 0; i < packedBytes; ++i) {
        const int difference = std::abs(int(packed[i]) - int(threePasses[i]));
        if (difference > worstByte) {
            worstByte = difference;
            worstAt = i;
        }
    }
    // One to one the same arithmetic; filtered, a coordinate computed rather
    // than interpolated may round a byte the other way.
    QVERIFY2(worstByte <= (filtered ? 1 : 0),
        qPrintable(QStringLiteral("byte %1 differs by %2").arg(worstAt).arg(worstByte)));
    if (packedInOnePass)
        QCOMPARE(processor->gradingProgramStages(), stages);
}

void TestGpuGradeFrames::picturePassesThrough_data()
{
    QTest::addColumn<int>("outputWidth");
    QTest::addColumn<int>("fit");
    QTest::addColumn<float>("exposure");
    QTest::addColumn<float>("saturation");
    QTest::addColumn<bool>("skipping");
    QTest::addColumn<bool>("through");
    QTest::newRow("neutral, source size") << 64 << int(StretchToFit) << 0.f << 1.f << true << true;
    QTest::newRow("neutral, source size, fit width") << 64 << int(FitWidth) << 0.f << 1.f << true << true;
    QTest::newRow("neutral, smaller output") << 32 << int(StretchToFit) << 0.f << 1.f << true << false;
    QTest::newRow("neutral, wider output, fit height") << 96 << int(FitHeight) << 0.f << 1.f << true << false;
    QTest::newRow("exposure") << 64 << int(StretchToFit) << 0.5f << 1.f << true << false;
    QTest::newRow("saturation") << 64 << int(StretchToFit) << 0.f << 0.5f << true << false;
    QTest::newRow("neutral, skipping off") << 64 << int(StretchToFit) << 0.f << 1.f << false << false;
}

// Only a grade that leaves every pixel where and as it was lets the owner
// hand the frame bytes on without the passes.
void TestGpuGradeFrames::picturePassesThrough()
{
    QFETCH(int, outputWidth);
    QFETCH(int, fit);
    QFETCH(float, exposure);
    QFETCH(float, saturation);
    QFETCH(bool, skipping);
    QFETCH(bool, through);
    ClipSettings settings = neutralSettings();
    settings.setExposure(exposure);
    settings.setSaturation(saturation);
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, 64, 32, outputWidth, 32, FitMethod(fit)));
    grader.pipeline->setSkipsNeutralGrade(skipping);
    QCOMPARE(grader.pipeline->passesPictureThrough(grader.processor.get()), through);
    // Where it passes through, the grading pass is skipped too.
    grader.pipeline->uploadRgb(std::vector<float>(size_t(64) * 32 * 4, 0.5f).data());
    grader.pipeline->gradePass(grader.processor.get());
    // The graded picture's storage is made only by a pass that draws.
    QCOMPARE(grader.pipeline->gradePassSkipped(), through);
    QCOMPARE(grader.pipeline->gradedStorageAllocated(), !through);
}

void TestGpuGradeFrames::deepFrameKeepsItsLevels_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("skipping");
    QTest::newRow("16-bit, input conversion") << 16 << true;
    QTest::newRow("16-bit, graded in one pass") << 16 << false;
    QTest::newRow("8-bit, input conversion") << 8 << true;
    QTest::newRow("8-bit, graded in one pass") << 8 << false;
}

// A 10-bit ramp uploaded in 16-bit samples and graded neutrally keeps its
// levels through the 16-bit read of the graded picture; the same ramp in 8
// bits has at most 256. Either way green rises with the luma code, as the
// limited range maps it. A 16-bit frame never passes through untouched, and
// an 8-bit frame after it grades on an 8-bit texture again.
void TestGpuGradeFrames::deepFrameKeepsItsLevels()
{
    QFETCH(int, bits);
    QFETCH(bool, skipping);
    const int width = 1024;
    const int height = 2;
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, neutralSettings(), width, height));
    GradingPipeline* pipeline = grader.pipeline.get();
    ShaderProcessor* processor = grader.processor.get();
    pipeline->setSkipsNeutralGrade(skipping);
    std::vector<int> codes;
    const std::vector<quint8> frame = packedRamp(width, height, bits, &codes);

    auto gradeRow = [&](const std::vector<quint8>& bytes, int depth) {
        pipeline->uploadYuy2(bytes.data(), 0, depth);
        pipeline->gradeFromSource(processor, GradingPipeline::LimitedRange);
        std::vector<unsigned short> graded(size_t(width) * height * 4);
        pipeline->readGraded(graded.data());
        std::vector<int> greens(size_t(width), 0);
        for (int x = 0; x < width; ++x)
            greens[size_t(x)] = graded[size_t(width + x) * 4 + 1];
        return greens;
    };
    const std::vector<int> greens = gradeRow(frame, bits);
    QCOMPARE(pipeline->sourceBitsPerSample(), bits);
    QCOMPARE(pipeline->gradedInOnePass(), !skipping);
    QCOMPARE(pipeline->passesPictureThrough(processor), bits == 8 && skipping);

    const std::set<int> levels(greens.begin(), greens.end());
    int worst = 0;
    int worstAt = 0;
    for (int x = 0; x < width; ++x) {
        const int ideal = int(std::lround((codes[size_t(x)] - 64) / 876.0 * 65535.0));
        const int difference = std::abs(greens[size_t(x)] - ideal);
        if (difference > worst) {
            worst = difference;
            worstAt = x;
        }
    }
    const QString what
        = QStringLiteral("%1 levels; green %2 off its code's at column %3").arg(levels.size()).arg(worst).arg(worstAt);
    QVERIFY2(std::is_sorted(greens.begin(), greens.end()), qPrintable(what));
    if (bits == 16)
        QVERIFY2(levels.size() >= 700, qPrintable(what));
    else
        QVERIFY2(levels.size() <= 256, qPrintable(what));
    // Within 0.3 % of full scale: half an 8-bit step from 8-bit rounding,
    // the rest from 10-bit codes read on the 8-bit scale the passes use.
    QVERIFY2(worst <= 200, qPrintable(what));

    if (bits == 16) {
        std::vector<int> eightBitCodes;
        const std::vector<int> after = gradeRow(packedRamp(width, height, 8, &eightBitCodes), 8);
        QCOMPARE(pipeline->sourceBitsPerSample(), 8);
        QCOMPARE(pipeline->passesPictureThrough(processor), skipping);
        QVERIFY(std::set<int>(after.begin(), after.end()).size() <= 256);
    }
}

void TestGpuGradeFrames::pixelBufferReadsKeepOrder_data()
{
    QTest::addColumn<int>("frames");
    QTest::newRow("one frame, flushed") << 1;
    QTest::newRow("two frames") << 2;
    QTest::newRow("five frames, buffers reused") << 5;
}

// Reads through the two pixel buffers give each frame exactly what a direct
// read gives, oldest first, however many frames were drawn in between.
void TestGpuGradeFrames::pixelBufferReadsKeepOrder()
{
    QFETCH(int, frames);
    const int width = 32;
    const int height = 16;
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, neutralSettings(), width, height));
    GradingPipeline& pipeline = *grader.pipeline;
    const size_t bytes = size_t(width) * height * 2;
    std::vector<quint8> scratch(bytes);
    QVERIFY(!pipeline.finishReadYuy2(scratch.data()));

    std::vector<std::vector<quint8>> direct;
    std::vector<std::vector<quint8>> buffered;
    auto finishOne = [&] {
        std::vector<quint8> picture(bytes, 0);
        QVERIFY(pipeline.finishReadYuy2(picture.data()));
        buffered.push_back(picture);
    };
    for (int f = 0; f < frames; ++f) {
        // Each frame its own flat luma, so that a swapped pair shows.
        std::vector<quint8> frame(bytes, 128);
        for (size_t i = 0; i < bytes; i += 2)
            frame[i] = quint8(30 + 35 * f + int(i / 2) % 7);
        pipeline.uploadYuy2(frame.data());
        pipeline.convertInputPass(grader.processor.get(), GradingPipeline::LimitedRange);
        pipeline.gradePass(grader.processor.get());
        pipeline.convertOutputPass(grader.processor.get(), GradingPipeline::LimitedRange);
        std::vector<quint8> now(bytes);
        pipeline.readYuy2(now.data());
        direct.push_back(now);
        QVERIFY(pipeline.beginReadYuy2());
        if (pipeline.pendingReads() == GradingPipeline::PackBufferCount) {
            // Both buffers busy: a third read is refused until one is finished.
            QVERIFY(!pipeline.beginReadYuy2());
            finishOne();
        }
    }
    while (pipeline.pendingReads() > 0)
        finishOne();
    QVERIFY(!pipeline.finishReadYuy2(scratch.data()));
    QCOMPARE(int(buffered.size()), frames);
    for (int f = 0; f < frames; ++f)
        QVERIFY2(buffered[size_t(f)] == direct[size_t(f)], qPrintable(QStringLiteral("frame %1").arg(f)));
}

void TestGpuGradeFrames::blurOnlyWhenGaugeAsks()
{
    const int width = 64;
    const int height = 32;
    const auto picture = edgePicture(width, height);
    std::vector<float> flat(size_t(width) * height * 4, 0.4f);

    ClipSettings settings = neutralSettings();
    settings.setGrainScaleName(QStringLiteral("Super 35"));
    GpuGrader sharp;
    QVERIFY(sharp.create(m_gl, settings, width, height));
    QCOMPARE(sharp.processor->blurAmount(), 0.f);
    const auto sharpOut = sharp.grade(picture);
    QVERIFY(maxByteDifference(sharpOut, picture) <= 1);
    // No blur, no blur pictures held.
    QVERIFY(!sharp.processor->blurStorageAllocated());

    settings.setGrainScaleName(QStringLiteral("8 mm"));
    GpuGrader soft;
    QVERIFY(soft.create(m_gl, settings, width, height));
    QCOMPARE(soft.processor->blurAmount(), 1.f);
    QVERIFY(!soft.processor->blurStorageAllocated());
    // A flat picture stays flat.
    QVERIFY(maxByteDifference(soft.grade(flat), flat) <= 1);
    QVERIFY(soft.processor->blurStorageAllocated());
    // The edge spreads over its neighbours, symmetrically, and nothing is flipped.
    const auto softOut = soft.grade(picture);
    const int row = height - 4;
    auto red = [&](const std::vector<float>& p, int x, int y) { return p[(size_t(y) * width + x) * 4]; };
    QVERIFY(red(softOut, width / 2 - 1, row) > 0.25f);
    QVERIFY(red(softOut, width / 2, row) < 0.75f);
    QVERIFY(std::abs(red(softOut, 2, row) - 0.2f) < 0.005f);
    QVERIFY(std::abs(red(softOut, width - 3, row) - 0.8f) < 0.005f);
    QVERIFY(std::abs((red(softOut, width / 2 - 1, row) - 0.2f) - (0.8f - red(softOut, width / 2, row))) < 0.01f);
    QVERIFY(softOut[(size_t(2) * width + 2) * 4 + 1] > 0.9f); // green block still top left
    QVERIFY(softOut[(size_t(height - 3) * width + 2) * 4 + 1] < 0.3f);
}

void TestGpuGradeFrames::bypassShowsUngradedPicture()
{
    const int width = 64;
    const int height = 32;
    const auto picture = edgePicture(width, height);
    ClipSettings settings; // stock, grain at full strength
    settings.setGrainScaleName(QStringLiteral("8 mm"));
    settings.setExposure(0.5f);
    settings.setSaturation(0.2f);
    settings.setHistogramSliderData({ 0.2f, 0.3f, 0.6f });
    settings.setOriginal(true);
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, width, height));
    QVERIFY(grader.processor->bypass());
    QVERIFY(grader.processor->blurAmount() > 0.f);
    const auto out = grader.grade(picture);
    QVERIFY(maxByteDifference(out, picture) <= 1);

    // Leaving bypass brings the grade (and its tables) back.
    grader.processor->setBypass(false);
    const auto graded = grader.grade(picture);
    QVERIFY(maxByteDifference(graded, picture) > 10);
    grader.processor->setBypass(true);
    QVERIFY(maxByteDifference(grader.grade(picture), picture) <= 1);
}

void TestGpuGradeFrames::fitPlacesPicture_data()
{
    QTest::addColumn<int>("fit");
    QTest::addColumn<int>("outputWidth");
    QTest::addColumn<int>("outputHeight");
    // Source 16 x 8; each row and column has its own value.
    QTest::newRow("fit width, crop") << int(FitWidth) << 16 << 4;
    QTest::newRow("fit width, pad") << int(FitWidth) << 16 << 16;
    QTest::newRow("fit height, crop") << int(FitHeight) << 8 << 8;
    QTest::newRow("fit height, pad") << int(FitHeight) << 32 << 8;
    QTest::newRow("stretch") << int(StretchToFit) << 32 << 16;
}

void TestGpuGradeFrames::fitPlacesPicture()
{
    QFETCH(int, fit);
    QFETCH(int, outputWidth);
    QFETCH(int, outputHeight);
    const int sw = 16;
    const int sh = 8;
    std::vector<float> picture(size_t(sw) * sh * 4);
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x) {
            float* p = &picture[(size_t(y) * sw + x) * 4];
            p[0] = float(x * 16) / 255.f;
            p[1] = float(y * 32) / 255.f;
            p[2] = 0.5f;
            p[3] = 1.f;
        }
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, neutralSettings(), sw, sh, outputWidth, outputHeight, FitMethod(fit)));
    const auto out = grader.grade(picture);

    // Where each output pixel centre lands in the source, from the fit's s and t.
    const auto coordinates = ShaderProcessor::fitTextureCoordinates(FitMethod(fit), sw, sh, outputWidth, outputHeight);
    const float s0 = coordinates[2];
    const float s1 = coordinates[4];
    const float t0 = coordinates[3];
    const float t1 = coordinates[1];
    for (int y = 0; y < outputHeight; ++y)
        for (int x = 0; x < outputWidth; ++x) {
            const float u = s0 + (s1 - s0) * (x + 0.5f) / outputWidth;
            const float v = t0 + (t1 - t0) * (y + 0.5f) / outputHeight;
            // Clamp-to-edge, linear filtering of the column/row ramps.
            const float sx = std::min(float(sw - 1), std::max(0.f, u * sw - 0.5f));
            const float sy = std::min(float(sh - 1), std::max(0.f, v * sh - 0.5f));
            const float* p = &out[(size_t(y) * outputWidth + x) * 4];
            QVERIFY2(std::abs(p[0] * 255.f - sx * 16.f) < 1.5f,
                qPrintable(QStringLiteral("x %1 y %2: %3 vs %4").arg(x).arg(y).arg(p[0] * 255.f).arg(sx * 16.f)));
            QVERIFY2(std::abs(p[1] * 255.f - sy * 32.f) < 1.5f,
                qPrintable(QStringLiteral("x %1 y %2: %3 vs %4").arg(x).arg(y).arg(p[1] * 255.f).arg(sy * 32.f)));
        }
    // Top-left of a crop is inside the picture, of a pad the edge pixel.
    if (QByteArray(QTest::currentDataTag()) == "fit width, crop")
        QVERIFY(std::abs(out[1] * 255.f - 2.f * 32.f) < 1.5f); // source row 2
    if (QByteArray(QTest::currentDataTag()) == "fit width, pad")
        QVERIFY(std::abs(out[1] * 255.f) < 1.5f && std::abs(out[(size_t(15) * 16) * 4 + 1] * 255.f - 224.f) < 1.5f);
}

EMULSA_TEST_MAIN(TestGpuGradeFrames)
#include "tst_gpugradeframes.moc"
