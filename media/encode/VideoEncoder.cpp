#include "media/encode/VideoEncoder.h"

#include "media/encode/DeepPictures.h"
#include "media/encode/MovieStreamSink.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>

namespace Emulsa {

namespace {

constexpr qint64 maxDeclaredBitRate = 250000000;

struct CodecChoice
{
    const char* encoder;
    const char* label;
    AVPixelFormat pixelFormat;
};

CodecChoice codecChoice(VideoEncoder::Codec codec)
{
    switch (codec) {
    case VideoEncoder::Codec::ProRes422HQ:
        return { "prores_ks", "ProRes", AV_PIX_FMT_YUV422P10LE };
    case VideoEncoder::Codec::ProRes4444:
        return { "prores_ks", "ProRes", AV_PIX_FMT_YUV444P10LE };
    case VideoEncoder::Codec::DNxHRHQX:
        return { "dnxhd", "DNxHR", AV_PIX_FMT_YUV422P10LE };
    case VideoEncoder::Codec::HevcMain10:
        return { "libx265", "H.265", AV_PIX_FMT_YUV420P10LE };
    case VideoEncoder::Codec::H264:
        break;
    }
    return { "libx264", "H.264", AV_PIX_FMT_YUV420P };
}

} // namespace

VideoEncoder::VideoEncoder(MovieStreamSink& movie)
    : m_movie(movie)
{
}

VideoEncoder::~VideoEncoder()
{
    close();
}

double VideoEncoder::crfForQuality(int quality)
{
    quality = std::clamp(quality, 0, 100);
    return 14.0 + (100 - quality) * 0.3;
}

const char* VideoEncoder::presetForQuality(int quality)
{
    if (quality >= 100)
        return "medium";
    if (quality >= 80)
        return "fast";
    return "veryfast";
}

qint64 VideoEncoder::declaredBitRate(qint64 sourceBitRate)
{
    return std::clamp<qint64>(sourceBitRate, 0, maxDeclaredBitRate);
}

void VideoEncoder::setUpH264(AVCodecContext* encoder, const Format& format)
{
    encoder->level = format.level > 0 ? format.level : 51;
    av_opt_set(encoder->priv_data, "profile", "high", 0);
    av_opt_set(encoder->priv_data, "preset", presetForQuality(format.quality), 0);
    av_opt_set_double(encoder->priv_data, "crf", crfForQuality(format.quality), 0);
    av_opt_set_int(encoder->priv_data, "rc-lookahead", lookAheadFrames, 0);
    // The look-ahead runs on the encoding call's own thread rather than
    // buffering extra pictures for a thread of its own: the same stream, about
    // 25 MB less at 1080p, and the render's other stages keep the processors
    // busy anyway.
    av_opt_set(encoder->priv_data, "x264-params", "sync-lookahead=0", 0);
}

int VideoEncoder::open(AVFormatContext* movie, const Format& format)
{
    if (format.width < 2 || format.height < 2 || format.width % 2 || format.height % 2) {
        m_movie.fail(QStringLiteral("Unusable movie size %1 x %2.").arg(format.width).arg(format.height));
        return -1;
    }
    if (format.frameRateNum <= 0 || format.frameRateDen <= 0) {
        m_movie.fail(QStringLiteral("Unusable frame rate %1/%2.").arg(format.frameRateNum).arg(format.frameRateDen));
        return -1;
    }
    const CodecChoice choice = codecChoice(format.codec);
    const AVCodec* codec = avcodec_find_encoder_by_name(choice.encoder);
    if (!codec) {
        m_movie.fail(QStringLiteral("The %1 encoder (%2) is not available.")
                         .arg(QLatin1String(choice.label), QLatin1String(choice.encoder)));
        return -1;
    }
    m_codec = format.codec;
    m_frames = 0;
    m_pts = 0;
    m_ended = false;
    const bool deep = takesRgba64(format.codec);
    m_encoder.reset(avcodec_alloc_context3(codec));
    AVCodecContext* encoder = m_encoder.get();
    encoder->width = format.width;
    encoder->height = format.height;
    encoder->pix_fmt = choice.pixelFormat;
    encoder->time_base = AVRational { format.frameRateDen, format.frameRateNum };
    encoder->framerate = AVRational { format.frameRateNum, format.frameRateDen };
    encoder->sample_aspect_ratio = AVRational { 1, 1 };
    encoder->field_order = AV_FIELD_PROGRESSIVE;
    // The 16-bit pictures are full-range RGB; their YUV is always limited
    // range, as finishing expects. H.264 keeps the clip's range.
    encoder->color_range = format.fullRange && !deep ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    encoder->colorspace = AVCOL_SPC_BT709;
    encoder->color_primaries = AVCOL_PRI_BT709;
    encoder->color_trc = AVCOL_TRC_BT709;
    encoder->thread_count = 0;
    if (movie->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    switch (format.codec) {
    case Codec::H264:
        setUpH264(encoder, format);
        break;
    case Codec::ProRes422HQ:
    case Codec::ProRes4444:
        // Profiles 3 ("HQ") and 4 ("4444"); the usual four-character vendor.
        av_opt_set_int(encoder->priv_data, "profile", format.codec == Codec::ProRes422HQ ? 3 : 4, 0);
        av_opt_set(encoder->priv_data, "vendor", "apl0", 0);
        break;
    case Codec::DNxHRHQX:
        av_opt_set(encoder->priv_data, "profile", "dnxhr_hqx", 0);
        break;
    case Codec::HevcMain10:
        // Visually transparent at 10 bits; "hvc1" lets players that insist on
        // it open the movie.
        av_opt_set(encoder->priv_data, "preset", "fast", 0);
        av_opt_set_double(encoder->priv_data, "crf", 16, 0);
        av_opt_set(encoder->priv_data, "x265-params", "log-level=error", 0);
        encoder->codec_tag = MKTAG('h', 'v', 'c', '1');
        break;
    }

    int result = avcodec_open2(encoder, codec, nullptr);
    if (result < 0) {
        m_movie.fail(
            QStringLiteral("Can't open the %1 encoder: %2").arg(QLatin1String(choice.label), AV::errorText(result)));
        return -1;
    }
    m_stream = m_movie.addStream(movie, encoder, "video");
    if (!m_stream)
        return -1;
    m_stream->avg_frame_rate = encoder->framerate;
    if (format.codec == Codec::H264)
        m_stream->codecpar->bit_rate = declaredBitRate(format.sourceBitRate);

    m_frame.reset(av_frame_alloc());
    m_frame->format = choice.pixelFormat;
    m_frame->width = format.width;
    m_frame->height = format.height;
    // Some encoders (ProRes) take the colour description from the picture.
    m_frame->color_range = encoder->color_range;
    m_frame->colorspace = encoder->colorspace;
    m_frame->color_primaries = encoder->color_primaries;
    m_frame->color_trc = encoder->color_trc;
    result = av_frame_get_buffer(m_frame.get(), 0);
    if (result < 0) {
        m_movie.failAV("Can't allocate the video picture", result);
        return -1;
    }
    if (deep) {
        // Converted by DeepPictures::toLimitedYuv10(): the scaler's limited range at 10
        // bits is 16/255 .. 235/255 of the full scale (64 .. 943), not the
        // 64 .. 940 of BT.709.
        return m_stream->index;
    }
    // Packed 4:2:2 to planar 4:2:0 at the same size; both sides keep the
    // clip's range, so the levels pass through unchanged.
    m_scaler.reset(sws_getContext(format.width, format.height, AV_PIX_FMT_YUYV422, format.width, format.height,
        AV_PIX_FMT_YUV420P, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
    if (!m_scaler) {
        m_movie.fail(QStringLiteral("Could not get a scaler context for the movie pictures."));
        return -1;
    }
    const int range = format.fullRange ? 1 : 0;
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(m_scaler.get(), coefficients, range, coefficients, range, 0, 1 << 16, 1 << 16);
    return m_stream->index;
}

bool VideoEncoder::encode(AVFrame* frame)
{
    return m_movie.encode(m_encoder.get(), m_stream, frame, "Can't encode the picture");
}

bool VideoEncoder::send(AVFrame* frame, qint64 duration)
{
    // Each picture is stamped with the running time of the stream, which
    // then advances by its duration; the stamps stay strictly increasing.
    frame->pts = m_pts;
    const AVRational timeBase = m_encoder->time_base;
    qint64 step = av_rescale_q(std::max<qint64>(duration, 0), AV::hundredNanoseconds, timeBase);
    frame->pkt_duration = std::max<qint64>(step, 1);
    m_pts += std::max<qint64>(step, 1);
    if (!encode(frame))
        return false;
    ++m_frames;
    return true;
}

AVFrame* VideoEncoder::pictureToFill(const void* input, bool accepted)
{
    if (m_ended || !input) {
        m_movie.fail(QStringLiteral("The movie is not open for writing."));
        return nullptr;
    }
    if (!accepted) {
        m_movie.fail(QStringLiteral("This movie does not take pictures of that layout."));
        return nullptr;
    }
    AVFrame* frame = m_frame.get();
    const int result = av_frame_make_writable(frame);
    if (result < 0) {
        m_movie.failAV("Can't reuse the picture buffer", result);
        return nullptr;
    }
    return frame;
}

bool VideoEncoder::writeYuy2(const uchar* yuy2, int rowBytes, qint64 duration)
{
    AVFrame* frame = pictureToFill(yuy2, !takesRgba64(m_codec));
    if (!frame)
        return false;
    const uint8_t* source[1] = { yuy2 };
    const int sourceStride[1] = { rowBytes };
    sws_scale(m_scaler.get(), source, sourceStride, 0, frame->height, frame->data, frame->linesize);
    return send(frame, duration);
}

bool VideoEncoder::writeRgba64(const quint16* rgba, int rowBytes, qint64 duration)
{
    AVFrame* frame = pictureToFill(rgba, takesRgba64(m_codec));
    if (!frame)
        return false;
    DeepPictures::toLimitedYuv10(rgba, rowBytes / 2, frame);
    return send(frame, duration);
}

bool VideoEncoder::writePacked16(const quint16* packed, int rowBytes, qint64 duration)
{
    AVFrame* frame = pictureToFill(packed, takesPacked16(m_codec));
    if (!frame)
        return false;
    DeepPictures::packed16ToYuv10(packed, rowBytes / 2, frame);
    return send(frame, duration);
}

bool VideoEncoder::end()
{
    m_ended = true;
    return encode(nullptr);
}

void VideoEncoder::close()
{
    m_stream = nullptr;
    m_encoder.reset();
    m_frame.reset();
    m_scaler.reset();
    m_pts = 0;
    m_ended = false;
}

} // namespace Emulsa
