#include "media/encode/TiffWriter.h"

#include "media/encode/PartFile.h"

#include <QFile>

extern "C" {
#include <libavutil/opt.h>
}

#include <cstring>

namespace Emulsa {

TiffWriter::TiffWriter(int width, int height, const TiffOptions& options)
    : m_width(width)
    , m_height(height)
    , m_options(options)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_TIFF);
    if (!codec || width < 1 || height < 1) {
        fail(QStringLiteral("No TIFF encoder for %1 x %2 pictures.").arg(width).arg(height));
        return;
    }
    AV::CodecContextPtr encoder(avcodec_alloc_context3(codec));
    m_frame.reset(av_frame_alloc());
    m_packet.reset(av_packet_alloc());
    if (!encoder || !m_frame || !m_packet) {
        fail(QStringLiteral("Out of memory for the TIFF encoder."));
        return;
    }
    const AVPixelFormat format = options.sixteenBits ? (options.alpha ? AV_PIX_FMT_RGBA64LE : AV_PIX_FMT_RGB48LE)
                                                     : (options.alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24);
    encoder->width = width;
    encoder->height = height;
    encoder->pix_fmt = format;
    encoder->time_base = AVRational { 1, 25 };
    encoder->color_range = AVCOL_RANGE_JPEG;
    const int algorithm = options.compression == TiffOptions::Lzw ? 5
        : options.compression == TiffOptions::Deflate             ? 32946
                                                                  : 1;
    av_opt_set_int(encoder->priv_data, "compression_algo", algorithm, 0);
    int error = avcodec_open2(encoder.get(), codec, nullptr);
    if (error < 0) {
        fail(QStringLiteral("Can't open the TIFF encoder: %1").arg(AV::errorText(error)));
        return;
    }
    m_frame->format = format;
    m_frame->width = width;
    m_frame->height = height;
    error = av_frame_get_buffer(m_frame.get(), 0);
    if (error < 0) {
        fail(QStringLiteral("Can't make a TIFF picture: %1").arg(AV::errorText(error)));
        return;
    }
    m_encoder = std::move(encoder);
}

bool TiffWriter::fail(const QString& message)
{
    m_lastError = message;
    return false;
}

bool TiffWriter::write(const QString& path, const void* rgba)
{
    if (!isReady())
        return false;
    int error = av_frame_make_writable(m_frame.get());
    if (error < 0)
        return fail(QStringLiteral("Can't reuse the TIFF picture: %1").arg(AV::errorText(error)));
    // The samples are little-endian 16-bit in the file's pixel formats, as
    // on the hosts this builds for.
    const int sampleBytes = m_options.sixteenBits ? 2 : 1;
    const int pixelBytes = sampleBytes * (m_options.alpha ? 4 : 3);
    const auto* source = static_cast<const uint8_t*>(rgba);
    for (int y = 0; y < m_height; ++y) {
        const uint8_t* in = source + size_t(y) * m_width * 4 * sampleBytes;
        uint8_t* out = m_frame->data[0] + size_t(y) * m_frame->linesize[0];
        if (m_options.alpha) {
            std::memcpy(out, in, size_t(m_width) * pixelBytes);
            continue;
        }
        for (int x = 0; x < m_width; ++x, in += 4 * sampleBytes, out += pixelBytes)
            std::memcpy(out, in, size_t(pixelBytes));
    }
    // The image is encoded into its open part file's name: a stop at any
    // moment leaves at most a hidden part, never a short image.
    QString reason;
    const QString part = PartFile::create(path, &reason);
    if (part.isEmpty())
        return fail(QStringLiteral("Can't write the image %1: %2").arg(path, reason));
    QFile file(part);
    bool written = file.open(QIODevice::WriteOnly);
    m_frame->pts = 0;
    error = avcodec_send_frame(m_encoder.get(), m_frame.get());
    if (error >= 0)
        error = avcodec_receive_packet(m_encoder.get(), m_packet.get());
    if (error < 0) {
        reason = AV::errorText(error);
        written = false;
    } else {
        written = written && file.write(reinterpret_cast<const char*>(m_packet->data), m_packet->size) == m_packet->size
            && file.flush();
        if (!written)
            reason = file.errorString();
        av_packet_unref(m_packet.get());
    }
    file.close();
    written = written && PartFile::commit(part, path, &reason);
    if (!written)
        PartFile::discard(part);
    return written || fail(QStringLiteral("Can't write the image %1: %2").arg(path, reason));
}

} // namespace Emulsa
