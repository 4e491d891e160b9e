#version 400 core

// Glow program (halation, bloom), fragment stage: the glow's level and its
// blur, at the level's reduced size. The grading program gives the picture
// its glow (GLOW in em.f.glsl), so no full-size picture is drawn here. Every
// step addresses whole texels by the fragment's position, so the target's
// pixel (x, y) is the level's texel (x, y):
//  0: the light taken (the excess over the threshold times the strength),
//     shared among the glow's channels by uniMix, averaged over a block of
//     uniFactor x uniFactor pixels of the picture (the level). When an
//     earlier glow comes first (uniEarlier), the light is taken from the
//     picture that glow makes;
//  1, 2: the level blurred horizontally, then vertically, per channel.
//
// GLOW_SOURCE says what unit 0 holds: 0 RGB floats; 1 the packed YUY2 frame,
// limited range; 2 the same, full range.

#ifndef GLOW_SOURCE
#define GLOW_SOURCE 0
#endif

in vec2 varTextCoordinate;

out vec4 fragColor;

uniform sampler2D uniPicture;
uniform sampler2D uniLevel;
uniform int uniStep;
uniform int uniFactor;
uniform int uniRadius;
uniform float uniThreshold;
uniform vec3 uniStrength;
uniform mat3 uniMix;
uniform vec3 uniWeights[13];
// The earlier glow: its blurred level (filtered), threshold and strength, and
// the scale from picture pixels to its level's coordinates.
uniform bool uniEarlier;
uniform sampler2D uniEarlierLevel;
uniform float uniEarlierThreshold;
uniform vec3 uniEarlierStrength;
uniform vec2 uniEarlierScale;

#if GLOW_SOURCE != 0
#define PACKED_LIMITED (GLOW_SOURCE == 1)
#include "packed.glsl"
#endif

vec3 pictureAt(ivec2 p, ivec2 size)
{
#if GLOW_SOURCE == 0
    return texelFetch(uniPicture, min(p, size - 1), 0).rgb;
#else
    return packedPixel(uniPicture, p, size);
#endif
}

vec3 takenFrom(vec3 c, float threshold, vec3 strength)
{
    return max(c - vec3(threshold), vec3(0.0)) * strength;
}

vec3 levelAt(ivec2 p)
{
    return texelFetch(uniLevel, clamp(p, ivec2(0), textureSize(uniLevel, 0) - 1), 0).rgb;
}

void main()
{
    // The coordinate lies in 0 .. 1: this keeps it (and its attribute) in the program.
    if (varTextCoordinate.x < -1.0)
        discard;
    ivec2 here = ivec2(gl_FragCoord.xy);
    if (uniStep == 0) {
        // The packed frame's texture is as wide as the picture.
        ivec2 size = textureSize(uniPicture, 0);
        vec3 sum = vec3(0.0);
        for (int b = 0; b < uniFactor; ++b)
            for (int a = 0; a < uniFactor; ++a) {
                ivec2 p = min(here * uniFactor + ivec2(a, b), size - 1);
                vec3 c = pictureAt(p, size);
                if (uniEarlier)
                    c += texture(uniEarlierLevel, (vec2(p) + 0.5) * uniEarlierScale).rgb
                        - takenFrom(c, uniEarlierThreshold, uniEarlierStrength);
                sum += takenFrom(c, uniThreshold, uniStrength);
            }
        fragColor = vec4(uniMix * sum / float(uniFactor * uniFactor), 1.0);
    } else {
        ivec2 step = uniStep == 1 ? ivec2(1, 0) : ivec2(0, 1);
        vec3 sum = uniWeights[0] * levelAt(here);
        for (int k = 1; k <= uniRadius; ++k)
            sum += uniWeights[k] * (levelAt(here - step * k) + levelAt(here + step * k));
        fragColor = vec4(sum, 1.0);
    }
}
