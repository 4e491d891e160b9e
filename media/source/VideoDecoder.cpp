#include "media/source/VideoDecoder.h"

#include <QDebug>
#include <QFileInfo>

namespace Emulsa {

namespace {

AV::FormatContextPtr openWithStreamInfo(const QString& path)
{
    int error = 0;
    AV::FormatContextPtr format = AV::openInput(path, &error);
    if (!format) {
        qDebug() << Q_FUNC_INFO << "Could not open the file." << AV::errorText(error);
        return format;
    }
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        qDebug() << Q_FUNC_INFO << "Could not find stream information\n";
    return format;
}

} // namespace

bool VideoDecoder::open(const QString& path, int threads)
{
    close();
    m_path = path;
    m_threads = threads;
    m_format = openWithStreamInfo(path);
    if (!m_format)
        return false;
    AVFormatContext* format = m_format.get();
    const int best = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (best < 0) {
        qDebug() << Q_FUNC_INFO << "Could not find any video stream in input file" << AV::errorText(best);
        close();
        return false;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVMediaType type = format->streams[i]->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO && m_stream < 0)
            m_stream = int(i);
        m_fileHasAudio = m_fileHasAudio || type == AVMEDIA_TYPE_AUDIO;
    }
    if (m_stream < 0) {
        qDebug() << Q_FUNC_INFO << "Didn't find a video stream.";
        return false;
    }
    if (best != m_stream)
        qDebug() << Q_FUNC_INFO << "AV recommend a different video stream than the one we choose.";

    m_packet.reset(av_packet_alloc());
    if (!m_packet)
        return false;
    m_device = HardwareDecoding::device();
    if (m_device) {
        QString unusable;
        if (openCodec(true, &unusable))
            return true;
        if (!unusable.isEmpty())
            deviceUnusable(unusable);
    } else if (HardwareDecoding::forced() && HardwareDecoding::claimWarning(m_path)) {
        warnOnce(QStringLiteral("%1: no %2 device could be opened; decoding in software.")
                     .arg(QFileInfo(m_path).fileName(), HardwareDecoding::modeName(HardwareDecoding::mode())));
    }
    return openCodec(false, nullptr);
}

bool VideoDecoder::openCodec(bool hardware, QString* unusable)
{
    m_hardware = false;
    const AVStream* stream = m_format->streams[m_stream];
    m_codec.reset(avcodec_alloc_context3(nullptr));
    if (!m_codec || avcodec_parameters_to_context(m_codec.get(), stream->codecpar) < 0) {
        qDebug() << Q_FUNC_INFO << "No codec found for this particular file.";
        return false;
    }
    m_codec->pix_fmt = AV::plainPixelFormat(m_codec->pix_fmt, &m_fullRange);
    m_fullRange = m_fullRange || stream->codecpar->color_range == AVCOL_RANGE_JPEG;
    if (m_fullRange)
        m_codec->color_range = AVCOL_RANGE_JPEG;
    m_pictureFormat = m_codec->pix_fmt;

    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        qDebug() << Q_FUNC_INFO << "Codec not found.";
        return false;
    }
    m_codec->thread_count = m_threads;
    m_codec->pkt_timebase = stream->time_base;
    if (hardware && !m_device->simulated) {
        m_deviceFormat = HardwareDecoding::devicePixelFormat(codec, m_device->type);
        if (m_deviceFormat == AV_PIX_FMT_NONE) {
            *unusable = QStringLiteral("the %1 device has no decoder for %2").arg(m_device->name, codec->name);
            return false;
        }
        // The device does the work: one thread feeds it.
        m_codec->thread_count = 1;
        m_codec->hw_device_ctx = av_buffer_ref(m_device->context);
        m_codec->opaque = this;
        m_codec->get_format = chooseFormat;
        if (!m_codec->hw_device_ctx)
            return false;
    }
    if (avcodec_open2(m_codec.get(), codec, nullptr) < 0 || m_codec->pix_fmt == AV_PIX_FMT_NONE || m_codec->width <= 0
        || m_codec->height <= 0) {
        if (hardware)
            *unusable = QStringLiteral("the %1 device could not open the %2 decoder").arg(m_device->name, codec->name);
        else
            qDebug() << Q_FUNC_INFO << "Could not open codec.";
        return false;
    }
    m_hardware = hardware;
    return true;
}

AVPixelFormat VideoDecoder::chooseFormat(AVCodecContext* context, const AVPixelFormat* formats)
{
    const auto* self = static_cast<const VideoDecoder*>(context->opaque);
    for (const AVPixelFormat* format = formats; *format != AV_PIX_FMT_NONE; ++format) {
        if (*format == self->m_deviceFormat)
            return *format;
    }
    // The device cannot take this stream (its profile or size): FFmpeg
    // decodes it in software, which receive() notices.
    return avcodec_default_get_format(context, formats);
}

void VideoDecoder::deviceUnusable(const QString& reason)
{
    const QString message = QStringLiteral("%1: %2; decoding in software.").arg(QFileInfo(m_path).fileName(), reason);
    if (HardwareDecoding::forced() && HardwareDecoding::claimWarning(m_path))
        warnOnce(message);
    else
        qDebug().noquote() << message;
}

void VideoDecoder::warnOnce(const QString& message)
{
    if (m_warned)
        return;
    m_warned = true;
    qWarning().noquote() << message;
}

void VideoDecoder::close()
{
    m_codec.reset();
    m_format.reset();
    m_packet.reset();
    m_stream = -1;
    m_draining = false;
    m_fileHasAudio = false;
    m_fullRange = false;
    m_pictureFormat = AV_PIX_FMT_NONE;
    m_device.reset();
    m_hardware = false;
    m_deviceFormat = AV_PIX_FMT_NONE;
    m_devicePicture.reset();
    m_warned = false;
    m_track.setAnchor(true, 0);
}

bool VideoDecoder::reopen()
{
    if (!isOpen())
        return false;
    AV::FormatContextPtr format = openWithStreamInfo(m_path);
    if (!format || unsigned(m_stream) >= format->nb_streams)
        return false;
    m_format = std::move(format);
    avcodec_flush_buffers(m_codec.get());
    m_draining = false;
    m_track.setAnchor(true, 0);
    return true;
}

bool VideoDecoder::seek(int64_t position)
{
    if (!isOpen())
        return false;
    const int result = avformat_seek_file(m_format.get(), m_stream, INT64_MIN, position, position, 0);
    if (result < 0) {
        qWarning() << Q_FUNC_INFO << "Could not seek through the stream at position" << position
                   << "with error:" << AV::errorText(result);
        return false;
    }
    avcodec_flush_buffers(m_codec.get());
    m_draining = false;
    m_track.setAnchor(false, position);
    return true;
}

int VideoDecoder::receive(AVFrame* picture)
{
    for (;;) {
        const int result = decode(picture);
        if (m_hardware && result != AVERROR_EOF) {
            QString failure;
            if (result < 0)
                failure = QStringLiteral("the device failed to decode (%1)").arg(AV::errorText(result));
            else if (simulatedFailureAt(picture))
                failure = QStringLiteral("the device failed (simulated)");
            else if (!takeFromDevice(picture))
                failure = QStringLiteral("a picture could not be copied from the device");
            if (!failure.isEmpty()) {
                av_frame_unref(picture);
                if (!fallBackToSoftware(failure))
                    return result < 0 ? result : AVERROR_EXTERNAL;
                continue;
            }
        }
        // A seek that decodes nothing up to the end (no key frame after it
        // that the decoder accepts) is replaced by counting from the last
        // position set.
        if (result == AVERROR_EOF && m_track.skippingThroughTime() && replayFromAnchor())
            continue;
        if (result < 0)
            return result;
        if (m_track.skipping() && alreadyDelivered(picture)) {
            av_frame_unref(picture);
            continue;
        }
        m_track.delivered(picture->pts);
        return 0;
    }
}

bool VideoDecoder::takeFromDevice(AVFrame* picture)
{
    if (m_device->simulated)
        return true;
    if (picture->format != m_deviceFormat) {
        // The decoder chose software for this stream itself (see
        // chooseFormat()): its pictures are already in memory.
        m_hardware = false;
        deviceUnusable(QStringLiteral("the %1 device cannot decode this stream").arg(m_device->name));
        return true;
    }
    if (!m_devicePicture)
        m_devicePicture.reset(av_frame_alloc());
    if (!m_devicePicture)
        return false;
    av_frame_unref(m_devicePicture.get());
    av_frame_move_ref(m_devicePicture.get(), picture);
    const int result = av_hwframe_transfer_data(picture, m_devicePicture.get(), 0);
    if (result < 0 || av_frame_copy_props(picture, m_devicePicture.get()) < 0) {
        qDebug() << Q_FUNC_INFO << "Copy from the device failed:" << AV::errorText(result);
        av_frame_unref(m_devicePicture.get());
        return false;
    }
    av_frame_unref(m_devicePicture.get());
    return true;
}

bool VideoDecoder::simulatedFailureAt(const AVFrame* picture) const
{
    const double failAt = HardwareDecoding::simulatedFailure();
    if (!m_device->simulated || failAt < 0.0)
        return false;
    int64_t timestamp = picture->pts != AV_NOPTS_VALUE ? picture->pts : picture->best_effort_timestamp;
    if (timestamp == AV_NOPTS_VALUE)
        return false;
    const AVStream* video = stream();
    if (video->start_time != AV_NOPTS_VALUE)
        timestamp -= video->start_time;
    return double(timestamp) * av_q2d(video->time_base) >= failAt - 1e-3;
}

bool VideoDecoder::fallBackToSoftware(const QString& reason)
{
    warnOnce(QStringLiteral("%1: %2; decoding continues in software.").arg(QFileInfo(m_path).fileName(), reason));
    if (!openCodec(false, nullptr))
        return false;
    m_draining = false;
    av_packet_unref(m_packet.get());
    // From the key frame before the last picture delivered, dropping
    // pictures up to it; without its time, from the last position set.
    const int64_t last = m_track.lastDelivered();
    if (last != AV_NOPTS_VALUE && avformat_seek_file(m_format.get(), m_stream, INT64_MIN, last, last, 0) >= 0) {
        m_track.skipThroughLast();
        return true;
    }
    return replayFromAnchor();
}

bool VideoDecoder::replayFromAnchor()
{
    if (m_track.anchorAtStart()) {
        AV::FormatContextPtr format = openWithStreamInfo(m_path);
        if (!format || unsigned(m_stream) >= format->nb_streams)
            return false;
        m_format = std::move(format);
    } else if (const int64_t anchor = m_track.anchor();
               avformat_seek_file(m_format.get(), m_stream, INT64_MIN, anchor, anchor, 0) < 0) {
        return false;
    }
    avcodec_flush_buffers(m_codec.get());
    m_draining = false;
    m_track.skipDelivered();
    return true;
}

bool VideoDecoder::alreadyDelivered(const AVFrame* picture)
{
    switch (m_track.judge(picture->pts)) {
    case ReplayTrack::Verdict::Deliver:
        return false;
    case ReplayTrack::Verdict::Drop:
        return true;
    case ReplayTrack::Verdict::Replay:
        break;
    }
    if (!replayFromAnchor())
        m_track.stopSkipping();
    return m_track.skipping();
}

int VideoDecoder::decode(AVFrame* picture)
{
    // Once the file ends (or keeps failing to read) the decoder is drained.
    int readErrors = 0;
    for (;;) {
        int result = avcodec_receive_frame(m_codec.get(), picture);
        if (result != AVERROR(EAGAIN))
            return result;
        if (m_draining)
            return AVERROR_EOF;
        result = av_read_frame(m_format.get(), m_packet.get());
        if (result < 0) {
            const bool endOfFile = AV::isEndOfFile(result, m_format.get());
            if (!endOfFile && ++readErrors <= AV::maxConsecutiveReadErrors)
                continue;
            if (!endOfFile)
                qDebug() << Q_FUNC_INFO << "Giving up after" << readErrors << "read errors:" << AV::errorText(result);
            m_draining = true;
            avcodec_send_packet(m_codec.get(), nullptr);
            continue;
        }
        readErrors = 0;
        if (m_packet->stream_index != m_stream) {
            av_packet_unref(m_packet.get());
            continue;
        }
        result = avcodec_send_packet(m_codec.get(), m_packet.get());
        av_packet_unref(m_packet.get());
        if (result < 0 && result != AVERROR(EAGAIN))
            return result;
    }
}

qint64 VideoDecoder::declaredDuration() const
{
    if (!isOpen())
        return -1;
    const AVStream* video = stream();
    if (video->duration != AV_NOPTS_VALUE && video->duration > 0)
        return av_rescale_q(video->duration, video->time_base, AV::hundredNanoseconds);
    if (m_format->duration > 0)
        return av_rescale_q(m_format->duration, AV_TIME_BASE_Q, AV::hundredNanoseconds);
    return -1;
}

} // namespace Emulsa
