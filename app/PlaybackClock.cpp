#include "app/PlaybackClock.h"

#include <cmath>

namespace Emulsa {

PlaybackClock::PlaybackClock(SystemTime systemTime)
    : m_systemTime(std::move(systemTime))
{
    m_timer.start();
}

qint64 PlaybackClock::systemNow() const
{
    return m_systemTime ? m_systemTime() : m_timer.nsecsElapsed();
}

void PlaybackClock::setFrameRate(double fps)
{
    m_fps = (fps > 0.0 && std::isfinite(fps)) ? fps : 0.0;
}

void PlaybackClock::setFrameRate(quint32 numerator, quint32 denominator)
{
    setFrameRate(denominator ? double(numerator) / double(denominator) : 0.0);
}

qint64 PlaybackClock::deadline(qint64 frame) const
{
    if (m_fps <= 0.0)
        return 0;
    return qint64(std::llround(double(frame) * 1e9 / m_fps));
}

void PlaybackClock::restart(qint64 frame)
{
    restart(frame, deadline(frame));
}

void PlaybackClock::restart(qint64 nextFrame, qint64 mediaNs)
{
    m_next = nextFrame;
    m_anchorMedia = mediaNs;
    m_anchorSystem = systemNow();
    m_followingMaster = false;
}

void PlaybackClock::pause()
{
    if (m_paused)
        return;
    m_anchorMedia = position();
    m_paused = true;
}

void PlaybackClock::resume()
{
    if (!m_paused)
        return;
    m_paused = false;
    m_anchorSystem = systemNow();
}

qint64 PlaybackClock::position()
{
    if (m_paused)
        return m_anchorMedia;
    const qint64 now = systemNow();
    const qint64 master = m_master ? m_master() : -1;
    if (master >= 0) {
        // Follow the sound. Outputs report what was heard in periods (tens
        // of milliseconds): a reading is exact when it has just moved and
        // then grows stale until the next leap, so each reading only says
        // that the sound is at least that far. The media time is the system
        // time plus the largest such offset of the readings of the last
        // moment (a sound clock a little slower than the system's lowers it
        // as older readings leave the window). When the clock has run a whole
        // lag past the sound, the sound has really fallen behind (a stall, a
        // restart) and the clock goes back to it at once.
        if (!m_followingMaster)
            m_readings.clear();
        if (m_readings.empty() || master != m_lastMaster)
            m_readings.push_back({ now, master - now });
        m_lastMaster = master;
        while (m_readings.size() > 1 && now - m_readings.front().first > ReadingWindowNs)
            m_readings.pop_front();
        qint64 offset = m_readings.front().second;
        for (const auto& reading : m_readings)
            offset = qMax(offset, reading.second);
        qint64 media = now + offset;
        if (media - master > MasterLagNs) {
            m_readings.clear();
            m_readings.push_back({ now, master - now });
            media = master;
        }
        m_anchorMedia = media;
        m_anchorSystem = now;
        m_followingMaster = true;
        return media;
    }
    m_followingMaster = false;
    return m_anchorMedia + (now - m_anchorSystem);
}

PlaybackClock::Step PlaybackClock::step()
{
    Step result;
    if (m_fps <= 0.0)
        return result;
    const qint64 now = position();
    const qint64 due = deadline(m_next);
    if (now < due) {
        result.waitNs = due - now;
        return result;
    }
    // A frame or more late: skip to the frame whose time has come.
    const double late = double(now - due) * m_fps / 1e9;
    const qint64 behind = late >= 1.0 ? qint64(std::floor(late)) : 0;
    result.show = true;
    result.dropped = behind;
    result.frame = m_next + behind;
    m_next = result.frame + 1;
    m_dropped += behind;
    ++m_shown;
    return result;
}

qint64 PlaybackClock::nanosecondsToNextFrame()
{
    if (m_fps <= 0.0)
        return 0;
    return qMax<qint64>(0, deadline(m_next) - position());
}

} // namespace Emulsa
