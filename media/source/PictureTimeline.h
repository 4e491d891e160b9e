#pragma once

#include "media/frame/LibAVPointers.h"
#include "media/source/FrameClock.h"

namespace Emulsa {

class VideoDecoder;

// Places a decoder's pictures on the clip's constant-rate time line
// (FrameClock): finds the first picture (time 0), gives every picture its
// time on the line, picks the picture each frame shows, and seeks so that a
// given frame is read next. It holds the picture shown now and the next one
// decoded; frame nextIndex() is the one read next.
class PictureTimeline
{
public:
    explicit PictureTimeline(VideoDecoder& decoder);

    // The clip's nominal rate: the stream's average rate, else its real base
    // rate, else the decoder's, else 25; within 2 % of a standard rate (a
    // variable-rate stream averages a little off it), that standard rate.
    static FrameClock nominalClock(AVRational average, AVRational base, AVRational decoder);
    // Whether frame time `time` still shows the last picture of a stream,
    // which starts at `pictureTime` and lasts `pictureDuration` (at least a
    // frame).
    static bool lastPictureShown(const FrameClock& clock, qint64 time, qint64 pictureTime, qint64 pictureDuration);

    // Sets up the clock from the decoder's stream, which must be at the start
    // of the file, and decodes the first picture. False when out of memory.
    bool start();
    void release();

    const FrameClock& clock() const { return m_clock; }
    // Container time, in seconds, where the file shows its first picture: the
    // origin of the sound.
    double originSeconds() const;
    qint64 nextIndex() const { return m_nextIndex; }
    // After frame nextIndex() was read.
    void step() { ++m_nextIndex; }

    // Positions the decoder so that frame `frame` is read next (precise), or
    // at the key frame before it. False only when the seek itself fails.
    bool seekToFrame(quint32 frame, bool precise);
    // The picture frame nextIndex() shows; null at the end of the pictures
    // or on a decoding error (decodeFailed()).
    const AVFrame* pictureForNextFrame();
    bool decodeFailed() const { return m_decodeFailed; }
    int decodeError() const { return m_decodeError; }

    // The picture frame `frame` shows (or the first after it), found by a
    // precise seek; null when none is reached.
    const AVFrame* pictureAtFrame(quint32 frame);
    // The end of the last picture, found by decoding the end of the file
    // from a little before `estimate`; -1 when nothing decodes.
    qint64 measureDuration(qint64 estimate);
    // A picture's time on the line (its own timestamp or FFmpeg's guess).
    qint64 pictureTime(const AVFrame* picture) const;

private:
    // Seeks the decoder to the key frame before `time` on the line.
    bool seekTo(qint64 time);
    // Back to the first picture, reopening the file where a seek cannot.
    bool rewind();
    bool decodeAhead();
    // The held picture becomes the latest one that starts by `time`.
    void advanceTo(qint64 time);
    void clearPictures();
    // A picture's duration on the line, one frame when it has none.
    qint64 pictureDuration(const AVFrame* picture) const;

    VideoDecoder& m_decoder;
    FrameClock m_clock;
    // First picture's timestamp in the video stream's time base.
    int64_t m_originPts = 0;
    // Where the file shows that first picture, when its timestamp says
    // otherwise (see originSeconds()).
    int64_t m_soundOriginPts = 0;
    // The picture shown now (held) and the next one decoded (ahead), with
    // their times on the line.
    AV::FramePtr m_held;
    AV::FramePtr m_ahead;
    bool m_hasHeld = false;
    bool m_hasAhead = false;
    // Whether a picture was decoded since the last seek.
    bool m_hasPrevious = false;
    qint64 m_heldTime = 0;
    qint64 m_heldDuration = 0;
    qint64 m_aheadTime = 0;
    qint64 m_aheadDuration = 0;
    bool m_videoEnded = false;
    bool m_decodeFailed = false;
    int m_decodeError = 0;
    qint64 m_nextIndex = 0;
};

} // namespace Emulsa
