#pragma once

#include "media/encode/TiffOptions.h"
#include "media/frame/LibAVPointers.h"

#include <QString>

namespace Emulsa {

// Encodes pictures as TIFF images with FFmpeg's TIFF encoder, one file per
// picture, each under a temporary name renamed into place when complete.
class TiffWriter
{
public:
    TiffWriter(int width, int height, const TiffOptions& options);

    // False (with lastError()) when the encoder cannot be set up.
    bool isReady() const { return m_encoder != nullptr; }
    // rgba: width x height pixels of four 8-bit samples, or four 16-bit
    // samples in host order when the options ask for 16 bits; top row first,
    // no padding. The alpha is dropped when the options leave it out.
    bool write(const QString& path, const void* rgba);
    const QString& lastError() const { return m_lastError; }

private:
    bool fail(const QString& message);

    int m_width;
    int m_height;
    TiffOptions m_options;
    AV::CodecContextPtr m_encoder;
    AV::FramePtr m_frame;
    AV::PacketPtr m_packet;
    QString m_lastError;
};

} // namespace Emulsa
