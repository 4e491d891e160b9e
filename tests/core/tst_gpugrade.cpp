#include "common/GradeCorrections.h"
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
class TestGpuGrade : public GpuGradeTest
{
    Q_OBJECT

private slots:
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
};

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
    setCorrections(full,
        { 0.2f, 6400.f, { 0.4, -2.5 }, { 0.3, 1.0 }, { 0.5, 2.9 }, 1.1f, 0.9f, 0.95f, 1.25f, { 0.05f, 0.55f, 0.95f } });
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
    grader.processor->grade().setGrainOffset(17.f, 5.f);
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
        grader.processor->grade().setFrameIdentity(kClipSeed, strongest);
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
    QCOMPARE(grader.processor->programs().stages(), stagesOf(settings));
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
    grader.processor->grade().setGrainOffset(17.f, 5.f);
    const auto gpu = grader.grade(m_picture);
    const auto cpu = referenceGrade(*grader.processor, settings, m_picture, W, H);
    const ChangeAgreement agreement = changeAgreement(gpu, cpu, m_picture);
    QVERIFY2(agreement.referenceChange > 1e-3, "the grain changed nothing");
    QVERIFY2(std::abs(agreement.slope - 1.0) < 0.01 && agreement.correlation > 0.995, qPrintable(agreement.text()));
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
    p->grade().setGrainOffset(17.f, 5.f);
    const unsigned table = GradingPrograms::StockStage;
    const unsigned stock = table | GradingPrograms::StockMixStage;
    const unsigned grain = GradingPrograms::GrainStage;
    const unsigned finish = GradingPrograms::FinishStage;
    const unsigned whole = GradingPrograms::AllStages;
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
        const int builtBefore = p->programs().built();
        p->setStockAmount(step.stock);
        p->setGrainAmount(step.grain);
        p->setSaturation(step.saturation);
        const bool drawnBefore = firstPictures.count(step.stages) != 0;
        const auto edited = grader.grade(m_picture);
        QCOMPARE(p->programs().built(), builtBefore);
        QCOMPARE(p->programs().stages(), drawnBefore ? step.stages : whole);
        const auto picture = grader.grade(m_picture);
        QCOMPARE(p->programs().stages(), step.stages);
        QCOMPARE(p->programs().built(), step.built);
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
    QCOMPARE(p->programs().warmUps(), 1);
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
        p->grade().setGrainOffset(17.f, 5.f);
        const auto before = grader.grade(m_picture);
        const int built = p->programs().built();
        QVERIFY(p->applySettings(&edited));
        const auto after = grader.grade(m_picture);
        QCOMPARE(p->programs().built(), built);
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
    setCorrections(look,
        { 0.3f, 4800.f, { 0.35, -2.2 }, { 0.2, 1.1 }, { 0.25, 2.6 }, 1.05f, 0.92f, 1.08f, 1.2f,
            { 0.04f, 0.52f, 0.95f } });
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
    QCOMPARE(processor->grade().isBlackAndWhite(), settings.getStockName() == QLatin1String("KodakTriX"));
    QCOMPARE(processor->grade().blurAmount() > 0.f, path != QLatin1String("packed"));
    QCOMPARE(processor->histogramPass().hasTarget(), histogram);
    processor->histogramBeforeLevels = histogram;
    // The grain where a fresh processor would not put it by chance.
    processor->grade().setGrainOffset(37.f, 21.f);

    QByteArray bytes;
    if (path == QLatin1String("packed")) {
        std::vector<quint8> frame(size_t(W) * H * 2);
        QRandomGenerator random(23);
        for (quint8& byte : frame)
            byte = quint8(random.bounded(256));
        pipeline->uploadYuy2(frame.data());
        pipeline->gradeToYuy2(processor, GradingPipeline::LimitedRange, GradingPipeline::LimitedRange);
        bytes.resize(pipeline->outputWidth() * pipeline->outputHeight() * 2);
        pipeline->packedOutput().read(bytes.data());
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
