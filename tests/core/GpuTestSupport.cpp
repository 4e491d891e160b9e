#include "GpuTestSupport.h"

#include "FilmDataFixture.h"

#include "core/FilmLibrary.h"
#include "core/Grain.h"
#include "core/GrainLibrary.h"
#include "core/grade/DyeGrain.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Emulsa::Test {

std::vector<float> colourCubePicture(int width, int height)
{
    std::vector<float> rgba(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float* p = &rgba[(size_t(y) * width + x) * 4];
            int r;
            int g;
            int b;
            if (x < 64 && y < 64) {
                r = (x % 16) * 17;
                g = (y % 16) * 17;
                b = ((x / 16) + 4 * (y / 16)) * 17;
            } else {
                const int ramp = (x * 255) / std::max(1, width - 1);
                switch ((y / 4) % 4) {
                case 0:
                    r = g = b = ramp;
                    break;
                case 1:
                    r = ramp;
                    g = b = 40;
                    break;
                case 2:
                    g = ramp;
                    r = 200;
                    b = 60;
                    break;
                default:
                    b = ramp;
                    r = g = 128;
                    break;
                }
            }
            p[0] = float(r) / 255.f;
            p[1] = float(g) / 255.f;
            p[2] = float(b) / 255.f;
            p[3] = 1.f;
        }
    }
    return rgba;
}

int toByte(float value)
{
    return int(std::lround(std::min(1.f, std::max(0.f, value)) * 255.f));
}

int maxByteDifference(const std::vector<float>& a, const std::vector<float>& b, int* where)
{
    int worst = 0;
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (i % 4 == 3)
            continue;
        const int d = std::abs(toByte(a[i]) - toByte(b[i]));
        if (d > worst) {
            worst = d;
            if (where)
                *where = int(i / 4);
        }
    }
    return worst;
}

void GpuGradeTest::initTestCase()
{
    FilmDataFixture::install();
    QVERIFY2(m_gl.create(), qPrintable(m_gl.lastError()));
    m_picture = colourCubePicture(W, H);
}

ChangeAgreement changeAgreement(
    const std::vector<float>& gpu, const std::vector<float>& reference, const std::vector<float>& base)
{
    double both = 0.0, referenceSquares = 0.0, measuredSquares = 0.0;
    const size_t n = std::min({ gpu.size(), reference.size(), base.size() });
    for (size_t i = 0; i < n; ++i) {
        if (i % 4 == 3)
            continue;
        const double g = double(gpu[i]) - base[i];
        const double c = double(reference[i]) - base[i];
        both += g * c;
        referenceSquares += c * c;
        measuredSquares += g * g;
    }
    ChangeAgreement agreement;
    agreement.referenceChange = referenceSquares;
    agreement.slope = both / referenceSquares;
    agreement.correlation = both / std::sqrt(referenceSquares * measuredSquares);
    return agreement;
}

QString ChangeAgreement::text() const
{
    return QStringLiteral("slope %1, correlation %2").arg(slope).arg(correlation);
}

ClipSettings neutralSettings()
{
    ClipSettings settings;
    settings.setStockLUTAmount(0);
    settings.setStockCurveAmount(0);
    settings.setGrainAmount(0);
    return settings;
}

bool GpuGrader::create(OffscreenGLContext& gl, const ClipSettings& settings, int sourceWidth, int sourceHeight,
    int outputWidth, int outputHeight, FitMethod fit, quint32** histogram)
{
    processor = std::make_unique<ShaderProcessor>(gl.context());
    if (!targetFormats.empty())
        processor->setRenderTargetFormats(targetFormats);
    if (!processor->initialize(unsigned(sourceWidth), unsigned(sourceHeight), &settings, histogram,
            unsigned(outputWidth), unsigned(outputHeight), fit))
        return false;
    // A fixed grain position unless a test asks for movement.
    processor->resetGrainOffset = false;
    processor->animateGrain = false;
    pipeline = std::make_unique<GradingPipeline>(gl.functions());
    return pipeline->initialize(
        sourceWidth, sourceHeight, int(processor->outputWidth()), int(processor->outputHeight()));
}

std::vector<float> GpuGrader::grade(const std::vector<float>& rgba, unsigned colourOrder)
{
    pipeline->uploadRgb(rgba.data());
    pipeline->gradePass(processor.get(), colourOrder);
    std::vector<float> out(size_t(pipeline->outputWidth()) * pipeline->outputHeight() * 4);
    pipeline->readGraded(out.data());
    return out;
}

std::vector<float> referenceGrade(const ShaderProcessor& processor, const ClipSettings& settings,
    const std::vector<float>& rgba, int width, int height, unsigned colourOrder)
{
    GradeTables tables;
    tables.applySettings(settings);
    ReferenceGradeInputs inputs = ReferenceGradeInputs::fromTables(tables, settings, settings.getOriginal());
    inputs.colourOrder = colourOrder;
    if (!settings.getOriginal()) {
        const FilmMotion::Frame motion = processor.grade().filmMotion();
        inputs.weaveOffset = motion.offset;
        inputs.flickerGain = motion.gain;
    }

    StockTableData stock = FilmLibrary::instance()->loadStockTable(settings.getStockName(), settings.getSourceType());
    inputs.stockTable = stock.get();
    const Grain* grain = processor.grade().grain();
    const GrainCurve* curve = GrainLibrary::instance()->getGrainCurve(settings.getStockName());
    std::vector<float> grainMap;
    if (grain && curve) {
        grainMap = grain->normalised();
        inputs.grainMap = grainMap.data();
        inputs.grainWidth = int(grain->width());
        inputs.grainHeight = int(grain->height());
        inputs.grainCurve = curve->values;
        const auto offset = processor.grade().grainOffset();
        inputs.grainOffsetX = offset[0];
        inputs.grainOffsetY = offset[1];
        if (!settings.getOriginal()) {
            const auto [clipSeed, frame] = processor.grade().frameIdentity();
            inputs.dyeGrainMix = float(settings.getColourGrainAmount()) / 100.0f;
            inputs.dyeGrainScale = DyeGrain::mapRms(grain->textureBytes(), size_t(grain->width()) * grain->height())
                * DyeGrain::stockStrength(settings.getStockName());
            inputs.dyeGrainCells = DyeGrain::cellPixels(double(settings.getGrainScale()), unsigned(width));
            inputs.dyeGrainSeed = { { clipSeed, quint32(quint64(std::max<qint64>(frame, 0))) } };
        }
    }
    std::vector<float> out(rgba.size());
    ReferenceGrade::gradeRgba(rgba.data(), out.data(), width, height, inputs);
    return out;
}

unsigned stagesOf(const ClipSettings& settings, bool histogram)
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
    return (stock ? unsigned(GradingPrograms::StockStage) : 0u) | (mix ? unsigned(GradingPrograms::StockMixStage) : 0u)
        | (settings.getGrainAmount() != 0 ? unsigned(GradingPrograms::GrainStage) : 0u)
        | (GradeTables::isBlackAndWhiteStock(settings.getStockName()) ? unsigned(GradingPrograms::MonoStage) : 0u)
        | (tone ? unsigned(GradingPrograms::ToneStage) : 0u) | (finish ? unsigned(GradingPrograms::FinishStage) : 0u)
        | (settings.getWeaveAmount() != 0 ? unsigned(GradingPrograms::WeaveStage) : 0u)
        | (settings.getFlickerAmount() != 0 ? unsigned(GradingPrograms::FlickerStage) : 0u)
        | (settings.getGrainAmount() != 0 && settings.getColourGrainAmount() != 0
                ? unsigned(GradingPrograms::DyeGrainStage)
                : 0u)
        | (settings.getHalationAmount() != 0 ? unsigned(GradingPrograms::HalationStage) : 0u)
        | (settings.getBloomAmount() != 0 ? unsigned(GradingPrograms::BloomStage) : 0u);
}

} // namespace Emulsa::Test
