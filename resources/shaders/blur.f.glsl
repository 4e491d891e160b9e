#version 400 core

// Blur program, fragment stage: one direction of a separable 9-tap Gaussian.
// Each outer tap sits between two texels so bilinear sampling weighs both.

in vec2 varTextCoordinate;

out vec4 fragColor;

uniform sampler2D uniVideoFrame;
uniform float uniBlurOffset[2];
uniform float uniBlurWeight[3];

subroutine vec4 blur(vec2 coordinate);

subroutine uniform blur applyBlur;

vec4 blurAlong(vec2 coordinate, vec2 step)
{
    vec4 value = texture(uniVideoFrame, coordinate) * uniBlurWeight[0];
    for (int i = 1; i < 3; ++i) {
        vec2 d = step * uniBlurOffset[i - 1];
        value += (texture(uniVideoFrame, coordinate + d) + texture(uniVideoFrame, coordinate - d)) * uniBlurWeight[i];
    }
    return value;
}

subroutine(blur) vec4 horizontalBlur(vec2 coordinate)
{
    return blurAlong(coordinate, vec2(1.0 / float(textureSize(uniVideoFrame, 0).x), 0.0));
}

subroutine(blur) vec4 verticalBlur(vec2 coordinate)
{
    return blurAlong(coordinate, vec2(0.0, 1.0 / float(textureSize(uniVideoFrame, 0).y)));
}

void main()
{
    fragColor = applyBlur(varTextCoordinate);
}
