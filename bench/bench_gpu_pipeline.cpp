// Frames per second of the grading pipeline, pass by pass, at 1080p and 2160p:
// upload of a packed YUY2 frame, YUY2 to RGB, the grade (stock, grain, the
// colour tables, levels), RGB to YUY2 and the read-back, on the GL driver at
// hand (llvmpipe under Xvfb here); then the same stages through the CPU
// reference grade for comparison. Then the grading pass alone at the
// 1080p output and at a 1280 x 720 preview, with stages switched off one at a
// time (what each stage costs), a neutral grade drawn and skipped, and
// halation and bloom off and on.
//
// Film data: the data folder the build installs (target emulsa_filmdata_folder)
// or $PROGRAMDATA/Quillmoor. Usage: bench_gpu_pipeline [gpuFrames] [cpuFrames]

#include "common/GradeCorrections.h"
#include "core/ClipSettings.h"
#include "core/FilmLibrary.h"
#include "core/GradingPipeline.h"
#include "core/Grain.h"
#include "core/GrainLibrary.h"
#include "core/OffscreenGLContext.h"
#include "core/ReferenceGrade.h"
#include "core/ShaderProcessor.h"
#include "core/grade/GlowPass.h"
#include "resources/Resources.h"

#include <QGuiApplication>
#include <QOpenGLContext>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace Emulsa;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// A packed frame with gradients and some texture in every channel.
std::vector<uint8_t> makeFrame(int width, int height)
{
    std::vector<uint8_t> frame(size_t(width) * height * 2);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; x += 2) {
            uint8_t* p = &frame[(size_t(y) * width + x) * 2];
            p[0] = uint8_t(16 + (x * 219) / width);
            p[1] = uint8_t(64 + (y * 128) / height);
            p[2] = uint8_t(16 + ((x + 1) * 219) / width);
            p[3] = uint8_t(192 - ((x ^ y) & 63));
        }
    return frame;
}

ClipSettings benchSettings()
{
    ClipSettings s; // stock "5207" at 100 %, grain 100 %, 35 mm full frame
    Test::setCorrections(s,
        { 0.15f, 6100.f, { 0.3, -2.0 }, { 0.2, 1.0 }, { 0.25, 2.5 }, 1.05f, 0.95f, 1.02f, 1.1f,
            { 0.02f, 0.5f, 0.98f } });
    return s;
}

struct PassTimes
{
    double upload = 0, toRgb = 0, grade = 0, toYuy2 = 0, readBack = 0, gradeFromSource = 0;
};

void printRate(const char* name, double total, int frames)
{
    std::printf("  %-22s %8.2f ms  %8.2f fps\n", name, 1000.0 * total / frames, frames / total);
}

bool benchGpu(OffscreenGLContext& gl, int width, int height, int frames)
{
    const ClipSettings settings = benchSettings();
    ShaderProcessor processor(gl.context());
    if (!processor.initialize(unsigned(width), unsigned(height), &settings, nullptr, 0, 0, StretchToFit)) {
        std::printf("shader processor failed to initialise\n");
        return false;
    }
    processor.animateGrain = true;
    GradingPipeline pipeline(gl.functions());
    if (!pipeline.initialize(width, height, width, height))
        return false;
    const std::vector<uint8_t> frame = makeFrame(width, height);
    std::vector<uint8_t> out(frame.size());
    QOpenGLFunctions_4_0_Core* f = gl.functions();
    const auto range = GradingPipeline::LimitedRange;

    // Warm-up: first uploads of every table, shader compilation on first draw.
    for (int i = 0; i < 2; ++i) {
        pipeline.uploadYuy2(frame.data());
        pipeline.convertInputPass(&processor, range);
        pipeline.gradePass(&processor);
        pipeline.convertOutputPass(&processor, range);
        pipeline.packedOutput().read(out.data());
    }

    // Each pass on its own, the GPU drained after it.
    PassTimes t;
    for (int i = 0; i < frames; ++i) {
        auto t0 = Clock::now();
        pipeline.uploadYuy2(frame.data());
        f->glFinish();
        auto t1 = Clock::now();
        pipeline.convertInputPass(&processor, range);
        f->glFinish();
        auto t2 = Clock::now();
        pipeline.gradePass(&processor);
        f->glFinish();
        auto t3 = Clock::now();
        pipeline.convertOutputPass(&processor, range);
        f->glFinish();
        auto t4 = Clock::now();
        pipeline.packedOutput().read(out.data());
        auto t5 = Clock::now();
        pipeline.gradeFromSource(&processor, range);
        f->glFinish();
        t.gradeFromSource += seconds(t5, Clock::now());
        t.upload += seconds(t0, t1);
        t.toRgb += seconds(t1, t2);
        t.grade += seconds(t2, t3);
        t.toYuy2 += seconds(t3, t4);
        t.readBack += seconds(t4, t5);
    }
    // The whole frame as an owner runs it: one synchronisation, at the read-back.
    const auto w0 = Clock::now();
    for (int i = 0; i < frames; ++i) {
        pipeline.uploadYuy2(frame.data());
        pipeline.convertInputPass(&processor, range);
        pipeline.gradePass(&processor);
        pipeline.convertOutputPass(&processor, range);
        pipeline.packedOutput().read(out.data());
    }
    const double whole = seconds(w0, Clock::now());
    // The same with the input conversion done inside the grading pass, as the
    // renderer runs it one to one.
    pipeline.uploadYuy2(frame.data());
    pipeline.gradeFromSource(&processor, range); // first use builds its program
    const auto o0 = Clock::now();
    for (int i = 0; i < frames; ++i) {
        pipeline.uploadYuy2(frame.data());
        pipeline.gradeFromSource(&processor, range);
        pipeline.convertOutputPass(&processor, range);
        pipeline.packedOutput().read(out.data());
    }
    const double onePass = seconds(o0, Clock::now());
    // And with the output conversion inside it too, as the movie render runs.
    pipeline.gradeToYuy2(&processor, range, range);
    const auto p0 = Clock::now();
    for (int i = 0; i < frames; ++i) {
        pipeline.uploadYuy2(frame.data());
        pipeline.gradeToYuy2(&processor, range, range);
        pipeline.packedOutput().read(out.data());
    }
    const double packedPass = seconds(p0, Clock::now());

    const Grain* grain = processor.grade().grain();
    std::printf("GPU %dx%d, %d frames, grain map %ux%u, blur %s\n", width, height, frames, grain ? grain->width() : 0,
        grain ? grain->height() : 0, processor.grade().blurAmount() > 0 ? "on" : "off");
    printRate("upload", t.upload, frames);
    printRate("YUY2 to RGB", t.toRgb, frames);
    printRate("grade", t.grade, frames);
    printRate("RGB to YUY2", t.toYuy2, frames);
    printRate("grade from YUY2", t.gradeFromSource, frames);
    printRate("read-back", t.readBack, frames);
    printRate("sum of passes", t.upload + t.toRgb + t.grade + t.toYuy2 + t.readBack, frames);
    printRate("whole frame", whole, frames);
    printRate(
        pipeline.gradedInOnePass() ? "whole, grade from YUY2" : "whole, grade from YUY2 (2 passes)", onePass, frames);
    printRate(
        pipeline.packedInOnePass() ? "whole, YUY2 to YUY2" : "whole, YUY2 to YUY2 (3 passes)", packedPass, frames);
    return f->glGetError() == GL_NO_ERROR;
}

// The grading pass alone, `frames` times, for a grade variant.
double gradePassSeconds(OffscreenGLContext& gl, const ClipSettings& settings, int sourceWidth, int sourceHeight,
    int outputWidth, int outputHeight, int frames, bool skipNeutral, bool* skipped, double* firstPass = nullptr,
    double* packedSeconds = nullptr)
{
    ShaderProcessor processor(gl.context());
    if (!processor.initialize(unsigned(sourceWidth), unsigned(sourceHeight), &settings, nullptr, unsigned(outputWidth),
            unsigned(outputHeight), StretchToFit))
        return -1;
    processor.animateGrain = true;
    GradingPipeline pipeline(gl.functions());
    if (!pipeline.initialize(sourceWidth, sourceHeight, outputWidth, outputHeight))
        return -1;
    pipeline.setSkipsNeutralGrade(skipNeutral);
    const std::vector<uint8_t> frame = makeFrame(sourceWidth, sourceHeight);
    QOpenGLFunctions_4_0_Core* f = gl.functions();
    pipeline.uploadYuy2(frame.data());
    pipeline.convertInputPass(&processor, GradingPipeline::LimitedRange);
    f->glFinish();
    const auto first = Clock::now();
    pipeline.gradePass(&processor); // first uploads, and the grade's own program built
    f->glFinish();
    if (firstPass)
        *firstPass = seconds(first, Clock::now());
    const auto t0 = Clock::now();
    for (int i = 0; i < frames; ++i) {
        pipeline.gradePass(&processor);
        f->glFinish();
    }
    const double picture = seconds(t0, Clock::now());
    *skipped = pipeline.gradePassSkipped();
    if (packedSeconds) {
        // Graded from and packed into YUY2 in one pass, as movies render.
        pipeline.gradeToYuy2(&processor, GradingPipeline::LimitedRange, GradingPipeline::LimitedRange);
        f->glFinish();
        const auto p0 = Clock::now();
        for (int i = 0; i < frames; ++i) {
            pipeline.gradeToYuy2(&processor, GradingPipeline::LimitedRange, GradingPipeline::LimitedRange);
            f->glFinish();
        }
        *packedSeconds = pipeline.packedInOnePass() ? seconds(p0, Clock::now()) : -1;
    }
    return picture;
}

void benchStages(OffscreenGLContext& gl, int frames)
{
    struct Variant
    {
        const char* name;
        void (*change)(ClipSettings&);
    };
    const Variant variants[] = {
        { "whole grade", [](ClipSettings&) {} },
        { "without grain", [](ClipSettings& s) { s.setGrainAmount(0); } },
        { "without stock", [](ClipSettings& s) { s.setStockLUTAmount(0); } },
        { "stock curve 100 %", [](ClipSettings& s) { s.setStockCurveAmount(100); } },
        { "stock curve 0 %", [](ClipSettings& s) { s.setStockCurveAmount(0); } },
        // Saturation neutral: the levels go into the tone table.
        { "saturation neutral", [](ClipSettings& s) { s.setSaturation(1.f); } },
        { "tables only",
            [](ClipSettings& s) {
                s.setGrainAmount(0);
                s.setStockLUTAmount(0);
            } },
        // The movie render's default grade: the tone table and the finish
        // left out, the stock at full amounts is its table alone.
        { "stock and grain alone", [](ClipSettings& s) { s = ClipSettings(); } },
        // The film's motion on top of the whole grade ("whole grade" is the
        // same with both off).
        { "with gate weave", [](ClipSettings& s) { s.setWeaveAmount(100); } },
        { "with flicker", [](ClipSettings& s) { s.setFlickerAmount(100); } },
        { "with weave and flicker",
            [](ClipSettings& s) {
                s.setWeaveAmount(100);
                s.setFlickerAmount(100);
            } },
        // Grain per dye layer instead of the grain map's ("whole grade" is
        // the map's alone).
        { "with colour grain", [](ClipSettings& s) { s.setColourGrainAmount(100); } },
        // Every film effect at once, as the movie benchmark renders it.
        { "with every film effect",
            [](ClipSettings& s) {
                s.setHalationAmount(100);
                s.setBloomAmount(100);
                s.setWeaveAmount(100);
                s.setFlickerAmount(100);
                s.setColourGrainAmount(100);
            } },
    };
    const int outputs[2][2] = { { 1920, 1080 }, { 1280, 720 } };
    for (const auto& output : outputs) {
        std::printf("Grade pass alone, 1920x1080 source to %dx%d, %d frames\n", output[0], output[1], frames);
        for (const Variant& variant : variants) {
            ClipSettings settings = benchSettings();
            variant.change(settings);
            bool skipped = false;
            double first = 0;
            double packed = 0;
            const double t = gradePassSeconds(
                gl, settings, 1920, 1080, output[0], output[1], frames, true, &skipped, &first, &packed);
            if (t < 0) {
                std::printf("  %-22s failed to initialise\n", variant.name);
            } else {
                // The first pass builds the program for the grade's stages
                // (unless it is the whole one, built at set-up).
                std::printf("  %-22s %8.2f ms  %8.2f fps   first pass %7.2f ms   packed %7.2f ms\n", variant.name,
                    1000.0 * t / frames, frames / t, 1000.0 * first, 1000.0 * packed / frames);
            }
        }
    }
    std::printf("Neutral grade (the --no-grade render), 1920x1080, %d frames\n", frames);
    for (bool skip : { false, true }) {
        ClipSettings settings; // defaults, no stock, no grain
        settings.setStockLUTAmount(0);
        settings.setStockCurveAmount(0);
        settings.setGrainAmount(0);
        bool skipped = false;
        const double t = gradePassSeconds(gl, settings, 1920, 1080, 1920, 1080, frames, skip, &skipped);
        printRate(skipped ? "grade pass skipped" : "grade pass drawn", t, frames);
    }
}

// Halation and bloom: the grading pass at 1080p with each off and on, on a
// 35 mm gauge and on 16 mm (whose glow is wider in pixels, and which has the
// small gauges' blur too); from the linear picture, and from and to the
// packed frame in one pass as movies render.
void benchGlow(OffscreenGLContext& gl, int frames)
{
    std::printf("Halation and bloom, grade pass 1920x1080, %d frames\n", frames);
    const struct
    {
        const char* name;
        int halation;
        int bloom;
    } variants[] = { { "off", 0, 0 }, { "halation", 100, 0 }, { "bloom", 0, 100 }, { "both", 100, 100 } };
    for (const char* gauge : { "Super 35", "16 mm" }) {
        for (const auto& variant : variants) {
            ClipSettings settings = benchSettings();
            settings.setGrainScaleName(QString::fromLatin1(gauge));
            settings.setHalationAmount(variant.halation);
            settings.setBloomAmount(variant.bloom);
            bool skipped = false;
            double packed = 0;
            const double t
                = gradePassSeconds(gl, settings, 1920, 1080, 1920, 1080, frames, true, &skipped, nullptr, &packed);
            // The small gauges' blur grades from the linear picture only.
            std::printf("  %-9s %-10s %8.2f ms  %8.2f fps   ", gauge, variant.name, 1000.0 * t / frames, frames / t);
            if (packed >= 0)
                std::printf("packed %8.2f ms\n", 1000.0 * packed / frames);
            else
                std::printf("packed: not in one pass\n");
        }
    }
}

// The glow pass alone (level and blurs, no grading) on the packed 1080p frame,
// per effect: what the grading pass above adds on top is the glows' light
// taken per source pixel and their levels sampled.
void benchGlowPass(OffscreenGLContext& gl, int frames)
{
    const int width = 1920, height = 1080;
    QOpenGLFunctions_4_0_Core* f = gl.functions();
    // The frame as the pipeline uploads it, on unit 0.
    GradingPipeline pipeline(f);
    if (!pipeline.initialize(width, height, width, height)) {
        std::printf("Glow pass alone: the pipeline could not be set up\n");
        return;
    }
    pipeline.uploadYuy2(makeFrame(width, height).data());
    f->glActiveTexture(GL_TEXTURE0);
    f->glBindTexture(GL_TEXTURE_2D, pipeline.sourceTexture());
    GlowPass pass;
    pass.setUp(f, { GL_RGB32F, GL_RGBA32F, GL_RGBA16F, GL_RGBA8 }); // as the processor's
    QMatrix4x4 matrix;
    matrix.ortho(-1.f, 1.f, -1.f, 1.f, -1.f, 1.f);
    std::printf("Glow pass alone, packed 1920x1080, %d frames\n", frames);
    const struct
    {
        const char* name;
        float halation;
        float bloom;
    } variants[] = { { "halation", 1.f, 0.f }, { "bloom", 0.f, 1.f }, { "both", 1.f, 1.f } };
    for (const char* gauge : { "Super 35", "16 mm" }) {
        for (const auto& variant : variants) {
            GlowParams effects[GlowPass::EffectCount];
            effects[GlowPass::Halation] = Glow::halation(variant.halation, QString::fromLatin1(gauge), width);
            effects[GlowPass::Bloom] = Glow::bloom(variant.bloom, QString::fromLatin1(gauge), width);
            pass.run(effects, GlowPass::PackedLimitedSource, width, height, matrix); // programs and targets
            f->glFinish();
            const auto t0 = Clock::now();
            for (int i = 0; i < frames; ++i)
                pass.run(effects, GlowPass::PackedLimitedSource, width, height, matrix);
            f->glFinish();
            const double t = seconds(t0, Clock::now());
            std::printf("  %-9s %-10s %8.2f ms  %8.2f fps\n", gauge, variant.name, 1000.0 * t / frames, frames / t);
        }
    }
    pass.destroy();
}

bool benchCpu(int width, int height, int frames)
{
    const ClipSettings settings = benchSettings();
    GradeTables tables;
    tables.applySettings(settings);
    ReferenceGradeInputs inputs = ReferenceGradeInputs::fromTables(tables, settings);
    StockTableData stock = FilmLibrary::instance()->loadStockTable(settings.getStockName(), settings.getSourceType());
    if (!stock) {
        std::printf("no stock table for the CPU reference\n");
        return false;
    }
    inputs.stockTable = stock.get();
    Grain* grain = GrainLibrary::instance()->selectGrain(
        settings.getStockName(), unsigned(width), unsigned(height), double(settings.getGrainScale()));
    const GrainCurve* curve = GrainLibrary::instance()->getGrainCurve(settings.getStockName());
    if (!grain || !curve) {
        std::printf("no grain for the CPU reference\n");
        return false;
    }
    const std::vector<float> grainMap = grain->normalised();
    inputs.grainMap = grainMap.data();
    inputs.grainWidth = int(grain->width());
    inputs.grainHeight = int(grain->height());
    inputs.grainCurve = curve->values;

    const std::vector<uint8_t> frame = makeFrame(width, height);
    std::vector<float> rgb(size_t(width) * height * 3);
    std::vector<uint8_t> out(frame.size());
    double toRgb = 0, grade = 0, toYuy2 = 0;
    for (int i = 0; i < frames; ++i) {
        inputs.grainOffsetX = float((i * 97) % width);
        inputs.grainOffsetY = float((i * 53) % height);
        auto t0 = Clock::now();
        ReferenceGrade::yuy2ToRgb(frame.data(), width, height, false, rgb.data());
        auto t1 = Clock::now();
        ReferenceGrade::gradeRgb(rgb.data(), rgb.data(), width, height, inputs);
        auto t2 = Clock::now();
        ReferenceGrade::rgbToYuy2(rgb.data(), width, height, false, out.data());
        auto t3 = Clock::now();
        toRgb += seconds(t0, t1);
        grade += seconds(t1, t2);
        toYuy2 += seconds(t2, t3);
    }
    std::printf("CPU reference %dx%d, %d frames, one thread\n", width, height, frames);
    printRate("YUY2 to RGB", toRgb, frames);
    printRate("grade", grade, frames);
    printRate("RGB to YUY2", toYuy2, frames);
    printRate("whole frame", toRgb + grade + toYuy2, frames);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    Emulsa::initResources();
    const int gpuFrames = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    const int cpuFrames = argc > 2 ? std::max(1, atoi(argv[2])) : 2;

    OffscreenGLContext gl;
    if (!gl.create()) {
        std::printf("no OpenGL 4.0 context: %s\n", qPrintable(gl.lastError()));
        return 1;
    }
    auto text = [&](GLenum name) {
        const GLubyte* s = gl.functions()->glGetString(name);
        return s ? reinterpret_cast<const char*>(s) : "?";
    };
    std::printf("GL_RENDERER %s, GL_VERSION %s\n", text(GL_RENDERER), text(GL_VERSION));
    std::printf("film data: %s\n", qPrintable(FilmLibrary::instance()->dataRoot()));

    const int sizes[2][2] = { { 1920, 1080 }, { 3840, 2160 } };
    bool ok = true;
    for (const auto& size : sizes)
        ok = benchGpu(gl, size[0], size[1], size[0] > 2000 ? std::max(1, gpuFrames / 2) : gpuFrames) && ok;
    benchStages(gl, std::max(1, gpuFrames / 2));
    benchGlow(gl, std::max(1, gpuFrames / 2));
    benchGlowPass(gl, std::max(1, gpuFrames / 2));
    for (const auto& size : sizes)
        ok = benchCpu(size[0], size[1], cpuFrames) && ok;
    return ok ? 0 : 1;
}
