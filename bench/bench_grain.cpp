// Grain map cost on a cache miss: scaling a raw grain image to the map an
// output frame needs (and building its texture data), at 1920 and 3840 wide
// outputs with the 35 mm gauge (CP35 at 1920, CP16 at 1920 for a 3840 frame).
// The raw images are 2048 x 1152 RGB noise "QLIF" files (the size the film
// data generator ships) written to a
// temporary data folder.

#include "core/ApplicationPaths.h"
#include "core/FilmLibrary.h"
#include "core/GrainLibrary.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>

using namespace Emulsa;

namespace {

constexpr unsigned kRawWidth = 2048;
constexpr unsigned kRawHeight = 1152;

bool writeFixtures(const QString& resources)
{
    if (!QDir().mkpath(resources))
        return false;
    QRandomGenerator random(42);
    QByteArray pixels(int(kRawWidth * kRawHeight * 3), '\0');
    for (char& byte : pixels)
        byte = char(random.bounded(256));
    for (const char* type : { "CP35", "CP16", "CP8" }) {
        if (!GrainImage::writeQlif(resources + QLatin1Char('/') + QLatin1String(type) + QStringLiteral(".bin"),
                GrainImage::RGB, kRawWidth, kRawHeight, pixels))
            return false;
    }
    QFile curve(resources + QStringLiteral("/5207.emoGrain"));
    return curve.open(QIODevice::WriteOnly) && curve.write(QByteArray(int(GrainCurve::kBytes), '\0')) > 0;
}

// Each iteration asks under a new cache key (the height only names the
// entry), so the raw image stays cached and the map is scaled afresh.
void BM_GetGrainMiss(benchmark::State& state)
{
    const unsigned outputWidth = unsigned(state.range(0));
    const unsigned outputHeight = outputWidth * 9 / 16;
    GrainLibrary library(FilmLibrary::instance());
    const GrainLibrary::Selection selection = GrainLibrary::chooseGrain(outputWidth, outputHeight, 1.0);
    if (!library.getRawGrain(selection.type)) {
        state.SkipWithError("no raw grain image");
        return;
    }
    unsigned key = 100000;
    for (auto _ : state) {
        Grain* grain = library.getGrain(selection.type, QStringLiteral("5207"), selection.width, ++key);
        if (!grain) {
            state.SkipWithError("getGrain failed");
            return;
        }
        benchmark::DoNotOptimize(grain);
    }
    state.SetLabel(selection.type.toStdString() + " at " + std::to_string(selection.width));
}

// A library of its own per iteration: reading the raw "QLIF" file is paid too.
void BM_GetGrainColdWithRawLoad(benchmark::State& state)
{
    const unsigned outputWidth = unsigned(state.range(0));
    for (auto _ : state) {
        GrainLibrary library(FilmLibrary::instance());
        Grain* grain = library.selectGrain(QStringLiteral("5207"), outputWidth, outputWidth * 9 / 16, 1.0);
        if (!grain) {
            state.SkipWithError("selectGrain failed");
            return;
        }
        benchmark::DoNotOptimize(grain);
    }
}

} // namespace

BENCHMARK(BM_GetGrainMiss)->Arg(1920)->Arg(3840)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetGrainColdWithRawLoad)->Arg(1920)->Arg(3840)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    qputenv("PROGRAMDATA", QFile::encodeName(folder.path()));
    ApplicationPaths::instance()->clearCache();
    if (!writeFixtures(folder.path() + QStringLiteral("/Quillmoor/Resources"))) {
        std::fprintf(stderr, "could not write the grain fixtures\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
