#include "common/TestEnvironment.h"

#include "FilmDataFixture.h"
#include "GpuTestSupport.h"

#include "core/grade/FilmMotion.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>

#include <opencv2/imgproc.hpp>

using namespace Emulsa;
using namespace Emulsa::Test;

// The GPU grade against the CPU reference and the recorded output: which
// stages and passes a grade needs, on the fixture's film data.
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
    void gradeMatchesRecordedOutput_data();
    void gradeMatchesRecordedOutput();
    void weaveMovesThePictureWithinItsAmount_data();
    void weaveMovesThePictureWithinItsAmount();
    void flickerChangesExposureSmoothly_data();
    void flickerChangesExposureSmoothly();
    void framesGradeTheSameInAnyOrder();
    void colourGrainIsPerLayerAndPerFrame();

private:
    OffscreenGLContext m_gl;
    static constexpr int W = 128;
    static constexpr int H = 64;
    static constexpr quint32 kClipSeed = 0x5eedf11u;
    std::vector<float> m_picture;
    // A soft random texture (RGBA, 0.2 .. 0.8) for measuring motion.
    static std::vector<float> texturePicture(int width, int height);
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
    s = neutral;
    s.setWeaveAmount(100);
    QTest::newRow("gate weave") << s;
    s = neutral;
    s.setFlickerAmount(100);
    QTest::newRow("flicker") << s;
    s = neutral;
    s.setGrainAmount(150);
    s.setColourGrainAmount(100);
    QTest::newRow("colour grain") << s;
    s.setGrainAmount(120);
    s.setColourGrainAmount(45);
    s.setGrainScaleName(QStringLiteral("35 mm Academy"));
    QTest::newRow("colour grain mixed, 35 mm Academy") << s;

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
    full.setStockName(neutral.getStockName());
    full.setWeaveAmount(70);
    full.setFlickerAmount(100);
    QTest::newRow("full grade, weave and flicker") << full;
}

void TestGpuGrade::stagesAgreeWithReference()
{
    QFETCH(ClipSettings, settings);
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, W, H));
    grader.processor->setGrainOffset(17.f, 5.f);
    if (settings.getWeaveAmount() != 0 || settings.getFlickerAmount() != 0) {
        // The frame of the first 64 that moves the most, so that the motion
        // shows above the byte tolerance.
        qint64 strongest = 0;
        float most = -1.f;
        for (qint64 frame = 0; frame < 64; ++frame) {
            const FilmMotion::Frame m = FilmMotion::at(kClipSeed, frame, 1.f, 1.f);
            const float size = std::abs(m.offset[0]) / FilmMotion::kWeaveWidth + std::abs(m.gain[0] - 1.f);
            if (size > most) {
                most = size;
                strongest = frame;
            }
        }
        grader.processor->setFrameIdentity(kClipSeed, strongest);
    }
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

std::vector<float> TestGpuGrade::texturePicture(int width, int height)
{
    QRandomGenerator random(36);
    cv::Mat noise(height, width, CV_32FC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            noise.at<cv::Vec3f>(y, x) = cv::Vec3f(
                float(random.generateDouble()), float(random.generateDouble()), float(random.generateDouble()));
    cv::GaussianBlur(noise, noise, cv::Size(0, 0), 2.5);
    cv::normalize(noise, noise, 0.2, 0.8, cv::NORM_MINMAX);
    std::vector<float> rgba(size_t(width) * size_t(height) * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const cv::Vec3f v = noise.at<cv::Vec3f>(y, x);
            float* out = rgba.data() + (size_t(y) * size_t(width) + size_t(x)) * 4;
            out[0] = std::round(v[0] * 255.f) / 255.f;
            out[1] = std::round(v[1] * 255.f) / 255.f;
            out[2] = std::round(v[2] * 255.f) / 255.f;
            out[3] = 1.f;
        }
    return rgba;
}

namespace {

// One channel of an RGBA float picture, as a 64-bit image for phaseCorrelate.
cv::Mat channelOf(const std::vector<float>& rgba, int width, int height, int channel)
{
    cv::Mat out(height, width, CV_64F);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.at<double>(y, x) = rgba[(size_t(y) * size_t(width) + size_t(x)) * 4 + size_t(channel)];
    return out;
}

double channelMean(const std::vector<float>& rgba, int channel)
{
    double sum = 0.0;
    for (size_t i = size_t(channel); i < rgba.size(); i += 4)
        sum += rgba[i];
    return sum / double(rgba.size() / 4);
}

} // namespace

void TestGpuGrade::weaveMovesThePictureWithinItsAmount_data()
{
    QTest::addColumn<int>("amount");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("full, 640x360") << 100 << 640 << 360;
    QTest::newRow("40 %, 640x360") << 40 << 640 << 360;
    QTest::newRow("full, 480x270") << 100 << 480 << 270;
}

// The displacement of each frame, measured by phase correlation against the
// steady picture: within the amount's amplitude, the one the frame's motion
// gives, the horizontal weave slow and the vertical jump faster.
void TestGpuGrade::weaveMovesThePictureWithinItsAmount()
{
    QFETCH(int, amount);
    QFETCH(int, width);
    QFETCH(int, height);
    const std::vector<float> picture = texturePicture(width, height);
    ClipSettings settings = neutralSettings();
    GpuGrader steadyGrader;
    QVERIFY(steadyGrader.create(m_gl, settings, width, height));
    const cv::Mat steady = channelOf(steadyGrader.grade(picture), width, height, 1);

    settings.setWeaveAmount(amount);
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, width, height));
    const double limitX = FilmMotion::kWeaveWidth * amount / 100.0 * width;
    const double limitY = FilmMotion::kJumpHeight * amount / 100.0 * height;
    constexpr int kFrames = 40;
    std::vector<cv::Point2d> measured;
    double largestX = 0.0, largestY = 0.0;
    // Per axis: sums of measured x wanted, wanted squared, measured squared.
    double fit[2][3] = { { 0.0, 0.0, 0.0 }, { 0.0, 0.0, 0.0 } };
    for (int frame = 0; frame < kFrames; ++frame) {
        grader.processor->setFrameIdentity(kClipSeed, frame);
        const cv::Mat moved = channelOf(grader.grade(picture), width, height, 1);
        const cv::Point2d shift = cv::phaseCorrelate(steady, moved);
        measured.push_back(shift);
        // Pixel x shows the picture at x + offset: the picture moves by -offset.
        const FilmMotion::Frame motion = FilmMotion::at(kClipSeed, frame, amount / 100.f, 0.f);
        const double wantX = -double(motion.offset[0]) * width;
        const double wantY = -double(motion.offset[1]) * height;
        QVERIFY2(std::abs(shift.x) <= limitX + 0.05 && std::abs(shift.y) <= limitY + 0.05,
            qPrintable(QStringLiteral("frame %1 moved (%2, %3), limit (%4, %5)")
                           .arg(frame)
                           .arg(shift.x)
                           .arg(shift.y)
                           .arg(limitX)
                           .arg(limitY)));
        for (int axis = 0; axis < 2; ++axis) {
            const double got = axis == 0 ? shift.x : shift.y;
            const double want = axis == 0 ? wantX : wantY;
            fit[axis][0] += got * want;
            fit[axis][1] += want * want;
            fit[axis][2] += got * got;
        }
        largestX = std::max(largestX, std::abs(shift.x));
        largestY = std::max(largestY, std::abs(shift.y));
    }
    // The measured motion follows the frame's: phase correlation of a
    // linearly filtered move reads sub-pixel shifts some 15 % short.
    for (int axis = 0; axis < 2; ++axis) {
        const double slope = fit[axis][0] / fit[axis][1];
        const double correlation = fit[axis][0] / std::sqrt(fit[axis][1] * fit[axis][2]);
        QVERIFY2(slope > 0.7 && slope < 1.1 && correlation > 0.97,
            qPrintable(QStringLiteral("axis %1: slope %2, correlation %3").arg(axis).arg(slope).arg(correlation)));
    }
    // It does move, by a good part of the amplitude in 40 frames.
    QVERIFY2(largestX > 0.4 * limitX && largestY > 0.4 * limitY,
        qPrintable(QStringLiteral("largest (%1, %2)").arg(largestX).arg(largestY)));
    // Frame to frame, the jump changes faster for its amplitude than the weave.
    double stepX = 0.0, stepY = 0.0;
    for (size_t i = 1; i < measured.size(); ++i) {
        stepX += std::abs(measured[i].x - measured[i - 1].x) / limitX;
        stepY += std::abs(measured[i].y - measured[i - 1].y) / limitY;
    }
    QVERIFY2(stepY > 1.5 * stepX, qPrintable(QStringLiteral("steps x %1, y %2").arg(stepX).arg(stepY)));
}

void TestGpuGrade::flickerChangesExposureSmoothly_data()
{
    QTest::addColumn<int>("amount");
    QTest::newRow("full") << 100;
    QTest::newRow("half") << 50;
}

// The mean of each layer per frame against the steady picture: within the
// amount's gain, the one the frame's motion gives, smooth from frame to frame
// (neighbouring frames alike) and not the same in every layer.
void TestGpuGrade::flickerChangesExposureSmoothly()
{
    QFETCH(int, amount);
    constexpr int w = 96;
    constexpr int h = 64;
    const std::vector<float> picture = texturePicture(w, h);
    ClipSettings settings = neutralSettings();
    GpuGrader steadyGrader;
    QVERIFY(steadyGrader.create(m_gl, settings, w, h));
    const std::vector<float> steady = steadyGrader.grade(picture);
    settings.setFlickerAmount(amount);
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, w, h));

    constexpr int kFrames = 48;
    const double limit = FilmMotion::kFlickerGain * amount / 100.0;
    std::array<std::vector<double>, 3> ratios;
    double worstError = 0.0, layersApart = 0.0, largest = 0.0;
    for (int frame = 0; frame < kFrames; ++frame) {
        grader.processor->setFrameIdentity(kClipSeed, frame);
        const std::vector<float> graded = grader.grade(picture);
        const FilmMotion::Frame motion = FilmMotion::at(kClipSeed, frame, 0.f, amount / 100.f);
        for (int c = 0; c < 3; ++c) {
            const double ratio = channelMean(graded, c) / channelMean(steady, c);
            ratios[size_t(c)].push_back(ratio);
            QVERIFY2(std::abs(ratio - 1.0) <= limit + 0.003,
                qPrintable(QStringLiteral("frame %1 layer %2 gain %3").arg(frame).arg(c).arg(ratio)));
            worstError = std::max(worstError, std::abs(ratio - double(motion.gain[size_t(c)])));
            largest = std::max(largest, std::abs(ratio - 1.0));
        }
        layersApart = std::max(layersApart, std::abs(ratios[0].back() - ratios[2].back()));
    }
    QVERIFY2(worstError < 0.003, qPrintable(QStringLiteral("gain off by %1").arg(worstError)));
    QVERIFY2(largest > 0.4 * limit, qPrintable(QStringLiteral("largest change %1").arg(largest)));
    QVERIFY2(layersApart > 0.05 * limit, qPrintable(QStringLiteral("layers apart by %1").arg(layersApart)));
    // Smooth: the lag-one autocorrelation of each layer's series is high (a
    // series drawn anew each frame has one near 0).
    for (const std::vector<double>& series : ratios) {
        double mean = 0.0;
        for (double v : series)
            mean += v / double(series.size());
        double lagged = 0.0, variance = 0.0;
        for (size_t i = 0; i < series.size(); ++i) {
            variance += (series[i] - mean) * (series[i] - mean);
            if (i > 0)
                lagged += (series[i] - mean) * (series[i - 1] - mean);
        }
        QVERIFY2(lagged / variance > 0.6, qPrintable(QStringLiteral("lag-one correlation %1").arg(lagged / variance)));
    }
}

// Weave, flicker and grain of a frame depend on the clip and frame only: two
// renders of the same frames are identical, and so are frames drawn in
// another order; neighbouring frames differ.
void TestGpuGrade::framesGradeTheSameInAnyOrder()
{
    ClipSettings settings = neutralSettings();
    settings.setWeaveAmount(100);
    settings.setFlickerAmount(100);
    settings.setGrainAmount(80);
    auto render = [&](const std::vector<qint64>& frames) {
        GpuGrader grader;
        std::map<qint64, QByteArray> digests;
        if (!grader.create(m_gl, settings, W, H))
            return digests;
        for (qint64 frame : frames) {
            grader.processor->setFrameIdentity(kClipSeed, frame);
            const std::vector<float> graded = grader.grade(m_picture);
            QByteArray bytes;
            for (float v : graded)
                bytes.append(char(toByte(v)));
            digests[frame] = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
        }
        return digests;
    };
    const auto first = render({ 0, 1, 2, 3, 4, 5 });
    const auto again = render({ 0, 1, 2, 3, 4, 5 });
    const auto shuffled = render({ 4, 1, 5, 0, 3, 2 });
    QCOMPARE(first.size(), size_t(6));
    QVERIFY(first == again);
    QVERIFY(first == shuffled);
    std::set<QByteArray> distinct;
    for (const auto& [frame, digest] : first)
        distinct.insert(digest);
    QCOMPARE(distinct.size(), size_t(6));
}

namespace {

// The grain a grade adds to a flat grey picture: graded minus the same grade
// without grain, per channel, as width x height images.
std::array<cv::Mat, 3> grainOf(const std::vector<float>& graded, const std::vector<float>& plain, int width, int height)
{
    std::array<cv::Mat, 3> out;
    for (int c = 0; c < 3; ++c) {
        out[size_t(c)] = cv::Mat(height, width, CV_64F);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const size_t i = (size_t(y) * size_t(width) + size_t(x)) * 4 + size_t(c);
                out[size_t(c)].at<double>(y, x) = double(graded[i]) - double(plain[i]);
            }
    }
    return out;
}

// Correlation of two images, pixel by pixel.
double correlation(const cv::Mat& a, const cv::Mat& b)
{
    cv::Scalar meanA, devA, meanB, devB;
    cv::meanStdDev(a, meanA, devA);
    cv::meanStdDev(b, meanB, devB);
    const double covariance = cv::mean((a - meanA[0]).mul(b - meanB[0]))[0];
    return covariance / (devA[0] * devB[0]);
}

// The lag (in pixels, interpolated) at which an image's correlation with
// itself moved sideways falls to one half.
double correlationLength(const cv::Mat& m)
{
    double previous = 1.0;
    for (int lag = 1; lag < 32; ++lag) {
        const cv::Mat a = m(cv::Rect(0, 0, m.cols - lag, m.rows));
        const cv::Mat b = m(cv::Rect(lag, 0, m.cols - lag, m.rows));
        const double r = correlation(a, b);
        if (r < 0.5)
            return lag - 1 + (previous - 0.5) / (previous - r);
        previous = r;
    }
    return 32.0;
}

double rms(const cv::Mat& m)
{
    return std::sqrt(cv::mean(m.mul(m))[0]);
}

} // namespace

// Colour grain on a flat grey: the blue layer's grain coarser than the
// green's, the layers partly alike, a pixel's grain unrelated from one frame
// to the next and the same in a second render; at 1280x720 and 1920x1080 of
// the same picture, scaled to one size, equally strong.
void TestGpuGrade::colourGrainIsPerLayerAndPerFrame()
{
    ClipSettings settings = neutralSettings();
    settings.setGrainAmount(100);
    settings.setColourGrainAmount(100);
    settings.setGrainScaleName(QStringLiteral("16 mm"));
    ClipSettings plainSettings = settings;
    plainSettings.setGrainAmount(0);

    auto grainAt = [&](int width, int height, qint64 frame) {
        const std::vector<float> grey(size_t(width) * size_t(height) * 4, 0.5f);
        GpuGrader plain;
        GpuGrader grader;
        std::array<cv::Mat, 3> none;
        if (!plain.create(m_gl, plainSettings, width, height) || !grader.create(m_gl, settings, width, height))
            return none;
        grader.processor->setFrameIdentity(kClipSeed, frame);
        return grainOf(grader.grade(grey), plain.grade(grey), width, height);
    };

    const auto first = grainAt(960, 540, 3);
    QVERIFY(!first[0].empty());
    const double red = correlationLength(first[0]);
    const double green = correlationLength(first[1]);
    const double blue = correlationLength(first[2]);
    QVERIFY2(blue > 1.25 * green && green > 0.5,
        qPrintable(QStringLiteral("correlation lengths r %1 g %2 b %3 px").arg(red).arg(green).arg(blue)));
    // Partly alike: the shared field, and the grain stage's common luminance part.
    const double layers = correlation(first[1], first[2]);
    QVERIFY2(layers > 0.1 && layers < 0.85, qPrintable(QStringLiteral("green and blue alike by %1").arg(layers)));

    const auto again = grainAt(960, 540, 3);
    const auto next = grainAt(960, 540, 4);
    for (int c = 0; c < 3; ++c) {
        QCOMPARE(cv::norm(first[size_t(c)], again[size_t(c)], cv::NORM_INF), 0.0);
        const double r = correlation(first[size_t(c)], next[size_t(c)]);
        QVERIFY2(std::abs(r) < 0.05, qPrintable(QStringLiteral("layer %1: frames correlate by %2").arg(c).arg(r)));
    }

    const auto preview = grainAt(1280, 720, 3);
    const auto render = grainAt(1920, 1080, 3);
    for (int c = 0; c < 3; ++c) {
        cv::Mat small;
        cv::Mat large;
        cv::resize(preview[size_t(c)], small, cv::Size(640, 360), 0, 0, cv::INTER_AREA);
        cv::resize(render[size_t(c)], large, cv::Size(640, 360), 0, 0, cv::INTER_AREA);
        const double ratio = rms(large) / rms(small);
        QVERIFY2(rms(small) > 1e-3 && std::abs(ratio - 1.0) < 0.1,
            qPrintable(QStringLiteral("layer %1: RMS %2 at 1920x1080, %3 at 1280x720")
                           .arg(c)
                           .arg(rms(large))
                           .arg(rms(small))));
    }
}

#include "tst_gpugrade.moc"
