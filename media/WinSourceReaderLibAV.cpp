// The FFmpeg back-end of WinSourceReader: describing a file, seeking, and
// decoding pictures and sound.
#include "media/WinSourceReader.h"

#include "media/AssetMetadata.h"
#include "media/AudioPacket.h"
#include "media/Frame.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <QDebug>

#include <cmath>
#include <cstring>

namespace Emulsa {

namespace {

// Receives the next decoded frame of `decoder` into `frame`, feeding it the
// packets of stream `streamIndex` read from `format` as needed. Once the file
// ends (or keeps failing to read) the decoder is drained and `draining` set.
// 0 on success, AVERROR_EOF at the end, or the decoder's error code.
int receiveDecoded(
    AVFormatContext* format, AVCodecContext* decoder, AVPacket* packet, int streamIndex, AVFrame* frame, bool& draining)
{
    int readErrors = 0;
    for (;;) {
        int result = avcodec_receive_frame(decoder, frame);
        if (result != AVERROR(EAGAIN))
            return result;
        if (draining)
            return AVERROR_EOF;
        result = av_read_frame(format, packet);
        if (result < 0) {
            const bool endOfFile = AV::isEndOfFile(result, format);
            if (!endOfFile && ++readErrors <= AV::maxConsecutiveReadErrors)
                continue;
            if (!endOfFile)
                qDebug() << Q_FUNC_INFO << "Giving up after" << readErrors << "read errors:" << AV::errorText(result);
            draining = true;
            avcodec_send_packet(decoder, nullptr);
            continue;
        }
        readErrors = 0;
        if (packet->stream_index != streamIndex) {
            av_packet_unref(packet);
            continue;
        }
        result = avcodec_send_packet(decoder, packet);
        av_packet_unref(packet);
        if (result < 0 && result != AVERROR(EAGAIN))
            return result;
    }
}

} // namespace

bool WinSourceReader::fillMetadataLibAV()
{
    if (!m_videoFormat || !m_videoDecoder || m_videoStream < 0)
        return false;
    const AVStream* stream = m_videoFormat->streams[m_videoStream];
    m_metadata->width = quint32(m_videoDecoder->width);
    m_metadata->height = AssetMetadata::storedHeight(m_metadata->width, quint32(m_videoDecoder->height));
    AVRational rate = stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = stream->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = AVRational { 0, 1 };
    m_metadata->frameRateNum = quint32(rate.num);
    m_metadata->frameRateDen = quint32(rate.den);
    const int64_t bitRate = m_videoFormat->bit_rate;
    m_metadata->bitRate = bitRate < 0 ? AssetMetadata::unset : quint32(qMin<int64_t>(bitRate, 0xFFFFFFFE));

    float seconds = 0.0f;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        seconds = float(av_q2d(stream->time_base) * double(stream->duration));
    else if (m_videoFormat->duration > 0)
        seconds = float(double(m_videoFormat->duration) / AV_TIME_BASE);
    if (stream->nb_frames > 0)
        m_metadata->frameCount = quint32(std::trunc(double(stream->nb_frames) + 0.5));
    else if (rate.num > 0)
        m_metadata->frameCount = quint32(std::trunc(float(rate.num) / float(rate.den) * seconds + 0.5f));
    m_clipDuration = qint64(std::round(seconds * 10000000.0f));
    m_metadata->durationMs = quint32(std::round(seconds * 1000.0f + 0.5f));

    // The thumbnail comes from frame 25, or from the middle of a shorter clip.
    const quint32 target = m_metadata->frameCount <= 25 ? m_metadata->frameCount / 2 : 25;
    if (!setCurrentPositionLibAV(target > 0 ? timeOfFrame(target) : 0))
        return false;
    AV::FramePtr candidate(av_frame_alloc());
    if (!candidate)
        return false;
    bool haveCandidate = false;
    for (;;) {
        const int result = receiveVideoPicture();
        if (result == AVERROR_EOF)
            break;
        if (result < 0) {
            qDebug() << Q_FUNC_INFO << "Decode Error.";
            return false;
        }
        av_frame_unref(candidate.get());
        av_frame_move_ref(candidate.get(), m_decodedPicture.get());
        haveCandidate = true;
        if (frameIndexOfTime(pictureTime(candidate.get(), stream)) >= int(target))
            break;
    }
    if (!haveCandidate)
        return false;
    if (!convertPicture(candidate.get()))
        return false;
    m_metadata->stride = quint32(m_convertedPicture->linesize[0]);
    m_metadata->frameBytes = m_metadata->computeFrameBytes();
    if (!makeThumbnail(candidate.get()))
        return false;
    setCurrentPositionLibAV(0);
    return fillAudioMetadataLibAV();
}

bool WinSourceReader::makeThumbnail(const AVFrame* picture)
{
    const QSize size = thumbnailSize(m_metadata->width, m_metadata->height);
    if (size.isEmpty())
        return false;
    bool fullRange = false;
    const AVPixelFormat format = AV::plainPixelFormat(AVPixelFormat(picture->format), &fullRange);
    AV::ScalerPtr scaler(sws_getContext(picture->width, picture->height, format, size.width(), size.height(),
        AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scaler) {
        qDebug() << Q_FUNC_INFO << "Can't get a frame converter for the thumbnail...";
        return false;
    }
    if (m_metadata->colorRange == 2) {
        const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
        sws_setColorspaceDetails(scaler.get(), coefficients, 1, coefficients, 1, 0, 1 << 16, 1 << 16);
    }
    AV::FramePtr rgb(av_frame_alloc());
    const int bytes = av_image_get_buffer_size(AV_PIX_FMT_BGRA, size.width(), size.height(), 1);
    AV::BufferPtr buffer = AV::allocatePictureBuffer(bytes);
    if (!rgb || !buffer)
        return false;
    av_image_fill_arrays(rgb->data, rgb->linesize, buffer.get(), AV_PIX_FMT_BGRA, size.width(), size.height(), 1);
    sws_scale(scaler.get(), picture->data, picture->linesize, 0, picture->height, rgb->data, rgb->linesize);

    auto* thumbnailMetadata = new AssetMetadata(*m_metadata);
    thumbnailMetadata->width = quint32(size.width());
    thumbnailMetadata->height = AssetMetadata::storedHeight(quint32(size.width()), quint32(size.height()));
    thumbnailMetadata->stride = quint32(rgb->linesize[0]);
    thumbnailMetadata->frameBytes = thumbnailMetadata->computeFrameBytes();
    auto frame = std::make_unique<Frame>(thumbnailMetadata);
    frame->adoptMetadata(thumbnailMetadata);
    frame->timestamp = pictureTime(picture, m_videoFormat->streams[m_videoStream]);
    frame->stride = quint32(rgb->linesize[0]);
    {
        QMutexLocker locker(&frame->mutex);
        uchar* data = frame->allocFrameData();
        if (!data)
            return false;
        memcpy(data, rgb->data[0], size_t(rgb->linesize[0]) * thumbnailMetadata->height);
    }
    frame->index = frameIndexOfTime(frame->timestamp);
    delete m_currentFrame;
    m_currentFrame = frame.release();
    return true;
}

bool WinSourceReader::fillAudioMetadataLibAV()
{
    // Setup opened the sound decoder (and its resampler) whenever the file has
    // a sound stream; the description reads it from there.
    if (!m_audioFormat || !m_audioDecoder || m_audioStream < 0) {
        m_metadata->hasAudio = false;
        return true;
    }
    const AVCodecContext* decoder = m_audioDecoder.get();
    m_metadata->channels = quint32(qMax(0, decoder->ch_layout.nb_channels));
    m_metadata->bitsPerSample = decoder->sample_fmt == AV_SAMPLE_FMT_S32 ? 32 : 16;
    m_metadata->sampleRate = quint32(qMax(0, decoder->sample_rate));
    m_metadata->audioFrameCount = quint32(qMax<int64_t>(0, m_audioFormat->streams[m_audioStream]->nb_frames));
    m_metadata->hasAudio = true;
    return true;
}

qint64 WinSourceReader::computeClipDuration()
{
    if (!m_videoFormat || m_videoStream < 0)
        return -1;
    const AVStream* stream = m_videoFormat->streams[m_videoStream];
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        return qint64(std::round(float(av_q2d(stream->time_base) * double(stream->duration)) * 10000000.0f));
    if (m_videoFormat->duration > 0)
        return av_rescale_q(m_videoFormat->duration, AV_TIME_BASE_Q, AV::hundredNanoseconds);
    return -1;
}

int WinSourceReader::frameIndexOfTime(qint64 time) const
{
    if (m_metadata && m_metadata->frameCount > 0 && m_clipDuration > 0)
        return int(std::trunc(float(m_metadata->frameCount) * float(time) / float(m_clipDuration) + 0.5f));
    // Not described yet: count frames at the stream's rate.
    if (m_videoFormat && m_videoStream >= 0) {
        const AVRational rate = m_videoFormat->streams[m_videoStream]->avg_frame_rate;
        if (rate.num > 0 && rate.den > 0)
            return int(std::trunc(double(time) * rate.num / (double(rate.den) * 10000000.0) + 0.5));
    }
    return 0;
}

qint64 WinSourceReader::timeOfFrame(quint32 frame) const
{
    if (m_metadata && m_metadata->frameCount > 0 && m_clipDuration > 0)
        return qint64(float(m_clipDuration / m_metadata->frameCount) * float(frame));
    if (m_videoFormat && m_videoStream >= 0) {
        const AVRational rate = m_videoFormat->streams[m_videoStream]->avg_frame_rate;
        if (rate.num > 0 && rate.den > 0)
            return qint64(double(frame) * rate.den * 10000000.0 / rate.num);
    }
    return 0;
}

qint64 WinSourceReader::pictureTime(const AVFrame* picture, const AVStream* stream) const
{
    int64_t timestamp = picture->best_effort_timestamp;
    if (timestamp == AV_NOPTS_VALUE)
        timestamp = picture->pts;
    if (timestamp == AV_NOPTS_VALUE)
        return 0;
    // Times count from the stream's first picture, whatever the container's origin.
    if (stream->start_time != AV_NOPTS_VALUE)
        timestamp -= stream->start_time;
    return qint64(std::llround(double(timestamp) * av_q2d(stream->time_base) * 10000000.0));
}

qint64 WinSourceReader::pictureDuration(const AVFrame* picture, const AVStream* stream)
{
    return qint64(float(picture->pkt_duration) * float(av_q2d(stream->time_base)) * 10000000.0f);
}

bool WinSourceReader::pastEndFrame(int index) const
{
    return m_metadata && m_endFrame < m_metadata->frameCount && index >= 0 && quint32(index) > m_endFrame;
}

bool WinSourceReader::seekToFrame(quint32 frame, bool precise)
{
    if (m_api != LibAV || !m_videoFormat)
        return false;
    if (frame == 0)
        return setCurrentPositionLibAV(0);
    if (m_clipDuration < 0)
        m_clipDuration = computeClipDuration();
    if (!setCurrentPositionLibAV(timeOfFrame(frame)))
        return false;
    if (!precise)
        return true;

    // Decode up to the picture before the target; a picture at or past the
    // target (a key frame at the target itself) is kept for the next read.
    const AVStream* stream = m_videoFormat->streams[m_videoStream];
    for (;;) {
        if (receiveVideoPicture() < 0) {
            setCurrentPositionLibAV(0);
            return true;
        }
        const qint64 time = pictureTime(m_decodedPicture.get(), stream);
        const int index = frameIndexOfTime(time);
        if (index >= qint64(frame)) {
            m_pendingFrame.reset(
                makeFrame(m_decodedPicture.get(), time, pictureDuration(m_decodedPicture.get(), stream)));
            av_frame_unref(m_decodedPicture.get());
            if (m_pendingFrame)
                m_pendingFrame->index = index;
            return true;
        }
        av_frame_unref(m_decodedPicture.get());
        if (index >= qint64(frame) - 1)
            return true;
    }
}

bool WinSourceReader::setCurrentPositionLibAV(qint64 time)
{
    if (!m_videoFormat || !m_videoDecoder || m_videoStream < 0)
        return false;
    m_pendingFrame.reset();
    time = qMax<qint64>(0, time);
    const AVStream* stream = m_videoFormat->streams[m_videoStream];
    int64_t position = av_rescale_q(time, AV::hundredNanoseconds, stream->time_base);
    if (stream->start_time != AV_NOPTS_VALUE)
        position += stream->start_time;
    int result = avformat_seek_file(m_videoFormat.get(), m_videoStream, INT64_MIN, position, position, 0);
    if (result < 0) {
        qWarning() << Q_FUNC_INFO << "Could not seek through the stream at position" << position
                   << "with error:" << AV::errorText(result);
        return false;
    }
    avcodec_flush_buffers(m_videoDecoder.get());
    m_videoDraining = false;

    if (m_metadata->hasAudio && m_audioFormat && m_audioDecoder && m_audioStream >= 0) {
        const AVStream* audio = m_audioFormat->streams[m_audioStream];
        position = av_rescale_q(time, AV::hundredNanoseconds, audio->time_base);
        if (audio->start_time != AV_NOPTS_VALUE)
            position += audio->start_time;
        result = avformat_seek_file(m_audioFormat.get(), m_audioStream, INT64_MIN, position, position, 0);
        if (result < 0) {
            qWarning() << Q_FUNC_INFO << "Could not seek through the stream at position" << position
                       << "with error:" << AV::errorText(result);
            return false;
        }
        avcodec_flush_buffers(m_audioDecoder.get());
        m_audioDraining = false;
        if (m_resampler)
            swr_init(m_resampler.get());
    }
    return true;
}

int WinSourceReader::receiveVideoPicture()
{
    return receiveDecoded(m_videoFormat.get(), m_videoDecoder.get(), m_packet.get(), m_videoStream,
        m_decodedPicture.get(), m_videoDraining);
}

int WinSourceReader::receiveAudioFrame()
{
    return receiveDecoded(m_audioFormat.get(), m_audioDecoder.get(), m_audioPacket.get(), m_audioStream,
        m_audioFrame.get(), m_audioDraining);
}

bool WinSourceReader::convertPicture(const AVFrame* picture, uint8_t* target, int targetStride)
{
    bool fullRange = false;
    const AVPixelFormat format = AV::plainPixelFormat(AVPixelFormat(picture->format), &fullRange);
    if (picture->width != m_scalerWidth || picture->height != m_scalerHeight || format != m_scalerFormat) {
        // The stream changed its picture size or layout: scale to the size
        // the reader was set up with.
        m_scaler.reset(
            sws_getCachedContext(m_scaler.release(), picture->width, picture->height, format, m_convertedPicture->width,
                m_convertedPicture->height, AV_PIX_FMT_YUYV422, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
        if (!m_scaler) {
            qDebug() << Q_FUNC_INFO << "Could not get a scaler context";
            return false;
        }
        m_scalerWidth = picture->width;
        m_scalerHeight = picture->height;
        m_scalerFormat = format;
    }
    uint8_t* targets[4] = { target ? target : m_convertedPicture->data[0], nullptr, nullptr, nullptr };
    const int strides[4] = { target ? targetStride : m_convertedPicture->linesize[0], 0, 0, 0 };
    sws_scale(m_scaler.get(), picture->data, picture->linesize, 0, picture->height, targets, strides);
    return true;
}

Frame* WinSourceReader::makeFrame(const AVFrame* picture, qint64 time, qint64 duration)
{
    auto frame = std::make_unique<Frame>(m_metadata);
    frame->timestamp = time;
    frame->duration = duration;
    frame->stride = quint32(m_convertedPicture->linesize[0]);
    // When the frame holds every converted row, the conversion writes straight
    // into it; otherwise (1088 coded rows kept as 1080) it goes through the
    // reader's picture and the rows the frame holds are copied.
    const bool direct = quint32(m_convertedPicture->height) == m_metadata->height;
    if (!direct && !convertPicture(picture))
        return nullptr;
    {
        QMutexLocker locker(&frame->mutex);
        uchar* data = frame->allocFrameData();
        if (!data)
            return nullptr;
        if (direct) {
            if (!convertPicture(picture, data, int(frame->stride)))
                return nullptr;
        } else {
            const size_t rowBytes = frame->stride;
            const quint32 rows = qMin<quint32>(m_metadata->height, quint32(m_convertedPicture->height));
            memcpy(data, m_convertedPicture->data[0], rowBytes * rows);
            if (rows < m_metadata->height)
                memset(data + rowBytes * rows, 0, rowBytes * (m_metadata->height - rows));
        }
    }
    frame->index = frameIndexOfTime(time);
    return frame.release();
}

void WinSourceReader::handleEndOfStream(bool loop)
{
    if (loop)
        seekToFrame(m_startFrame, m_startFrame != 0);
    qDebug() << Q_FUNC_INFO << "End Of File";
    emit endOfVideoStreamReach();
}

Frame* WinSourceReader::getNextFrame(bool loop)
{
    Frame* frame = readFrame(loop);
    if (frame)
        emit updateSlider(frame->index);
    return frame;
}

Frame* WinSourceReader::readFrame(bool loop)
{
    if (m_pendingFrame)
        return m_pendingFrame.release();
    if (m_api == LibAV)
        return getNextFrameLibAV(loop);
    return nullptr;
}

Frame* WinSourceReader::getNextFrameLibAV(bool loop)
{
    if (!m_videoFormat || !m_videoDecoder || m_videoStream < 0)
        return nullptr;
    const int result = receiveVideoPicture();
    if (result == AVERROR_EOF) {
        handleEndOfStream(loop);
        return nullptr;
    }
    if (result < 0) {
        qDebug() << Q_FUNC_INFO << "Decode Error, code:" << result;
        return nullptr;
    }
    const AVStream* stream = m_videoFormat->streams[m_videoStream];
    const qint64 time = pictureTime(m_decodedPicture.get(), stream);
    if (pastEndFrame(frameIndexOfTime(time))) {
        av_frame_unref(m_decodedPicture.get());
        if (loop)
            seekToFrame(m_startFrame, m_startFrame != 0);
        return nullptr;
    }
    Frame* frame = makeFrame(m_decodedPicture.get(), time, pictureDuration(m_decodedPicture.get(), stream));
    av_frame_unref(m_decodedPicture.get());
    return frame;
}

AudioPacket* WinSourceReader::getNextAudioBuffer()
{
    return m_api == LibAV ? getNextAudioBufferLibAV() : nullptr;
}

AudioPacket* WinSourceReader::getNextAudioBufferLibAV()
{
    if (!m_audioFormat || !m_audioDecoder || m_audioStream < 0)
        return nullptr;
    const int result = receiveAudioFrame();
    if (result == AVERROR_EOF) {
        qDebug() << Q_FUNC_INFO << "End Of Audio stream";
        emit endOfAudioStreamReach();
        return nullptr;
    }
    if (result < 0) {
        qDebug() << Q_FUNC_INFO << "Audio Decode Error.";
        return nullptr;
    }
    AVFrame* samples = m_audioFrame.get();
    const AVStream* stream = m_audioFormat->streams[m_audioStream];
    if (pastEndFrame(frameIndexOfTime(pictureTime(samples, stream)))) {
        av_frame_unref(samples);
        return nullptr;
    }
    qint64 duration = 0;
    if (samples->pkt_duration > 0)
        duration = qint64(double(samples->pkt_duration) * av_q2d(stream->time_base) * 10000000.0);
    else if (samples->sample_rate > 0)
        duration = qint64(samples->nb_samples) * 10000000 / samples->sample_rate;

    const int channels = m_audioDecoder->ch_layout.nb_channels;
    QByteArray* pcm = nullptr;
    if (m_resampleAudio) {
        const int rate = m_audioDecoder->sample_rate;
        const int capacity = int(
            av_rescale_rnd(swr_get_delay(m_resampler.get(), rate) + samples->nb_samples, rate, rate, AV_ROUND_UP));
        pcm = new QByteArray(capacity * channels * 2, '\0');
        uint8_t* output[1] = { reinterpret_cast<uint8_t*>(pcm->data()) };
        const int converted = swr_convert(m_resampler.get(), output, capacity,
            const_cast<const uint8_t**>(samples->extended_data), samples->nb_samples);
        if (converted < 0) {
            delete pcm;
            av_frame_unref(samples);
            return nullptr;
        }
        pcm->resize(converted * channels * 2);
    } else {
        const int bytes
            = av_samples_get_buffer_size(nullptr, channels, samples->nb_samples, AVSampleFormat(samples->format), 1);
        pcm = new QByteArray(reinterpret_cast<const char*>(samples->data[0]), qMax(0, bytes));
    }
    av_frame_unref(samples);
    auto* packet = new AudioPacket;
    packet->pcm = pcm;
    packet->lengthMs = qint32(duration / 10000);
    return packet;
}

} // namespace Emulsa
