#include "media/source/PictureTimeline.h"

#include "media/source/VideoDecoder.h"

#include <QtGlobal>

#include <climits>
#include <cmath>
#include <utility>

namespace Emulsa {

PictureTimeline::PictureTimeline(VideoDecoder& decoder)
    : m_decoder(decoder)
{
}

FrameClock PictureTimeline::nominalClock(AVRational average, AVRational base, AVRational decoder)
{
    AVRational rate = average;
    if (rate.num <= 0 || rate.den <= 0)
        rate = base;
    if (rate.num <= 0 || rate.den <= 0)
        rate = decoder;
    if (rate.num <= 0 || rate.den <= 0)
        rate = AVRational { 25, 1 };
    static const AVRational standardRates[] = { { 24000, 1001 }, { 24, 1 }, { 25, 1 }, { 30000, 1001 }, { 30, 1 },
        { 48, 1 }, { 50, 1 }, { 60000, 1001 }, { 60, 1 }, { 100, 1 }, { 120, 1 } };
    // Every standard rate is measured against the declared one: the nearest
    // within 2 % wins.
    const double declared = av_q2d(rate);
    double bestDistance = 0.02;
    for (const AVRational& standard : standardRates) {
        const double distance = std::abs(declared / av_q2d(standard) - 1.0);
        if (distance <= bestDistance) {
            bestDistance = distance;
            rate = standard;
        }
    }
    av_reduce(&rate.num, &rate.den, rate.num, rate.den, INT_MAX);
    return FrameClock(rate.num, rate.den);
}

bool PictureTimeline::lastPictureShown(const FrameClock& clock, qint64 time, qint64 pictureTime, qint64 pictureDuration)
{
    return time < pictureTime + qMax(pictureDuration, clock.frameDuration()) - clock.coverTolerance();
}

bool PictureTimeline::start()
{
    release();
    m_held.reset(av_frame_alloc());
    m_ahead.reset(av_frame_alloc());
    if (!m_held || !m_ahead)
        return false;
    const AVStream* stream = m_decoder.stream();
    m_clock = nominalClock(stream->avg_frame_rate, stream->r_frame_rate, m_decoder.codec()->framerate);

    // The demuxer is at the start of the file: the first picture decoded is
    // the first one shown, and its time is the clip's time 0. It is kept as
    // the next picture, so that reading starts without a seek.
    m_originPts = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    m_soundOriginPts = m_originPts;
    if (m_decoder.receive(m_ahead.get()) < 0) {
        m_videoEnded = true;
        return true;
    }
    int64_t first = m_ahead->pts;
    const bool ownTime = first != AV_NOPTS_VALUE;
    if (!ownTime)
        first = m_ahead->best_effort_timestamp;
    if (first != AV_NOPTS_VALUE)
        m_originPts = first;
    // A first picture without a time of its own (AVI) is given the decoding
    // time of a later packet, late by the decoder's reordering; the pictures
    // after it are late alike, so they count from it, but the file shows it
    // at the stream's start, where its sound starts too.
    m_soundOriginPts = m_originPts;
    if (!ownTime && stream->start_time != AV_NOPTS_VALUE && stream->start_time < m_originPts)
        m_soundOriginPts = stream->start_time;
    m_hasAhead = true;
    m_aheadTime = 0;
    m_hasPrevious = true;
    m_aheadDuration = pictureDuration(m_ahead.get());
    m_nextIndex = 0;
    return true;
}

void PictureTimeline::release()
{
    clearPictures();
    m_held.reset();
    m_ahead.reset();
}

double PictureTimeline::originSeconds() const
{
    if (!m_decoder.isOpen())
        return 0.0;
    return double(m_soundOriginPts) * av_q2d(m_decoder.stream()->time_base);
}

void PictureTimeline::clearPictures()
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

bool PictureTimeline::seekTo(qint64 time)
{
    if (!m_decoder.isOpen() || !m_ahead)
        return false;
    clearPictures();
    const AVStream* stream = m_decoder.stream();
    return m_decoder.seek(m_originPts + av_rescale_q(qMax<qint64>(0, time), AV::hundredNanoseconds, stream->time_base));
}

bool PictureTimeline::rewind()
{
    // A seek to the first picture, checked: where the container cannot
    // return there (no index, timestamps that wrap), the file is opened
    // again, which always starts at the beginning.
    const bool sought = seekTo(0);
    if (sought && decodeAhead() && m_aheadTime <= m_clock.coverTolerance()) {
        m_nextIndex = 0;
        return true;
    }
    clearPictures();
    if (!m_decoder.reopen())
        return false;
    decodeAhead();
    m_nextIndex = 0;
    return true;
}

bool PictureTimeline::decodeAhead()
{
    m_hasAhead = false;
    if (m_videoEnded || !m_ahead)
        return false;
    const qint64 previousEnd = m_aheadTime + m_aheadDuration;
    const int result = m_decoder.receive(m_ahead.get());
    if (result < 0) {
        m_videoEnded = true;
        m_decodeFailed = result != AVERROR_EOF;
        m_decodeError = result;
        return false;
    }
    // A picture without its own time (MPEG-PS and AVI leave some out)
    // follows the one before it; FFmpeg's guess, which may be a decoding
    // time, only serves for the first picture after a seek.
    if (m_ahead->pts != AV_NOPTS_VALUE)
        m_aheadTime = av_rescale_q(m_ahead->pts - m_originPts, m_decoder.stream()->time_base, AV::hundredNanoseconds);
    else if (m_hasPrevious)
        m_aheadTime = previousEnd;
    else
        m_aheadTime = pictureTime(m_ahead.get());
    m_hasPrevious = true;
    m_aheadDuration = pictureDuration(m_ahead.get());
    m_hasAhead = true;
    return true;
}

void PictureTimeline::advanceTo(qint64 time)
{
    while (m_hasAhead && m_clock.startsBy(m_aheadTime, time)) {
        std::swap(m_held, m_ahead);
        m_hasHeld = true;
        m_heldTime = m_aheadTime;
        m_heldDuration = m_aheadDuration;
        decodeAhead();
    }
}

qint64 PictureTimeline::pictureTime(const AVFrame* picture) const
{
    int64_t timestamp = picture->pts;
    if (timestamp == AV_NOPTS_VALUE)
        timestamp = picture->best_effort_timestamp;
    if (timestamp == AV_NOPTS_VALUE || !m_decoder.isOpen())
        return 0;
    return av_rescale_q(timestamp - m_originPts, m_decoder.stream()->time_base, AV::hundredNanoseconds);
}

qint64 PictureTimeline::pictureDuration(const AVFrame* picture) const
{
    const qint64 duration = av_rescale_q(picture->pkt_duration, m_decoder.stream()->time_base, AV::hundredNanoseconds);
    return duration > 0 ? duration : m_clock.frameDuration();
}

const AVFrame* PictureTimeline::pictureForNextFrame()
{
    const qint64 time = m_clock.timeOfFrame(m_nextIndex);
    advanceTo(time);
    if (!m_hasHeld && m_hasAhead) {
        // Nothing starts by this frame's time (the first picture of a clip
        // whose pictures start late, or a rough seek): the next picture.
        advanceTo(m_aheadTime);
    }
    // After the last picture, frames exist while it is still being shown.
    const bool shown = m_hasHeld && (m_hasAhead || lastPictureShown(m_clock, time, m_heldTime, m_heldDuration));
    return shown ? m_held.get() : nullptr;
}

bool PictureTimeline::seekToFrame(quint32 frame, bool precise)
{
    if (!m_decoder.isOpen())
        return false;
    if (frame == 0)
        return rewind();
    const qint64 target = m_clock.timeOfFrame(frame);
    if (!precise) {
        if (!seekTo(target))
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
        if (position <= 0 || !seekTo(position))
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
    if (!rewind())
        return false;
    m_nextIndex = frame;
    return true;
}

const AVFrame* PictureTimeline::pictureAtFrame(quint32 frame)
{
    if (!seekToFrame(frame, true))
        return nullptr;
    advanceTo(m_clock.timeOfFrame(frame));
    if (m_hasHeld)
        return m_held.get();
    return m_hasAhead ? m_ahead.get() : nullptr;
}

qint64 PictureTimeline::measureDuration(qint64 estimate)
{
    // Decode the last stretch of the file; when the seek lands after the
    // last key frame (nothing decodes), start further back.
    qint64 backOff = 20000000;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const qint64 position = estimate - backOff;
        if (position <= 0 || !seekTo(position)) {
            if (!rewind())
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

} // namespace Emulsa
