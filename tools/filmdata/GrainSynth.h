#pragma once

#include "FilmStock.h"

#include <QByteArray>
#include <cstdint>
#include <vector>

namespace Emulsa {
namespace FilmData {

// One raw grain image: its type name, size, and the grain's correlation
// length (Gaussian sigma) in raw pixels.
struct GrainGauge
{
    const char* type;
    int width;
    int height;
    double sigma;
    std::uint64_t seed;
};

// Synthetic film grain.
//
// Images: each channel mixes a grain field common to all three channels with
// one of its own (correlation about one half), every field being white noise
// filtered by a wrap-around Gaussian, so the image tiles without seams. The
// 8-bit values have mean 128 (neutral). The larger gauges ("CP16" for the
// half-size selection, "CP8" for the quarter size) carry two and four times
// the correlation length, so grain grows in output pixels with the gauge
// factor after the library's selection and scaling.
//
// Curves: 256 RGB entries (display value i / 255) between 0 and 0.2, rising
// with the stock's speed, strongest in the mid-tones, the blue record
// grainiest.
class GrainSynth
{
public:
    static const std::vector<GrainGauge>& gauges();
    static const GrainGauge* gauge(const char* type);

    // Width x height x 3 bytes, R, G, B, rows top to bottom.
    static QByteArray image(const GrainGauge& gauge, int threads);
    // The same for any size and sigma (tests use small images).
    static QByteArray image(int width, int height, double sigma, std::uint64_t seed, int threads);

    // 256 x (R, G, B) floats.
    static std::vector<float> curve(const FilmStock& stock);
    // The peak response of a stock's grain (its blue record).
    static double strength(const FilmStock& stock);

    static constexpr double kStandardDeviation = 28.0; // 8-bit levels
};

} // namespace FilmData
} // namespace Emulsa
