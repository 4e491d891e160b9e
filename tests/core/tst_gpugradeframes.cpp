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
// the packed conversions and deep frames, on the fixture's film data.
class TestGpuGradeFrames : public GpuGradeTest
{
    Q_OBJECT

private slots:
    void colourOrders();
    void yuy2RoundTrips_data();
    void yuy2RoundTrips();
    void yuy2ConversionCases();
    void gradeFromPackedSource_data();
    void gradeFromPackedSource();
    void deepFrameKeepsItsLevels_data();
    void deepFrameKeepsItsLevels();
};

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
    grader.pipeline->packedOutput().read(back.data());
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
    grader.pipeline->packedOutput().read(packed);
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
    processor->grade().setFrameIdentity(0x5eedf11u, 22);
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
        QCOMPARE(processor->programs().stages(), stages);

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
    pipeline->packedOutput().read(threePasses.data());
    std::vector<quint8> packed(packedBytes, 0);
    pipeline->uploadYuy2(frame.data());
    pipeline->gradeToYuy2(processor, colorRange, colorRange);
    QCOMPARE(pipeline->packedInOnePass(), packedInOnePass);
    QCOMPARE(processor->gradeOutput(), ShaderProcessor::PictureOutput);
    pipeline->packedOutput().read(packed.data());
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
        QCOMPARE(processor->programs().stages(), stages);
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

EMULSA_TEST_MAIN(TestGpuGradeFrames)
#include "tst_gpugradeframes.moc"
