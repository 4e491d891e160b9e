#pragma once

#include "core/GradeTables.h"

#include <QImage>

#include <array>
#include <cstdint>

namespace Emulsa {

// Everything the grading fragment shader reads, as plain memory. Each field
// names the uniform or texture it stands for; the layouts are exactly the data
// the shader processor uploads. Pointers are borrowed, never owned.
struct ReferenceGradeInputs
{
    // uniExposureArray (unit 5): 4096 x (R, G, B) floats, interleaved.
    const float* exposureTable = nullptr;
    // Lift/gamma/gain: 4096 floats. Here applied table by table; the shader
    // reads it composed with the wheels (GradeCurves::composeTone()).
    const float* liftGammaGainTable = nullptr;
    // The wheels (uniBallsArray, unit 8, once composed): 4096 x (R, G, B) floats.
    const float* wheelsTable = nullptr;
    // uniHistogramArray (unit 4): 4096 floats (red column).
    const float* levelsTable = nullptr;
    // uniSaturation and uniBlackAndWhite: row-major, colour as row vector
    // (see GradeTables).
    GradeTables::Matrix saturationMatrix = GradeCurves::identityMatrix();
    GradeTables::Matrix blackAndWhiteMatrix = GradeCurves::identityMatrix();

    // uniStockLUTArray (unit 3): stockTableSize^3 x (R, G, B) floats in 3D
    // texture order, red index fastest, then green, then blue:
    // entry (ir, ig, ib) starts at float 3 * (ib * size * size + ig * size + ir).
    // This is the ".tin" content as it stands (size 64, 3,145,728 bytes). May
    // be null when stockLUTAmount is 0.
    const float* stockTable = nullptr;
    int stockTableSize = 64;
    // uniStockLUTAmount and uniStockCurveAmount (percent / 100).
    float stockLUTAmount = 0.0f;
    float stockCurveAmount = 0.0f;

    // uniGrainMapArray (unit 1, rectangle texture): grainWidth x grainHeight x
    // (R, G, B) floats, row 0 first (texel y = 0), as the grain object's
    // texture data. uniGrainSize = (grainWidth, grainHeight). May be null when
    // grainAmount is 0.
    const float* grainMap = nullptr;
    int grainWidth = 0;
    int grainHeight = 0;
    // uniGrainCurveArray (unit 2): 256 x (R, G, B) floats, the ".emoGrain" content.
    const float* grainCurve = nullptr;
    // uniGrainAmount (percent / 100), uniGrainColorfulness, uniGrainOffset (pixels).
    float grainAmount = 0.0f;
    float grainColorfulness = 0.6f;
    float grainOffsetX = 0.0f;
    float grainOffsetY = 0.0f;

    // uniFlickerGain: each layer of the colour read scaled before the grade.
    std::array<float, 3> flickerGain { { 1.0f, 1.0f, 1.0f } };
    // uniWeaveOffset: where the picture is read, moved in texture coordinates
    // (FilmMotion::shiftPicture()); whole pictures (gradeRgba) only.
    std::array<float, 2> weaveOffset { { 0.0f, 0.0f } };

    // uniDyeGrainMix, uniDyeGrainScale, uniDyeGrainCell and uniDyeGrainSeed:
    // the colour grain's share of the grain, its strength, cell sizes in
    // pixels and seed words (clip seed, frame); see DyeGrain.
    float dyeGrainMix = 0.0f;
    float dyeGrainScale = 0.0f;
    std::array<float, 3> dyeGrainCells { { 1.0f, 1.0f, 1.0f } };
    std::array<quint32, 2> dyeGrainSeed { { 0u, 0u } };

    // uniHistogramNeeded > 0: the levels stage runs.
    bool levelsEnabled = true;

    // The colorSelection subroutine: 0 toRGBA, 1 toARGB, 2 toBGRA (the
    // processor's colour-order numbers).
    unsigned colourOrder = 0;

    // The tables and matrices of a GradeTables object with the amounts of a
    // grade; bypass takes the neutral copies, identity matrices, zero amounts
    // and no levels, as the processor does in show-original mode. The film
    // data (stock table, grain) is left unset.
    static ReferenceGradeInputs fromTables(
        const GradeTables& tables, const ClipSettings& settings, bool bypass = false);
};

// CPU definition of the grade the shaders compute, sampling every table the
// way OpenGL does: texel centres at (i + 0.5) / size, clamp to edge, linear
// (1D), bilinear (rectangle) and trilinear (3D) weights, single precision.
// It covers the per-pixel work only: pixel (x, y) of the output is the graded
// texel (x, y) of the frame (no fitting, no blur, no vertical flip).
//
// Known differences from a GPU, to allow for in comparisons: GPUs filter with
// reduced-precision weights (commonly 8 fractional bits), and the grain stage
// rounds a pixel position that lies on a half (x + 0.5); this reference rounds
// halves up, so the grain texel used for pixel x is the one for position x + 1
// (a shader that rounds with floor(v + 0.5 + small bias) agrees; plain round()
// may take x). The stock stage is skipped when stockTable is null and the
// grain stage when grainMap or grainCurve is null, as if their amounts were 0.
class ReferenceGrade
{
public:
    using Rgba = std::array<float, 4>;
    using Rgb = std::array<float, 3>;

    // Grades one fragment: the colour read from frame texel (x, y). Returns
    // fragColor (after the colour-order selection).
    static Rgba gradePixel(const Rgba& colour, int x, int y, const ReferenceGradeInputs& inputs);

    // Whole images, rows top to bottom, no padding. rgba: 4 floats per
    // pixel; rgb: 3 floats per pixel with alpha 1 on input, the first three
    // components of fragColor on output. src and dst may be the same buffer.
    static void gradeRgba(const float* src, float* dst, int width, int height, const ReferenceGradeInputs& inputs);
    static void gradeRgb(const float* src, float* dst, int width, int height, const ReferenceGradeInputs& inputs);
    // 8-bit convenience: the image converted to RGBA8888, graded, and
    // quantised like an RGBA8 render target (round(clamp(v, 0, 1) * 255)).
    // Returns an RGBA8888 image; a null image gives a null image.
    static QImage gradeImage(const QImage& image, const ReferenceGradeInputs& inputs);

    // ---- OpenGL sampling, as the shader's texture() calls see it. ----
    // 1D texture of `size` texels with `components` floats each, coordinate s
    // normalised; returns the given component.
    static float sample1D(const float* texels, int size, int components, int component, float s);
    // 3D RGB texture (red index fastest), normalised coordinates.
    static Rgb sample3D(const float* texels, int size, float s, float t, float r);
    // Rectangle RGB texture at unnormalised coordinates (texel centres at +0.5).
    static Rgb sampleRect(const float* texels, int width, int height, float x, float y);

    // HSL helpers of the stock stage (all components 0..1).
    static Rgb rgbToHsl(const Rgb& rgb);
    static Rgb hslToRgb(const Rgb& hsl);

    // ---- Colour conversion passes (packed YUY2 <-> RGB), Rec. 709 factors. ----
    // yuy2: width x height frame, 2 bytes per pixel, (Y0, U, Y1, V) per pixel
    // pair, rows top to bottom. rgb: 3 floats per pixel, NOT clamped (a
    // render target would clamp). The packed texture must be sampled with
    // nearest filtering for the GPU pass to match. Both conversions return
    // false (writing nothing) for null buffers, an empty size or an odd width.
    static bool yuy2ToRgb(const uint8_t* yuy2, int width, int height, bool fullRange, float* rgb);
    // rgb: 3 floats per pixel (0..1); yuy2 receives width * height * 2 bytes,
    // chroma from the first pixel of each pair, bytes rounded as an RGBA8
    // target stores them.
    static bool rgbToYuy2(const float* rgb, int width, int height, bool fullRange, uint8_t* yuy2);
    // One texel of the packed texture to the RGB of its even (odd = false) or
    // odd pixel, in 0..1 units, unclamped.
    static Rgb yuy2PixelToRgb(uint8_t y0, uint8_t u, uint8_t y1, uint8_t v, bool odd, bool fullRange);
    // One pixel pair to its (Y0, U, Y1, V) in 0..255 units, unrounded.
    static std::array<float, 4> rgbPairToYuy2(const Rgb& first, const Rgb& second, bool fullRange);
};

} // namespace Emulsa
