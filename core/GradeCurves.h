#pragma once

#include "core/ClipSettings.h"

#include <array>

namespace Emulsa {

class ExposureConversion;

// The curves and matrices of a grade as pure functions writing into
// caller-owned fixed-size arrays (GradeTables holds the arrays and rebuilds
// them from a grade), and the lookups the grading program makes of them, so
// that the CPU reference grades as the GPU does.
namespace GradeCurves {

constexpr int TableSize = 4096;
using RgbTable = std::array<float, TableSize * 3>;
using ScalarTable = std::array<float, TableSize>;
using Matrix = std::array<float, 16>;

const Matrix& identityMatrix();
// Every channel becomes the Rec. 709 luma. Rows (0.2126 x3, 0),
// (0.7152 x3, 0), (0.0722 x3, 0), (0, 0, 0, 1).
const Matrix& blackAndWhiteMatrix();

// A table looked up as a texture unit looks up a 1D texture of it with
// linear filtering and clamping to the edge: entry centres at
// (i + 0.5) / size, linear between them, the end entries beyond.
// `stride` and `offset` pick a channel of an interleaved table.
float sampleLikeTexture(const float* table, int stride, int offset, float x);

// The one table per channel that stands for lift/gamma/gain, then the
// wheels, then (when `levels` is given) the levels, each looked up as the
// grading program looks it up: their composition at each entry centre.
// Looked up linearly in its turn it gives the composition exactly at the
// centres and to within a tenth of an 8-bit step between them.
void composeTone(const ScalarTable& liftGammaGain, const RgbTable& wheels, const ScalarTable* levels, RgbTable& out);

// Linear with slope gain up to output 1 - knee, then bending smoothly to
// meet it with equal value and slope.
float softKnee(float x, float gain, float knee);

// Exposure e in decades, kelvin 1700..12000 (5600 neutral). Single
// precision throughout. A null conversion means identity conversions.
void buildExposureTable(float exposure, float kelvin, const ExposureConversion* conversion, RgbTable& out);

// Entry i = base^(2 - gamma) clamped to [0, 1], base = (x / lift + 1 - 1 / lift) * gain,
// x = i / 4096; 0 where base <= 0. Double precision, stored as float.
void buildLiftGammaGainTable(double lift, double gamma, double gain, ScalarTable& out);

// Hue direction of a wheel angle: t = theta / pi (float), clamped to
// +-0.99999, mapped piecewise to an RGB direction (t = 0 -> (0.5, 0, 1),
// t = 1/2 -> red, t = -1/2 -> cyan, t = +-1 -> (0.5, 1, 0)).
std::array<float, 3> hueRGB(double theta);

void buildColorWheelsTable(
    const ColorWheelData& low, const ColorWheelData& mid, const ColorWheelData& high, RgbTable& out);

// Rows (s + a, a, a, 0), (b, s + b, b, 0), (c, c, s + c, 0), (0, 0, 0, 1)
// with a, b, c = (1 - s) * (0.2126, 0.7152, 0.0722).
void buildSaturationMatrix(double saturation, Matrix& out);

// Puts black, mid and white in order with at least 0.001 between them.
HistogramSliderData orderLevels(const HistogramSliderData& levels);

// Catmull-Rom curve through (black, 0), (mid, 0.5), (white, 1), sampled
// into 4096 buckets. Uses a fixed-size work table on the stack.
void buildLevelsTable(const HistogramSliderData& levels, ScalarTable& out);

} // namespace GradeCurves

} // namespace Emulsa
