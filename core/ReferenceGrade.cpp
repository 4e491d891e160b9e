#include "core/ReferenceGrade.h"

#include "core/grade/DyeGrain.h"
#include "core/grade/FilmMotion.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Emulsa {

namespace {

// Texel indices and weight of a linearly filtered, clamp-to-edge lookup at
// normalised coordinate s on an axis of `size` texels (centres at (i + 0.5) / size).
struct LinearTap
{
    int i0;
    int i1;
    float weight; // of i1
};

LinearTap linearTapUnnormalised(float u, int size)
{
    const float position = u - 0.5f;
    const float base = std::floor(position);
    const int index = int(base);
    return { std::clamp(index, 0, size - 1), std::clamp(index + 1, 0, size - 1), position - base };
}

LinearTap linearTap(float s, int size)
{
    return linearTapUnnormalised(s * float(size), size);
}

float lerp(float a, float b, float t)
{
    return a + (b - a) * t;
}

// Colour as a row vector times a row-major matrix.
ReferenceGrade::Rgba multiply(const ReferenceGrade::Rgba& p, const GradeTables::Matrix& m)
{
    ReferenceGrade::Rgba out {};
    for (int col = 0; col < 4; ++col) {
        float sum = 0.0f;
        for (int row = 0; row < 4; ++row)
            sum += p[size_t(row)] * m[size_t(row * 4 + col)];
        out[size_t(col)] = sum;
    }
    return out;
}

// GLSL mod(): x - y * floor(x / y).
float glslMod(float x, float y)
{
    return x - y * std::floor(x / y);
}

float hueToChannel(float f1, float f2, float h)
{
    if (h < 0.0f)
        h += 1.0f;
    else if (h > 1.0f)
        h -= 1.0f;
    if (6.0f * h < 1.0f)
        return f1 + (f2 - f1) * 6.0f * h;
    if (2.0f * h < 1.0f)
        return f2;
    if (3.0f * h < 2.0f)
        return f1 + (f2 - f1) * (2.0f / 3.0f - h) * 6.0f;
    return f1;
}

uint8_t toUnorm8(float value)
{
    return uint8_t(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

} // namespace

ReferenceGradeInputs ReferenceGradeInputs::fromTables(
    const GradeTables& tables, const ClipSettings& settings, bool bypass)
{
    ReferenceGradeInputs inputs;
    if (bypass) {
        inputs.exposureTable = tables.bypassExposure().data();
        inputs.liftGammaGainTable = tables.bypassLiftGammaGain().data();
        inputs.wheelsTable = tables.bypassWheels().data();
        inputs.levelsTable = tables.bypassLevels().data();
        inputs.saturationMatrix = GradeCurves::identityMatrix();
        inputs.blackAndWhiteMatrix = GradeCurves::identityMatrix();
        inputs.levelsEnabled = false;
        return inputs;
    }
    inputs.exposureTable = tables.exposure().data();
    inputs.liftGammaGainTable = tables.liftGammaGain().data();
    inputs.wheelsTable = tables.wheels().data();
    inputs.levelsTable = tables.levels().data();
    inputs.saturationMatrix = tables.saturationMatrix();
    inputs.blackAndWhiteMatrix = GradeTables::isBlackAndWhiteStock(settings.getStockName())
        ? GradeCurves::blackAndWhiteMatrix()
        : GradeCurves::identityMatrix();
    inputs.stockLUTAmount = float(settings.getStockLUTAmount()) / 100.0f;
    inputs.stockCurveAmount = float(settings.getStockCurveAmount()) / 100.0f;
    inputs.grainAmount = float(settings.getGrainAmount()) / 100.0f;
    inputs.levelsEnabled = true;
    return inputs;
}

float ReferenceGrade::sample1D(const float* texels, int size, int components, int component, float s)
{
    const LinearTap tap = linearTap(s, size);
    return lerp(texels[tap.i0 * components + component], texels[tap.i1 * components + component], tap.weight);
}

ReferenceGrade::Rgb ReferenceGrade::sample3D(const float* texels, int size, float s, float t, float r)
{
    const LinearTap x = linearTap(s, size);
    const LinearTap y = linearTap(t, size);
    const LinearTap z = linearTap(r, size);
    auto texel = [&](int ix, int iy, int iz, int c) { return texels[((iz * size + iy) * size + ix) * 3 + c]; };
    Rgb out {};
    for (int c = 0; c < 3; ++c) {
        const float y0z0 = lerp(texel(x.i0, y.i0, z.i0, c), texel(x.i1, y.i0, z.i0, c), x.weight);
        const float y1z0 = lerp(texel(x.i0, y.i1, z.i0, c), texel(x.i1, y.i1, z.i0, c), x.weight);
        const float y0z1 = lerp(texel(x.i0, y.i0, z.i1, c), texel(x.i1, y.i0, z.i1, c), x.weight);
        const float y1z1 = lerp(texel(x.i0, y.i1, z.i1, c), texel(x.i1, y.i1, z.i1, c), x.weight);
        out[size_t(c)] = lerp(lerp(y0z0, y1z0, y.weight), lerp(y0z1, y1z1, y.weight), z.weight);
    }
    return out;
}

ReferenceGrade::Rgb ReferenceGrade::sampleRect(const float* texels, int width, int height, float x, float y)
{
    const LinearTap u = linearTapUnnormalised(x, width);
    const LinearTap v = linearTapUnnormalised(y, height);
    auto texel = [&](int ix, int iy, int c) { return texels[(iy * width + ix) * 3 + c]; };
    Rgb out {};
    for (int c = 0; c < 3; ++c) {
        const float top = lerp(texel(u.i0, v.i0, c), texel(u.i1, v.i0, c), u.weight);
        const float bottom = lerp(texel(u.i0, v.i1, c), texel(u.i1, v.i1, c), u.weight);
        out[size_t(c)] = lerp(top, bottom, v.weight);
    }
    return out;
}

ReferenceGrade::Rgb ReferenceGrade::rgbToHsl(const Rgb& rgb)
{
    const float r = rgb[0];
    const float g = rgb[1];
    const float b = rgb[2];
    const float mn = std::min({ r, g, b });
    const float mx = std::max({ r, g, b });
    const float delta = mx - mn;
    const float l = (mx + mn) / 2.0f;
    if (delta == 0.0f)
        return { 0.0f, 0.0f, l };
    const float s = l < 0.5f ? delta / (mx + mn) : delta / (2.0f - mx - mn);
    const float dR = ((mx - r) / 6.0f + delta / 2.0f) / delta;
    const float dG = ((mx - g) / 6.0f + delta / 2.0f) / delta;
    const float dB = ((mx - b) / 6.0f + delta / 2.0f) / delta;
    float h;
    if (r >= g && r >= b)
        h = dB - dG;
    else if (g >= b)
        h = 1.0f / 3.0f + dR - dB;
    else
        h = 2.0f / 3.0f + dG - dR;
    if (h < 0.0f)
        h += 1.0f;
    else if (h > 1.0f)
        h -= 1.0f;
    return { h, s, l };
}

ReferenceGrade::Rgb ReferenceGrade::hslToRgb(const Rgb& hsl)
{
    const float h = hsl[0];
    const float s = hsl[1];
    const float l = hsl[2];
    if (s == 0.0f)
        return { l, l, l };
    const float f2 = l < 0.5f ? l * (1.0f + s) : (l + s) - s * l;
    const float f1 = 2.0f * l - f2;
    return { hueToChannel(f1, f2, h + 1.0f / 3.0f), hueToChannel(f1, f2, h), hueToChannel(f1, f2, h - 1.0f / 3.0f) };
}

ReferenceGrade::Rgba ReferenceGrade::gradePixel(const Rgba& colour, int x, int y, const ReferenceGradeInputs& in)
{
    constexpr int N = GradeTables::TableSize;
    Rgba p = colour;
    for (int c = 0; c < 3; ++c)
        p[size_t(c)] *= in.flickerGain[size_t(c)];

    // 1. Exposure and temperature: each channel in its own column.
    for (int c = 0; c < 3; ++c)
        p[size_t(c)] = sample1D(in.exposureTable, N, 3, c, p[size_t(c)]);

    // 2. Film stock, with the curve amount deciding how much of the stock's
    //    change of lightness survives.
    if (in.stockLUTAmount != 0.0f && in.stockTable) {
        const Rgb lut = sample3D(in.stockTable, in.stockTableSize, p[0], p[1], p[2]);
        const Rgba lutRgba = { lut[0], lut[1], lut[2], 1.0f };
        Rgba mixed {};
        for (int c = 0; c < 4; ++c)
            mixed[size_t(c)] = p[size_t(c)] + (lutRgba[size_t(c)] - p[size_t(c)]) * in.stockLUTAmount;
        const Rgb full = rgbToHsl({ mixed[0], mixed[1], mixed[2] });
        const Rgb original = rgbToHsl({ p[0], p[1], p[2] });
        const Rgb keptLightness = { full[0], full[1], original[2] };
        const Rgb withoutCurve = hslToRgb(keptLightness);
        const Rgb withCurve = hslToRgb(full);
        for (int c = 0; c < 3; ++c)
            p[size_t(c)] = lerp(withoutCurve[size_t(c)], withCurve[size_t(c)], in.stockCurveAmount);
        p[3] = 1.0f;
    }

    // 3. Grain: a luminance part common to all channels plus a per-channel
    //    colour part.
    if (in.grainAmount != 0.0f && in.grainMap && in.grainCurve && in.grainWidth > 0 && in.grainHeight > 0) {
        // round(size * coordinate) of the texel centre x + 0.5, halves up.
        const float positionX = std::floor(float(x) + 0.5f + 0.5f);
        const float positionY = std::floor(float(y) + 0.5f + 0.5f);
        const float originX = glslMod(positionX + in.grainOffsetX, float(in.grainWidth));
        const float originY = glslMod(positionY + in.grainOffsetY, float(in.grainHeight));
        Rgb grain = sampleRect(in.grainMap, in.grainWidth, in.grainHeight, originX, originY);
        if (in.dyeGrainMix != 0.0f) {
            // The map's grain mixed with the dye layers' (in map units).
            const auto dye
                = DyeGrain::grainAt(positionX, positionY, in.dyeGrainSeed[0], in.dyeGrainSeed[1], in.dyeGrainCells);
            for (size_t c = 0; c < 3; ++c) {
                const float mapGrain = grain[c] - 0.5f;
                grain[c] = 0.5f + (mapGrain * (1.0f - in.dyeGrainMix) + dye[c] * in.dyeGrainScale * in.dyeGrainMix);
            }
        }

        Rgb response {};
        for (int c = 0; c < 3; ++c)
            response[size_t(c)] = sample1D(in.grainCurve, 256, 3, c, p[size_t(c)]);
        const float responseY = std::min({ response[0], response[1], response[2] }) * in.grainColorfulness;
        for (int c = 0; c < 3; ++c) {
            response[size_t(c)] -= responseY;
            grain[size_t(c)] = (grain[size_t(c)] - 0.5f) * in.grainAmount;
        }
        const float grainY = 0.299f * grain[0] + 0.587f * grain[1] + 0.114f * grain[2];

        float lumaY = 0.299f * p[0] + 0.587f * p[1] + 0.114f * p[2];
        const float u = -0.14713f * p[0] - 0.28886f * p[1] + 0.436f * p[2];
        const float v = 0.615f * p[0] - 0.51499f * p[1] - 0.10001f * p[2];
        lumaY = grainY * responseY + lumaY;
        p[0] = lumaY + 1.13983f * v;
        p[1] = lumaY - 0.39465f * u - 0.5806f * v;
        p[2] = lumaY + 2.03211f * u;
        for (int c = 0; c < 3; ++c)
            p[size_t(c)] = std::clamp(p[size_t(c)] + response[size_t(c)] * grain[size_t(c)], 0.0f, 1.0f);
    }

    // 4. Black and white.
    p = multiply(p, in.blackAndWhiteMatrix);

    // 5. Lift, gamma, gain: every channel through the red column.
    for (int c = 0; c < 3; ++c)
        p[size_t(c)] = sample1D(in.liftGammaGainTable, N, 1, 0, p[size_t(c)]);

    // 6. Colour wheels: each channel in its own column.
    for (int c = 0; c < 3; ++c)
        p[size_t(c)] = sample1D(in.wheelsTable, N, 3, c, p[size_t(c)]);

    // 7. Saturation.
    p = multiply(p, in.saturationMatrix);

    // 8. Levels.
    if (in.levelsEnabled) {
        for (int c = 0; c < 3; ++c)
            p[size_t(c)] = sample1D(in.levelsTable, N, 1, 0, p[size_t(c)]);
    }

    // 9. Output channel order.
    switch (in.colourOrder) {
    case 1:
        return { p[3], p[0], p[1], p[2] };
    case 2:
        return { p[2], p[1], p[0], p[3] };
    default:
        return p;
    }
}

void ReferenceGrade::gradeRgba(const float* src, float* dst, int width, int height, const ReferenceGradeInputs& inputs)
{
    std::vector<float> moved;
    if (inputs.weaveOffset[0] != 0.0f || inputs.weaveOffset[1] != 0.0f) {
        moved.resize(size_t(width) * size_t(height) * 4);
        FilmMotion::shiftPicture(src, moved.data(), width, height, inputs.weaveOffset);
        src = moved.data();
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t offset = (size_t(y) * size_t(width) + size_t(x)) * 4;
            const Rgba in = { src[offset], src[offset + 1], src[offset + 2], src[offset + 3] };
            const Rgba out = gradePixel(in, x, y, inputs);
            std::copy(out.begin(), out.end(), dst + offset);
        }
    }
}

void ReferenceGrade::gradeRgb(const float* src, float* dst, int width, int height, const ReferenceGradeInputs& inputs)
{
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t offset = (size_t(y) * size_t(width) + size_t(x)) * 3;
            const Rgba in = { src[offset], src[offset + 1], src[offset + 2], 1.0f };
            const Rgba out = gradePixel(in, x, y, inputs);
            std::copy(out.begin(), out.begin() + 3, dst + offset);
        }
    }
}

QImage ReferenceGrade::gradeImage(const QImage& image, const ReferenceGradeInputs& inputs)
{
    if (image.isNull())
        return QImage();
    QImage result = image.convertToFormat(QImage::Format_RGBA8888);
    for (int y = 0; y < result.height(); ++y) {
        uchar* line = result.scanLine(y);
        for (int x = 0; x < result.width(); ++x) {
            uchar* pixel = line + x * 4;
            const Rgba in = { pixel[0] / 255.0f, pixel[1] / 255.0f, pixel[2] / 255.0f, pixel[3] / 255.0f };
            const Rgba out = gradePixel(in, x, y, inputs);
            for (int c = 0; c < 4; ++c)
                pixel[c] = toUnorm8(out[size_t(c)]);
        }
    }
    return result;
}

ReferenceGrade::Rgb ReferenceGrade::yuy2PixelToRgb(
    uint8_t y0, uint8_t u, uint8_t y1, uint8_t v, bool odd, bool fullRange)
{
    const float luma = float(odd ? y1 : y0) - (fullRange ? 0.0f : 16.0f);
    const float cb = float(u) - 128.0f;
    const float cr = float(v) - 128.0f;
    float r;
    float g;
    float b;
    if (fullRange) {
        r = (256.0f * luma + 403.1488f * cr) / 256.0f;
        g = (256.0f * luma - 47.954944f * cb - 119.839744f * cr) / 256.0f;
        b = (256.0f * luma + 475.0336f * cb) / 256.0f;
    } else {
        r = (298.082f * luma + 458.942f * cr) / 256.0f;
        g = (298.082f * luma - 54.592f * cb - 136.425f * cr) / 256.0f;
        b = (298.082f * luma + 540.775f * cb) / 256.0f;
    }
    return { r / 255.0f, g / 255.0f, b / 255.0f };
}

std::array<float, 4> ReferenceGrade::rgbPairToYuy2(const Rgb& first, const Rgb& second, bool fullRange)
{
    const float r = first[0] * 255.0f;
    const float g = first[1] * 255.0f;
    const float b = first[2] * 255.0f;
    const float r1 = second[0] * 255.0f;
    const float g1 = second[1] * 255.0f;
    const float b1 = second[2] * 255.0f;
    if (fullRange) {
        return {
            (54.4256f * r + 183.0912f * g + 18.4832f * b) / 256.0f,
            128.0f + (-29.330432f * r - 98.669568f * g + 128.0f * b) / 256.0f,
            (54.4256f * r1 + 183.0912f * g1 + 18.4832f * b1) / 256.0f,
            128.0f + (128.0f * r - 116.263168f * g - 11.736832f * b) / 256.0f,
        };
    }
    return {
        16.0f + (46.742f * r + 157.243f * g + 15.874f * b) / 256.0f,
        128.0f + (-25.765f * r - 86.674f * g + 112.439f * b) / 256.0f,
        16.0f + (46.742f * r1 + 157.243f * g1 + 15.874f * b1) / 256.0f,
        128.0f + (112.439f * r - 102.129f * g - 10.310f * b) / 256.0f,
    };
}

bool ReferenceGrade::yuy2ToRgb(const uint8_t* yuy2, int width, int height, bool fullRange, float* rgb)
{
    if (!yuy2 || !rgb || width <= 0 || height <= 0 || width % 2 != 0)
        return false;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = yuy2 + size_t(y) * size_t(width) * 2;
        float* out = rgb + size_t(y) * size_t(width) * 3;
        for (int x = 0; x < width; ++x) {
            const uint8_t* texel = row + (x / 2) * 4;
            const Rgb pixel = yuy2PixelToRgb(texel[0], texel[1], texel[2], texel[3], x % 2 == 1, fullRange);
            std::copy(pixel.begin(), pixel.end(), out + x * 3);
        }
    }
    return true;
}

bool ReferenceGrade::rgbToYuy2(const float* rgb, int width, int height, bool fullRange, uint8_t* yuy2)
{
    if (!yuy2 || !rgb || width <= 0 || height <= 0 || width % 2 != 0)
        return false;
    for (int y = 0; y < height; ++y) {
        const float* row = rgb + size_t(y) * size_t(width) * 3;
        uint8_t* out = yuy2 + size_t(y) * size_t(width) * 2;
        for (int x = 0; x < width; x += 2) {
            const Rgb first = { row[x * 3], row[x * 3 + 1], row[x * 3 + 2] };
            const Rgb second = { row[x * 3 + 3], row[x * 3 + 4], row[x * 3 + 5] };
            const std::array<float, 4> packed = rgbPairToYuy2(first, second, fullRange);
            for (int c = 0; c < 4; ++c)
                out[x * 2 + c] = toUnorm8(packed[size_t(c)] / 255.0f);
        }
    }
    return true;
}

} // namespace Emulsa
