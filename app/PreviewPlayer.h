#pragma once

#include "app/PlaybackClock.h"
#include "app/PlaybackDecoder.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>

namespace Emulsa {

class AssetMetadata;
class Frame;
class SequenceItem;
class SoundOutput;

// Plays the current clip of the grading tab: no widgets, only the decoding,
// the sound and the clock. A PlaybackDecoder decodes pictures and sound ahead
// on a thread of its own; the interface thread takes the frame that is due,
// feeds the sound output and never waits for the decoder.
//
// Time: after each seek (and on opening) the frame shown is at play time 0
// and each later frame one frame further, across loops from the out point
// back to the in point, so the clock never jumps at a loop. The sound heard
// is the master clock; without sound (a clip without it, no device) the
// system clock runs instead. A frame whose successor is already due is
// dropped.
//
// The view draws a frame while frameChanged() is delivered, and that takes
// time: while playing, each frame is taken that much before it is due (the
// drawing time is measured and smoothed), so that it reaches the screen when
// it is due rather than a drawing later.
//
// The frame on screen belongs to the player until the next one replaces it;
// frameChanged() says when, and the view draws currentFrame().
class PreviewPlayer : public QObject
{
    Q_OBJECT

public:
    // How long the picture waits at the start of play for an output that has
    // not begun to play the sound yet (a sound server waking up); past that
    // it plays on the system clock until the sound is heard.
    static constexpr int SoundStartWaitMs = 2000;

    explicit PreviewPlayer(QObject* parent = nullptr);
    ~PreviewPlayer() override;

    // The clip to play, paused on its in point; null or a clip whose record
    // is not valid shows nothing. The record must be ready.
    void open(const SequenceItem* item);
    const AssetMetadata* asset() const { return m_asset; }
    bool hasClip() const { return m_asset != nullptr; }

    bool isPlaying() const { return m_playing; }
    quint32 startFrame() const { return m_start; }
    // The out point, exclusive, never past the clip's end.
    quint32 endFrame() const { return m_end; }
    double frameRate() const { return m_fps; }

    // The frame on screen (null before the first one arrives) and its index.
    Frame* currentFrame() const { return m_current.get(); }
    qint32 currentIndex() const { return m_currentIndex; }
    // Grows by one each time another frame becomes current.
    quint64 frameSerial() const { return m_serial; }
    // Whether the frame asked for by the last seek is on screen.
    bool seekSettled() const { return m_settled; }

    // Sound: whether this clip's sound is playing through an output, and
    // whether it was wanted but had to stay silent.
    bool hasSound() const { return m_output != nullptr; }
    bool isSilent() const { return m_silent; }
    // Play time of the sound heard, in nanoseconds since the last seek; -1
    // while none has been heard.
    qint64 soundPlayTime() const;
    // The play time of the frame on screen.
    qint64 shownPlayTime() const;

    // The smoothed time the view takes to put a frame on screen, which
    // playing frames are taken ahead of their time by.
    qint64 presentationLeadNs() const { return m_leadNs; }

    qint64 shownCount() const { return m_shownCount; }
    qint64 droppedCount() const { return m_droppedCount; }
    const PlaybackClock& clock() const { return m_clock; }

public slots:
    void setPlaying(bool playing);
    void togglePlaying() { setPlaying(!m_playing); }
    // Shows frame `frame` (clamped to the in and out points); playback goes on
    // from there when playing.
    void seek(int frame, bool precise = true);
    // Pauses and moves by `frames` from the frame on screen.
    void step(int frames);
    void setStartFrame(quint32 frame);
    void setEndFrame(quint32 frame);

signals:
    // Another frame is on screen.
    void frameChanged(int index);
    void playingChanged(bool playing);

private:
    void restartAt(quint32 frame, bool precise);
    void tick();
    void feedSound();
    void scheduleTick(qint64 waitNs);
    void showFrame(PlaybackDecoder::DecodedFrame& frame);
    // Media time now, plus the lead: frames due by then are taken now.
    qint64 presentationTime();
    // Time until the next queued frame must be taken (a short poll when none
    // is queued).
    qint64 nanosecondsToNextTake();
    bool waitingForSound() const;
    // The sound's sample rate, or 0 when the clip plays without sound.
    int openSound();

    // The frames point into the decoder's copy of the clip, so it goes last.
    PlaybackDecoder m_decoder;
    const AssetMetadata* m_asset = nullptr;
    double m_fps = 0.0;
    quint32 m_start = 0;
    quint32 m_end = 0;
    bool m_playing = false;
    std::unique_ptr<Frame> m_current;
    qint32 m_currentIndex = -1;
    qint64 m_currentPosition = 0;
    quint64 m_serial = 0;
    bool m_settled = true;
    qint32 m_seekTarget = -1;
    PlaybackClock m_clock;
    QTimer m_tickTimer;
    QTimer m_feedTimer;
    std::unique_ptr<SoundOutput> m_output;
    bool m_silent = false;
    bool m_warnedSilent = false;
    // Runs from the start of play (or of a seek while playing) until the
    // sound is first heard.
    QElapsedTimer m_soundWait;
    int m_soundBytesPerSecond = 0;
    qint64 m_shownCount = 0;
    qint64 m_droppedCount = 0;
    qint64 m_leadNs = 0;
    int m_leadSamples = 0;
};

} // namespace Emulsa
