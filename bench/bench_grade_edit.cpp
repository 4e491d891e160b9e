// Grade edits in the grading tab's preview: a 1080p25 H.264 clip shown paused
// in a 1280 x 720 preview, then 200 grade changes alternating over exposure,
// a colour wheel, saturation, lift and grain amount through the preview's
// edit slots, each of which redraws the paused frame. Prints what opening the
// clip cost (grading programs built, the first frame), the time from each
// change to its frame drawn (median and maximum), the stock tables read from
// disk and the tables uploaded during the run, and what the first redraw with
// no edit before it costs (it builds the program of the grade's stages);
// then changes within those stages, and whole grades applied one after
// another as the grading panel applies them.
//
// The redraw ends with the buffer swap, which with a software rasteriser
// copies the finished picture out: the time includes the rendering.
//
// Needs a display (run it through scripts/with-display.sh) and the film data
// the build installs (or $PROGRAMDATA/Quillmoor).
//
//   bench_grade_edit [clip]

#include "PreviewBenchSupport.h"
#include "app/PreviewPlayer.h"
#include "core/ClipSettings.h"
#include "core/FilmLibrary.h"
#include "core/ShaderProcessor.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/frame/Frame.h"
#include "media/source/WinSourceReader.h"
#include "ui/preview/OpenGLPreview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace Emulsa;

namespace {

double milliseconds(qint64 ns)
{
    return double(ns) / 1e6;
}

const GradeTextures::Upload kUploads[] = { GradeTextures::ExposureUpload, GradeTextures::LiftGammaGainUpload,
    GradeTextures::WheelsUpload, GradeTextures::LevelsUpload, GradeTextures::GrainMapUpload,
    GradeTextures::GrainCurveUpload, GradeTextures::StockTableUpload };
const char* const kUploadNames[]
    = { "exposure", "lift/gamma/gain", "wheels", "levels", "grain map", "grain curve", "stock table" };

std::vector<unsigned> uploadCounts(const ShaderProcessor* processor)
{
    std::vector<unsigned> counts;
    for (auto table : kUploads)
        counts.push_back(processor->grade().uploadCount(table));
    return counts;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    QTemporaryDir folder;
    const QString clip = argc > 1 ? QString::fromLocal8Bit(argv[1]) : Bench::make1080p25Clip(folder.path(), 2, false);
    if (clip.isEmpty()) {
        std::fprintf(stderr, "could not make the 1080p25 clip (is ffmpeg installed?)\n");
        return 1;
    }
    FilmLibrary* films = FilmLibrary::instance();
    std::printf("film data: %s\n", qPrintable(films->dataRoot()));

    AssetMetadata asset;
    if (!Bench::describe(asset, clip))
        return 1;
    // A film look with stock and curve; grain, wheels and lift start neutral
    // so that the edits switch their stages on.
    ClipSettings settings;
    settings.setStockLUTAmount(80);
    settings.setStockCurveAmount(70);
    settings.setGrainAmount(0);
    SequenceItem item(&asset, &settings, 0, asset.frameCount);

    PreviewPlayer player;
    OpenGLPreview preview(&player);
    if (!Bench::showExposed(preview, QSize(1280, 720)))
        return 1;

    // Opening: the player first, as the grading tab does, then the preview
    // (set-up and first frame).
    const int readsBeforeOpen = films->stockTableReads();
    QElapsedTimer timer;
    timer.start();
    player.open(&item);
    preview.currentItemChanged(&item);
    for (int i = 0; i < 200 && preview.shown() != OpenGLPreview::Shown::Frame; ++i) {
        Bench::wait(10);
        preview.render();
    }
    const qint64 openNs = timer.nsecsElapsed();
    ShaderProcessor* processor = preview.processor();
    if (!processor || preview.shown() != OpenGLPreview::Shown::Frame) {
        std::fprintf(stderr, "the preview could not grade the clip: %s\n", qPrintable(preview.failure()));
        return 1;
    }
    std::printf("open: %.1f ms to the first graded frame, %d grading program(s) built, %d drawn out of sight, "
                "%d stock table read(s), grade applied: %s\n",
        milliseconds(openNs), processor->programs().built(), processor->programs().warmUps(),
        films->stockTableReads() - readsBeforeOpen, processor->gradeApplied() ? "yes" : "no");
    // A redraw with nothing changed, for scale.
    timer.restart();
    preview.render();
    std::printf("redraw with no change: %.1f ms\n", milliseconds(timer.nsecsElapsed()));

    // One control's change, applied as the grading tab applies it: the
    // whole grade, of which the processor rebuilds what changed.
    ClipSettings edited = settings;
    auto edit = [&](int control, float amount, double hue) {
        switch (control) {
        case 0:
            edited.setExposure(amount);
            break;
        case 1:
            edited.setMid({ 0.3 + 0.8 * double(amount), hue });
            break;
        case 2:
            edited.setSaturation(1.f + amount);
            break;
        case 3:
            edited.setLift(0.9f + 0.2f * amount);
            break;
        default:
            edited.setGrainAmount(50 + int(std::lround(100.f * amount)));
            break;
        }
        preview.applySettings(&edited);
    };
    const int edits = 200;
    const int readsBefore = films->stockTableReads();
    const int programsBefore = processor->programs().built();
    const std::vector<unsigned> uploadsBefore = uploadCounts(processor);
    std::vector<double> times;
    std::vector<double> byControl[5];
    const char* const controls[5] = { "exposure", "mid wheel", "saturation", "lift", "grain amount" };
    int wholeProgramFrames = 0;
    for (int i = 0; i < edits; ++i) {
        const int control = i % 5;
        const int round = i / 5 + 1;
        const float wave = float(std::sin(0.37 * round));
        timer.restart();
        edit(control, 0.25f * wave, 1.0 + 0.01 * round);
        const double ms = milliseconds(timer.nsecsElapsed());
        times.push_back(ms);
        byControl[control].push_back(ms);
        if (processor->programs().stages() == GradingPrograms::AllStages)
            ++wholeProgramFrames;
    }
    const int reads = films->stockTableReads() - readsBefore;
    const int programs = processor->programs().built() - programsBefore;
    const std::vector<unsigned> uploadsAfter = uploadCounts(processor);

    auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        const size_t n = values.size();
        return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
    };
    std::printf("%d grade changes, change to frame drawn: median %.1f ms, max %.1f ms\n", edits, median(times),
        *std::max_element(times.begin(), times.end()));
    for (int c = 0; c < 5; ++c)
        std::printf("  %-12s median %.1f ms, max %.1f ms\n", controls[c], median(byControl[c]),
            *std::max_element(byControl[c].begin(), byControl[c].end()));
    std::printf("stock tables read from disk during the changes: %d\n", reads);
    std::printf("grading programs built during the changes: %d (frames drawn by the whole program: %d)\n", programs,
        wholeProgramFrames);
    std::printf("tables uploaded during the changes:");
    for (size_t t = 0; t < std::size(kUploads); ++t)
        std::printf(
            " %s %u%s", kUploadNames[t], uploadsAfter[t] - uploadsBefore[t], t + 1 < std::size(kUploads) ? "," : "\n");

    // The first redraw with no edit before it takes up (builds) the program
    // of the grade's stages; the one after uses it.
    timer.restart();
    preview.render();
    const double settle = milliseconds(timer.nsecsElapsed());
    timer.restart();
    preview.render();
    std::printf("first redraw with no edit: %.1f ms (%d program(s) built), the next: %.1f ms\n", settle,
        processor->programs().built() - programsBefore - programs, milliseconds(timer.nsecsElapsed()));

    // The same kind of changes once that program is there: the stages stay,
    // so the edits are drawn by it rather than by the whole program.
    std::vector<double> after;
    for (int i = 0; i < 50; ++i) {
        const int control = i % 5;
        const float wave = float(std::sin(0.41 * (i + 1)));
        timer.restart();
        edit(control, 0.2f * wave, 1.2);
        after.push_back(milliseconds(timer.nsecsElapsed()));
    }
    std::printf("50 more changes within those stages (drawn by their own program, whole program %s): median %.1f ms, "
                "max %.1f ms\n",
        processor->programs().stages() == GradingPrograms::AllStages ? "still" : "no longer", median(after),
        *std::max_element(after.begin(), after.end()));

    // The grading panel's own path: the whole grade applied after each edit.
    ClipSettings shown = settings;
    shown.setGrainAmount(50);
    shown.setLift(0.9f);
    shown.setMid({ 0.35, 1.2 });
    shown.setSaturation(1.1f);
    preview.applySettings(&shown);
    preview.render();
    const int readsBeforeApply = films->stockTableReads();
    const std::vector<unsigned> uploadsBeforeApply = uploadCounts(processor);
    std::vector<double> applied;
    for (int i = 0; i < 50; ++i) {
        const float wave = float(std::sin(0.29 * (i + 1)));
        switch (i % 5) {
        case 0:
            shown.setExposure(0.2f * wave);
            break;
        case 1:
            shown.setMid({ 0.35 + 0.1 * double(wave), 1.2 });
            break;
        case 2:
            shown.setSaturation(1.1f + 0.2f * wave);
            break;
        case 3:
            shown.setLift(0.92f + 0.03f * wave);
            break;
        default:
            shown.setGrainAmount(int(50 + 20 * wave));
            break;
        }
        timer.restart();
        preview.applySettings(&shown);
        applied.push_back(milliseconds(timer.nsecsElapsed()));
    }
    const std::vector<unsigned> uploadsAfterApply = uploadCounts(processor);
    std::printf("50 whole grades applied (the grading panel's path): median %.1f ms, max %.1f ms, %d stock table "
                "read(s), %u stock table upload(s)\n",
        median(applied), *std::max_element(applied.begin(), applied.end()), films->stockTableReads() - readsBeforeApply,
        uploadsAfterApply.back() - uploadsBeforeApply.back());
    return 0;
}
