#pragma once

#include <QtGlobal>

namespace Emulsa {

// The time line every consumer of a clip shares (reader, preview, renderer,
// metadata, thumbnails, in and out points, TIFF numbering).
//
// A clip is a constant-rate sequence of frames at its nominal frame rate (the
// asset's frameRateNum / frameRateDen). Frame n is presented at n / fps
// seconds, counted from the presentation time of the video stream's first
// picture, and shows the source picture whose presentation interval covers
// that time, as a player would show it: where the source leaves a gap the
// previous picture is repeated, where it has more pictures than frames some
// are dropped. A picture "covers" a time when it starts no later than a
// quarter of a frame after it, so that timestamps rounded by the container
// (milliseconds in Matroska) still land on their frame.
//
// Sound follows the same line: frame n starts at sample
// round(n / fps * sampleRate), so a stretch of frames [S, E) lasts
// (E - S) / fps with exactly sampleAtFrame(E) - sampleAtFrame(S) samples.
//
// Times are in 100-nanosecond units.
class FrameClock
{
public:
    FrameClock() = default;
    FrameClock(qint64 rateNum, qint64 rateDen);

    bool isValid() const { return m_num > 0 && m_den > 0; }
    qint64 rateNum() const { return m_num; }
    qint64 rateDen() const { return m_den; }

    // Presentation time of frame n, rounded to the nearest unit.
    qint64 timeOfFrame(qint64 frame) const;
    // The frame presented nearest to `time` (half a frame either way).
    qint64 nearestFrame(qint64 time) const;
    // Length of one frame, rounded.
    qint64 frameDuration() const;
    // How far after a frame's time a picture may start and still cover it.
    qint64 coverTolerance() const;
    // Whether a picture starting at `pictureTime` is shown at `frameTime`
    // or earlier (it covers that frame unless a later picture does).
    bool startsBy(qint64 pictureTime, qint64 frameTime) const { return pictureTime <= frameTime + coverTolerance(); }
    // The number of frames of a stretch `duration` long (rounded).
    qint64 framesInDuration(qint64 duration) const { return nearestFrame(duration); }
    // First sound sample of frame n at `sampleRate`.
    qint64 sampleAtFrame(qint64 frame, int sampleRate) const;

private:
    qint64 m_num = 0;
    qint64 m_den = 1;
};

} // namespace Emulsa
