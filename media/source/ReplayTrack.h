#pragma once

#include <QtGlobal>

#include <cstdint>

extern "C" {
#include <libavutil/avutil.h>
}

namespace Emulsa {

// What a decoder that has to start over (its hardware failed mid-stream)
// needs to deliver each picture once: the anchor (the start of the file or
// the last position sought), how many pictures it delivered since and the
// time of the last one; and, while it starts over, which decoded pictures
// were delivered already and are dropped: those up to the last time (after
// a seek to the key frame before it, checked on the first picture) or a
// count of them (after replaying from the anchor).
class ReplayTrack
{
public:
    // A new anchor: nothing delivered since, nothing to drop.
    void setAnchor(bool atStart, int64_t position);
    bool anchorAtStart() const { return m_anchorAtStart; }
    int64_t anchor() const { return m_anchor; }

    // A picture of that time went out.
    void delivered(int64_t pts);
    // The time of the last picture delivered since the anchor; none when
    // nothing was, or the last one had no time.
    int64_t lastDelivered() const { return m_delivered > 0 ? m_lastPts : AV_NOPTS_VALUE; }

    // The decoder sought the key frame before the last picture delivered:
    // drop the pictures up to its time.
    void skipThroughLast();
    // The decoder went back to the anchor: drop as many pictures as were
    // delivered since.
    void skipDelivered();
    void stopSkipping() { m_skip = Skip::None; }
    bool skipping() const { return m_skip != Skip::None; }
    bool skippingThroughTime() const { return m_skip == Skip::ThroughTime; }

    enum class Verdict
    {
        Deliver,
        Drop,
        // The seek landed after the last picture delivered, or the pictures
        // carry no time: go back to the anchor (then skipDelivered()).
        Replay,
    };
    // What becomes of the next decoded picture, of time `pts`.
    Verdict judge(int64_t pts);

private:
    enum class Skip
    {
        None,
        ThroughTime,
        Count,
    };

    bool m_anchorAtStart = true;
    int64_t m_anchor = 0;
    qint64 m_delivered = 0;
    int64_t m_lastPts = AV_NOPTS_VALUE;
    Skip m_skip = Skip::None;
    int64_t m_skipThrough = AV_NOPTS_VALUE;
    qint64 m_skipCount = 0;
    bool m_checkLanding = false;
};

} // namespace Emulsa
