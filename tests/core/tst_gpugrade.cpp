#include "common/TestEnvironment.h"

#include "FilmDataFixture.h"
#include "GpuTestSupport.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>

using namespace Emulsa;
using namespace Emulsa::Test;

namespace {

// The stages a grading program needs for a grade: the stock's mixing only
// when an amount is not full, the black-and-white matrix only for those
// stocks, the tone table only when lift/gamma/gain, the wheels or the levels
// folded into it are not neutral, the saturation and levels after the tone
// table only when the saturation is not neutral or histogram passes need the
// levels apart.
unsigned stagesOf(const ClipSettings& settings, bool histogram = false)
{
    const bool stock = settings.getStockLUTAmount() != 0;
    const bool mix = stock && (settings.getStockLUTAmount() != 100 || settings.getStockCurveAmount() != 100);
    const bool finish = settings.getSaturation() != 1.f || histogram;
    const ClipSettings neutral;
    auto same = [](const ColorWheelData& a, const ColorWheelData& b) { return a.radius == b.radius; };
    const HistogramSliderData levels = settings.getHistogramSliderData();
    const HistogramSliderData neutralLevels = neutral.getHistogramSliderData();
    const bool tone = settings.getLift() != 1.f || settings.getGamma() != 1.f || settings.getGain() != 1.f
        || !same(settings.getLow(), neutral.getLow()) || !same(settings.getMid(), neutral.getMid())
        || !same(settings.getHigh(), neutral.getHigh())
        || (!finish
            && (levels.black != neutralLevels.black || levels.mid != neutralLevels.mid
                || levels.white != neutralLevels.white));
    return (stock ? unsigned(ShaderProcessor::StockStage) : 0u) | (mix ? unsigned(ShaderProcessor::StockMixStage) : 0u)
        | (settings.getGrainAmount() != 0 ? unsigned(ShaderProcessor::GrainStage) : 0u)
        | (GradeTables::isBlackAndWhiteStock(settings.getStockName()) ? unsigned(ShaderProcessor::MonoStage) : 0u)
        | (tone ? unsigned(ShaderProcessor::ToneStage) : 0u) | (finish ? unsigned(ShaderProcessor::FinishStage) : 0u);
}

} // namespace

// The GPU grade against the CPU reference, and the frame passes as the
// renderer and the preview run them, on the fixture's film data.
class TestGpuGrade : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void stagesAgreeWithReference_data();
    void stagesAgreeWithReference();
    void grainHasTheReferenceStrength_data();
    void grainHasTheReferenceStrength();
    void neutralGradePassesPictureThrough();
    void gradingProgramsFollowTheGrade();
    void editsPastNeutralBuildNoProgram_data();
    void editsPastNeutralBuildNoProgram();
    void neutralGradeSkipsItsPass_data();
    void neutralGradeSkipsItsPass();
    void colourOrders();
    void yuy2RoundTrips_data();
    void yuy2RoundTrips();
    void yuy2ConversionCases();
    void gradeFromPackedSource_data();
    void gradeFromPackedSource();
    void picturePassesThrough_data();
    void picturePassesThrough();
    void pixelBufferReadsKeepOrder_data();
    void pixelBufferReadsKeepOrder();
    void blurOnlyWhenGaugeAsks();
    void bypassShowsUngradedPicture();
    void fitPlacesPicture_data();
    void fitPlacesPicture();
    void gradeMatchesRecordedOutput_data();
    void gradeMatchesRecordedOutput();

private:
    OffscreenGLContext m_gl;
    static constexpr int W = 128;
    static constexpr int H = 64;
    std::vector<float> m_picture;
};

void TestGpuGrade::initTestCase()
{
    FilmDataFixture::install();
    QVERIFY2(m_gl.create(), qPrintable(m_gl.lastError()));
    m_picture = colourCubePicture(W, H);
}

void TestGpuGrade::stagesAgreeWithReference_data()
{
    QTest::addColumn<ClipSettings>("settings");
    const ClipSettings neutral = neutralSettings();

    ClipSettings s = neutral;
    s.setExposure(0.45f);
    QTest::newRow("exposure") << s;
    s = neutral;
    s.setKelvin(9500.f);
    QTest::newRow("warm") << s;
    s = neutral;
    s.setKelvin(2600.f);
    s.setExposure(-0.3f);
    QTest::newRow("cool and darker") << s;
    s = neutral;
    s.setStockLUTAmount(100);
    s.setStockCurveAmount(100);
    QTest::newRow("stock") << s;
    s.setStockCurveAmount(0);
    QTest::newRow("stock, lightness kept") << s;
    s.setStockLUTAmount(55);
    s.setStockCurveAmount(35);
    QTest::newRow("stock, partly") << s;
    s = neutral;
    s.setGrainAmount(150);
    QTest::newRow("grain") << s;
    s = neutral;
    s.setStockName(QStringLiteral("KodakTriX"));
    QTest::newRow("black and white stock") << s;
    s = neutral;
    s.setLift(0.8f);
    s.setGamma(1.3f);
    s.setGain(1.2f);
    QTest::newRow("lift gamma gain") << s;
    s = neutral;
    s.setLow({ 0.8, 2.0 });
    s.setMid({ 0.6, -1.2 });
    s.setHigh({ 1.0, 0.4 });
    QTest::newRow("wheels") << s;
    s = neutral;
    s.setSaturation(1.7f);
    QTest::newRow("saturation up") << s;
    s.setSaturation(0.3f);
    QTest::newRow("saturation down") << s;
    s = neutral;
    s.setHistogramSliderData({ 0.1f, 0.4f, 0.85f });
    QTest::newRow("levels") << s;

    ClipSettings full;
    full.setStockLUTAmount(80);
    full.setStockCurveAmount(70);
    full.setGrainAmount(120);
    full.setExposure(0.2f);
    full.setKelvin(6400.f);
    full.setLow({ 0.4, -2.5 });
    full.setMid({ 0.3, 1.0 });
    full.setHigh({ 0.5, 2.9 });
    full.setLift(1.1f);
    full.setGamma(0.9f);
    full.setGain(0.95f);
    full.setSaturation(1.25f);
    full.setHistogramSliderData({ 0.05f, 0.55f, 0.95f });
    QTest::newRow("full grade") << full;
    full.setStockName(QStringLiteral("KodakTriX"));
    QTest::newRow("full grade, black and white") << full;
}

void TestGpuGrade::stagesAgreeWithReference()
{
    QFETCH(ClipSettings, settings);
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, W, H));
    grader.processor->setGrainOffset(17.f, 5.f);
    const auto gpu = grader.grade(m_picture);
    const auto cpu = referenceGrade(*grader.processor, settings, m_picture, W, H);
    int where = -1;
    const int worst = maxByteDifference(gpu, cpu, &where);
    // The message reads the worst pixel, which exists only when some pixel differs.
    if (worst > 2)
        QFAIL(qPrintable(QStringLiteral("pixel %1 (%2, %3) differs by %4/255: gpu %5 %6 %7, cpu %8 %9 %10")
                             .arg(where)
                             .arg(where % W)
                             .arg(where / W)
                             .arg(worst)
                             .arg(toByte(gpu[size_t(where) * 4]))
                             .arg(toByte(gpu[size_t(where) * 4 + 1]))
                             .arg(toByte(gpu[size_t(where) * 4 + 2]))
                             .arg(toByte(cpu[size_t(where) * 4]))
                             .arg(toByte(cpu[size_t(where) * 4 + 1]))
                             .arg(toByte(cpu[size_t(where) * 4 + 2]))));
    // Only the stages the grade uses are in the program that drew it.
    QCOMPARE(grader.processor->gradingProgramStages(), stagesOf(settings));
    // The grade did something (except where the stage is meant to be mild).
    if (QByteArray(QTest::currentDataTag()) != "neutral")
        QVERIFY(maxByteDifference(gpu, m_picture) > 2);
}

void TestGpuGrade::grainHasTheReferenceStrength_data()
{
    QTest::addColumn<int>("amount");
    QTest::addColumn<QString>("gauge");
    QTest::newRow("35 mm at 200") << 200 << QStringLiteral("35 mm Full Frame");
    QTest::newRow("35 mm at 60") << 60 << QStringLiteral("35 mm Full Frame");
}

// Grain alone moves pixels by a few levels, under the byte tolerance above:
// what it adds must match the reference in strength and pattern, so a wrong
// scale or an offset map shows.
void TestGpuGrade::grainHasTheReferenceStrength()
{
    QFETCH(int, amount);
    QFETCH(QString, gauge);
    ClipSettings settings = neutralSettings();
    settings.setGrainAmount(amount);
    settings.setGrainScaleName(gauge);
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, W, H));
    grader.processor->setGrainOffset(17.f, 5.f);
    const auto gpu = grader.grade(m_picture);
    const auto cpu = referenceGrade(*grader.processor, settings, m_picture, W, H);
    double both = 0.0, reference = 0.0, measured = 0.0;
    for (size_t i = 0; i < m_picture.size(); ++i) {
        if (i % 4 == 3)
            continue;
        const double g = double(gpu[i]) - m_picture[i];
        const double c = double(cpu[i]) - m_picture[i];
        both += g * c;
        reference += c * c;
        measured += g * g;
    }
    QVERIFY2(reference > 1e-3, "the grain changed nothing");
    const double slope = both / reference;
    const double correlation = both / std::sqrt(reference * measured);
    QVERIFY2(std::abs(slope - 1.0) < 0.01 && correlation > 0.995,
        qPrintable(QStringLiteral("slope %1, correlation %2").arg(slope).arg(correlation)));
}

void TestGpuGrade::gradingProgramsFollowTheGrade()
{
    // Amounts switched on and off as a user would. A frame drawn right after
    // an edit builds no program: a set of stages not drawn with yet is graded
    // by the whole program, which draws the same picture. The next frame
    // with no edit before it takes up the program of those stages, built
    // once; a program taken up again draws what it drew before (its
    // variables and subroutines come back with it).
    ClipSettings settings;
    settings.setStockLUTAmount(80);
    settings.setGrainAmount(120);
    settings.setSaturation(1.3f);
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, W, H));
    ShaderProcessor* p = grader.processor.get();
    p->setGrainOffset(17.f, 5.f);
    const unsigned table = ShaderProcessor::StockStage;
    const unsigned stock = table | ShaderProcessor::StockMixStage;
    const unsigned grain = ShaderProcessor::GrainStage;
    const unsigned finish = ShaderProcessor::FinishStage;
    const unsigned whole = ShaderProcessor::AllGradeStages;
    // The whole program, built at set-up, holds the black-and-white matrix
    // too: a colour stock never uses it.
    const struct
    {
        float stock;
        float grain;
        float saturation;
        unsigned stages;
        int built;
    } steps[] = {
        { 0.8f, 1.2f, 1.3f, stock | grain | finish, 2 },
        { 0.8f, 0.f, 1.3f, stock | finish, 3 },
        { 0.f, 0.f, 1.3f, finish, 4 },
        { 0.8f, 1.2f, 1.3f, stock | grain | finish, 4 },
        { 0.f, 1.2f, 1.3f, grain | finish, 5 },
        { 0.8f, 0.f, 1.3f, stock | finish, 5 },
        { 0.f, 0.f, 1.3f, finish, 5 },
        { 0.8f, 1.2f, 1.3f, stock | grain | finish, 5 },
        // Neutral saturation: the levels go into the tone table.
        { 0.8f, 1.2f, 1.f, stock | grain, 6 },
        { 0.f, 1.2f, 1.f, grain, 7 },
        { 0.8f, 1.2f, 1.f, stock | grain, 7 },
        // Both stock amounts full: the table's colour as it is.
        { 1.f, 1.2f, 1.f, table | grain, 8 },
        { 1.f, 1.2f, 1.3f, table | grain | finish, 9 },
        { 0.8f, 1.2f, 1.3f, stock | grain | finish, 9 },
    };
    std::map<unsigned, std::vector<float>> firstPictures;
    for (const auto& step : steps) {
        const QString stepName = QString::number(step.stages);
        const int builtBefore = p->gradingProgramsBuilt();
        p->setStockAmount(step.stock);
        p->setGrainAmount(step.grain);
        p->setSaturation(step.saturation);
        const bool drawnBefore = firstPictures.count(step.stages) != 0;
        const auto edited = grader.grade(m_picture);
        QCOMPARE(p->gradingProgramsBuilt(), builtBefore);
        QCOMPARE(p->gradingProgramStages(), drawnBefore ? step.stages : whole);
        const auto picture = grader.grade(m_picture);
        QCOMPARE(p->gradingProgramStages(), step.stages);
        QCOMPARE(p->gradingProgramsBuilt(), step.built);
        QVERIFY2(maxByteDifference(edited, picture) <= 1, qPrintable(stepName));
        const auto first = firstPictures.emplace(step.stages, picture);
        if (!first.second)
            QCOMPARE(maxByteDifference(picture, first.first->second), 0);
    }
    const auto& wholePicture = firstPictures.at(stock | grain | finish);
    QVERIFY(maxByteDifference(firstPictures.at(finish), wholePicture) > 2);
    QVERIFY(maxByteDifference(firstPictures.at(stock | grain), wholePicture) > 2);
    QVERIFY(maxByteDifference(firstPictures.at(table | grain | finish), wholePicture) > 2);
    // The whole program was drawn once out of sight, by the first pass.
    QCOMPARE(p->gradingProgramWarmUps(), 1);
}

void TestGpuGrade::editsPastNeutralBuildNoProgram_data()
{
    QTest::addColumn<ClipSettings>("start");
    QTest::addColumn<ClipSettings>("edited");
    const ClipSettings neutral = neutralSettings();
    ClipSettings s = neutral;
    s.setStockLUTAmount(60);
    QTest::newRow("stock amount") << neutral << s;
    ClipSettings fullStock = neutral;
    fullStock.setStockLUTAmount(100);
    fullStock.setStockCurveAmount(100);
    s = fullStock;
    s.setStockCurveAmount(40);
    QTest::newRow("curve amount") << fullStock << s;
    s = neutral;
    s.setGrainAmount(120);
    QTest::newRow("grain amount") << neutral << s;
    s = neutral;
    s.setExposure(0.4f);
    QTest::newRow("exposure") << neutral << s;
    s = neutral;
    s.setLift(0.8f);
    QTest::newRow("lift") << neutral << s;
    s = neutral;
    s.setMid({ 0.6, 1.0 });
    QTest::newRow("mid wheel") << neutral << s;
    s = neutral;
    s.setSaturation(1.4f);
    QTest::newRow("saturation") << neutral << s;
    s = neutral;
    s.setHistogramSliderData({ 0.1f, 0.5f, 0.9f });
    QTest::newRow("levels") << neutral << s;
    s = neutral;
    s.setStockName(QStringLiteral("KodakTriX"));
    QTest::newRow("black-and-white stock") << neutral << s;
    ClipSettings graded = fullStock;
    graded.setGrainAmount(80);
    graded.setSaturation(1.2f);
    s = graded;
    s.setOriginal(true);
    QTest::newRow("show original") << graded << s;
}

// A clip opened and shown, then one control moved past neutral: the frame
// after the edit builds no grading program and shows the grade asked for.
// With histogram passes too (the preview's case: two kinds of target).
void TestGpuGrade::editsPastNeutralBuildNoProgram()
{
    QFETCH(ClipSettings, start);
    QFETCH(ClipSettings, edited);
    for (const bool withHistogram : { false, true }) {
        std::array<std::array<quint32, 512>, 3> counts {};
        quint32* histogram[3] = { counts[0].data(), counts[1].data(), counts[2].data() };
        GpuGrader grader;
        QVERIFY(grader.create(m_gl, start, W, H, 0, 0, StretchToFit, withHistogram ? histogram : nullptr));
        ShaderProcessor* p = grader.processor.get();
        p->setGrainOffset(17.f, 5.f);
        const auto before = grader.grade(m_picture);
        const int built = p->gradingProgramsBuilt();
        QVERIFY(p->applySettings(&edited));
        const auto after = grader.grade(m_picture);
        QCOMPARE(p->gradingProgramsBuilt(), built);
        const auto cpu = referenceGrade(*p, edited, m_picture, W, H);
        QVERIFY2(maxByteDifference(after, cpu) <= 2, withHistogram ? "with histogram" : "without histogram");
        QVERIFY(maxByteDifference(after, before) > 2);
    }
}

void TestGpuGrade::neutralGradePassesPictureThrough()
{
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, neutralSettings(), W, H));
    const auto out = grader.grade(m_picture);
    QVERIFY(maxByteDifference(out, m_picture) <= 1);
}

void TestGpuGrade::neutralGradeSkipsItsPass_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("skips");
    QTest::newRow("neutral") << QString() << true;
    QTest::newRow("RGBA order asked for") << QStringLiteral("rgba") << true;
    QTest::newRow("stock") << QStringLiteral("stock") << false;
    QTest::newRow("grain") << QStringLiteral("grain") << false;
    QTest::newRow("exposure") << QStringLiteral("exposure") << false;
    QTest::newRow("lift") << QStringLiteral("lift") << false;
    QTest::newRow("wheels") << QStringLiteral("wheels") << false;
    QTest::newRow("levels") << QStringLiteral("levels") << false;
    QTest::newRow("saturation") << QStringLiteral("saturation") << false;
    QTest::newRow("blur gauge") << QStringLiteral("blur") << false;
    QTest::newRow("show original") << QStringLiteral("bypass") << false;
    QTest::newRow("BGRA order") << QStringLiteral("bgra") << false;
    QTest::newRow("other output size") << QStringLiteral("size") << false;
    QTest::newRow("histogram") << QStringLiteral("histogram") << false;
}

void TestGpuGrade::neutralGradeSkipsItsPass()
{
    QFETCH(QString, change);
    QFETCH(bool, skips);
    ClipSettings settings = neutralSettings();
    if (change == QLatin1String("stock"))
        settings.setStockLUTAmount(100);
    else if (change == QLatin1String("grain"))
        settings.setGrainAmount(100);
    else if (change == QLatin1String("exposure"))
        settings.setExposure(0.1f);
    else if (change == QLatin1String("lift"))
        settings.setLift(1.05f);
    else if (change == QLatin1String("wheels"))
        settings.setMid({ 0.2, 1.0 });
    else if (change == QLatin1String("levels"))
        settings.setHistogramSliderData({ 0.05f, 0.5f, 1.0f });
    else if (change == QLatin1String("saturation"))
        settings.setSaturation(0.5f);
    else if (change == QLatin1String("blur"))
        settings.setGrainScaleName(QStringLiteral("8 mm"));
    const bool otherSize = change == QLatin1String("size");
    quint32 counts[3][512] = {};
    quint32* histogram[3] = { counts[0], counts[1], counts[2] };
    const bool wantsHistogram = change == QLatin1String("histogram");
    unsigned order = ShaderProcessor::NoOrderPreference;
    if (change == QLatin1String("rgba"))
        order = ShaderProcessor::OrderRGBA;
    else if (change == QLatin1String("bgra"))
        order = ShaderProcessor::OrderBGRA;

    // The same grade drawn and, where allowed, skipped.
    GpuGrader drawn;
    QVERIFY(drawn.create(m_gl, settings, W, H, otherSize ? W / 2 : 0, otherSize ? H / 2 : 0, StretchToFit,
        wantsHistogram ? histogram : nullptr));
    drawn.pipeline->setSkipsNeutralGrade(false);
    GpuGrader skipping;
    QVERIFY(skipping.create(m_gl, settings, W, H, otherSize ? W / 2 : 0, otherSize ? H / 2 : 0, StretchToFit,
        wantsHistogram ? histogram : nullptr));
    if (change == QLatin1String("bypass")) {
        drawn.processor->setBypass(true);
        skipping.processor->setBypass(true);
    }
    const auto reference = drawn.grade(m_picture, order);
    QVERIFY(!drawn.pipeline->gradePassSkipped());
    const auto out = skipping.grade(m_picture, order);
    QCOMPARE(skipping.pipeline->gradePassSkipped(), skips);
    // Skipped, the graded picture is the source itself, within a step of
    // the drawn neutral pass (whose tables sample half a bucket low).
    QVERIFY(maxByteDifference(out, reference) <= 1);
    if (skips) {
        QVERIFY(out == m_picture);
        QCOMPARE(skipping.pipeline->gradedTexture(), skipping.pipeline->linearTexture());
        // A later grade that changes the picture draws again.
        skipping.processor->setSaturation(0.f);
        const auto grey = skipping.grade(m_picture, order);
        QVERIFY(!skipping.pipeline->gradePassSkipped());
        QVERIFY(maxByteDifference(grey, m_picture) > 2);
    }
}

void TestGpuGrade::colourOrders()
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

void TestGpuGrade::yuy2RoundTrips_data()
{
    QTest::addColumn<int>("range");
    QTest::newRow("limited") << int(GradingPipeline::LimitedRange);
    QTest::newRow("full") << int(GradingPipeline::FullRange);
}

void TestGpuGrade::yuy2RoundTrips()
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

void TestGpuGrade::gradeFromPackedSource_data()
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
void TestGpuGrade::gradeFromPackedSource()
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

void TestGpuGrade::picturePassesThrough_data()
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
void TestGpuGrade::picturePassesThrough()
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

void TestGpuGrade::pixelBufferReadsKeepOrder_data()
{
    QTest::addColumn<int>("frames");
    QTest::newRow("one frame, flushed") << 1;
    QTest::newRow("two frames") << 2;
    QTest::newRow("five frames, buffers reused") << 5;
}

// Reads through the two pixel buffers give each frame exactly what a direct
// read gives, oldest first, however many frames were drawn in between.
void TestGpuGrade::pixelBufferReadsKeepOrder()
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

void TestGpuGrade::yuy2ConversionCases()
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

void TestGpuGrade::blurOnlyWhenGaugeAsks()
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

void TestGpuGrade::bypassShowsUngradedPicture()
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

void TestGpuGrade::fitPlacesPicture_data()
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

void TestGpuGrade::fitPlacesPicture()
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

EMULSA_TEST_MAIN(TestGpuGrade)
// Whole frames graded by fixed grades, every stage on, compared with the
// bytes this renderer gave when they were recorded: any change to what the
// processor draws (a table, a texture, a uniform, the blur, the histogram
// passes, the packed paths) shows as a different digest.
void TestGpuGrade::gradeMatchesRecordedOutput_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<ClipSettings>("settings");
    QTest::addColumn<int>("outputWidth");
    QTest::addColumn<int>("outputHeight");
    QTest::addColumn<int>("fit");
    QTest::addColumn<QByteArray>("digest");

    ClipSettings look;
    look.setStockName(QStringLiteral("5207"));
    look.setStockLUTAmount(80);
    look.setStockCurveAmount(60);
    look.setGrainAmount(90);
    look.setGrainScaleName(QStringLiteral("16 mm"));
    look.setExposure(0.3f);
    look.setKelvin(4800.f);
    look.setLow({ 0.35, -2.2 });
    look.setMid({ 0.2, 1.1 });
    look.setHigh({ 0.25, 2.6 });
    look.setLift(1.05f);
    look.setGamma(0.92f);
    look.setGain(1.08f);
    look.setSaturation(1.2f);
    look.setHistogramSliderData({ 0.04f, 0.52f, 0.95f });
    QTest::newRow("picture, blur, histogram before levels")
        << "histogram" << look << 0 << 0 << int(StretchToFit)
        << QByteArray("632d02db3051fe1f4d71f93bb35d72cbb11dafc038e8a2f216103e574e302b01");

    ClipSettings mono = look;
    mono.setStockName(QStringLiteral("KodakTriX"));
    mono.setStockLUTAmount(100);
    mono.setStockCurveAmount(100);
    mono.setGrainScaleName(QStringLiteral("8 mm"));
    mono.setSaturation(1.f);
    QTest::newRow("black and white, fitted to a taller frame")
        << "picture" << mono << 96 << 80 << int(FitWidth)
        << QByteArray("51ce74c799865e941aff5714936e28320206a4ee19b52b98a56dd005320959ae");

    ClipSettings full = look;
    full.setStockLUTAmount(100);
    full.setStockCurveAmount(100);
    full.setGrainScaleName(QStringLiteral("Super 35"));
    full.setSaturation(1.f);
    full.setHistogramSliderData({});
    QTest::newRow("packed frame in and out")
        << "packed" << full << 0 << 0 << int(StretchToFit)
        << QByteArray("9a1c97a628d30c4263fb6da7a83b9470c558be7f15ab1fcf7535f68f81980b38");
}

void TestGpuGrade::gradeMatchesRecordedOutput()
{
    QFETCH(QString, path);
    QFETCH(ClipSettings, settings);
    QFETCH(int, outputWidth);
    QFETCH(int, outputHeight);
    QFETCH(int, fit);
    QFETCH(QByteArray, digest);
    const GLubyte* renderer = m_gl.functions()->glGetString(GL_RENDERER);
    if (!renderer || !QByteArray(reinterpret_cast<const char*>(renderer)).contains("llvmpipe"))
        QSKIP("The digests were recorded with Mesa's software rasteriser");

    const bool histogram = path == QLatin1String("histogram");
    quint32 counts[3][512] = {};
    quint32* target[3] = { counts[0], counts[1], counts[2] };
    GpuGrader grader;
    QVERIFY(
        grader.create(m_gl, settings, W, H, outputWidth, outputHeight, FitMethod(fit), histogram ? target : nullptr));
    ShaderProcessor* processor = grader.processor.get();
    GradingPipeline* pipeline = grader.pipeline.get();
    QVERIFY(processor->gradeApplied());
    // Each row takes the paths it is named for.
    QCOMPARE(processor->isBlackAndWhite(), settings.getStockName() == QLatin1String("KodakTriX"));
    QCOMPARE(processor->blurAmount() > 0.f, path != QLatin1String("packed"));
    QCOMPARE(processor->hasHistogramTarget(), histogram);
    processor->histogramBeforeLevels = histogram;
    // The grain where a fresh processor would not put it by chance.
    processor->setGrainOffset(37.f, 21.f);

    QByteArray bytes;
    if (path == QLatin1String("packed")) {
        std::vector<quint8> frame(size_t(W) * H * 2);
        QRandomGenerator random(23);
        for (quint8& byte : frame)
            byte = quint8(random.bounded(256));
        pipeline->uploadYuy2(frame.data());
        pipeline->gradeToYuy2(processor, GradingPipeline::LimitedRange, GradingPipeline::LimitedRange);
        bytes.resize(pipeline->outputWidth() * pipeline->outputHeight() * 2);
        pipeline->readYuy2(bytes.data());
        QVERIFY(pipeline->packedInOnePass());
        QVERIFY(bytes != QByteArray(reinterpret_cast<const char*>(frame.data()), int(frame.size())));
    } else {
        pipeline->uploadRgb(m_picture.data());
        pipeline->gradePass(processor);
        bytes.resize(pipeline->outputWidth() * pipeline->outputHeight() * 4);
        pipeline->readGraded(reinterpret_cast<unsigned char*>(bytes.data()));
        // A grade, not a blank picture nor the picture untouched.
        std::set<int> reds;
        int changed = 0;
        for (int i = 0; i < pipeline->outputWidth() * pipeline->outputHeight(); ++i) {
            reds.insert(quint8(bytes[i * 4]));
            if (i < W * H)
                changed += toByte(m_picture[size_t(i) * 4]) != quint8(bytes[i * 4]) ? 1 : 0;
        }
        QVERIFY2(reds.size() > 64 && changed > W * H / 2,
            qPrintable(QStringLiteral("%1 reds, %2 pixels changed").arg(reds.size()).arg(changed)));
    }
    if (histogram) {
        QVERIFY(std::any_of(counts[1], counts[1] + 512, [](quint32 c) { return c != 0; }));
        bytes.append(reinterpret_cast<const char*>(counts), int(sizeof(counts)));
    }
    const QByteArray actual = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    QVERIFY2(actual == digest, qPrintable(QStringLiteral("digest %1").arg(QString::fromLatin1(actual))));
}

#include "tst_gpugrade.moc"
