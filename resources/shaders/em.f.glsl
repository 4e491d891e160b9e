#version 400 core

// Grading program, fragment stage. A stage is neutral when its table, matrix
// or amount is neutral. The stock and grain stages are compiled in only when
// EM_STOCK and EM_GRAIN are 1 (the program's owner builds one program per
// set of stages a grade uses): a software rasteriser runs both sides of a
// branch on a uniform, so a stage switched off by its amount alone still costs
// its full price.
//
// The colour is carried as three channels: the matrices leave alpha alone
// (their fourth row and column are those of the identity), so alpha is the
// source's, or 1 once the stock is applied. A fourth channel through every
// stage only costs registers on a software rasteriser.

#ifndef EM_STOCK
#define EM_STOCK 1
#endif
#ifndef EM_GRAIN
#define EM_GRAIN 1
#endif
// The stock's amounts: the table's colour mixed with the exposed one, and the
// exposed lightness kept. Left out when both amounts are full: the colour is
// then the table's own.
#ifndef EM_STOCK_MIX
#define EM_STOCK_MIX 1
#endif
// The black-and-white matrix after the grain; left out for colour stocks.
#ifndef EM_MONO
#define EM_MONO 1
#endif
// The tone table; left out when lift/gamma/gain, the wheels and the levels it
// holds are neutral (it is then the identity to within its sampling).
#ifndef EM_TONE
#define EM_TONE 1
#endif
// The saturation matrix and the levels, after the tone table; left out when
// the saturation is neutral and the levels are folded into the tone table.
#ifndef EM_FINISH
#define EM_FINISH 1
#endif
// The picture on unit 0: 0 linear RGB floats; otherwise the packed YUY2
// frame, converted here with the colour converter's arithmetic: 1 limited,
// 2 full range at the pixel the coordinate falls in (a one-to-one pass);
// 3 limited, 4 full range filtered linearly (a scaled picture).
#ifndef EM_SOURCE
#define EM_SOURCE 0
#endif
// What the pass writes: 0 the graded RGB(A) picture, one pixel per fragment;
// otherwise the packed YUY2 frame the colour converter would make of that
// picture (1 limited, 2 full range): each fragment grades the two pixels of
// its packed texel, laid out as the converter's packing pass lays them out.
#ifndef EM_OUTPUT
#define EM_OUTPUT 0
#endif
// Gate weave: the picture read at a per-frame offset (uniWeaveOffset, in
// texture coordinates), filtered; left out when the weave is off.
#ifndef EM_WEAVE
#define EM_WEAVE 1
#endif
// Colour grain: the grain map's monochrome grain mixed with grain per dye
// layer (DyeGrain); left out when the colour grain or the grain is off.
#ifndef EM_DYE_GRAIN
#define EM_DYE_GRAIN 1
#endif
// Flicker: the picture entering the grade scaled per layer (uniFlickerGain);
// left out when the flicker is off.
#ifndef EM_FLICKER
#define EM_FLICKER 1
#endif

// Halation and bloom (GlowPass): the light over each glow's threshold taken
// from the picture and the glow's blurred level added, halation first; each
// left out when off.
#ifndef EM_HALATION
#define EM_HALATION 1
#endif
#ifndef EM_BLOOM
#define EM_BLOOM 1
#endif

in vec2 varTextCoordinate;

out vec4 fragColor;

uniform sampler2D uniFrameTextureArray;
uniform sampler2DRect uniGrainMapArray;
uniform sampler1DArray uniGrainCurveArray;
uniform sampler3D uniStockLUTArray;
uniform sampler1D uniHistogramArray;
uniform sampler1DArray uniExposureArray;
// Lift/gamma/gain, then the colour wheels (and the levels, when folded in):
// one table per channel, composed when any of them changes.
uniform sampler1DArray uniBallsArray;

uniform float uniGrainAmount;
uniform float uniGrainColorfulness;
uniform vec2 uniGrainOffset;
uniform int uniGrainSize[2];
uniform float uniStockLUTAmount;
uniform float uniStockCurveAmount;
uniform mat4 uniSaturation;
uniform mat4 uniBlackAndWhite;
uniform int uniHistogramNeeded;
#if EM_WEAVE
uniform vec2 uniWeaveOffset;
#endif
#if EM_FLICKER
uniform vec3 uniFlickerGain;
#endif
#if EM_DYE_GRAIN
// The colour grain's share, its strength in grain map units, its cell sizes
// (red, green, blue) in picture pixels, and the clip seed and frame.
uniform float uniDyeGrainMix;
uniform float uniDyeGrainScale;
uniform vec3 uniDyeGrainCell;
uniform uvec2 uniDyeGrainSeed;
#endif
#if EM_OUTPUT != 0
// The picture's coordinate at an output pixel centre c (in pixels, row 0 at
// the top): xy + zw * c / uniOutputSize, as the vertex array places it.
uniform vec4 uniOutputMapping;
uniform ivec2 uniOutputSize;
#endif

#if EM_HALATION || EM_BLOOM
// A glow's light taken and the scale from picture pixels to its level's
// texture coordinates (GlowPass::Composite).
struct Glow
{
    float threshold;
    vec3 strength;
    vec2 scale;
};
#endif
#if EM_HALATION
uniform Glow uniHalation;
uniform sampler2D uniHalationLevel;
#endif
#if EM_BLOOM
uniform Glow uniBloom;
uniform sampler2D uniBloomLevel;
#endif

#if EM_HALATION || EM_BLOOM
// The glows' blurred light at the point being graded (glowsAt()). The levels
// are smooth at the scale of a pixel: read once at the point, they stand for
// every source pixel the point is filtered from.
vec3 halationLight = vec3(0.0);
vec3 bloomLight = vec3(0.0);

void glowsAt(vec2 position)
{
#if EM_HALATION
    halationLight = texture(uniHalationLevel, position * uniHalation.scale).rgb;
#endif
#if EM_BLOOM
    bloomLight = texture(uniBloomLevel, position * uniBloom.scale).rgb;
#endif
}

vec3 taken(vec3 c, Glow glow)
{
    return max(c - vec3(glow.threshold), vec3(0.0)) * glow.strength;
}
#endif

// A source pixel with its glows: the light over each threshold taken, the
// glow's light added (halation first). Applied to each pixel before they are
// filtered, so that a picture finer than the output keeps its light.
vec3 withGlow(vec3 c)
{
#if EM_HALATION
    c += halationLight - taken(c, uniHalation);
#endif
#if EM_BLOOM
    c += bloomLight - taken(c, uniBloom);
#endif
    return c;
}

subroutine vec4 swapColor(vec4 color);

subroutine(swapColor) vec4 toRGBA(vec4 color)
{
    return color;
}

subroutine(swapColor) vec4 toBGRA(vec4 color)
{
    return color.bgra;
}

subroutine(swapColor) vec4 toARGB(vec4 color)
{
    return color.argb;
}

subroutine uniform swapColor colorSelection;

#if EM_SOURCE == 0
// The linear picture at the coordinate, filtered as its texture is set to
// filter; with a glow, each of the four pixels around the coordinate takes
// its glow before they are weighted as linear filtering weights them.
vec4 linearSource(vec2 coordinate)
{
#if EM_HALATION || EM_BLOOM
    ivec2 size = textureSize(uniFrameTextureArray, 0);
    vec2 position = vec2(size) * coordinate - 0.5;
    vec2 corner = floor(position);
    vec2 weight = position - corner;
    ivec2 first = ivec2(corner);
    vec4 c[4];
    for (int i = 0; i < 4; ++i) {
        c[i] = texelFetch(uniFrameTextureArray, clamp(first + ivec2(i & 1, i >> 1), ivec2(0), size - 1), 0);
        c[i].rgb = withGlow(c[i].rgb);
    }
    return mix(mix(c[0], c[1], weight.x), mix(c[2], c[3], weight.x), weight.y);
#else
    return texture(uniFrameTextureArray, coordinate);
#endif
}
#endif

#if EM_SOURCE != 0
#define PACKED_LIMITED (EM_SOURCE == 1 || EM_SOURCE == 3)
#include "packed.glsl"

vec3 framePixel(ivec2 pixel, ivec2 size)
{
    return withGlow(packedPixel(uniFrameTextureArray, pixel, size));
}

// The packed frame at the coordinate: the pixel it falls in (1, 2: the pass
// is one to one), or the four around it weighted as linear filtering with
// clamping to the edge weights them (3, 4: a scaled picture).
vec4 packedSource(vec2 coordinate)
{
    ivec2 size = textureSize(uniFrameTextureArray, 0);
    vec2 position = vec2(size) * coordinate;
#if EM_SOURCE <= 2 && !EM_WEAVE
    return vec4(framePixel(ivec2(floor(position)), size), 1.0);
#else
    vec2 corner = floor(position - 0.5);
    vec2 weight = position - 0.5 - corner;
    ivec2 first = ivec2(corner);
    vec3 top = mix(framePixel(first, size), framePixel(first + ivec2(1, 0), size), weight.x);
    vec3 bottom = mix(framePixel(first + ivec2(0, 1), size), framePixel(first + ivec2(1, 1), size), weight.x);
    return vec4(mix(top, bottom, weight.y), 1.0);
#endif
}
#endif

// Lightness of HSL: the mean of the largest and smallest channel.
float lightness(vec3 c)
{
    return (max(max(c.r, c.g), c.b) + min(min(c.r, c.g), c.b)) / 2.0;
}

vec3 applyExposure(vec3 p)
{
    return vec3(texture(uniExposureArray, vec2(p.r, 0.0)).r, texture(uniExposureArray, vec2(p.g, 1.0)).r,
        texture(uniExposureArray, vec2(p.b, 2.0)).r);
}

vec3 applyStock(vec3 p)
{
#if EM_STOCK_MIX
    if (uniStockLUTAmount == 0.0)
        return p;
    vec3 lut = texture(uniStockLUTArray, p).rgb;
    vec3 c = p + (lut - p) * uniStockLUTAmount;
    // The stock's colour with its own lightness is c itself (HSL to RGB
    // undoes RGB to HSL). With the lightness of p instead, HSL to RGB keeps
    // each channel's place between the channels' mean and the extremes and
    // scales it by the chroma the new lightness allows:
    //   kept = Lp + (c - Lc) * (1 - |2 Lp - 1|) / (1 - |2 Lc - 1|),
    // grey (Lp) when c is grey (or out of range with no room for chroma).
    float lc = lightness(c);
    float lp = lightness(p);
    float spread = max(max(c.r, c.g), c.b) - min(min(c.r, c.g), c.b);
    float room = 1.0 - abs(2.0 * lc - 1.0);
    float ratio = spread > 0.0 && room > 0.0 ? (1.0 - abs(2.0 * lp - 1.0)) / room : 0.0;
    vec3 kept = vec3(lp) + (c - vec3(lc)) * ratio;
    return mix(kept, c, uniStockCurveAmount);
#else
    return texture(uniStockLUTArray, p).rgb;
#endif
}

// Where the grain map is read for the picture pixel a coordinate falls in:
// the pixel's centre rounded up (pixel + 1). Texel centres land on x.5; the
// small bias makes those halves round up whatever the interpolation error of
// the coordinate.
vec2 grainPosition(vec2 coordinate)
{
    return floor(vec2(textureSize(uniFrameTextureArray, 0)) * coordinate + 0.5 + 1.0 / 256.0);
}

#if EM_DYE_GRAIN
uint dyeMix(uint h)
{
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

float dyeCell(ivec2 cell, uint stream)
{
    uint h = dyeMix(uniDyeGrainSeed.x ^ dyeMix(uniDyeGrainSeed.y + 0x9e3779b9u * stream));
    h = dyeMix(h ^ uint(cell.x));
    h = dyeMix(h ^ uint(cell.y));
    return float(h >> 8) * (2.0 / 16777216.0) - 1.0;
}

float dyeOctave(vec2 p, uint stream)
{
    vec2 corner = floor(p);
    vec2 t = p - corner;
    vec2 w = t * t * (3.0 - 2.0 * t);
    ivec2 c = ivec2(corner);
    float a = dyeCell(c, stream);
    float b = dyeCell(c + ivec2(1, 0), stream);
    float d0 = dyeCell(c + ivec2(0, 1), stream);
    float d1 = dyeCell(c + ivec2(1, 1), stream);
    float top = a + (b - a) * w.x;
    float bottom = d0 + (d1 - d0) * w.x;
    return top + (bottom - top) * w.y;
}

float dyeField(vec2 p, uint stream)
{
    return (1.0 / 0.4795124) * (dyeOctave(p, stream) + 0.5 * dyeOctave(2.0 * p, stream + 8u));
}

// Grain of the three dye layers at a picture position, RMS about 1 each.
vec3 dyeGrain(vec2 position)
{
    float shared = dyeField(position / uniDyeGrainCell.g, 3u);
    return 0.8062258 * vec3(dyeField(position / uniDyeGrainCell.r, 0u), dyeField(position / uniDyeGrainCell.g, 1u),
               dyeField(position / uniDyeGrainCell.b, 2u))
        + 0.5916080 * shared;
}
#endif

vec3 applyGrain(vec3 p, vec2 position)
{
    if (uniGrainAmount == 0.0)
        return p;
    vec2 origin = position + uniGrainOffset;
    origin.x = mod(origin.x, float(uniGrainSize[0]));
    origin.y = mod(origin.y, float(uniGrainSize[1]));
    // The map holds bytes: 128 is no grain, 112 levels one unit.
    vec3 g = (texture(uniGrainMapArray, origin).rgb - vec3(128.0 / 255.0)) * (255.0 / 112.0);
#if EM_DYE_GRAIN
    g = mix(g, dyeGrain(position) * uniDyeGrainScale, uniDyeGrainMix);
#endif

    vec3 sigma = vec3(texture(uniGrainCurveArray, vec2(p.r, 0.0)).r, texture(uniGrainCurveArray, vec2(p.g, 1.0)).r,
        texture(uniGrainCurveArray, vec2(p.b, 2.0)).r);
    float sigmaY = min(min(sigma.r, sigma.g), sigma.b) * uniGrainColorfulness;
    sigma -= vec3(sigmaY);

    g *= uniGrainAmount;
    float gY = 0.299 * g.r + 0.587 * g.g + 0.114 * g.b;

    float y = 0.299 * p.r + 0.587 * p.g + 0.114 * p.b;
    float u = -0.14713 * p.r - 0.28886 * p.g + 0.436 * p.b;
    float v = 0.615 * p.r - 0.51499 * p.g - 0.10001 * p.b;
    y = gY * sigmaY + y;

    vec3 rgb = vec3(y + 1.13983 * v, y - 0.39465 * u - 0.5806 * v, y + 2.03211 * u);
    rgb += sigma * g;
    return clamp(rgb, 0.0, 1.0);
}

vec3 applyTone(vec3 p)
{
    return vec3(texture(uniBallsArray, vec2(p.r, 0.0)).r, texture(uniBallsArray, vec2(p.g, 1.0)).r,
        texture(uniBallsArray, vec2(p.b, 2.0)).r);
}

vec3 applyLevels(vec3 p)
{
    if (uniHistogramNeeded <= 0)
        return p;
    return vec3(texture(uniHistogramArray, p.r).r, texture(uniHistogramArray, p.g).r,
        texture(uniHistogramArray, p.b).r);
}

// The graded colour of a source colour, its grain read at `grainAt` (see
// grainPosition()).
vec4 gradeColour(vec4 source, vec2 grainAt)
{
#if EM_FLICKER
    source.rgb *= uniFlickerGain;
#endif
    vec3 p = applyExposure(source.rgb);
#if EM_STOCK
    p = applyStock(p);
#endif
#if EM_GRAIN
    p = applyGrain(p, grainAt);
#endif
#if EM_MONO
    p = p * mat3(uniBlackAndWhite);
#endif
#if EM_TONE
    p = applyTone(p);
#endif
#if EM_FINISH
    p = p * mat3(uniSaturation);
    p = applyLevels(p);
#endif
    return vec4(p, uniStockLUTAmount == 0.0 ? source.a : 1.0);
}

// The graded pixel at a coordinate of the picture. The grain stays where the
// pixel is when the picture weaves.
vec4 gradeAt(vec2 coordinate)
{
    vec2 grainAt = grainPosition(coordinate);
#if EM_WEAVE
    coordinate += uniWeaveOffset;
#endif
#if EM_HALATION || EM_BLOOM
    glowsAt(coordinate * vec2(textureSize(uniFrameTextureArray, 0)));
#endif
#if EM_SOURCE == 0
    return gradeColour(linearSource(coordinate), grainAt);
#else
    return gradeColour(packedSource(coordinate), grainAt);
#endif
}

#if EM_OUTPUT != 0
vec2 outputCoordinate(ivec2 pixel)
{
    return uniOutputMapping.xy + uniOutputMapping.zw * (vec2(pixel) + 0.5) / vec2(uniOutputSize);
}
#endif

void main()
{
#if EM_OUTPUT == 0
    fragColor = colorSelection(gradeAt(varTextCoordinate));
#else
    // Target texel (x, y) of the top rows holds output row 2y in its left
    // half and row 2y + 1 in its right half, two pixels per texel.
    ivec2 target = ivec2(gl_FragCoord.xy);
    int halfWidth = uniOutputSize.x / 2;
    bool right = target.x >= halfWidth;
    ivec2 pixel = ivec2(2 * (right ? target.x - halfWidth : target.x), 2 * target.y + (right ? 1 : 0));
#if (EM_SOURCE == 1 || EM_SOURCE == 2) && !EM_WEAVE
    // One to one: the two pixels are those of one packed source texel (the
    // row below an odd frame's last reads the last again), and the picture
    // pixel is the output's, so its grain position is pixel + 1.
    vec4 pair = packedTexel(uniFrameTextureArray, clamp(pixel, ivec2(0), textureSize(uniFrameTextureArray, 0) - 1));
    float chromaU = pair.g - 128.0;
    float chromaV = pair.a - 128.0;
    vec2 grainAt = vec2(pixel + 1);
#if EM_HALATION || EM_BLOOM
    glowsAt(vec2(pixel) + 0.5);
#endif
    vec3 first = gradeColour(vec4(withGlow(packedRGB(pair.r, chromaU, chromaV)), 1.0), grainAt).rgb * 255.0;
#if EM_HALATION || EM_BLOOM
    glowsAt(vec2(pixel) + vec2(1.5, 0.5));
#endif
    vec3 second
        = gradeColour(vec4(withGlow(packedRGB(pair.b, chromaU, chromaV)), 1.0), grainAt + vec2(1.0, 0.0)).rgb * 255.0;
#else
    vec3 first = gradeAt(outputCoordinate(pixel)).rgb * 255.0;
    vec3 second = gradeAt(outputCoordinate(pixel + ivec2(1, 0))).rgb * 255.0;
#endif
#if EM_OUTPUT == 1
    float y0 = 16.0 + (46.742 * first.r + 157.243 * first.g + 15.874 * first.b) / 256.0;
    float u = 128.0 + (-25.765 * first.r - 86.674 * first.g + 112.439 * first.b) / 256.0;
    float v = 128.0 + (112.439 * first.r - 102.129 * first.g - 10.310 * first.b) / 256.0;
    float y1 = 16.0 + (46.742 * second.r + 157.243 * second.g + 15.874 * second.b) / 256.0;
#else
    float y0 = (54.4256 * first.r + 183.0912 * first.g + 18.4832 * first.b) / 256.0;
    float u = 128.0 + (-29.330432 * first.r - 98.669568 * first.g + 128.0 * first.b) / 256.0;
    float v = 128.0 + (128.0 * first.r - 116.263168 * first.g - 11.736832 * first.b) / 256.0;
    float y1 = (54.4256 * second.r + 183.0912 * second.g + 18.4832 * second.b) / 256.0;
#endif
    // The packed picture is always in (Y0, U, Y1, V) order.
    fragColor = colorSelection(vec4(y0, u, y1, v) / 255.0);
#endif
}
