#include "media/source/FrameClock.h"

namespace Emulsa {

namespace {

constexpr qint64 unitsPerSecond = 10000000;

// Rounded a * b / c for non-negative c, without overflow for clip lengths.
qint64 scaleRounded(qint64 a, qint64 b, qint64 c)
{
    const long double value = static_cast<long double>(a) * b / c;
    return value < 0 ? -qint64(-value + 0.5L) : qint64(value + 0.5L);
}

} // namespace

FrameClock::FrameClock(qint64 rateNum, qint64 rateDen)
    : m_num(rateNum > 0 && rateDen > 0 ? rateNum : 0)
    , m_den(rateNum > 0 && rateDen > 0 ? rateDen : 1)
{
}

qint64 FrameClock::timeOfFrame(qint64 frame) const
{
    return isValid() ? scaleRounded(frame, unitsPerSecond * m_den, m_num) : 0;
}

qint64 FrameClock::nearestFrame(qint64 time) const
{
    return isValid() ? scaleRounded(time, m_num, unitsPerSecond * m_den) : 0;
}

qint64 FrameClock::frameDuration() const
{
    return isValid() ? scaleRounded(1, unitsPerSecond * m_den, m_num) : 0;
}

qint64 FrameClock::coverTolerance() const
{
    return frameDuration() / 4;
}

qint64 FrameClock::sampleAtFrame(qint64 frame, int sampleRate) const
{
    return isValid() && sampleRate > 0 ? scaleRounded(frame, qint64(sampleRate) * m_den, m_num) : 0;
}

} // namespace Emulsa
