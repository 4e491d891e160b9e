#pragma once

#include "core/filmdata/FilmStock.h"

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
// Images: Gaussian-correlated grain made in the frequency domain, every
// frequency at the Gaussian filter's exact amplitude with a random phase, so
// the image tiles without seams and every draw of a gauge has the same power
// spectrum (its strength over any area is the gauge's, not the draw's). Each
// channel's phases mix a draw common to the three channels with one of its
// own (correlation about 0.4). The 8-bit values have mean 128 (neutral) and
// standard deviation kStandardDeviation. The larger gauges ("CP16" for the
// half-size selection, "CP8" for the quarter size) carry two and four times
// the correlation length, so grain grows in output pixels with the gauge
// factor after the library's selection and scaling.
//
// Curves: 256 RGB entries (display value i / 255) between 0 and 0.2: the
// stock's RMS granularity carried through its own rendering (for a negative
// the print's gradient, for a slide the display's alone) to display code
// values, so each stock has its own tone curve; the blue record grainiest.
// The grain library normalises every map the same way (standard deviation
// kMapDeviation about 0.5), so a curve entry times kMapDeviation is the
// per-pixel deviation of the grain at that display value.
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
    // |d display code / d camera-film density| times the square root of the
    // density, for display values i / 255 along the stock's grey scale.
    static std::vector<float> responseOfTone(const FilmStock& stock);

    static constexpr double kStandardDeviation = 28.0; // 8-bit levels of the stored maps
    // Standard deviation of a map after the grain library's normalisation
    // (0.5 + (v - 128) / 112: kStandardDeviation / 112).
    static constexpr double kMapDeviation = 0.25;
    // Per-pixel density deviation of a Super 35 frame scanned 1920 wide, per
    // unit of the sheet's RMS granularity at 48 um (an estimate: pixels of
    // 13 um see partly correlated grain).
    static constexpr double kPixelGranularity = 2.5;
};

} // namespace FilmData
} // namespace Emulsa
