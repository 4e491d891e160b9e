#pragma once

#include "media/encode/TiffOptions.h"
#include "media/frame/LibAVPointers.h"

#include <QString>

namespace Emulsa {

// Encodes pictures as still images with FFmpeg's image encoders, one file
// per picture, each under a temporary name renamed into place when complete:
//   TIFF as its options say (8 or 16 bits, compression, alpha);
//   DPX at 10 bits a sample, RGB (planes packed three to a 32-bit word);
//   OpenEXR at half-float, RGB, ZIP compression (16 rows a block).
// The values are the graded picture's display code values (BT.709, full
// range), as for every output; DPX images say so (transfer and colorimetry
// "ITU-R 709-4"); TIFF and OpenEXR images carry no colour description.
class ImageWriter
{
public:
    enum Kind
    {
        Tiff,
        Dpx10,
        ExrHalf,
    };
    // What write() takes, four samples a pixel (R, G, B, A), top row first,
    // no padding: 8-bit, 16-bit (host order) or 32-bit float samples.
    enum Input
    {
        Rgba8,
        Rgba16,
        RgbaFloat,
    };

    ImageWriter(int width, int height, Kind kind, const TiffOptions& tiffOptions = TiffOptions());

    // False (with lastError()) when the encoder cannot be set up.
    bool isReady() const { return m_encoder != nullptr; }
    Input input() const { return m_input; }
    // The alpha is dropped unless a TIFF's options keep it.
    bool write(const QString& path, const void* rgba);
    const QString& lastError() const { return m_lastError; }

private:
    bool fail(const QString& message);
    void fillTiff(const uint8_t* source);
    void fillPlanes(const void* source);

    int m_width;
    int m_height;
    Kind m_kind;
    Input m_input = Rgba8;
    TiffOptions m_options;
    AV::CodecContextPtr m_encoder;
    AV::FramePtr m_frame;
    AV::PacketPtr m_packet;
    QString m_lastError;
};

} // namespace Emulsa
