#include "core/grade/DyeGrain.h"

#include "core/filmdata/FilmStock.h"

#include <cmath>

namespace Emulsa::DyeGrain {

namespace {

// lowbias32: a 32-bit finaliser with good avalanche, cheap in a shader.
quint32 mix(quint32 h)
{
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

float smooth(float t)
{
    return t * t * (3.f - 2.f * t);
}

// One octave of value noise at p (in cells).
float octave(float x, float y, quint32 clipSeed, quint32 frame, quint32 stream)
{
    const float fx = std::floor(x);
    const float fy = std::floor(y);
    const int cx = int(fx);
    const int cy = int(fy);
    const float wx = smooth(x - fx);
    const float wy = smooth(y - fy);
    const float a = cellValue(cx, cy, clipSeed, frame, stream);
    const float b = cellValue(cx + 1, cy, clipSeed, frame, stream);
    const float c = cellValue(cx, cy + 1, clipSeed, frame, stream);
    const float d = cellValue(cx + 1, cy + 1, clipSeed, frame, stream);
    const float top = a + (b - a) * wx;
    const float bottom = c + (d - c) * wx;
    return top + (bottom - top) * wy;
}

// Two octaves (the second at twice the frequency, half the weight), scaled
// to an RMS of 1: a cell value has a variance of 1/3, the smooth weights
// keep 0.5518 of it, and the octaves add 1.25 times that.
float field(float x, float y, quint32 clipSeed, quint32 frame, quint32 stream)
{
    constexpr float kUnitRms = 1.f / 0.4795124f;
    return kUnitRms
        * (octave(x, y, clipSeed, frame, stream) + 0.5f * octave(2.f * x, 2.f * y, clipSeed, frame, stream + 8u));
}

} // namespace

float cellValue(int cx, int cy, quint32 clipSeed, quint32 frame, quint32 stream)
{
    quint32 h = mix(clipSeed ^ mix(frame + 0x9e3779b9u * stream));
    h = mix(h ^ quint32(cx));
    h = mix(h ^ quint32(cy));
    return float(h >> 8) * (2.f / 16777216.f) - 1.f;
}

float mapRms(const quint8* rgba, size_t pixels)
{
    if (!rgba || pixels == 0)
        return 0.f;
    double sum = 0.0;
    for (size_t i = 0; i < pixels; ++i)
        for (size_t c = 0; c < 3; ++c) {
            const double g = (double(rgba[4 * i + c]) - 128.0) / 112.0;
            sum += g * g;
        }
    return float(std::sqrt(sum / double(3 * pixels)));
}

std::array<float, 3> cellPixels(double grainScale, unsigned int pictureWidth)
{
    const double micrometresPerPixel
        = double(kUnitGaugeWidth) / (grainScale > 0.0 ? grainScale : 1.0) / double(pictureWidth > 0 ? pictureWidth : 1);
    std::array<float, 3> cells {};
    for (size_t c = 0; c < 3; ++c)
        cells[c] = float(double(kCellMicrometres[c]) / micrometresPerPixel);
    return cells;
}

float stockStrength(const QString& stockCode)
{
    const FilmData::FilmStock* stock = FilmData::FilmStocks::find(stockCode.toLatin1().constData());
    if (!stock || !(stock->granularity > 0.0))
        return 1.f;
    return float(stock->granularity) / kReferenceGranularity;
}

std::array<float, 3> grainAt(float x, float y, quint32 clipSeed, quint32 frame, const std::array<float, 3>& cells)
{
    // Each layer 65 % its own field, 35 % one field shared by all three
    // (sized as the green layer's): a correlation of 0.35 between layers.
    constexpr float kOwn = 0.8062258f;
    constexpr float kShared = 0.5916080f;
    const float shared = field(x / cells[1], y / cells[1], clipSeed, frame, 3u);
    std::array<float, 3> g {};
    for (quint32 c = 0; c < 3; ++c)
        g[c] = kOwn * field(x / cells[c], y / cells[c], clipSeed, frame, c) + kShared * shared;
    return g;
}

} // namespace Emulsa::DyeGrain
