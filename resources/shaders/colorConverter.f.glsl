#version 400 core

// Colour-converter program, fragment stage: packed YUY2 to RGB and back, in
// the limited (video) and full ranges of Rec. 709.
//
// A packed W x H YUY2 frame lives in the left half of a W x H RGBA8 texture,
// each texel holding (Y0, U, Y1, V) of two neighbouring pixels. The packing
// passes render into a W x H RGBA8 target whose top H/2 rows hold the YUY2
// frame, two source rows side by side per target row; the rest is zero.

in vec2 varTextCoordinate;

out vec4 fragColor;

uniform sampler2D uniTextureArray;

subroutine vec4 colourConverter(vec2 coordinate);

subroutine uniform colourConverter convertColour;

// The packed texel of the pixel at the coordinate, scaled to 0..255, and
// whether the pixel is the second of its pair.
vec4 packedTexel(vec2 coordinate, out float odd)
{
    vec2 size = vec2(textureSize(uniTextureArray, 0));
    odd = floor(mod(size.x * coordinate.x, 2.0));
    ivec2 texel = ivec2(floor(vec2(size.x * coordinate.x * 0.5, size.y * coordinate.y)));
    return texelFetch(uniTextureArray, texel, 0) * 255.0;
}

// RGB (0..1, opaque) of the pixel at the coordinate: its luma less `black`,
// scaled by `luma`, and its centred chroma weighted as `chroma` says (red
// from V, green from U, green from V, blue from U), all in 256ths.
vec4 rgbOfPackedPixel(vec2 coordinate, float black, float luma, vec4 chroma)
{
    float odd;
    vec4 texel = packedTexel(coordinate, odd);
    float y = (odd > 0.0 ? texel.b : texel.r) - black;
    float u = texel.g - 128.0;
    float v = texel.a - 128.0;
    float r = (luma * y + chroma.x * v) / 256.0;
    float g = (luma * y - chroma.y * u - chroma.z * v) / 256.0;
    float b = (luma * y + chroma.w * u) / 256.0;
    return vec4(r, g, b, 255.0) / 255.0;
}

subroutine(colourConverter) vec4 convertLimitedYUY2toComputerRGB(vec2 coordinate)
{
    return rgbOfPackedPixel(coordinate, 16.0, 298.082, vec4(458.942, 54.592, 136.425, 540.775));
}

subroutine(colourConverter) vec4 convertFullYUY2toComputerRGB(vec2 coordinate)
{
    return rgbOfPackedPixel(coordinate, 0.0, 256.0, vec4(403.1488, 47.954944, 119.839744, 475.0336));
}

// The two source pixels packed into the output pixel at the coordinate,
// scaled to 0..255. Returns false for the unused bottom half of the target.
bool sourcePair(vec2 coordinate, out vec3 first, out vec3 second)
{
    vec2 size = vec2(textureSize(uniTextureArray, 0));
    float x = size.x * coordinate.x - 0.25;
    float y = size.y * coordinate.y - 0.25;
    if (2.0 * y >= size.y)
        return false;
    vec2 pixel = 2.0 * x < size.x ? vec2(2.0 * x, 2.0 * y) : vec2(2.0 * x - size.x, 2.0 * y + 1.0);
    ivec2 texel = ivec2(floor(pixel));
    first = texelFetch(uniTextureArray, texel, 0).rgb * 255.0;
    second = texelFetch(uniTextureArray, texel + ivec2(1, 0), 0).rgb * 255.0;
    return true;
}

subroutine(colourConverter) vec4 convertComputerRGBToLimitedYUY2(vec2 coordinate)
{
    vec3 first;
    vec3 second;
    if (!sourcePair(coordinate, first, second))
        return vec4(0.0);
    float y0 = 16.0 + (46.742 * first.r + 157.243 * first.g + 15.874 * first.b) / 256.0;
    float u = 128.0 + (-25.765 * first.r - 86.674 * first.g + 112.439 * first.b) / 256.0;
    float v = 128.0 + (112.439 * first.r - 102.129 * first.g - 10.310 * first.b) / 256.0;
    float y1 = 16.0 + (46.742 * second.r + 157.243 * second.g + 15.874 * second.b) / 256.0;
    return vec4(y0, u, y1, v) / 255.0;
}

subroutine(colourConverter) vec4 convertComputerRGBToFullYUY2(vec2 coordinate)
{
    vec3 first;
    vec3 second;
    if (!sourcePair(coordinate, first, second))
        return vec4(0.0);
    float y0 = (54.4256 * first.r + 183.0912 * first.g + 18.4832 * first.b) / 256.0;
    float u = 128.0 + (-29.330432 * first.r - 98.669568 * first.g + 128.0 * first.b) / 256.0;
    float v = 128.0 + (128.0 * first.r - 116.263168 * first.g - 11.736832 * first.b) / 256.0;
    float y1 = (54.4256 * second.r + 183.0912 * second.g + 18.4832 * second.b) / 256.0;
    return vec4(y0, u, y1, v) / 255.0;
}

void main()
{
    fragColor = convertColour(varTextCoordinate);
}
