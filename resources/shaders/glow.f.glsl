#version 400 core

// Glow program (halation, bloom), fragment stage. Every step addresses whole
// texels by the fragment's position, so the target's pixel (x, y) is the
// source's texel (x, y):
//  0: the light taken (the excess over the threshold times the strength),
//     shared among the glow's channels by uniMix, averaged over a block of
//     uniFactor x uniFactor texels of the picture (the level);
//  1, 2: the level blurred horizontally, then vertically, per channel;
//  3: the picture less the light taken, plus the blurred level sampled
//     bilinearly (level texel i centred on picture pixel (i + 0.5) * factor).

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

vec3 takenAt(ivec2 p)
{
    return max(texelFetch(uniPicture, p, 0).rgb - vec3(uniThreshold), vec3(0.0)) * uniStrength;
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
        ivec2 last = textureSize(uniPicture, 0) - 1;
        vec3 sum = vec3(0.0);
        for (int b = 0; b < uniFactor; ++b)
            for (int a = 0; a < uniFactor; ++a)
                sum += takenAt(min(here * uniFactor + ivec2(a, b), last));
        fragColor = vec4(uniMix * sum / float(uniFactor * uniFactor), 1.0);
    } else if (uniStep == 1 || uniStep == 2) {
        ivec2 step = uniStep == 1 ? ivec2(1, 0) : ivec2(0, 1);
        vec3 sum = uniWeights[0] * levelAt(here);
        for (int k = 1; k <= uniRadius; ++k)
            sum += uniWeights[k] * (levelAt(here - step * k) + levelAt(here + step * k));
        fragColor = vec4(sum, 1.0);
    } else {
        vec2 at = (vec2(here) + 0.5) / float(uniFactor) - 0.5;
        ivec2 low = ivec2(floor(at));
        vec2 f = at - vec2(low);
        vec3 top = mix(levelAt(low), levelAt(low + ivec2(1, 0)), f.x);
        vec3 bottom = mix(levelAt(low + ivec2(0, 1)), levelAt(low + ivec2(1, 1)), f.x);
        vec4 picture = texelFetch(uniPicture, here, 0);
        fragColor = vec4(picture.rgb - takenAt(here) + mix(top, bottom, f.y), picture.a);
    }
}
