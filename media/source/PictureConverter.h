#pragma once

#include "media/frame/LibAVPointers.h"

namespace Emulsa {

// Turns decoded pictures into packed YUY2 at the size they are shown: turned
// by the stream's display rotation, and one column narrower when the shown
// width is odd (YUY2 holds pixel pairs). Pictures whose size or layout
// changes mid-stream are scaled to the size set up first.
//
// Deep pictures keep the source's precision: the same order (Y0 U Y1 V) of
// little-endian 16-bit samples, 8 bytes per pixel pair, each standing where
// the 8-bit passes expect its level (limited-range 10-bit code c at
// c / 1020 of full scale, so that 940 is 235/255; full-range codes at
// c / 1023); a turned picture goes through 16-bit 4:4:4.
class PictureConverter
{
public:
    // Prepares for pictures of `codedWidth` x `codedHeight` in `format`,
    // turned `rotation` degrees clockwise; RGB pictures become YUV at full
    // range when `fullRange`, else at video range. `deep` chooses 16-bit
    // samples instead of 8-bit ones.
    bool setUp(int codedWidth, int codedHeight, AVPixelFormat format, int rotation, bool fullRange, bool deep = false);
    void release();

    // The converted size and row length.
    int width() const { return m_converted ? m_converted->width : 0; }
    int height() const { return m_converted ? m_converted->height : 0; }
    int stride() const { return m_converted ? m_converted->linesize[0] : 0; }
    // 16 for deep pictures, else 8.
    int bitsPerSample() const { return m_deep ? 16 : 8; }
    bool deep() const { return m_deep; }
    // The last picture converted without a target of the caller's.
    const uint8_t* data() const { return m_converted ? m_converted->data[0] : nullptr; }

    // The picture as shown: itself, or turned (in 4:4:4) by the rotation;
    // null when turning fails.
    const AVFrame* shown(const AVFrame* picture);
    // Converts into `target` (rows `targetStride` bytes apart), or into the
    // converter's own picture when target is null.
    bool convert(const AVFrame* picture, uint8_t* target = nullptr, int targetStride = 0);

    static bool isRgb(AVPixelFormat format);

private:
    bool makeScaler(int width, int height, AVPixelFormat format);
    // The format pictures are scaled to, and the one turned pictures take.
    AVPixelFormat scaledFormat() const;
    AVPixelFormat turningFormat() const;

    AV::ScalerPtr m_scaler;
    AV::FramePtr m_converted;
    AV::BufferPtr m_buffer;
    int m_scalerWidth = 0;
    int m_scalerHeight = 0;
    AVPixelFormat m_scalerFormat = AV_PIX_FMT_NONE;
    bool m_fullRange = false;
    bool m_deep = false;
    // What deep samples are multiplied by (of 65536): see deepScale().
    quint32 m_deepScale = 65536;
    // Deep pictures are scaled into planar 16-bit 4:2:2, then interleaved.
    AV::FramePtr m_planar;
    // Display rotation (clockwise degrees) and the 4:4:4 pictures it turns.
    int m_rotation = 0;
    AV::ScalerPtr m_rotationScaler;
    AV::FramePtr m_unrotated;
    AV::FramePtr m_rotated;
};

} // namespace Emulsa
