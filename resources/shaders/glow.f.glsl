#version 400 core

// Glow programs (halation, bloom), fragment stage: the glow's level and its
// blur, at the level's reduced size. The grading program gives the picture
// its glow (GLOW in em.f.glsl), so no full-size picture is drawn here. Every
// step addresses whole texels by the fragment's position, so the target's
// pixel (x, y) is the level's texel (x, y). Each step is a program of its own
// with its sizes compiled in, so that its loops unroll:
//  GLOW_LEVEL 1: the light taken (the excess over the threshold times the
//     strength), shared among the glow's channels by uniMix, averaged over a
//     block of GLOW_FACTOR x GLOW_FACTOR pixels of the picture (the level).
//     With GLOW_EARLIER 1 an earlier glow comes first, and the light is taken
//     from the picture that glow makes;
//  GLOW_LEVEL 0: the level blurred along uniDirection by the taps uniWeights
//     0 .. GLOW_RADIUS, per channel.
//
// GLOW_SOURCE says what unit 0 holds: 0 RGB floats; 1 the packed YUY2 frame,
// limited range; 2 the same, full range.

#ifndef GLOW_LEVEL
#define GLOW_LEVEL 1
#endif
#ifndef GLOW_SOURCE
#define GLOW_SOURCE 0
#endif
#ifndef GLOW_FACTOR
#define GLOW_FACTOR 1
#endif
#ifndef GLOW_EARLIER
#define GLOW_EARLIER 0
#endif
#ifndef GLOW_RADIUS
#define GLOW_RADIUS 0
#endif

in vec2 varTextCoordinate;

out vec4 fragColor;

#if GLOW_LEVEL

uniform sampler2D uniPicture;
uniform float uniThreshold;
uniform vec3 uniStrength;
uniform mat3 uniMix;
#if GLOW_EARLIER
// The earlier glow: its blurred level (filtered), threshold and strength, and
// the scale from picture pixels to its level's coordinates.
uniform sampler2D uniEarlierLevel;
uniform float uniEarlierThreshold;
uniform vec3 uniEarlierStrength;
uniform vec2 uniEarlierScale;
#endif

#if GLOW_SOURCE != 0
#define PACKED_LIMITED (GLOW_SOURCE == 1)
#include "packed.glsl"
#endif

vec3 takenFrom(vec3 c, float threshold, vec3 strength)
{
    return max(c - vec3(threshold), vec3(0.0)) * strength;
}

// The light this glow takes from pixel `p` (inside the picture) of colour c.
vec3 lightOf(vec3 c, ivec2 p)
{
#if GLOW_EARLIER
    c += texture(uniEarlierLevel, (vec2(p) + 0.5) * uniEarlierScale).rgb
        - takenFrom(c, uniEarlierThreshold, uniEarlierStrength);
#endif
    return takenFrom(c, uniThreshold, uniStrength);
}

void main()
{
    // The coordinate lies in 0 .. 1: this keeps it (and its attribute) in the program.
    if (varTextCoordinate.x < -1.0)
        discard;
    // The packed frame's texture is as wide as the picture.
    ivec2 last = textureSize(uniPicture, 0) - 1;
    ivec2 origin = ivec2(gl_FragCoord.xy) * GLOW_FACTOR;
    vec3 sum = vec3(0.0);
#if GLOW_SOURCE != 0 && GLOW_FACTOR % 2 == 0
    // The block starts at an even pixel: each packed texel it covers holds
    // two of its pixels and is read once (at the right edge both may be the
    // last pixel).
    for (int b = 0; b < GLOW_FACTOR; ++b) {
        int y = min(origin.y + b, last.y);
        for (int a = 0; a < GLOW_FACTOR; a += 2) {
            int x0 = min(origin.x + a, last.x);
            int x1 = min(origin.x + a + 1, last.x);
            vec4 pair = packedTexel(uniPicture, ivec2(x0, y));
            float u = pair.g - 128.0;
            float v = pair.a - 128.0;
            sum += lightOf(packedRGB((x0 & 1) == 1 ? pair.b : pair.r, u, v), ivec2(x0, y));
            sum += lightOf(packedRGB((x1 & 1) == 1 ? pair.b : pair.r, u, v), ivec2(x1, y));
        }
    }
#else
    for (int b = 0; b < GLOW_FACTOR; ++b)
        for (int a = 0; a < GLOW_FACTOR; ++a) {
            ivec2 p = min(origin + ivec2(a, b), last);
#if GLOW_SOURCE == 0
            sum += lightOf(texelFetch(uniPicture, p, 0).rgb, p);
#else
            sum += lightOf(packedPixel(uniPicture, p, last + 1), p);
#endif
        }
#endif
    fragColor = vec4(uniMix * sum * (1.0 / float(GLOW_FACTOR * GLOW_FACTOR)), 1.0);
}

#else

uniform sampler2D uniLevel;
uniform ivec2 uniDirection;
uniform vec3 uniWeights[GLOW_RADIUS + 1];

void main()
{
    if (varTextCoordinate.x < -1.0)
        discard;
    ivec2 here = ivec2(gl_FragCoord.xy);
    ivec2 last = textureSize(uniLevel, 0) - 1;
    vec3 sum = uniWeights[0] * texelFetch(uniLevel, here, 0).rgb;
    for (int k = 1; k <= GLOW_RADIUS; ++k) {
        ivec2 step = uniDirection * k;
        sum += uniWeights[k]
            * (texelFetch(uniLevel, max(here - step, ivec2(0)), 0).rgb + texelFetch(uniLevel, min(here + step, last), 0).rgb);
    }
    fragColor = vec4(sum, 1.0);
}

#endif
