// The packed YUY2 frame: texel (x, y) of a texture as wide as the picture
// holds pixels 2x and 2x + 1 of row y as (Y0, U, Y1, V) in its left half.
// Converted with the colour converter's arithmetic: limited range when
// PACKED_LIMITED is 1, full range otherwise. Shared by the programs that read
// the frame as it was uploaded.

// One luma value of a packed texel (scaled to 0..255) with the texel's
// chroma, in RGB.
vec3 packedRGB(float y, float u, float v)
{
#if PACKED_LIMITED
    y -= 16.0;
    float r = (298.082 * y + 458.942 * v) / 256.0;
    float g = (298.082 * y - 54.592 * u - 136.425 * v) / 256.0;
    float b = (298.082 * y + 540.775 * u) / 256.0;
#else
    float r = (256.0 * y + 403.1488 * v) / 256.0;
    float g = (256.0 * y - 47.954944 * u - 119.839744 * v) / 256.0;
    float b = (256.0 * y + 475.0336 * u) / 256.0;
#endif
    return vec3(r, g, b) / 255.0;
}

// The packed texel holding `pixel` (inside the frame), scaled to 0..255.
vec4 packedTexel(sampler2D frame, ivec2 pixel)
{
    return texelFetch(frame, ivec2(pixel.x / 2, pixel.y), 0) * 255.0;
}

// The pixel at `pixel` (clamped to the frame of `size`) in RGB.
vec3 packedPixel(sampler2D frame, ivec2 pixel, ivec2 size)
{
    pixel = clamp(pixel, ivec2(0), size - 1);
    vec4 pair = packedTexel(frame, pixel);
    bool odd = (pixel.x & 1) == 1;
    return packedRGB(odd ? pair.b : pair.r, pair.g - 128.0, pair.a - 128.0);
}
