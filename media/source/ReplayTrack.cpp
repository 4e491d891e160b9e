#include "media/source/ReplayTrack.h"

namespace Emulsa {

void ReplayTrack::setAnchor(bool atStart, int64_t position)
{
    m_anchorAtStart = atStart;
    m_anchor = position;
    m_delivered = 0;
    m_lastPts = AV_NOPTS_VALUE;
    m_skip = Skip::None;
}

void ReplayTrack::delivered(int64_t pts)
{
    ++m_delivered;
    m_lastPts = pts;
}

void ReplayTrack::skipThroughLast()
{
    m_skip = Skip::ThroughTime;
    m_skipThrough = m_lastPts;
    m_checkLanding = true;
}

void ReplayTrack::skipDelivered()
{
    m_skip = m_delivered > 0 ? Skip::Count : Skip::None;
    m_skipCount = m_delivered;
}

ReplayTrack::Verdict ReplayTrack::judge(int64_t pts)
{
    if (m_skip == Skip::None)
        return Verdict::Deliver;
    if (m_skip == Skip::Count) {
        if (m_skipCount > 0) {
            --m_skipCount;
            return Verdict::Drop;
        }
        m_skip = Skip::None;
        return Verdict::Deliver;
    }
    // The seek must land at or before the last picture delivered, on
    // pictures that carry their time; otherwise the pictures are counted
    // from the anchor instead.
    const bool landedLate = m_checkLanding && pts != AV_NOPTS_VALUE && pts > m_skipThrough;
    m_checkLanding = false;
    if (pts == AV_NOPTS_VALUE || landedLate)
        return Verdict::Replay;
    if (pts <= m_skipThrough)
        return Verdict::Drop;
    m_skip = Skip::None;
    return Verdict::Deliver;
}

} // namespace Emulsa
