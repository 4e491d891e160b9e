#pragma once

#include <QString>

#include <array>
#include <vector>

namespace Emulsa {

// Halation and bloom: light taken from the highlights of the linear picture
// and spread around them, so that the picture's total light is kept. Sizes
// are given on the film, in micrometres, and reach pixels through the gauge's
// frame width and the picture's width.
//
// The work, done alike by GlowPass on the GPU and by Glow::apply() here:
//  1. the light taken: the excess over the threshold, per channel, times the
//     channel's strength; what each channel of the glow receives of it (the
//     mix, whose columns sum to 1); averaged over blocks of factor x factor
//     pixels (the level);
//  2. a separable Gaussian of the level, per channel, taps clamped to the edge;
//  3. each pixel keeps its light less the excess taken and gains the blurred
//     level, sampled bilinearly (texel centres at (i + 0.5) * factor).
struct GlowParams
{
    float threshold = 1.f;
    // Fraction of the excess over the threshold taken, per channel.
    std::array<float, 3> strength { { 0.f, 0.f, 0.f } };
    // Row c: what glow channel c receives of the light taken from each
    // channel. Each column sums to 1, so that the total light is kept.
    std::array<std::array<float, 3>, 3> mix { { { { 1.f, 0.f, 0.f } }, { { 0.f, 1.f, 0.f } }, { { 0.f, 0.f, 1.f } } } };
    // Gaussian spread per channel in pixels of the picture.
    std::array<float, 3> sigma { { 0.f, 0.f, 0.f } };

    bool isOff() const { return strength[0] <= 0.f && strength[1] <= 0.f && strength[2] <= 0.f; }
};

class Glow
{
public:
    // Largest block factor and kernel half-width of the blurred level.
    static constexpr int MaxFactor = 16;
    static constexpr int MaxRadius = 12;

    // Halation at an amount 0..1: light taken alike from each channel of the
    // highlights (they keep their hue) and given back mostly to red, widest
    // there, less to green, almost none to blue; sizes for the gauge's frame
    // width and the picture width.
    static GlowParams halation(float amount, const QString& gauge, unsigned int width);
    // Bloom at an amount 0..1: every channel alike, each keeping its light
    // (a coloured light blooms in its colour), the brightest areas only,
    // spread by `radiusMicrometres` on the film (0: the default spread).
    static GlowParams bloom(float amount, const QString& gauge, unsigned int width, float radiusMicrometres = 0.f);
    static constexpr float DefaultBloomMicrometres = 320.f;

    // The block factor (1, 2, 4 .. MaxFactor) for the widest spread.
    static int factorFor(const GlowParams& params);
    // The level's size for a picture size and factor.
    static int levelSize(int size, int factor) { return (size + factor - 1) / factor; }
    // Per-channel normalised taps 0..radius (the kernel is symmetric) of the
    // level's blur, and the radius used; the block and the bilinear sampling
    // spread the light too, so the level's spread is what remains of sigma.
    static std::array<std::array<float, 3>, MaxRadius + 1> weights(const GlowParams& params, int factor, int* radius);

    // The glow applied to RGBA floats (row 0 first); `out` may be `in`.
    static void apply(const float* in, float* out, int width, int height, const GlowParams& params);
};

} // namespace Emulsa
