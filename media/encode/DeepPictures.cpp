#include "media/encode/DeepPictures.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace Emulsa::DeepPictures {

// Full-range 16-bit RGB (four samples a pixel, rows `rowSamples` apart) to
// limited-range 10-bit BT.709 YUV planes: Y' = 64 + 876 x luma, Cb and Cr =
// 512 + 896 x the colour differences, chroma from the mean of the pixels it
// covers (two across for 4:2:2, two by two for 4:2:0).
void toLimitedYuv10(const quint16* rgba, int rowSamples, AVFrame* frame)
{
    constexpr float kr = 0.2126f;
    constexpr float kb = 0.0722f;
    constexpr float kg = 1.0f - kr - kb;
    constexpr float unit = 1.0f / 65535.0f;
    const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
    const int shiftX = layout->log2_chroma_w;
    const int shiftY = layout->log2_chroma_h;
    const int width = frame->width;
    const int height = frame->height;
    auto code = [](float value) { return quint16(std::clamp(std::lround(value), 0L, 1023L)); };
    for (int y = 0; y < height; ++y) {
        const quint16* in = rgba + size_t(y) * rowSamples;
        auto* out = reinterpret_cast<quint16*>(frame->data[0] + size_t(y) * frame->linesize[0]);
        for (int x = 0; x < width; ++x, in += 4)
            out[x] = code(64.0f + 876.0f * unit * (kr * in[0] + kg * in[1] + kb * in[2]));
    }
    const int chromaWidth = (width + (1 << shiftX) - 1) >> shiftX;
    const int chromaHeight = (height + (1 << shiftY) - 1) >> shiftY;
    for (int cy = 0; cy < chromaHeight; ++cy) {
        auto* cb = reinterpret_cast<quint16*>(frame->data[1] + size_t(cy) * frame->linesize[1]);
        auto* cr = reinterpret_cast<quint16*>(frame->data[2] + size_t(cy) * frame->linesize[2]);
        const int top = cy << shiftY;
        const int bottom = std::min(height, top + (1 << shiftY));
        for (int cx = 0; cx < chromaWidth; ++cx) {
            const int left = cx << shiftX;
            const int right = std::min(width, left + (1 << shiftX));
            float r = 0.0f;
            float g = 0.0f;
            float b = 0.0f;
            for (int y = top; y < bottom; ++y)
                for (const quint16* p = rgba + size_t(y) * rowSamples + size_t(left) * 4;
                     p < rgba + size_t(y) * rowSamples + size_t(right) * 4; p += 4) {
                    r += p[0];
                    g += p[1];
                    b += p[2];
                }
            const float scale = unit / float((bottom - top) * (right - left));
            r *= scale;
            g *= scale;
            b *= scale;
            const float luma = kr * r + kg * g + kb * b;
            cb[cx] = code(512.0f + 896.0f * (b - luma) / (2.0f * (1.0f - kb)));
            cr[cx] = code(512.0f + 896.0f * (r - luma) / (2.0f * (1.0f - kr)));
        }
    }
}

// Packed 4:2:2 samples of 16 bits on the 8-bit video scale (level L at
// L / 255 of 65535) to 10-bit planes: code = L x 4, so 235 becomes 940.
void packed16ToYuv10(const quint16* packed, int rowSamples, AVFrame* frame)
{
    auto code = [](quint32 sample) { return quint16(std::min<quint32>(1023, (sample * 1020 + 32767) / 65535)); };
    const bool halfHeight = av_pix_fmt_desc_get(AVPixelFormat(frame->format))->log2_chroma_h > 0;
    const int pairs = frame->width / 2;
    for (int y = 0; y < frame->height; ++y) {
        const quint16* in = packed + size_t(y) * rowSamples;
        auto* luma = reinterpret_cast<quint16*>(frame->data[0] + size_t(y) * frame->linesize[0]);
        for (int i = 0; i < pairs; ++i) {
            luma[2 * i] = code(in[4 * i]);
            luma[2 * i + 1] = code(in[4 * i + 2]);
        }
        if (halfHeight && y % 2 == 1)
            continue;
        const int chromaRow = halfHeight ? y / 2 : y;
        auto* cb = reinterpret_cast<quint16*>(frame->data[1] + size_t(chromaRow) * frame->linesize[1]);
        auto* cr = reinterpret_cast<quint16*>(frame->data[2] + size_t(chromaRow) * frame->linesize[2]);
        const quint16* below = halfHeight && y + 1 < frame->height ? in + rowSamples : in;
        for (int i = 0; i < pairs; ++i) {
            cb[i] = code((quint32(in[4 * i + 1]) + below[4 * i + 1] + 1) / 2);
            cr[i] = code((quint32(in[4 * i + 3]) + below[4 * i + 3] + 1) / 2);
        }
    }
}

} // namespace Emulsa::DeepPictures
