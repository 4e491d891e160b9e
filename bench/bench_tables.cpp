// Rebuild cost of each grade lookup table, as a slider drag pays it per step.
#include "core/ExposureConversion.h"
#include "core/GradeTables.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

using namespace Emulsa;

namespace {

// A loaded conversion pair (smooth curves of the real files' shape), so the
// exposure rebuild walks the same path as with installed data.
const ExposureConversion* loadedConversion()
{
    static ExposureConversion conversion;
    static bool ready = [] {
        QTemporaryDir dir;
        auto write = [&](const QString& name, bool toLog) {
            QByteArray bytes(int(ExposureConversion::FileSize), Qt::Uninitialized);
            for (int i = 0; i < ExposureConversion::EntryCount; ++i) {
                const float x = float(i) / 65535.0f;
                const float value = toLog ? 2.0f * x - 1.5f : x * x;
                for (int c = 0; c < 3; ++c)
                    std::memcpy(bytes.data() + (i * 3 + c) * 4, &value, 4);
            }
            QFile file(dir.path() + QLatin1Char('/') + name);
            return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        };
        return write(ExposureConversion::codeToLogFileName(), true)
            && write(ExposureConversion::logToCodeFileName(), false) && conversion.load(dir.path());
    }();
    return ready ? &conversion : nullptr;
}

void exposureTable(benchmark::State& state)
{
    const ExposureConversion* conversion = loadedConversion();
    if (!conversion) {
        state.SkipWithError("conversion fixture not written");
        return;
    }
    auto table = std::make_unique<GradeTables::RgbTable>();
    float exposure = 0.0f;
    for (auto _ : state) {
        exposure = exposure > 1.0f ? -1.0f : exposure + 0.01f;
        GradeCurves::buildExposureTable(exposure, 3200.0f, conversion, *table);
        benchmark::DoNotOptimize(table->data());
    }
}
BENCHMARK(exposureTable)->Unit(benchmark::kMicrosecond);

void exposureTableWarm(benchmark::State& state)
{
    const ExposureConversion* conversion = loadedConversion();
    auto table = std::make_unique<GradeTables::RgbTable>();
    for (auto _ : state) {
        GradeCurves::buildExposureTable(0.2f, 9000.0f, conversion, *table);
        benchmark::DoNotOptimize(table->data());
    }
}
BENCHMARK(exposureTableWarm)->Unit(benchmark::kMicrosecond);

void liftGammaGainTable(benchmark::State& state)
{
    GradeTables::ScalarTable table;
    for (auto _ : state) {
        GradeCurves::buildLiftGammaGainTable(0.9, 1.2, 1.1, table);
        benchmark::DoNotOptimize(table.data());
    }
}
BENCHMARK(liftGammaGainTable)->Unit(benchmark::kMicrosecond);

void colourWheelsTable(benchmark::State& state)
{
    auto table = std::make_unique<GradeTables::RgbTable>();
    const ColorWheelData low { 0.4, 1.0 }, mid { 0.2, -2.0 }, high { 0.7, 0.3 };
    for (auto _ : state) {
        GradeCurves::buildColorWheelsTable(low, mid, high, *table);
        benchmark::DoNotOptimize(table->data());
    }
}
BENCHMARK(colourWheelsTable)->Unit(benchmark::kMicrosecond);

void levelsTable(benchmark::State& state)
{
    GradeTables::ScalarTable table;
    for (auto _ : state) {
        GradeCurves::buildLevelsTable({ 0.05f, 0.45f, 0.93f }, table);
        benchmark::DoNotOptimize(table.data());
    }
}
BENCHMARK(levelsTable)->Unit(benchmark::kMicrosecond);

void saturationMatrix(benchmark::State& state)
{
    GradeTables::Matrix matrix;
    for (auto _ : state) {
        GradeCurves::buildSaturationMatrix(1.3, matrix);
        benchmark::DoNotOptimize(matrix.data());
    }
}
BENCHMARK(saturationMatrix);

// A whole grade applied at once (every table), as when a clip is selected.
void applyWholeGrade(benchmark::State& state)
{
    auto tables = std::make_unique<GradeTables>(loadedConversion());
    ClipSettings settings;
    settings.setExposure(0.3f);
    settings.setKelvin(4000.0f);
    settings.setLift(0.9f);
    settings.setMid({ 0.3, 1.0 });
    settings.setHistogramSliderData({ 0.05f, 0.5f, 0.95f });
    for (auto _ : state) {
        tables->applySettings(settings);
        benchmark::DoNotOptimize(tables.get());
    }
}
BENCHMARK(applyWholeGrade)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
