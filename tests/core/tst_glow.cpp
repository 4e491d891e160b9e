#include "common/TestEnvironment.h"

#include "FilmDataFixture.h"
#include "GpuTestSupport.h"

#include "core/grade/Glow.h"

#include <QRandomGenerator>

#include <cmath>

using namespace Emulsa;
using namespace Emulsa::Test;

// Halation and bloom: what the CPU reference does to a bright disc on a dark
// ground, measured (spread per channel, light kept, sizes on the film), and
// the GPU held to the reference.
class TestGlow : public GpuGradeTest
{
    Q_OBJECT

private slots:
    void halationSpreadsRedWidest_data();
    void halationSpreadsRedWidest();
    void halationSizeIsOnTheFilm_data();
    void halationSizeIsOnTheFilm();
    void bloomKeepsLightAndWidensWithRadius();
    void picturesUnderTheThresholdAreUnchanged_data();
    void picturesUnderTheThresholdAreUnchanged();
    void gpuMatchesReference_data();
    void gpuMatchesReference();
    void offCostsNothing();
    void keepsLightWithBlurAndHistogram_data();
    void keepsLightWithBlurAndHistogram();
    void finePictureKeepsItsLightScaled_data();
    void finePictureKeepsItsLightScaled();
    void packedFrameGlowsAsTheLinearPicture_data();
    void packedFrameGlowsAsTheLinearPicture();
};

namespace {

struct Disc
{
    int width;
    int height;
    float radius;
    float value;
    float ground = 0.02f;

    float cx() const { return float(width) / 2.f; }
    float cy() const { return float(height) / 2.f; }

    std::vector<float> picture() const
    {
        std::vector<float> rgba(size_t(width) * size_t(height) * 4);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const float dx = float(x) + 0.5f - cx();
                const float dy = float(y) + 0.5f - cy();
                const float v = dx * dx + dy * dy <= radius * radius ? value : ground;
                float* p = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
                p[0] = p[1] = p[2] = v;
                p[3] = 1.f;
            }
        return rgba;
    }

    // RMS distance from the centre of the light one channel gained outside
    // the disc: the glow's measured spread (for a disc small beside it).
    double glowRadius(const std::vector<float>& in, const std::vector<float>& out, int channel) const
    {
        double moment = 0.0;
        double light = 0.0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const double dx = x + 0.5 - cx();
                const double dy = y + 0.5 - cy();
                const double r2 = dx * dx + dy * dy;
                if (r2 <= double(radius) * double(radius))
                    continue;
                const size_t i = (size_t(y) * size_t(width) + size_t(x)) * 4 + size_t(channel);
                const double gained = double(out[i]) - double(in[i]);
                moment += gained * r2;
                light += gained;
            }
        return light > 0.0 ? std::sqrt(moment / light) : 0.0;
    }
};

// The packed frame graded by `grader`: in one pass from the frame as uploaded,
// or converted to the linear picture first; read back as RGBA floats.
std::vector<float> gradedFrame(GpuGrader& grader, const std::vector<quint8>& frame, bool linear)
{
    GradingPipeline* pipeline = grader.pipeline.get();
    ShaderProcessor* p = grader.processor.get();
    pipeline->uploadYuy2(frame.data());
    if (linear) {
        pipeline->convertInputPass(p, GradingPipeline::LimitedRange);
        pipeline->gradePass(p);
    } else {
        pipeline->gradeFromSource(p, GradingPipeline::LimitedRange);
    }
    std::vector<float> out(size_t(pipeline->outputWidth()) * size_t(pipeline->outputHeight()) * 4);
    pipeline->readGraded(out.data());
    return out;
}

double totalLight(const std::vector<float>& rgba)
{
    double sum = 0.0;
    for (size_t i = 0; i < rgba.size(); ++i)
        if (i % 4 != 3)
            sum += double(rgba[i]);
    return sum;
}

std::vector<float> applied(const std::vector<float>& in, int width, int height, const GlowParams& params)
{
    std::vector<float> out(in.size());
    Glow::apply(in.data(), out.data(), width, height, params);
    return out;
}

} // namespace

void TestGlow::halationSpreadsRedWidest_data()
{
    QTest::addColumn<QString>("gauge");
    QTest::addColumn<int>("width");
    QTest::addColumn<float>("amount");
    // From a single level (no block) to one of 16 x 16 pixels.
    QTest::newRow("35 mm Full Frame, 1200") << QStringLiteral("35 mm Full Frame") << 1200 << 1.f;
    QTest::newRow("Super 35, 1920") << QStringLiteral("Super 35") << 1920 << 0.6f;
    QTest::newRow("16 mm, 1280") << QStringLiteral("16 mm") << 1280 << 1.f;
    QTest::newRow("8 mm, 1920") << QStringLiteral("8 mm") << 1920 << 0.3f;
}

void TestGlow::halationSpreadsRedWidest()
{
    QFETCH(QString, gauge);
    QFETCH(int, width);
    QFETCH(float, amount);
    const GlowParams params = Glow::halation(amount, gauge, unsigned(width));
    const Disc disc { width, 320, 1.f, 6.f };
    const auto in = disc.picture();
    const auto out = applied(in, disc.width, disc.height, params);
    const double red = disc.glowRadius(in, out, 0);
    const double green = disc.glowRadius(in, out, 1);
    const double blue = disc.glowRadius(in, out, 2);
    QVERIFY2(red > green * 1.2 && green > blue * 1.2 && blue > 0.0,
        qPrintable(QStringLiteral("radii r %1 g %2 b %3").arg(red).arg(green).arg(blue)));
    // Red gains the most light, blue almost none.
    double gained[3] = { 0.0, 0.0, 0.0 };
    for (size_t i = 0; i < in.size(); ++i)
        if (i % 4 != 3)
            gained[i % 4] += std::max(0.0, double(out[i]) - double(in[i]));
    QVERIFY(gained[0] > 2.0 * gained[1] && gained[1] > 4.0 * gained[2]);
    // The light spread is taken from the disc: the total stays.
    const double kept = totalLight(out) / totalLight(in);
    QVERIFY2(std::abs(kept - 1.0) < 0.005, qPrintable(QString::number(kept, 'f', 5)));
}

void TestGlow::halationSizeIsOnTheFilm_data()
{
    QTest::addColumn<QString>("gaugeA");
    QTest::addColumn<int>("widthA");
    QTest::addColumn<QString>("gaugeB");
    QTest::addColumn<int>("widthB");
    QTest::addColumn<double>("ratio");
    // The frame widths of the gauges: 24.89 mm over 10.26 mm.
    QTest::newRow("16 mm against 35 mm 3 Perf at 1920")
        << QStringLiteral("16 mm") << 1920 << QStringLiteral("35 mm 3 Perf") << 1920 << 24.89 / 10.26;
    QTest::newRow("Super 16 against Super 35 at 1280")
        << QStringLiteral("Super 16") << 1280 << QStringLiteral("Super 35") << 1280 << 24.89 / 12.52;
    QTest::newRow("35 mm 3 Perf at 3840 against 1920")
        << QStringLiteral("35 mm 3 Perf") << 3840 << QStringLiteral("35 mm 3 Perf") << 1920 << 2.0;
    QTest::newRow("16 mm at 3840 against 1920")
        << QStringLiteral("16 mm") << 3840 << QStringLiteral("16 mm") << 1920 << 2.0;
}

// The same disc on the film (its size in pixels following the picture's
// width) makes a red glow whose radius in pixels follows the gauge and the
// picture width.
void TestGlow::halationSizeIsOnTheFilm()
{
    QFETCH(QString, gaugeA);
    QFETCH(int, widthA);
    QFETCH(QString, gaugeB);
    QFETCH(int, widthB);
    QFETCH(double, ratio);
    auto redRadius = [](const QString& gauge, int width) {
        const int height = width / 6;
        const Disc disc { width, height, float(width) / 960.f, 6.f };
        const auto in = disc.picture();
        const auto out = applied(in, width, height, Glow::halation(1.f, gauge, unsigned(width)));
        return disc.glowRadius(in, out, 0);
    };
    const double a = redRadius(gaugeA, widthA);
    const double b = redRadius(gaugeB, widthB);
    QVERIFY(b > 2.0);
    QVERIFY2(std::abs(a / b / ratio - 1.0) < 0.05,
        qPrintable(QStringLiteral("radius %1 against %2: %3, expected %4").arg(a).arg(b).arg(a / b).arg(ratio)));
}

void TestGlow::bloomKeepsLightAndWidensWithRadius()
{
    const Disc disc { 768, 512, 1.f, 4.f };
    const auto in = disc.picture();
    const QString gauge = QStringLiteral("Super 35");
    double previous = 0.0;
    double previousMicrometres = 0.0;
    for (const float micrometres : { 150.f, 300.f, 600.f, 1200.f }) {
        const GlowParams params = Glow::bloom(1.f, gauge, unsigned(disc.width), micrometres);
        const auto out = applied(in, disc.width, disc.height, params);
        const double kept = totalLight(out) / totalLight(in);
        QVERIFY2(std::abs(kept - 1.0) < 0.005, qPrintable(QString::number(kept, 'f', 5)));
        // Every channel alike.
        const double radius = disc.glowRadius(in, out, 1);
        QCOMPARE(disc.glowRadius(in, out, 0), radius);
        if (previous > 0.0) {
            // Twice the radius on the film, about twice the glow's.
            const double growth = radius / previous;
            QVERIFY2(
                growth > 0.85 * micrometres / previousMicrometres && growth < 1.1 * micrometres / previousMicrometres,
                qPrintable(QStringLiteral("%1 um: %2 px after %3 px").arg(micrometres).arg(radius).arg(previous)));
        }
        previous = radius;
        previousMicrometres = double(micrometres);
    }
}

void TestGlow::picturesUnderTheThresholdAreUnchanged_data()
{
    QTest::addColumn<bool>("bloom");
    QTest::addColumn<float>("value");
    QTest::addColumn<bool>("unchanged");
    QTest::newRow("halation, grey 0.5") << false << 0.5f << true;
    QTest::newRow("halation, grey 0.6") << false << 0.6f << false;
    QTest::newRow("bloom, grey 0.75") << true << 0.75f << true;
    QTest::newRow("bloom, grey 0.85") << true << 0.85f << false;
}

void TestGlow::picturesUnderTheThresholdAreUnchanged()
{
    QFETCH(bool, bloom);
    QFETCH(float, value);
    QFETCH(bool, unchanged);
    // A disc of the value on black: above the threshold it spreads.
    const Disc disc { 256, 128, 6.f, value, 0.f };
    const auto in = disc.picture();
    const GlowParams params
        = bloom ? Glow::bloom(1.f, QStringLiteral("16 mm"), 256) : Glow::halation(1.f, QStringLiteral("16 mm"), 256);
    const auto out = applied(in, disc.width, disc.height, params);
    QCOMPARE(out == in, unchanged);
}

void TestGlow::gpuMatchesReference_data()
{
    QTest::addColumn<int>("halation");
    QTest::addColumn<int>("bloom");
    QTest::addColumn<QString>("gauge");
    QTest::addColumn<bool>("graded");
    // Gauges without the small gauges' blur, which the reference grade leaves
    // out; from a level of whole pixels to one of 4 x 4.
    QTest::newRow("halation, 35 mm Full Frame") << 100 << 0 << QStringLiteral("35 mm Full Frame") << false;
    QTest::newRow("halation, 35 mm Academy") << 70 << 0 << QStringLiteral("35 mm Academy") << false;
    QTest::newRow("bloom, Super 35") << 0 << 100 << QStringLiteral("Super 35") << false;
    QTest::newRow("both, Super 35, graded") << 80 << 60 << QStringLiteral("Super 35") << true;
}

// The GPU picture against the reference glow graded by the reference grade;
// the light the glow adds must match in strength and place (a flipped,
// shifted or mis-scaled glow shows under the byte tolerance).
void TestGlow::gpuMatchesReference()
{
    QFETCH(int, halation);
    QFETCH(int, bloom);
    QFETCH(QString, gauge);
    QFETCH(bool, graded);
    // Sizes no block divides.
    constexpr int W = 810;
    constexpr int H = 150;
    // The colour cube and ramps with two small lights, off centre.
    auto picture = colourCubePicture(W, H);
    for (const auto& light : { std::array<int, 3> { 600, 40, 4 }, std::array<int, 3> { 300, 110, 2 } })
        for (int y = light[1] - light[2]; y <= light[1] + light[2]; ++y)
            for (int x = light[0] - light[2]; x <= light[0] + light[2]; ++x)
                for (int c = 0; c < 3; ++c)
                    picture[(size_t(y) * W + size_t(x)) * 4 + size_t(c)] = 1.f;
    ClipSettings settings = neutralSettings();
    settings.setGrainScaleName(gauge);
    if (graded) {
        settings.setStockLUTAmount(70);
        settings.setSaturation(1.2f);
    }
    ClipSettings without = settings;
    settings.setHalationAmount(halation);
    settings.setBloomAmount(bloom);

    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, W, H));
    const auto gpu = grader.grade(picture);
    QCOMPARE(grader.processor->glowPass().runs(), (halation > 0 ? 1 : 0) + (bloom > 0 ? 1 : 0));
    auto glowed = applied(picture, W, H, grader.processor->grade().halation());
    glowed = applied(glowed, W, H, grader.processor->grade().bloom());
    const auto cpu = referenceGrade(*grader.processor, settings, glowed, W, H);
    const auto plain = referenceGrade(*grader.processor, without, picture, W, H);
    QVERIFY2(maxByteDifference(gpu, cpu) <= 2, qPrintable(QString::number(maxByteDifference(gpu, cpu))));
    const ChangeAgreement agreement = changeAgreement(gpu, cpu, plain);
    QVERIFY2(agreement.referenceChange > 1e-2, "the glow changed nothing");
    QVERIFY2(std::abs(agreement.slope - 1.0) < 0.02 && agreement.correlation > 0.995, qPrintable(agreement.text()));
}

// With both amounts at 0, and while showing the original, no glow pass runs
// and the grade draws what it drew before the glow was switched on. On, the
// glow reads the packed frame as it was uploaded: the grade still takes one
// pass.
void TestGlow::offCostsNothing()
{
    constexpr int W = 160;
    constexpr int H = 96;
    const auto picture = colourCubePicture(W, H);
    ClipSettings settings = neutralSettings();
    settings.setSaturation(1.2f);
    settings.setGrainScaleName(QStringLiteral("Super 35"));
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, W, H));
    ShaderProcessor* p = grader.processor.get();
    const auto off = grader.grade(picture);
    QCOMPARE(p->glowPass().runs(), 0);
    QVERIFY(grader.pipeline->gradesFromSourceInOnePass(p));

    ClipSettings on = settings;
    on.setHalationAmount(50);
    on.setBloomAmount(50);
    QVERIFY(p->applySettings(&on));
    QVERIFY(grader.pipeline->gradesFromSourceInOnePass(p));
    QVERIFY(maxByteDifference(grader.grade(picture), off) > 2);
    QCOMPARE(p->glowPass().runs(), 2);

    on.setOriginal(true);
    QVERIFY(p->applySettings(&on));
    grader.grade(picture);
    QCOMPARE(p->glowPass().runs(), 2);

    QVERIFY(p->applySettings(&settings));
    QVERIFY(grader.grade(picture) == off);
    QCOMPARE(p->glowPass().runs(), 2);
}

void TestGlow::keepsLightWithBlurAndHistogram_data()
{
    QTest::addColumn<QString>("gauge");
    QTest::addColumn<bool>("histogram");
    QTest::newRow("8 mm, blurred") << QStringLiteral("8 mm") << false;
    QTest::newRow("8 mm, blurred, histogram") << QStringLiteral("8 mm") << true;
    QTest::newRow("Super 35, histogram") << QStringLiteral("Super 35") << true;
}

// With the small gauges' blur before it and the preview's histogram passes
// after it, the glow still only moves light: the graded picture's mean stays.
void TestGlow::keepsLightWithBlurAndHistogram()
{
    QFETCH(QString, gauge);
    QFETCH(bool, histogram);
    constexpr int W = 320;
    constexpr int H = 180;
    const Disc disc { W, H, 12.f, 1.f, 0.1f };
    const auto picture = disc.picture();
    std::array<std::array<quint32, 512>, 3> counts {};
    quint32* bins[3] = { counts[0].data(), counts[1].data(), counts[2].data() };
    ClipSettings settings = neutralSettings();
    settings.setGrainScaleName(gauge);
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, W, H, 0, 0, StretchToFit, histogram ? bins : nullptr));
    const auto off = grader.grade(picture);
    settings.setHalationAmount(100);
    settings.setBloomAmount(100);
    QVERIFY(grader.processor->applySettings(&settings));
    const auto on = grader.grade(picture);
    QCOMPARE(grader.processor->glowPass().runs(), 2);
    const double kept = totalLight(on) / totalLight(off);
    QVERIFY2(std::abs(kept - 1.0) < 0.01, qPrintable(QString::number(kept, 'f', 5)));
    QVERIFY(maxByteDifference(on, off) > 2);
}

void TestGlow::finePictureKeepsItsLightScaled_data()
{
    QTest::addColumn<int>("outputWidth");
    QTest::addColumn<int>("outputHeight");
    QTest::addColumn<bool>("linear");
    QTest::newRow("one to one, packed frame") << 0 << 0 << false;
    QTest::newRow("smaller output, packed frame") << 102 << 58 << false;
    QTest::newRow("smaller output, linear picture") << 102 << 58 << true;
    QTest::newRow("larger output, packed frame") << 334 << 190 << false;
}

// A checker of single black and white pixels graded to another size: each
// white pixel gives up its light to the glow before the picture is filtered,
// so the output keeps the light it has without the glow (glowing the filtered
// grey instead would add the glow and take nothing). From the packed frame
// the glow reads the frame as uploaded and the grade still takes one pass.
void TestGlow::finePictureKeepsItsLightScaled()
{
    QFETCH(int, outputWidth);
    QFETCH(int, outputHeight);
    QFETCH(bool, linear);
    constexpr int W = 256;
    constexpr int H = 144;
    std::vector<quint8> frame(size_t(W) * H * 2);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            frame[(size_t(y) * W + size_t(x)) * 2] = ((x + y) & 1) ? 235 : 16;
            frame[(size_t(y) * W + size_t(x)) * 2 + 1] = 128;
        }
    ClipSettings settings = neutralSettings();
    settings.setGrainScaleName(QStringLiteral("Super 35"));
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, W, H, outputWidth, outputHeight));
    ShaderProcessor* p = grader.processor.get();
    const auto graded = [&] { return gradedFrame(grader, frame, linear); };
    const auto off = graded();
    settings.setHalationAmount(100);
    settings.setBloomAmount(100);
    QVERIFY(p->applySettings(&settings));
    const auto on = graded();
    QCOMPARE(p->glowPass().runs(), 2);
    QCOMPARE(grader.pipeline->gradedInOnePass(), !linear);
    const double kept = totalLight(on) / totalLight(off);
    QVERIFY2(std::abs(kept - 1.0) < 0.005, qPrintable(QString::number(kept, 'f', 5)));
    QVERIFY(maxByteDifference(on, off) > 2);
}

void TestGlow::packedFrameGlowsAsTheLinearPicture_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    // Wide enough that the levels average blocks of pixels (halation 2 x 2,
    // bloom 8 x 8 on Super 35); sizes no block divides end in part blocks,
    // whose pixels past the edge are the last pixel, the right of a pair.
    QTest::newRow("part blocks, odd height") << 810 << 101;
    QTest::newRow("even sizes") << 1200 << 64;
}

// The glow's levels read the packed frame two pixels to a texel; the picture
// graded from it in one pass is the one graded from the converted linear
// picture, edges included.
void TestGlow::packedFrameGlowsAsTheLinearPicture()
{
    QFETCH(int, width);
    QFETCH(int, height);
    std::vector<quint8> frame(size_t(width) * size_t(height) * 2);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            // Bright luma in columns near both edges and in scattered spots.
            const bool bright = x < 6 || x >= width - 5 || random.bounded(40) == 0;
            frame[(size_t(y) * size_t(width) + size_t(x)) * 2] = quint8(bright ? 235 : random.bounded(16, 120));
            frame[(size_t(y) * size_t(width) + size_t(x)) * 2 + 1] = quint8(random.bounded(100, 156));
        }
    ClipSettings settings = neutralSettings();
    settings.setGrainScaleName(QStringLiteral("Super 35"));
    settings.setHalationAmount(100);
    settings.setBloomAmount(100);
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, width, height));
    QVERIFY(Glow::factorFor(grader.processor->grade().halation()) >= 2);
    QVERIFY(Glow::factorFor(grader.processor->grade().bloom()) >= 8);
    const auto linear = gradedFrame(grader, frame, true);
    const auto packed = gradedFrame(grader, frame, false);
    QVERIFY(grader.pipeline->gradedInOnePass());
    QCOMPARE(grader.processor->glowPass().runs(), 4);
    double worst = 0;
    for (size_t i = 0; i < linear.size(); ++i)
        worst = std::max(worst, double(std::abs(linear[i] - packed[i])));
    QVERIFY2(worst < 1e-4, qPrintable(QString::number(worst)));
}

QTEST_MAIN(TestGlow)
#include "tst_glow.moc"
