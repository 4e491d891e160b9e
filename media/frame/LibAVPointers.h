#pragma once

// Owning pointers for the FFmpeg objects the readers and writers hold, and the
// one place that turns an FFmpeg error code into text.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <QFileInfo>
#include <QString>

#include <cerrno>
#include <memory>

namespace Emulsa::AV {

struct FormatContextDeleter
{
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecContextDeleter
{
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter
{
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter
{
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerDeleter
{
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct ResamplerDeleter
{
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct BufferDeleter
{
    void operator()(uint8_t* buffer) const { av_free(buffer); }
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerDeleter>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerDeleter>;
using BufferPtr = std::unique_ptr<uint8_t, BufferDeleter>;

// A picture buffer for the scaler to write into. The scaler's vector code may
// write a little past the last row when the width is not a multiple of its
// block size, so the buffer is padded.
inline BufferPtr allocatePictureBuffer(int bytes)
{
    if (bytes <= 0)
        return nullptr;
    return BufferPtr(static_cast<uint8_t*>(av_mallocz(size_t(bytes) + 1024)));
}

// FFmpeg's description of an error code.
inline QString errorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(error, text, sizeof(text)) < 0)
        return QStringLiteral("unknown error %1").arg(error);
    return QString::fromUtf8(text);
}

// The containers clips come in, as FFmpeg's demuxer names: QuickTime and
// MPEG-4 (with 3GP and Motion JPEG 2000), Matroska and WebM, MPEG transport
// and program streams, AVI and MXF. Probing never reaches any other demuxer,
// so a file cannot be a playlist, a concat or image list, or any other format
// that opens further files or addresses.
constexpr const char* clipFormats = "mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,mpegts,mpeg,avi,mxf";

// Opens a clip for demuxing: a regular local file in one of clipFormats, read
// through the file protocol alone. Every reader of clips (pictures, sound,
// thumbnails, metadata) opens them here. On failure returns null and stores
// FFmpeg's error code in *error.
inline FormatContextPtr openInput(const QString& path, int* error)
{
    // Only regular files: opening a FIFO would block until a writer comes,
    // and a directory cannot be demuxed.
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        if (error)
            *error = !info.exists() ? AVERROR(ENOENT) : info.isDir() ? AVERROR(EISDIR) : AVERROR(EINVAL);
        return nullptr;
    }
    AVFormatContext* context = avformat_alloc_context();
    if (!context) {
        if (error)
            *error = AVERROR(ENOMEM);
        return nullptr;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "format_whitelist", clipFormats, 0);
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    // Named through the file protocol, so that a ":" in the path is never
    // taken for a protocol of its own.
    const QByteArray url = QByteArrayLiteral("file:") + info.absoluteFilePath().toUtf8();
    const int result = avformat_open_input(&context, url.constData(), nullptr, &options);
    av_dict_free(&options);
    if (error)
        *error = result;
    if (result < 0)
        return nullptr; // avformat_open_input freed the context
    return FormatContextPtr(context);
}

// Read errors other than the end of the file, in a row, after which a damaged
// file is treated as ended instead of being read forever.
constexpr int maxConsecutiveReadErrors = 64;

// Media times are counted in 100-nanosecond units.
constexpr AVRational hundredNanoseconds = { 1, 10000000 };

// JPEG-range pixel formats map to their plain counterparts (and set
// *fullRange); every other format maps to itself.
inline AVPixelFormat plainPixelFormat(AVPixelFormat format, bool* fullRange)
{
    *fullRange = true;
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ440P:
        return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ444P:
        return AV_PIX_FMT_YUV444P;
    default:
        *fullRange = false;
        return format;
    }
}

// Whether a read error means the end of the input.
inline bool isEndOfFile(int error, AVFormatContext* format)
{
    return error == AVERROR_EOF || (format->pb && avio_feof(format->pb));
}

} // namespace Emulsa::AV
