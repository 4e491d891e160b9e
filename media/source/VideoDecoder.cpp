#include "media/source/VideoDecoder.h"

#include <QDebug>

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

    const AVStream* stream = format->streams[m_stream];
    m_codec.reset(avcodec_alloc_context3(nullptr));
    if (!m_codec || avcodec_parameters_to_context(m_codec.get(), stream->codecpar) < 0) {
        qDebug() << Q_FUNC_INFO << "No codec found for this particular file.";
        return false;
    }
    m_codec->pix_fmt = AV::plainPixelFormat(m_codec->pix_fmt, &m_fullRange);
    m_fullRange = m_fullRange || stream->codecpar->color_range == AVCOL_RANGE_JPEG;
    if (m_fullRange)
        m_codec->color_range = AVCOL_RANGE_JPEG;

    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        qDebug() << Q_FUNC_INFO << "Codec not found.";
        return false;
    }
    m_codec->thread_count = threads;
    m_codec->pkt_timebase = stream->time_base;
    m_packet.reset(av_packet_alloc());
    if (!m_packet || avcodec_open2(m_codec.get(), codec, nullptr) < 0 || m_codec->pix_fmt == AV_PIX_FMT_NONE
        || m_codec->width <= 0 || m_codec->height <= 0) {
        qDebug() << Q_FUNC_INFO << "Could not open codec.";
        return false;
    }
    return true;
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
    return true;
}

int VideoDecoder::receive(AVFrame* picture)
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
