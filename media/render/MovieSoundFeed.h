#pragma once

#include "media/source/FrameClock.h"
#include "media/source/SoundDecoder.h"

#include <QString>

#include <vector>

namespace Emulsa {

class MediaWriter;

// The sound of a movie render: the clip's sound from the in point on, on the
// reader's time line, as interleaved signed 16-bit stereo at the source's
// rate, written to the movie in step with the pictures written (never ahead
// of them), silence where the clip has none.
class MovieSoundFeed
{
public:
    // Opens the clip's sound and finds the sound of frame `startFrame` on
    // `clock`. False with error().
    bool open(const QString& path, double originSeconds, const FrameClock& clock, qint64 startFrame);
    int sampleRate() const { return m_sound.sampleRate(); }
    // Samples of sound that belong to the first `frames` frames from the in
    // point.
    qint64 samplesFor(qint64 frames) const;
    // Writes sound until `samples` samples from the in point are in the
    // movie. False with error().
    bool writeUpTo(MediaWriter& writer, qint64 samples);
    qint64 samplesWritten() const { return m_written; }
    const QString& error() const { return m_error; }

private:
    SoundDecoder m_sound;
    // Samples on their way from the decoder to the writer.
    std::vector<uchar> m_buffer;
    FrameClock m_clock;
    qint64 m_startFrame = 0;
    qint64 m_written = 0;
    QString m_error;
};

} // namespace Emulsa
