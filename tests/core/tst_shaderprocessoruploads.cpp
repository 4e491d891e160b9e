#include "common/TestEnvironment.h"

#include "FilmDataFixture.h"
#include "GpuTestSupport.h"

#include "core/FilmLibrary.h"
#include "core/Grain.h"
#include "core/GrainLibrary.h"
#include "core/grade/FrameSeed.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <iterator>
#include <map>
#include <thread>

using namespace Emulsa;
using namespace Emulsa::Test;

namespace {

const GradeTextures::Upload kUploads[] = { GradeTextures::ExposureUpload, GradeTextures::LiftGammaGainUpload,
    GradeTextures::WheelsUpload, GradeTextures::LevelsUpload, GradeTextures::GrainMapUpload,
    GradeTextures::GrainCurveUpload, GradeTextures::StockTableUpload };

std::vector<unsigned> uploadCounts(const ShaderProcessor& p)
{
    std::vector<unsigned> counts;
    for (auto table : kUploads)
        counts.push_back(p.grade().uploadCount(table));
    return counts;
}

// Adds one to the counts of the tables in `flags`.
void countUploads(std::vector<unsigned>& counts, unsigned flags)
{
    for (size_t i = 0; i < std::size(kUploads); ++i)
        if (flags & kUploads[i])
            ++counts[i];
}

// Every stage neutral but grain, at 100.
ClipSettings grainOnly()
{
    ClipSettings settings = neutralSettings();
    settings.setGrainAmount(100);
    return settings;
}

// A grade using every stage, as the grading panel holds it.
ClipSettings fullGrade()
{
    ClipSettings settings;
    settings.setStockLUTAmount(80);
    settings.setStockCurveAmount(60);
    settings.setGrainAmount(70);
    settings.setExposure(0.2f);
    settings.setLift(0.95f);
    settings.setSaturation(1.1f);
    return settings;
}

} // namespace

// What the shader processor uploads and reads again as a grade is edited:
// only the tables an edit changed, stock tables from the cache, grain chosen
// again only for a new gauge or stock, and tables rebuilt while it draws.
class TestShaderProcessorUploads : public GpuGradeTest
{
    Q_OBJECT

private slots:
    void onlyChangedTablesAreUploaded();
    void editedGradeRedoesOnlyItsChanges();
    void stockSwitchReadsOnceThenComesFromTheCache();
    void grainChosenAgainOnlyForGaugeOrStock();
    void grainOffsetMoves();
    void seededGrainIgnoresOrder();
    void tableRebuiltWhileDrawing();
};

void TestShaderProcessorUploads::onlyChangedTablesAreUploaded()
{
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, ClipSettings(), 64, 32));
    ShaderProcessor* p = grader.processor.get();
    const auto picture = colourCubePicture(64, 32);
    grader.grade(picture);
    QCOMPARE(p->grade().pendingUploads(), 0u);

    const GradeTextures::Upload all[] = { GradeTextures::ExposureUpload, GradeTextures::LiftGammaGainUpload,
        GradeTextures::WheelsUpload, GradeTextures::LevelsUpload, GradeTextures::GrainMapUpload,
        GradeTextures::GrainCurveUpload, GradeTextures::StockTableUpload };
    auto counts = [&] {
        std::vector<unsigned> c;
        for (auto table : all)
            c.push_back(p->grade().uploadCount(table));
        return c;
    };
    const auto before = counts();
    p->setExposureAndKelvin(0.3f, 5600.f);
    QCOMPARE(p->grade().pendingUploads(), unsigned(GradeTextures::ExposureUpload));
    const auto graded = grader.grade(picture);
    auto after = counts();
    QCOMPARE(after[0], before[0] + 1);
    for (size_t i = 1; i < after.size(); ++i)
        QCOMPARE(after[i], before[i]);
    // A frame with nothing changed uploads nothing.
    QCOMPARE(grader.grade(picture), graded);
    QCOMPARE(counts(), after);

    // Neutral exposure is rebuilt once; asking again while neutral does nothing.
    p->setExposureAndKelvin(0.f, 5600.f);
    grader.grade(picture);
    p->setExposureAndKelvin(0.f, 5600.f);
    QCOMPARE(p->grade().pendingUploads(), 0u);
    QCOMPARE(p->grade().uploadCount(GradeTextures::ExposureUpload), after[0] + 1);

    // The other single edits flag their own table only.
    p->setLiftGammaGain(0.9f, 1.1f, 1.f);
    QCOMPARE(p->grade().pendingUploads(), unsigned(GradeTextures::LiftGammaGainUpload));
    p->setLevels({ 0.1f, 0.5f, 0.9f });
    p->setColorWheels({ 0.5, 1.0 }, {}, {});
    QCOMPARE(p->grade().pendingUploads(),
        unsigned(GradeTextures::LiftGammaGainUpload | GradeTextures::LevelsUpload | GradeTextures::WheelsUpload));
    p->setSaturation(0.5f);
    p->setStockAmount(0.5f);
    QCOMPARE(p->grade().pendingUploads(),
        unsigned(GradeTextures::LiftGammaGainUpload | GradeTextures::LevelsUpload | GradeTextures::WheelsUpload));
}

// The grading panel applies the whole grade after every edit: each edit
// redoes only what it changed (no stock table read or upload, no grain
// choice, one table's upload at most, no program built).
void TestShaderProcessorUploads::editedGradeRedoesOnlyItsChanges()
{
    ClipSettings settings = fullGrade();
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, 64, 32));
    ShaderProcessor* p = grader.processor.get();
    const auto picture = colourCubePicture(64, 32);
    grader.grade(picture);
    QCOMPARE(p->grade().pendingUploads(), 0u);
    const FilmLibrary* films = FilmLibrary::instance();
    const int reads = films->stockTableReads();
    const int choices = p->grade().grainChoices();
    const int programs = p->programs().built();
    std::vector<unsigned> expected = uploadCounts(*p);

    struct Edit
    {
        const char* name;
        std::function<void(ClipSettings&, int)> change;
        int steps;
        unsigned uploads;
    };
    const Edit edits[] = {
        { "exposure drag", [](ClipSettings& s, int i) { s.setExposure(0.2f + 0.05f * float(i + 1)); }, 20,
            GradeTextures::ExposureUpload },
        { "kelvin", [](ClipSettings& s, int) { s.setKelvin(4300.f); }, 1, GradeTextures::ExposureUpload },
        { "mid wheel",
            [](ClipSettings& s, int i) {
                s.setMid({ 0.2 * (i + 1), 1.0 });
            },
            3, GradeTextures::WheelsUpload },
        { "lift", [](ClipSettings& s, int i) { s.setLift(0.9f - 0.02f * float(i)); }, 3,
            GradeTextures::LiftGammaGainUpload },
        { "levels",
            [](ClipSettings& s, int) {
                s.setHistogramSliderData({ 0.05f, 0.5f, 0.95f });
            },
            1, GradeTextures::LevelsUpload },
        { "saturation", [](ClipSettings& s, int i) { s.setSaturation(1.2f + 0.1f * float(i)); }, 3, 0 },
        { "grain amount", [](ClipSettings& s, int i) { s.setGrainAmount(80 + 10 * i); }, 3, 0 },
        { "stock amount", [](ClipSettings& s, int i) { s.setStockLUTAmount(70 - 10 * i); }, 3, 0 },
        { "curve amount", [](ClipSettings& s, int i) { s.setStockCurveAmount(50 - 10 * i); }, 3, 0 },
        { "nothing changed", [](ClipSettings&, int) {}, 2, 0 },
    };
    for (const Edit& edit : edits) {
        for (int i = 0; i < edit.steps; ++i) {
            edit.change(settings, i);
            QVERIFY(p->applySettings(&settings));
            QVERIFY2(p->grade().pendingUploads() == edit.uploads, edit.name);
            grader.grade(picture);
            countUploads(expected, edit.uploads);
        }
        QVERIFY2(uploadCounts(*p) == expected, edit.name);
        QVERIFY2(films->stockTableReads() == reads, edit.name);
        QVERIFY2(p->grade().grainChoices() == choices, edit.name);
        QVERIFY2(p->programs().built() == programs, edit.name);
    }
    // The edits took effect: the grade drawn is the one asked for.
    const auto edited = grader.grade(picture);
    GpuGrader fresh;
    QVERIFY(fresh.create(m_gl, settings, 64, 32));
    fresh.processor->grade().setGrainOffset(p->grade().grainOffset()[0], p->grade().grainOffset()[1]);
    fresh.processor->resetGrainOffset = false;
    QVERIFY(maxByteDifference(fresh.grade(picture), edited) <= 1);
}

void TestShaderProcessorUploads::stockSwitchReadsOnceThenComesFromTheCache()
{
    FilmLibrary* films = FilmLibrary::instance();
    films->clearStockTableCache();
    const int reads = films->stockTableReads();
    ClipSettings settings = fullGrade();
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, 64, 32));
    ShaderProcessor* p = grader.processor.get();
    QCOMPARE(films->stockTableReads(), reads + 1);
    const auto picture = colourCubePicture(64, 32);
    const auto colour = grader.grade(picture);
    std::vector<unsigned> expected = uploadCounts(*p);

    // Another stock: read once, uploaded once, with its own grain curve.
    settings.setStockName(QStringLiteral("KodakTriX"));
    QVERIFY(p->applySettings(&settings));
    QCOMPARE(films->stockTableReads(), reads + 2);
    QVERIFY(p->grade().isBlackAndWhite());
    QCOMPARE(p->grade().pendingUploads(), unsigned(GradeTextures::StockTableUpload | GradeTextures::GrainCurveUpload));
    const auto mono = grader.grade(picture);
    countUploads(expected, GradeTextures::StockTableUpload | GradeTextures::GrainCurveUpload);
    QCOMPARE(uploadCounts(*p), expected);
    QVERIFY(maxByteDifference(mono, colour) > 2);

    // Back to the first: uploaded again, but from the library's cache.
    settings.setStockName(QStringLiteral("5207"));
    QVERIFY(p->applySettings(&settings));
    QCOMPARE(films->stockTableReads(), reads + 2);
    QVERIFY(!p->grade().isBlackAndWhite());
    QCOMPARE(p->grade().pendingUploads(), unsigned(GradeTextures::StockTableUpload | GradeTextures::GrainCurveUpload));
    grader.grade(picture);
    QVERIFY(maxByteDifference(grader.grade(picture), colour) <= 1);

    // A second processor for the same clip (a render, say) reads nothing.
    GpuGrader second;
    QVERIFY(second.create(m_gl, settings, 64, 32));
    QCOMPARE(films->stockTableReads(), reads + 2);
    // A forgotten cache is read again.
    films->clearStockTableCache();
    QVERIFY(p->setStock(QStringLiteral("KodakTriX"), settings.getSourceType(), -1.0));
    QCOMPARE(films->stockTableReads(), reads + 3);
}

void TestShaderProcessorUploads::grainChosenAgainOnlyForGaugeOrStock()
{
    ClipSettings settings = fullGrade();
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, 64, 32));
    ShaderProcessor* p = grader.processor.get();
    const auto picture = colourCubePicture(64, 32);
    grader.grade(picture);
    const int choices = p->grade().grainChoices();
    const Grain* fullFrame = p->grade().grain();
    QVERIFY(fullFrame);

    const struct
    {
        const char* name;
        std::function<void(ClipSettings&)> change;
        int newChoices;
        bool newGrain;
    } steps[] = {
        { "exposure", [](ClipSettings& s) { s.setExposure(-0.4f); }, 0, false },
        { "grain amount", [](ClipSettings& s) { s.setGrainAmount(140); }, 0, false },
        { "gauge", [](ClipSettings& s) { s.setGrainScaleName(QStringLiteral("16 mm")); }, 1, true },
        { "saturation", [](ClipSettings& s) { s.setSaturation(0.5f); }, 0, false },
        // The curve changes with the stock; the grain picture may stay.
        { "stock", [](ClipSettings& s) { s.setStockName(QStringLiteral("KodakTriX")); }, 1, false },
        { "gauge back", [](ClipSettings& s) { s.setGrainScaleName(QStringLiteral("35 mm Full Frame")); }, 1, true },
    };
    int expected = choices;
    for (const auto& step : steps) {
        const Grain* before = p->grade().grain();
        step.change(settings);
        QVERIFY(p->applySettings(&settings));
        expected += step.newChoices;
        QVERIFY2(p->grade().grainChoices() == expected, step.name);
        QVERIFY2((p->grade().grain() != before) == step.newGrain, step.name);
        QVERIFY2(bool(p->grade().pendingUploads() & GradeTextures::GrainMapUpload) == step.newGrain, step.name);
        grader.grade(picture);
    }
    QCOMPARE(p->grade().grain(), fullFrame);
}

void TestShaderProcessorUploads::grainOffsetMoves()
{
    const int width = 64;
    const int height = 32;
    const ClipSettings settings = grainOnly();
    GpuGrader grader;
    QVERIFY(grader.create(m_gl, settings, width, height));
    ShaderProcessor* p = grader.processor.get();
    const auto picture = colourCubePicture(width, height);

    p->grade().setGrainOffset(3.f, 7.f);
    grader.grade(picture);
    QCOMPARE(p->grade().grainOffset(), (std::array<float, 2> { { 3.f, 7.f } }));

    p->resetGrainOffset = true;
    grader.grade(picture);
    QVERIFY(!p->resetGrainOffset);
    auto previous = p->grade().grainOffset();
    QVERIFY(previous != (std::array<float, 2> { { 3.f, 7.f } }));
    grader.grade(picture);
    QCOMPARE(p->grade().grainOffset(), previous);

    p->animateGrain = true;
    for (int frame = 0; frame < 20; ++frame) {
        grader.grade(picture);
        const auto now = p->grade().grainOffset();
        const int dx = (int(now[0]) - int(previous[0]) + width) % width;
        const int dy = (int(now[1]) - int(previous[1]) + height) % height;
        QVERIFY2(dx >= width / 4 && dx < width / 4 + width / 2, qPrintable(QString::number(dx)));
        QVERIFY2(dy >= height / 4 && dy < height / 4 + height / 2, qPrintable(QString::number(dy)));
        QVERIFY(now[0] >= 0.f && now[0] < width && now[1] >= 0.f && now[1] < height);
        previous = now;
    }
    // Without grain nothing moves.
    p->setGrainAmount(0.f);
    grader.grade(picture);
    QCOMPARE(p->grade().grainOffset(), previous);
}

void TestShaderProcessorUploads::seededGrainIgnoresOrder()
{
    // A frame with a number grades the same whatever was drawn before it and
    // whatever the animation flags say; neighbouring frames differ.
    const int width = 64;
    const int height = 32;
    const ClipSettings settings = grainOnly();
    const auto picture = colourCubePicture(width, height);
    const quint32 clip = FrameSeed::forClip(QStringLiteral("/footage/A001_C002.mov"));
    QCOMPARE(clip, FrameSeed::forClip(QStringLiteral("/elsewhere/A001_C002.mov")));
    QVERIFY(clip != FrameSeed::forClip(QStringLiteral("A001_C003.mov")));

    auto gradeFrames = [&](const std::vector<qint64>& order, bool animate) {
        GpuGrader grader;
        std::map<qint64, std::vector<float>> graded;
        if (!grader.create(m_gl, settings, width, height))
            return graded;
        grader.processor->animateGrain = animate;
        for (qint64 frame : order) {
            grader.processor->grade().setFrameIdentity(clip, frame);
            graded[frame] = grader.grade(picture);
        }
        return graded;
    };
    const auto forward = gradeFrames({ 0, 1, 2, 3, 4, 5 }, true);
    const auto shuffled = gradeFrames({ 4, 1, 5, 0, 3, 2, 4 }, false);
    QCOMPARE(forward.size(), size_t(6));
    QVERIFY(forward == shuffled);
    int distinctNeighbours = 0;
    for (qint64 frame = 1; frame < 6; ++frame)
        distinctNeighbours += forward.at(frame) != forward.at(frame - 1);
    QCOMPARE(distinctNeighbours, 5);

    // The offsets cover the frame: no clustering in one corner.
    double sumX = 0.0;
    double sumY = 0.0;
    const int frames = 2000;
    for (qint64 frame = 0; frame < frames; ++frame) {
        const auto offset = GradeState::seededGrainOffset(clip, frame, 1920, 1080);
        QVERIFY(offset[0] >= 0.f && offset[0] < 1920.f && offset[1] >= 0.f && offset[1] < 1080.f);
        sumX += offset[0];
        sumY += offset[1];
    }
    QVERIFY(std::abs(sumX / frames - 960.0) < 40.0);
    QVERIFY(std::abs(sumY / frames - 540.0) < 25.0);
}

void TestShaderProcessorUploads::tableRebuiltWhileDrawing()
{
    // Another thread flips the exposure between two values while frames are
    // drawn: every frame must be one whole grade or the other, never a mix.
    const int width = 256;
    const int height = 4;
    std::vector<float> ramp(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c)
                ramp[(size_t(y) * width + x) * 4 + c] = c == 3 ? 1.f : float(x) / 255.f;

    GpuGrader grader;
    QVERIFY(grader.create(m_gl, neutralSettings(), width, height));
    ShaderProcessor* p = grader.processor.get();
    p->setExposureAndKelvin(-0.6f, 3000.f);
    // The frame after the edit is drawn by the whole program; the next one,
    // with no edit before it, takes up the program of the grade's stages,
    // which every later frame (edited or not) then draws with.
    grader.grade(ramp);
    const auto gradeA = grader.grade(ramp);
    p->setExposureAndKelvin(0.6f, 9000.f);
    const auto gradeB = grader.grade(ramp);
    QVERIFY(maxByteDifference(gradeA, gradeB) > 40);

    std::atomic<bool> stop { false };
    std::atomic<int> rebuilds { 0 };
    // A short pause after each pair of edits: the grade's mutex is not fair,
    // and an editor that takes it back at once can keep the drawing thread
    // waiting for minutes (under the thread sanitizer, each rebuild takes
    // milliseconds). Edits still land between and during the frames.
    std::thread editor([&] {
        while (!stop.load()) {
            p->setExposureAndKelvin(-0.6f, 3000.f);
            p->setExposureAndKelvin(0.6f, 9000.f);
            rebuilds += 2;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    int frames = 0;
    int sawA = 0;
    int sawB = 0;
    int mixed = 0;
    for (; frames < 150; ++frames) {
        const auto out = grader.grade(ramp);
        const bool isA = maxByteDifference(out, gradeA) == 0;
        const bool isB = maxByteDifference(out, gradeB) == 0;
        sawA += isA;
        sawB += isB;
        mixed += !isA && !isB;
    }
    stop = true;
    editor.join();
    qInfo() << "frames" << frames << "rebuilds" << rebuilds.load() << "A" << sawA << "B" << sawB;
    QCOMPARE(mixed, 0);
    QVERIFY(rebuilds.load() > 0);
}

EMULSA_TEST_MAIN(TestShaderProcessorUploads)
#include "tst_shaderprocessoruploads.moc"
