#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

#include <deque>
#include <functional>
#include <utility>

namespace Emulsa {

// When each frame of a playing clip is due. Frame n is due at the media time
// n / fps (seconds, double precision): absolute deadlines, so that neither
// rounding of timer intervals nor the lateness of a timer adds up over a
// clip. The media time is the sound's played position while the sound gives
// one (the master clock), otherwise the system clock running from the last
// restart or from the last sound position seen, so that losing the sound
// does not make the picture jump.
//
// The owner asks step() whenever its timer fires: it either waits (the next
// frame is early) or shows a frame, having first dropped the frames that are
// more than one frame late. restart() anchors both clocks on a seek or a loop.
//
// Free of widgets and timers: the time sources are functions, so tests drive
// the clock with fake ones.
class PlaybackClock
{
public:
    // How far the sound's reported position may lag the clock before the
    // clock goes back to it at once.
    static constexpr qint64 MasterLagNs = 100000000;
    // How long a reading of the sound counts (several of its periods).
    static constexpr qint64 ReadingWindowNs = 500000000;

    // Nanoseconds of a steadily increasing clock.
    using SystemTime = std::function<qint64()>;
    // The sound's played position in media nanoseconds, or -1 while there is
    // no sound to follow (none, not started, ended).
    using MasterTime = std::function<qint64()>;

    struct Step
    {
        // False: wait waitNs nanoseconds and ask again.
        bool show = false;
        // The frame to show now, and how many frames before it to drop.
        qint64 frame = 0;
        qint64 dropped = 0;
        qint64 waitNs = 0;
    };

    // Without a system time the clock uses a QElapsedTimer of its own.
    explicit PlaybackClock(SystemTime systemTime = SystemTime());

    // The clip's rate; a rate that is not above 0 stops every step (the
    // owner then shows nothing but the current frame).
    void setFrameRate(double fps);
    void setFrameRate(quint32 numerator, quint32 denominator);
    double frameRate() const { return m_fps; }
    void setMaster(MasterTime master) { m_master = std::move(master); }

    // A seek or a loop: `frame` is the next frame to show, due at once; the
    // media time becomes that frame's deadline.
    void restart(qint64 frame);
    // The same with the media time given: after a seek has shown frame f,
    // restart(f + 1, deadline(f)) makes the next frame due one frame later.
    void restart(qint64 nextFrame, qint64 mediaNs);
    // Pausing freezes the media time; resuming continues from there.
    void pause();
    void resume();
    bool isPaused() const { return m_paused; }

    // Media time now, in nanoseconds.
    qint64 position();
    // The media time at which a frame is due.
    qint64 deadline(qint64 frame) const;
    // The frame that will be shown next.
    qint64 nextFrame() const { return m_next; }
    // What to do now (see Step). A shown frame is counted: the next step is
    // about the frame after it.
    Step step();
    // Time left until the next frame is due (0 when it is already due).
    qint64 nanosecondsToNextFrame();
    // Whether the last position came from the sound.
    bool followingMaster() const { return m_followingMaster; }

    qint64 shownCount() const { return m_shown; }
    qint64 droppedCount() const { return m_dropped; }

private:
    qint64 systemNow() const;

    SystemTime m_systemTime;
    MasterTime m_master;
    QElapsedTimer m_timer;
    double m_fps = 0.0;
    bool m_paused = true;
    bool m_followingMaster = false;
    // The media time was m_anchorMedia when the system clock read m_anchorSystem.
    qint64 m_anchorMedia = 0;
    qint64 m_anchorSystem = 0;
    // The sound's last reading, to tell a new one from a stale one, and the
    // new readings of the window: (system time, media minus system time).
    qint64 m_lastMaster = -1;
    std::deque<std::pair<qint64, qint64>> m_readings;
    qint64 m_next = 0;
    qint64 m_shown = 0;
    qint64 m_dropped = 0;
};

} // namespace Emulsa
