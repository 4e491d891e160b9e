#include "media/encode/MediaWriter.h"

#include "media/encode/DeepPictures.h"
#include "media/encode/PartFile.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
}

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace Emulsa {

namespace {

constexpr qint64 maxDeclaredBitRate = 250000000;

} // namespace

MediaWriter::MediaWriter()
    : m_packet(av_packet_alloc())
{
}

MediaWriter::~MediaWriter()
{
    close();
}

double MediaWriter::crfForQuality(int quality)
{
    quality = std::clamp(quality, 0, 100);
    return 14.0 + (100 - quality) * 0.3;
}

const char* MediaWriter::presetForQuality(int quality)
{
    if (quality >= 100)
        return "medium";
    if (quality >= 80)
        return "fast";
    return "veryfast";
}

qint64 MediaWriter::declaredBitRate(qint64 sourceBitRate)
{
    return std::clamp<qint64>(sourceBitRate, 0, maxDeclaredBitRate);
}

bool MediaWriter::fail(const QString& message)
{
    m_failed = true;
    m_lastError = message;
    qWarning().noquote() << "MediaWriter:" << message;
    return false;
}

bool MediaWriter::failAV(const char* what, int error)
{
    return fail(QStringLiteral("%1: %2").arg(QString::fromLatin1(what), AV::errorText(error)));
}

bool MediaWriter::create(const QString& path)
{
    close();
    m_path = path;
    m_videoFrames = 0;
    m_audioSamples = 0;
    m_failed = false;
    m_finished = false;
    m_lastError.clear();
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.isDir())
        return fail(QStringLiteral("The folder %1 does not exist.").arg(QDir::toNativeSeparators(folder.filePath())));
    if (!folder.isWritable())
        return fail(QStringLiteral("The folder %1 is not writable.").arg(QDir::toNativeSeparators(folder.filePath())));
    const int result = avformat_alloc_output_context2(&m_format, nullptr, "mov", QFile::encodeName(path).constData());
    if (result < 0 || !m_format)
        return failAV("Can't create the movie container", result);
    return true;
}

namespace {

struct CodecChoice
{
    const char* encoder;
    const char* label;
    AVPixelFormat pixelFormat;
};

CodecChoice codecChoice(MediaWriter::VideoCodec codec)
{
    switch (codec) {
    case MediaWriter::VideoCodec::ProRes422HQ:
        return { "prores_ks", "ProRes", AV_PIX_FMT_YUV422P10LE };
    case MediaWriter::VideoCodec::ProRes4444:
        return { "prores_ks", "ProRes", AV_PIX_FMT_YUV444P10LE };
    case MediaWriter::VideoCodec::DNxHRHQX:
        return { "dnxhd", "DNxHR", AV_PIX_FMT_YUV422P10LE };
    case MediaWriter::VideoCodec::HevcMain10:
        return { "libx265", "H.265", AV_PIX_FMT_YUV420P10LE };
    case MediaWriter::VideoCodec::H264:
        break;
    }
    return { "libx264", "H.264", AV_PIX_FMT_YUV420P };
}

} // namespace

bool MediaWriter::setUpH264(AVCodecContext* encoder, const VideoFormat& format)
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
    return true;
}

int MediaWriter::addVideoStream(const VideoFormat& format)
{
    if (!m_format || m_opened || m_videoEncoder) {
        fail(QStringLiteral("The video stream can only be added once, before writing starts."));
        return -1;
    }
    if (format.width < 2 || format.height < 2 || format.width % 2 || format.height % 2) {
        fail(QStringLiteral("Unusable movie size %1 x %2.").arg(format.width).arg(format.height));
        return -1;
    }
    if (format.frameRateNum <= 0 || format.frameRateDen <= 0) {
        fail(QStringLiteral("Unusable frame rate %1/%2.").arg(format.frameRateNum).arg(format.frameRateDen));
        return -1;
    }
    const CodecChoice choice = codecChoice(format.codec);
    const AVCodec* codec = avcodec_find_encoder_by_name(choice.encoder);
    if (!codec) {
        fail(QStringLiteral("The %1 encoder (%2) is not available.")
                 .arg(QLatin1String(choice.label), QLatin1String(choice.encoder)));
        return -1;
    }
    m_codec = format.codec;
    const bool deep = takesRgba64(format.codec);
    m_videoEncoder.reset(avcodec_alloc_context3(codec));
    AVCodecContext* encoder = m_videoEncoder.get();
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
    if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    switch (format.codec) {
    case VideoCodec::H264:
        setUpH264(encoder, format);
        break;
    case VideoCodec::ProRes422HQ:
    case VideoCodec::ProRes4444:
        // Profiles 3 ("HQ") and 4 ("4444"); the usual four-character vendor.
        av_opt_set_int(encoder->priv_data, "profile", format.codec == VideoCodec::ProRes422HQ ? 3 : 4, 0);
        av_opt_set(encoder->priv_data, "vendor", "apl0", 0);
        break;
    case VideoCodec::DNxHRHQX:
        av_opt_set(encoder->priv_data, "profile", "dnxhr_hqx", 0);
        break;
    case VideoCodec::HevcMain10:
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
        fail(QStringLiteral("Can't open the %1 encoder: %2").arg(QLatin1String(choice.label), AV::errorText(result)));
        return -1;
    }
    m_videoStream = avformat_new_stream(m_format, nullptr);
    if (!m_videoStream) {
        fail(QStringLiteral("Can't add the video stream."));
        return -1;
    }
    m_videoStream->time_base = encoder->time_base;
    m_videoStream->avg_frame_rate = encoder->framerate;
    result = avcodec_parameters_from_context(m_videoStream->codecpar, encoder);
    if (result < 0) {
        failAV("Can't describe the video stream", result);
        return -1;
    }
    if (format.codec == VideoCodec::H264)
        m_videoStream->codecpar->bit_rate = declaredBitRate(format.sourceBitRate);

    m_videoFrame.reset(av_frame_alloc());
    m_videoFrame->format = choice.pixelFormat;
    m_videoFrame->width = format.width;
    m_videoFrame->height = format.height;
    // Some encoders (ProRes) take the colour description from the picture.
    m_videoFrame->color_range = encoder->color_range;
    m_videoFrame->colorspace = encoder->colorspace;
    m_videoFrame->color_primaries = encoder->color_primaries;
    m_videoFrame->color_trc = encoder->color_trc;
    result = av_frame_get_buffer(m_videoFrame.get(), 0);
    if (result < 0) {
        failAV("Can't allocate the video picture", result);
        return -1;
    }
    if (deep) {
        // Converted by DeepPictures::toLimitedYuv10(): the scaler's limited range at 10
        // bits is 16/255 .. 235/255 of the full scale (64 .. 943), not the
        // 64 .. 940 of BT.709.
        return m_videoStream->index;
    }
    // Packed 4:2:2 to planar 4:2:0 at the same size; both sides keep the
    // clip's range, so the levels pass through unchanged.
    m_videoScaler.reset(sws_getContext(format.width, format.height, AV_PIX_FMT_YUYV422, format.width, format.height,
        AV_PIX_FMT_YUV420P, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
    if (!m_videoScaler) {
        fail(QStringLiteral("Could not get a scaler context for the movie pictures."));
        return -1;
    }
    const int range = format.fullRange ? 1 : 0;
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(m_videoScaler.get(), coefficients, range, coefficients, range, 0, 1 << 16, 1 << 16);
    return m_videoStream->index;
}

bool MediaWriter::beginWriting()
{
    if (!m_format || !m_videoEncoder || m_failed)
        return fail(QStringLiteral("The movie is not set up."));
    // The movie is written under a temporary name and renamed to its own by
    // finalize(), so that an unfinished movie never takes the place of an
    // earlier one, and a symbolic link at the path is replaced rather than
    // written through. The part files a stopped render of this movie left
    // go first.
    PartFile::removeStale(m_path);
    QString partError;
    m_partPath = PartFile::create(m_path, &partError);
    if (m_partPath.isEmpty())
        return fail(QStringLiteral("Can't create a file in %1: %2")
                        .arg(QDir::toNativeSeparators(QFileInfo(m_path).absolutePath()), partError));
    int result = avio_open(
        &m_format->pb, (QByteArrayLiteral("file:") + QFile::encodeName(m_partPath)).constData(), AVIO_FLAG_WRITE);
    if (result < 0)
        return failAV("Can't open the output file", result);
    m_opened = true;
    result = avformat_write_header(m_format, nullptr);
    if (result < 0)
        return failAV("Can't write the movie header", result);
    return true;
}

bool MediaWriter::writePackets(AVCodecContext* encoder, AVStream* stream)
{
    while (true) {
        int result = avcodec_receive_packet(encoder, m_packet.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return true;
        if (result < 0)
            return failAV("Encoding failed", result);
        m_packet->stream_index = stream->index;
        av_packet_rescale_ts(m_packet.get(), encoder->time_base, stream->time_base);
        result = av_interleaved_write_frame(m_format, m_packet.get());
        if (result < 0)
            return failAV("Can't write to the movie file", result);
        if (m_format->pb && m_format->pb->error < 0)
            return failAV("Can't write to the movie file", m_format->pb->error);
    }
}

bool MediaWriter::encodeVideo(AVFrame* frame)
{
    const int result = avcodec_send_frame(m_videoEncoder.get(), frame);
    if (result < 0 && result != AVERROR_EOF)
        return failAV("Can't encode the picture", result);
    return writePackets(m_videoEncoder.get(), m_videoStream);
}

bool MediaWriter::sendPicture(AVFrame* frame, qint64 duration)
{
    // Each picture is stamped with the running time of the stream, which
    // then advances by its duration; the stamps stay strictly increasing.
    frame->pts = m_videoPts;
    const AVRational timeBase = m_videoEncoder->time_base;
    qint64 step = av_rescale_q(std::max<qint64>(duration, 0), AV::hundredNanoseconds, timeBase);
    frame->pkt_duration = std::max<qint64>(step, 1);
    m_videoPts += std::max<qint64>(step, 1);
    if (!encodeVideo(frame))
        return false;
    ++m_videoFrames;
    return true;
}

AVFrame* MediaWriter::pictureToFill(const void* input, bool accepted)
{
    if (!m_opened || m_failed || m_videoEnded || !input) {
        fail(QStringLiteral("The movie is not open for writing."));
        return nullptr;
    }
    if (!accepted) {
        fail(QStringLiteral("This movie does not take pictures of that layout."));
        return nullptr;
    }
    AVFrame* frame = m_videoFrame.get();
    const int result = av_frame_make_writable(frame);
    if (result < 0) {
        failAV("Can't reuse the picture buffer", result);
        return nullptr;
    }
    return frame;
}

bool MediaWriter::writeVideoFrame(const uchar* yuy2, int rowBytes, qint64 duration)
{
    AVFrame* frame = pictureToFill(yuy2, !takesRgba64(m_codec));
    if (!frame)
        return false;
    const uint8_t* source[1] = { yuy2 };
    const int sourceStride[1] = { rowBytes };
    sws_scale(m_videoScaler.get(), source, sourceStride, 0, frame->height, frame->data, frame->linesize);
    return sendPicture(frame, duration);
}

bool MediaWriter::writeVideoFrameRgba64(const quint16* rgba, int rowBytes, qint64 duration)
{
    AVFrame* frame = pictureToFill(rgba, takesRgba64(m_codec));
    if (!frame)
        return false;
    DeepPictures::toLimitedYuv10(rgba, rowBytes / 2, frame);
    return sendPicture(frame, duration);
}

bool MediaWriter::writeVideoFramePacked16(const quint16* packed, int rowBytes, qint64 duration)
{
    AVFrame* frame = pictureToFill(packed, takesPacked16(m_codec));
    if (!frame)
        return false;
    DeepPictures::packed16ToYuv10(packed, rowBytes / 2, frame);
    return sendPicture(frame, duration);
}

bool MediaWriter::endVideoSegment()
{
    if (!m_opened || m_videoEnded)
        return !m_failed;
    m_videoEnded = true;
    if (m_failed)
        return false;
    return encodeVideo(nullptr);
}

bool MediaWriter::finalize()
{
    if (!m_opened)
        return fail(QStringLiteral("The movie was never opened."));
    bool ok = endVideoSegment();
    ok = endAudioSegment() && ok;
    if (ok && !m_failed) {
        const int result = av_write_trailer(m_format);
        if (result < 0)
            ok = failAV("Fail finalizing video file. Error:", result);
    }
    if (m_format->pb) {
        avio_flush(m_format->pb);
        if (m_format->pb->error < 0)
            ok = failAV("Can't write to the movie file", m_format->pb->error);
        const int result = avio_closep(&m_format->pb);
        if (result < 0)
            ok = failAV("Can't close the movie file", result);
    }
    m_finished = true;
    // A folder removed while the movie was written leaves nothing behind.
    if (ok && !QFileInfo::exists(m_partPath))
        ok = fail(
            QStringLiteral("The movie %1 disappeared while it was written.").arg(QDir::toNativeSeparators(m_path)));
    if (ok && !m_failed) {
        QString reason;
        if (PartFile::commit(m_partPath, m_path, &reason))
            m_partPath.clear();
        else
            ok = fail(
                QStringLiteral("Can't put the movie in place as %1: %2").arg(QDir::toNativeSeparators(m_path), reason));
    }
    close();
    return ok && !m_failed;
}

void MediaWriter::close()
{
    if (m_format) {
        if (m_format->pb)
            avio_closep(&m_format->pb);
        avformat_free_context(m_format);
        m_format = nullptr;
    }
    // An unfinished movie is not kept; whatever was at the path stays.
    PartFile::discard(m_partPath);
    m_partPath.clear();
    m_opened = false;
    m_videoStream = nullptr;
    m_audioStream = nullptr;
    m_videoEncoder.reset();
    m_audioEncoder.reset();
    m_videoFrame.reset();
    m_audioFrame.reset();
    m_videoScaler.reset();
    m_audioResampler.reset();
    if (m_audioFifo) {
        av_audio_fifo_free(m_audioFifo);
        m_audioFifo = nullptr;
    }
    m_videoEnded = false;
    m_audioEnded = false;
    m_videoPts = 0;
    m_audioPts = 0;
}

} // namespace Emulsa
