// The FFmpeg back-end of WinSourceReader: describing a file, seeking, and
// decoding pictures and sound.
#include "media/source/WinSourceReader.h"

#include "media/clip/AssetMetadata.h"
#include "media/frame/Frame.h"
#include "media/source/AudioPacket.h"
#include "media/source/PictureRotation.h"
#include "media/source/SoundDecoder.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
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

bool isRgbFormat(AVPixelFormat format)
{
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    return descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_RGB);
}

} // namespace

bool WinSourceReader::fillMetadataLibAV()
{
    if (!m_videoFormat || !m_videoDecoder || m_videoStream < 0)
        return false;
    m_metadata->width = quint32(m_convertedPicture->width);
    m_metadata->height = AssetMetadata::storedHeight(m_metadata->width, quint32(m_convertedPicture->height));
    m_metadata->frameRateNum = quint32(m_clock.rateNum());
    m_metadata->frameRateDen = quint32(m_clock.rateDen());
    const int64_t bitRate = m_videoFormat->bit_rate;
    m_metadata->bitRate = bitRate < 0 ? AssetMetadata::unset : quint32(qMin<int64_t>(bitRate, 0xFFFFFFFE));

    // The frame count follows the time line: the clip's length at its
    // nominal rate, whatever number of pictures the stream holds.
    qint64 duration = qMax<qint64>(0, computeClipDuration());
    // Containers without a picture index (MPEG-TS and -PS, Matroska,
    // fragmented MP4) only estimate their length: the end of the last
    // picture is measured instead.
    if (m_videoFormat->streams[m_videoStream]->nb_frames <= 0 || duration <= 0) {
        const qint64 measured = measureDuration(duration);
        if (measured > 0)
            duration = measured;
    }
    m_clipDuration = duration;
    m_metadata->frameCount = quint32(qMax<qint64>(0, m_clock.framesInDuration(duration)));
    m_metadata->durationMs = quint32(std::llround(double(duration) / 10000.0 + 0.5));

    // The thumbnail comes from frame 25, or from the middle of a shorter
    // clip; when that cannot be reached, from the first picture.
    const quint32 target = m_metadata->frameCount <= 25 ? m_metadata->frameCount / 2 : 25;
    const AVFrame* picture = pictureAtFrame(target);
    if (!picture && target > 0)
        picture = pictureAtFrame(0);
    if (!picture) {
        qDebug() << Q_FUNC_INFO << "Decode Error.";
        return false;
    }
    if (!convertPicture(picture))
        return false;
    m_metadata->stride = quint32(m_convertedPicture->linesize[0]);
    m_metadata->frameBytes = m_metadata->computeFrameBytes();
    const AVFrame* shown = shownPicture(picture);
    if (!shown || !makeThumbnail(shown))
        return false;
    seekToFrame(0, false);
    return fillAudioMetadataLibAV();
}

qint64 WinSourceReader::measureDuration(qint64 estimate)
{
    // Decode the last stretch of the file; when the seek lands after the
    // last key frame (nothing decodes), start further back.
    qint64 backOff = 20000000;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const qint64 position = estimate - backOff;
        if (position <= 0 || !setCurrentPositionLibAV(position)) {
            if (!rewindVideo())
                return -1;
        } else {
            decodeAhead();
        }
        qint64 end = -1;
        while (m_hasAhead) {
            end = qMax(end, m_aheadTime + qMax(m_aheadDuration, m_clock.frameDuration()));
            decodeAhead();
        }
        if (end > 0 || position <= 0)
            return end;
        backOff *= 2;
    }
    return -1;
}

const AVFrame* WinSourceReader::pictureAtFrame(quint32 frame)
{
    if (!seekToFrame(frame, true))
        return nullptr;
    advanceTo(m_clock.timeOfFrame(frame));
    if (m_hasHeld)
        return m_held.get();
    return m_hasAhead ? m_ahead.get() : nullptr;
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
    // Decoded with the Rec. 709 matrix, as the grading pipeline does.
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
    const int sourceRange = (m_metadata->colorRange == 2 || isRgbFormat(format)) ? 1 : 0;
    sws_setColorspaceDetails(scaler.get(), coefficients, sourceRange, coefficients, 1, 0, 1 << 16, 1 << 16);
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
    frame->timestamp = pictureTime(picture);
    frame->stride = quint32(rgb->linesize[0]);
    {
        QMutexLocker locker(&frame->mutex);
        uchar* data = frame->allocFrameData();
        if (!data)
            return false;
        memcpy(data, rgb->data[0], size_t(rgb->linesize[0]) * thumbnailMetadata->height);
    }
    frame->index = int(m_clock.nearestFrame(frame->timestamp));
    delete m_currentFrame;
    m_currentFrame = frame.release();
    return true;
}

bool WinSourceReader::fillAudioMetadataLibAV()
{
    // Setup opened the sound decoder (and its resampler) whenever the file has
    // a sound stream; the description reads it from there.
    if (!m_sound || !m_sound->isOpen()) {
        m_metadata->hasAudio = false;
        return true;
    }
    // The sound decoder delivers the source's channels at its rate, as
    // signed 16-bit samples.
    m_metadata->channels = quint32(m_sound->channels());
    m_metadata->bitsPerSample = 16;
    m_metadata->sampleRate = quint32(m_sound->sampleRate());
    m_metadata->audioFrameCount = quint32(m_sound->declaredFrameCount());
    m_metadata->hasAudio = true;
    return true;
}

qint64 WinSourceReader::computeClipDuration()
{
    if (!m_videoFormat || m_videoStream < 0)
        return -1;
    const AVStream* stream = m_videoFormat->streams[m_videoStream];
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        return av_rescale_q(stream->duration, stream->time_base, AV::hundredNanoseconds);
    if (m_videoFormat->duration > 0)
        return av_rescale_q(m_videoFormat->duration, AV_TIME_BASE_Q, AV::hundredNanoseconds);
    return -1;
}

int WinSourceReader::frameIndexOfTime(qint64 time) const
{
    return int(m_clock.nearestFrame(time));
}

void WinSourceReader::setUpClock()
{
    const AVStream* stream = m_videoFormat->streams[m_videoStream];
    AVRational rate = stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = stream->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = m_videoDecoder->framerate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = AVRational { 25, 1 };
    // A variable-rate stream (phones) averages a little off its nominal
    // rate: within 2 % of a standard rate, the standard rate it is.
    static const AVRational standardRates[] = { { 24000, 1001 }, { 24, 1 }, { 25, 1 }, { 30000, 1001 }, { 30, 1 },
        { 48, 1 }, { 50, 1 }, { 60000, 1001 }, { 60, 1 }, { 100, 1 }, { 120, 1 } };
    double bestDistance = 0.02;
    for (const AVRational& standard : standardRates) {
        const double distance = std::abs(av_q2d(rate) / av_q2d(standard) - 1.0);
        if (distance <= bestDistance) {
            bestDistance = distance;
            rate = standard;
        }
    }
    av_reduce(&rate.num, &rate.den, rate.num, rate.den, INT_MAX);
    m_clock = FrameClock(rate.num, rate.den);
}

double WinSourceReader::originSeconds() const
{
    if (!m_videoFormat || m_videoStream < 0)
        return 0.0;
    return double(m_soundOriginPts) * av_q2d(m_videoFormat->streams[m_videoStream]->time_base);
}

bool WinSourceReader::findOrigin()
{
    // The demuxer is at the start of the file: the first picture decoded is
    // the first one shown, and its time is the clip's time 0. It is kept as
    // the next picture, so that reading starts without a seek.
    clearPictures();
    const AVStream* stream = m_videoFormat->streams[m_videoStream];
    m_originPts = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    m_soundOriginPts = m_originPts;
    if (receiveVideoPicture() < 0) {
        m_videoEnded = true;
        return true;
    }
    int64_t first = m_decodedPicture->pts;
    const bool ownTime = first != AV_NOPTS_VALUE;
    if (!ownTime)
        first = m_decodedPicture->best_effort_timestamp;
    if (first != AV_NOPTS_VALUE)
        m_originPts = first;
    // A first picture without a time of its own (AVI) is given the decoding
    // time of a later packet, late by the decoder's reordering; the pictures
    // after it are late alike, so they count from it, but the file shows it
    // at the stream's start, where its sound starts too.
    m_soundOriginPts = m_originPts;
    if (!ownTime && stream->start_time != AV_NOPTS_VALUE && stream->start_time < m_originPts)
        m_soundOriginPts = stream->start_time;
    av_frame_move_ref(m_ahead.get(), m_decodedPicture.get());
    m_hasAhead = true;
    m_aheadTime = 0;
    m_hasPrevious = true;
    m_aheadDuration = pictureDuration(m_ahead.get(), stream);
    if (m_aheadDuration <= 0)
        m_aheadDuration = m_clock.frameDuration();
    m_nextIndex = 0;
    return true;
}

bool WinSourceReader::reopenVideoDemuxer()
{
    int error = 0;
    AV::FormatContextPtr format = AV::openInput(m_metadata->filePath, &error);
    if (!format) {
        qDebug() << Q_FUNC_INFO << "Could not open the file." << AV::errorText(error);
        return false;
    }
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        qDebug() << Q_FUNC_INFO << "Could not find stream information\n";
    if (unsigned(m_videoStream) >= format->nb_streams)
        return false;
    m_videoFormat = std::move(format);
    avcodec_flush_buffers(m_videoDecoder.get());
    m_videoDraining = false;
    return true;
}

bool WinSourceReader::rewindVideo()
{
    // A seek to the first picture, checked: where the container cannot
    // return there (no index, timestamps that wrap), the file is opened
    // again, which always starts at the beginning.
    const bool sought = setCurrentPositionLibAV(0);
    if (sought && decodeAhead() && m_aheadTime <= m_clock.coverTolerance()) {
        m_nextIndex = 0;
        return true;
    }
    clearPictures();
    if (!reopenVideoDemuxer())
        return false;
    decodeAhead();
    m_nextIndex = 0;
    return true;
}

void WinSourceReader::clearPictures()
{
    if (m_held)
        av_frame_unref(m_held.get());
    if (m_ahead)
        av_frame_unref(m_ahead.get());
    m_hasHeld = false;
    m_hasAhead = false;
    m_hasPrevious = false;
    m_videoEnded = false;
    m_decodeFailed = false;
}

bool WinSourceReader::decodeAhead()
{
    m_hasAhead = false;
    if (m_videoEnded)
        return false;
    const qint64 previousEnd = m_aheadTime + m_aheadDuration;
    const int result = receiveVideoPicture();
    if (result < 0) {
        m_videoEnded = true;
        m_decodeFailed = result != AVERROR_EOF;
        m_decodeError = result;
        return false;
    }
    const AVStream* stream = m_videoFormat->streams[m_videoStream];
    av_frame_unref(m_ahead.get());
    av_frame_move_ref(m_ahead.get(), m_decodedPicture.get());
    // A picture without its own time (MPEG-PS and AVI leave some out)
    // follows the one before it; FFmpeg's guess, which may be a decoding
    // time, only serves for the first picture after a seek.
    if (m_ahead->pts != AV_NOPTS_VALUE)
        m_aheadTime = av_rescale_q(m_ahead->pts - m_originPts, stream->time_base, AV::hundredNanoseconds);
    else if (m_hasPrevious)
        m_aheadTime = previousEnd;
    else
        m_aheadTime = pictureTime(m_ahead.get());
    m_hasPrevious = true;
    m_aheadDuration = pictureDuration(m_ahead.get(), stream);
    if (m_aheadDuration <= 0)
        m_aheadDuration = m_clock.frameDuration();
    m_hasAhead = true;
    return true;
}

void WinSourceReader::advanceTo(qint64 time)
{
    // The held picture becomes the latest one that starts by `time`.
    while (m_hasAhead && m_clock.startsBy(m_aheadTime, time)) {
        std::swap(m_held, m_ahead);
        m_hasHeld = true;
        m_heldTime = m_aheadTime;
        m_heldDuration = m_aheadDuration;
        decodeAhead();
    }
}

qint64 WinSourceReader::pictureTime(const AVFrame* picture) const
{
    int64_t timestamp = picture->pts;
    if (timestamp == AV_NOPTS_VALUE)
        timestamp = picture->best_effort_timestamp;
    if (timestamp == AV_NOPTS_VALUE || !m_videoFormat || m_videoStream < 0)
        return 0;
    const AVStream* stream = m_videoFormat->streams[m_videoStream];
    return av_rescale_q(timestamp - m_originPts, stream->time_base, AV::hundredNanoseconds);
}

qint64 WinSourceReader::pictureDuration(const AVFrame* picture, const AVStream* stream)
{
    return av_rescale_q(picture->pkt_duration, stream->time_base, AV::hundredNanoseconds);
}

bool WinSourceReader::pastEndFrame(int index) const
{
    return m_metadata && m_endFrame < m_metadata->frameCount && index >= 0 && quint32(index) > m_endFrame;
}

bool WinSourceReader::seekToFrame(quint32 frame, bool precise)
{
    const bool ok = seekVideoToFrame(frame, precise);
    if (ok)
        positionSound();
    return ok;
}

void WinSourceReader::positionSound()
{
    if (m_sound)
        m_sound->seek(m_clock.sampleAtFrame(m_nextIndex, m_sound->sampleRate()));
}

bool WinSourceReader::seekVideoToFrame(quint32 frame, bool precise)
{
    if (m_api != LibAV || !m_videoFormat)
        return false;
    if (frame == 0)
        return rewindVideo();
    const qint64 target = m_clock.timeOfFrame(frame);
    if (!precise) {
        if (!setCurrentPositionLibAV(target))
            return false;
        decodeAhead();
        m_nextIndex = m_hasAhead ? qMax<qint64>(0, m_clock.nearestFrame(m_aheadTime)) : frame;
        return true;
    }

    // The container's seek may land after the target (no index, a long group
    // of pictures, a key frame flag it cannot see): seek further back each
    // time until the first picture decoded starts by the target, or start
    // from the beginning.
    qint64 backOff = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const qint64 position = target - backOff;
        if (position <= 0)
            break;
        if (!setCurrentPositionLibAV(position))
            break;
        const bool decoded = decodeAhead();
        // A first picture without a time of its own (MPEG-PS) leaves only a
        // guess to count from: decode from the start instead.
        if (decoded && m_ahead->pts == AV_NOPTS_VALUE)
            break;
        if (decoded && m_clock.startsBy(m_aheadTime, target)) {
            m_nextIndex = frame;
            return true;
        }
        backOff = backOff == 0 ? qMax<qint64>(10000000, 2 * m_clock.frameDuration()) : 2 * backOff;
    }
    if (!rewindVideo())
        return false;
    m_nextIndex = frame;
    return true;
}

bool WinSourceReader::setCurrentPositionLibAV(qint64 time)
{
    if (!m_videoFormat || !m_videoDecoder || m_videoStream < 0)
        return false;
    clearPictures();
    time = qMax<qint64>(0, time);
    const AVStream* stream = m_videoFormat->streams[m_videoStream];
    int64_t position = m_originPts + av_rescale_q(time, AV::hundredNanoseconds, stream->time_base);
    int result = avformat_seek_file(m_videoFormat.get(), m_videoStream, INT64_MIN, position, position, 0);
    if (result < 0) {
        qWarning() << Q_FUNC_INFO << "Could not seek through the stream at position" << position
                   << "with error:" << AV::errorText(result);
        return false;
    }
    avcodec_flush_buffers(m_videoDecoder.get());
    m_videoDraining = false;
    return true;
}

int WinSourceReader::receiveVideoPicture()
{
    return receiveDecoded(m_videoFormat.get(), m_videoDecoder.get(), m_packet.get(), m_videoStream,
        m_decodedPicture.get(), m_videoDraining);
}

bool WinSourceReader::makeScaler(int width, int height, AVPixelFormat format)
{
    const int targetWidth = m_convertedPicture->width;
    const int targetHeight = m_convertedPicture->height;
    // An odd last column is cropped, not scaled away.
    const int sourceWidth = (width == targetWidth + 1) ? targetWidth : width;
    m_scaler.reset(sws_getCachedContext(m_scaler.release(), sourceWidth, height, format, targetWidth, targetHeight,
        AV_PIX_FMT_YUYV422, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
    if (!m_scaler)
        return false;
    if (isRgbFormat(format)) {
        // RGB pictures become YUV with the Rec. 709 matrix, the one every
        // later stage decodes with, at the clip's range.
        const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
        const int targetRange = m_metadata && m_metadata->colorRange == 2 ? 1 : 0;
        sws_setColorspaceDetails(m_scaler.get(), coefficients, 1, coefficients, targetRange, 0, 1 << 16, 1 << 16);
    }
    m_scalerWidth = width;
    m_scalerHeight = height;
    m_scalerFormat = format;
    return true;
}

const AVFrame* WinSourceReader::shownPicture(const AVFrame* picture)
{
    if (m_rotation == 0 || !picture)
        return picture;
    bool fullRange = false;
    const AVPixelFormat format = AV::plainPixelFormat(AVPixelFormat(picture->format), &fullRange);
    m_rotationScaler.reset(sws_getCachedContext(m_rotationScaler.release(), picture->width, picture->height, format,
        picture->width, picture->height, AV_PIX_FMT_YUV444P, SWS_POINT, nullptr, nullptr, nullptr));
    if (!m_rotationScaler)
        return nullptr;
    if (isRgbFormat(format)) {
        const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
        const int targetRange = m_metadata && m_metadata->colorRange == 2 ? 1 : 0;
        sws_setColorspaceDetails(
            m_rotationScaler.get(), coefficients, 1, coefficients, targetRange, 0, 1 << 16, 1 << 16);
    }
    AVFrame* coded = m_unrotated.get();
    if (coded->width != picture->width || coded->height != picture->height || !coded->data[0]) {
        av_frame_unref(coded);
        coded->width = picture->width;
        coded->height = picture->height;
        coded->format = AV_PIX_FMT_YUV444P;
        if (av_frame_get_buffer(coded, 0) < 0)
            return nullptr;
    }
    sws_scale(
        m_rotationScaler.get(), picture->data, picture->linesize, 0, picture->height, coded->data, coded->linesize);
    if (!PictureRotation::rotate(coded, m_rotated.get(), m_rotation))
        return nullptr;
    m_rotated->best_effort_timestamp = picture->best_effort_timestamp;
    m_rotated->pts = picture->pts;
    return m_rotated.get();
}

bool WinSourceReader::convertPicture(const AVFrame* source, uint8_t* target, int targetStride)
{
    const AVFrame* picture = shownPicture(source);
    if (!picture)
        return false;
    bool fullRange = false;
    const AVPixelFormat format = AV::plainPixelFormat(AVPixelFormat(picture->format), &fullRange);
    if (picture->width != m_scalerWidth || picture->height != m_scalerHeight || format != m_scalerFormat) {
        // The stream changed its picture size or layout: scale to the size
        // the reader was set up with.
        if (!makeScaler(picture->width, picture->height, format)) {
            qDebug() << Q_FUNC_INFO << "Could not get a scaler context";
            return false;
        }
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
    if (m_api == LibAV)
        return getNextFrameLibAV(loop);
    return nullptr;
}

Frame* WinSourceReader::getNextFrameLibAV(bool loop)
{
    if (!m_videoFormat || !m_videoDecoder || m_videoStream < 0)
        return nullptr;
    if (pastEndFrame(int(m_nextIndex))) {
        if (loop)
            seekToFrame(m_startFrame, m_startFrame != 0);
        return nullptr;
    }
    const qint64 time = m_clock.timeOfFrame(m_nextIndex);
    advanceTo(time);
    if (!m_hasHeld && m_hasAhead) {
        // Nothing starts by this frame's time (the first picture of a clip
        // whose pictures start late, or a rough seek): the next picture.
        advanceTo(m_aheadTime);
    }
    // After the last picture, frames exist while it is still being shown.
    const bool shown = m_hasHeld
        && (m_hasAhead || time < m_heldTime + qMax(m_heldDuration, m_clock.frameDuration()) - m_clock.coverTolerance());
    if (!shown) {
        if (m_decodeFailed) {
            qDebug() << Q_FUNC_INFO << "Decode Error, code:" << m_decodeError;
            return nullptr;
        }
        handleEndOfStream(loop);
        return nullptr;
    }
    Frame* frame = makeFrame(m_held.get(), time, m_clock.frameDuration());
    if (!frame)
        return nullptr;
    frame->index = int(m_nextIndex);
    ++m_nextIndex;
    return frame;
}

AudioPacket* WinSourceReader::getNextAudioBuffer()
{
    return m_api == LibAV ? getNextAudioBufferLibAV() : nullptr;
}

AudioPacket* WinSourceReader::getNextAudioBufferLibAV()
{
    if (!m_sound)
        return nullptr;
    // Up to the out point when there is one, else to the end of the sound.
    constexpr qint64 bufferSamples = 1024;
    const qint64 position = m_sound->position();
    qint64 count = bufferSamples;
    if (m_metadata && m_endFrame < m_metadata->frameCount) {
        const qint64 end = m_clock.sampleAtFrame(qint64(m_endFrame) + 1, m_sound->sampleRate());
        count = qMin(count, end - position);
        if (count <= 0)
            return nullptr;
    }
    if (m_sound->ended()) {
        qDebug() << Q_FUNC_INFO << "End Of Audio stream";
        emit endOfAudioStreamReach();
        return nullptr;
    }
    auto pcm = std::make_unique<QByteArray>(int(count * m_sound->bytesPerSample()), '\0');
    const qint64 fromFile = m_sound->read(reinterpret_cast<uchar*>(pcm->data()), count);
    if (fromFile < 0) {
        qDebug() << Q_FUNC_INFO << "Audio Decode Error." << m_sound->error();
        return nullptr;
    }
    if (fromFile == 0 && m_sound->ended()) {
        qDebug() << Q_FUNC_INFO << "End Of Audio stream";
        emit endOfAudioStreamReach();
        return nullptr;
    }
    auto* packet = new AudioPacket;
    packet->pcm = pcm.release();
    // Counted from the time line's start, so that the lengths add up.
    const qint64 rate = m_sound->sampleRate();
    packet->lengthMs = qint32((position + count) * 1000 / rate - position * 1000 / rate);
    return packet;
}

} // namespace Emulsa
