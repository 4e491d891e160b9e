#include "media/encode/ImageWriter.h"

#include "media/encode/PartFile.h"

#include <QFile>

extern "C" {
#include <libavutil/opt.h>
}

#include <cstring>

namespace Emulsa {

namespace {

const char* kindName(ImageWriter::Kind kind)
{
    switch (kind) {
    case ImageWriter::Dpx10:
        return "DPX";
    case ImageWriter::ExrHalf:
        return "OpenEXR";
    case ImageWriter::Tiff:
        break;
    }
    return "TIFF";
}

// The encoder marks its images' transfer and colorimetry as linear (2); they
// hold BT.709 code values: "ITU-R 709-4" (6) in the first image element's
// bytes 801 and 802.
void tagDpx(uint8_t* image, int size)
{
    constexpr int transfer = 801;
    constexpr int colorimetry = 802;
    constexpr uint8_t bt709 = 6;
    if (size > colorimetry) {
        image[transfer] = bt709;
        image[colorimetry] = bt709;
    }
}

} // namespace

ImageWriter::ImageWriter(int width, int height, Kind kind, const TiffOptions& options)
    : m_width(width)
    , m_height(height)
    , m_kind(kind)
    , m_options(options)
{
    const AVCodecID id = kind == Dpx10 ? AV_CODEC_ID_DPX : kind == ExrHalf ? AV_CODEC_ID_EXR : AV_CODEC_ID_TIFF;
    const QString name = QLatin1String(kindName(kind));
    const AVCodec* codec = avcodec_find_encoder(id);
    if (!codec || width < 1 || height < 1) {
        fail(QStringLiteral("No %1 encoder for %2 x %3 pictures.").arg(name).arg(width).arg(height));
        return;
    }
    AV::CodecContextPtr encoder(avcodec_alloc_context3(codec));
    m_frame.reset(av_frame_alloc());
    m_packet.reset(av_packet_alloc());
    if (!encoder || !m_frame || !m_packet) {
        fail(QStringLiteral("Out of memory for the %1 encoder.").arg(name));
        return;
    }
    AVPixelFormat format = AV_PIX_FMT_RGB24;
    switch (kind) {
    case Tiff: {
        format = options.sixteenBits ? (options.alpha ? AV_PIX_FMT_RGBA64LE : AV_PIX_FMT_RGB48LE)
                                     : (options.alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24);
        m_input = options.sixteenBits ? Rgba16 : Rgba8;
        const int algorithm = options.compression == TiffOptions::Lzw ? 5
            : options.compression == TiffOptions::Deflate             ? 32946
                                                                      : 1;
        av_opt_set_int(encoder->priv_data, "compression_algo", algorithm, 0);
        break;
    }
    case Dpx10:
        format = AV_PIX_FMT_GBRP10LE;
        m_input = Rgba16;
        encoder->bits_per_raw_sample = 10;
        break;
    case ExrHalf:
        format = AV_PIX_FMT_GBRPF32LE;
        m_input = RgbaFloat;
        av_opt_set_int(encoder->priv_data, "format", 1, 0); // half
        av_opt_set_int(encoder->priv_data, "compression", 3, 0); // ZIP, 16 rows
        break;
    }
    encoder->width = width;
    encoder->height = height;
    encoder->pix_fmt = format;
    encoder->time_base = AVRational { 1, 25 };
    encoder->color_range = AVCOL_RANGE_JPEG;
    encoder->color_primaries = AVCOL_PRI_BT709;
    encoder->color_trc = AVCOL_TRC_BT709;
    encoder->colorspace = AVCOL_SPC_RGB;
    int error = avcodec_open2(encoder.get(), codec, nullptr);
    if (error < 0) {
        fail(QStringLiteral("Can't open the %1 encoder: %2").arg(name, AV::errorText(error)));
        return;
    }
    m_frame->format = format;
    m_frame->width = width;
    m_frame->height = height;
    m_frame->color_range = encoder->color_range;
    m_frame->color_primaries = encoder->color_primaries;
    m_frame->color_trc = encoder->color_trc;
    m_frame->colorspace = encoder->colorspace;
    error = av_frame_get_buffer(m_frame.get(), 0);
    if (error < 0) {
        fail(QStringLiteral("Can't make a %1 picture: %2").arg(name, AV::errorText(error)));
        return;
    }
    m_encoder = std::move(encoder);
}

bool ImageWriter::fail(const QString& message)
{
    m_lastError = message;
    return false;
}

void ImageWriter::fillTiff(const uint8_t* source)
{
    // The samples are little-endian 16-bit in the file's pixel formats, as
    // on the hosts this builds for.
    const int sampleBytes = m_options.sixteenBits ? 2 : 1;
    const int pixelBytes = sampleBytes * (m_options.alpha ? 4 : 3);
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
}

void ImageWriter::fillPlanes(const void* source)
{
    // Planar G, B, R, as FFmpeg's planar RGB formats order them.
    constexpr int planeOfChannel[3] = { 2, 0, 1 };
    for (int y = 0; y < m_height; ++y) {
        for (int c = 0; c < 3; ++c) {
            uint8_t* row = m_frame->data[planeOfChannel[c]] + size_t(y) * m_frame->linesize[planeOfChannel[c]];
            const size_t first = size_t(y) * m_width * 4 + size_t(c);
            if (m_input == RgbaFloat) {
                const float* in = static_cast<const float*>(source) + first;
                float* out = reinterpret_cast<float*>(row);
                for (int x = 0; x < m_width; ++x)
                    out[x] = in[size_t(x) * 4];
            } else {
                // 16 bits to 10, rounded to the nearest code.
                const quint16* in = static_cast<const quint16*>(source) + first;
                quint16* out = reinterpret_cast<quint16*>(row);
                for (int x = 0; x < m_width; ++x)
                    out[x] = quint16((quint32(in[size_t(x) * 4]) * 1023u + 32767u) / 65535u);
            }
        }
    }
}

bool ImageWriter::write(const QString& path, const void* rgba)
{
    if (!isReady())
        return false;
    int error = av_frame_make_writable(m_frame.get());
    if (error < 0)
        return fail(QStringLiteral("Can't reuse the %1 picture: %2")
                        .arg(QLatin1String(kindName(m_kind)), AV::errorText(error)));
    const auto* source = static_cast<const uint8_t*>(rgba);
    if (m_kind == Tiff)
        fillTiff(source);
    else
        fillPlanes(source);
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
        if (m_kind == Dpx10)
            tagDpx(m_packet->data, m_packet->size);
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
