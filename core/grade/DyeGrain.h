#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

namespace Emulsa::DyeGrain {

// Grain per colour layer: three fields of value noise (two octaves, smooth
// interpolation between cells), one per dye layer, the blue layer's cells the
// largest, each layer partly sharing one common field. The cells are sized on
// the film and converted to pixels of the picture, so every picture size of a
// frame shows the same grain. A cell's value is a hash of the clip seed, the
// frame number, the layer and the cell: two renders of a frame agree, and
// neighbouring frames are unrelated. The grading shader computes the same
// (applyGrain in em.f.glsl); this is its reference.

// Cell size on the film of the red, green and blue layers, in micrometres.
constexpr std::array<float, 3> kCellMicrometres { { 30.f, 26.f, 60.f } };
// Frame width of the gauge whose grain scale is 1 (Super 35), in micrometres.
constexpr float kUnitGaugeWidth = 24890.f;
// Granularity (RMS x 1000) a stock's grain is measured against: a stock with
// this figure gets the grain map's own strength.
constexpr float kReferenceGranularity = 5.f;

// The cell sizes in pixels of a picture `pictureWidth` wide for a gauge
// whose grain scale is `grainScale` (ClipSettings::defaultGrainScaleTable()).
std::array<float, 3> cellPixels(double grainScale, unsigned int pictureWidth);

// A stock's grain strength against the reference (its RMS granularity over
// kReferenceGranularity); 1 for a stock the catalogue doesn't know.
float stockStrength(const QString& stockCode);

// The grain of the three layers at a picture position (in pixels), each with
// an RMS of about 1 over the picture; the seed words are the clip seed and
// the frame number's low 32 bits.
std::array<float, 3> grainAt(float x, float y, quint32 clipSeed, quint32 frame, const std::array<float, 3>& cells);

// The RMS of a grain map's grain in the units the grading program reads it
// ((byte - 128) / 112 over red, green and blue of RGBA bytes).
float mapRms(const quint8* rgba, size_t pixels);

// The value of one cell of a noise stream, in [-1, 1).
float cellValue(int cx, int cy, quint32 clipSeed, quint32 frame, quint32 stream);

} // namespace Emulsa::DyeGrain
