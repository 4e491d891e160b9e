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

} // namespace

// What the passes hand on: a picture passed through untouched, pixel-buffer
// reads, blur, bypass and fitting, on the fixture's film data.
class TestGpuGradeOutput : public GpuGradeTest
{
    Q_OBJECT

private slots:
    void picturePassesThrough_data();
    void picturePassesThrough();
    void pixelBufferReadsKeepOrder_data();
    void pixelBufferReadsKeepOrder();
    void blurOnlyWhenGaugeAsks();
    void bypassShowsUngradedPicture();
    void fitPlacesPicture_data();
    void fitPlacesPicture();
};

void TestGpuGradeOutput::picturePassesThrough_data()
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
void TestGpuGradeOutput::picturePassesThrough()
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

void TestGpuGradeOutput::pixelBufferReadsKeepOrder_data()
{
    QTest::addColumn<int>("frames");
    QTest::newRow("one frame, flushed") << 1;
    QTest::newRow("two frames") << 2;
    QTest::newRow("five frames, buffers reused") << 5;
}

// Reads through the two pixel buffers give each frame exactly what a direct
// read gives, oldest first, however many frames were drawn in between.
void TestGpuGradeOutput::pixelBufferReadsKeepOrder()
{
    QFETCH(int, frames);
    const int width = 32;
    const int height = 16;
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, neutralSettings(), width, height));
    GradingPipeline& pipeline = *grader.pipeline;
    const size_t bytes = size_t(width) * height * 2;
    std::vector<quint8> scratch(bytes);
    QVERIFY(!pipeline.packedOutput().finishRead(scratch.data()));

    std::vector<std::vector<quint8>> direct;
    std::vector<std::vector<quint8>> buffered;
    auto finishOne = [&] {
        std::vector<quint8> picture(bytes, 0);
        QVERIFY(pipeline.packedOutput().finishRead(picture.data()));
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
        pipeline.packedOutput().read(now.data());
        direct.push_back(now);
        QVERIFY(pipeline.packedOutput().beginRead());
        if (pipeline.packedOutput().pendingReads() == PackedOutput::BufferCount) {
            // Both buffers busy: a third read is refused until one is finished.
            QVERIFY(!pipeline.packedOutput().beginRead());
            finishOne();
        }
    }
    while (pipeline.packedOutput().pendingReads() > 0)
        finishOne();
    QVERIFY(!pipeline.packedOutput().finishRead(scratch.data()));
    QCOMPARE(int(buffered.size()), frames);
    for (int f = 0; f < frames; ++f)
        QVERIFY2(buffered[size_t(f)] == direct[size_t(f)], qPrintable(QStringLiteral("frame %1").arg(f)));
}

void TestGpuGradeOutput::blurOnlyWhenGaugeAsks()
{
    const int width = 64;
    const int height = 32;
    const auto picture = edgePicture(width, height);
    std::vector<float> flat(size_t(width) * height * 4, 0.4f);

    ClipSettings settings = neutralSettings();
    settings.setGrainScaleName(QStringLiteral("Super 35"));
    GpuGrader sharp;
    QVERIFY(sharp.create(m_gl, settings, width, height));
    QCOMPARE(sharp.processor->grade().blurAmount(), 0.f);
    const auto sharpOut = sharp.grade(picture);
    QVERIFY(maxByteDifference(sharpOut, picture) <= 1);
    // No blur, no blur pictures held.
    QVERIFY(!sharp.processor->blurPass().storageAllocated());

    settings.setGrainScaleName(QStringLiteral("8 mm"));
    GpuGrader soft;
    QVERIFY(soft.create(m_gl, settings, width, height));
    QCOMPARE(soft.processor->grade().blurAmount(), 1.f);
    QVERIFY(!soft.processor->blurPass().storageAllocated());
    // A flat picture stays flat.
    QVERIFY(maxByteDifference(soft.grade(flat), flat) <= 1);
    QVERIFY(soft.processor->blurPass().storageAllocated());
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

void TestGpuGradeOutput::bypassShowsUngradedPicture()
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
    QVERIFY(grader.processor->grade().bypass());
    QVERIFY(grader.processor->grade().blurAmount() > 0.f);
    const auto out = grader.grade(picture);
    QVERIFY(maxByteDifference(out, picture) <= 1);

    // Leaving bypass brings the grade (and its tables) back.
    grader.processor->setBypass(false);
    const auto graded = grader.grade(picture);
    QVERIFY(maxByteDifference(graded, picture) > 10);
    grader.processor->setBypass(true);
    QVERIFY(maxByteDifference(grader.grade(picture), picture) <= 1);
}

void TestGpuGradeOutput::fitPlacesPicture_data()
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

void TestGpuGradeOutput::fitPlacesPicture()
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
    const auto coordinates = GradingPrograms::fitTextureCoordinates(FitMethod(fit), sw, sh, outputWidth, outputHeight);
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

EMULSA_TEST_MAIN(TestGpuGradeOutput)
#include "tst_gpugradeoutput.moc"
