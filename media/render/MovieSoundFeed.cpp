#include "media/render/MovieSoundFeed.h"

#include "media/encode/MediaWriter.h"

#include <algorithm>

namespace Emulsa {

namespace {

constexpr int pcmBytesPerSample = 4; // interleaved signed 16-bit stereo

} // namespace

bool MovieSoundFeed::open(const QString& path, double originSeconds, const FrameClock& clock, qint64 startFrame)
{
    m_clock = clock;
    m_startFrame = startFrame;
    m_written = 0;
    const bool opened = m_sound.open(path, originSeconds, 2);
    if (opened && m_sound.seek(m_clock.sampleAtFrame(startFrame, m_sound.sampleRate())))
        return true;
    m_error = opened ? QStringLiteral("Could not find the sound of the in point. ") + m_sound.error() : m_sound.error();
    return false;
}

qint64 MovieSoundFeed::samplesFor(qint64 frames) const
{
    const int rate = m_sound.sampleRate();
    return m_clock.sampleAtFrame(m_startFrame + frames, rate) - m_clock.sampleAtFrame(m_startFrame, rate);
}

bool MovieSoundFeed::writeUpTo(MediaWriter& writer, qint64 samples)
{
    // Pieces of at most a few thousand samples keep the buffer small.
    constexpr qint64 piece = 8192;
    while (m_written < samples) {
        const qint64 count = std::min(samples - m_written, piece);
        m_buffer.resize(size_t(count) * pcmBytesPerSample);
        if (m_sound.read(m_buffer.data(), count) < 0) {
            m_error = QStringLiteral("Could not decode the sound. ") + m_sound.error();
            return false;
        }
        if (!writer.writeAudio(m_buffer.data(), int(count * pcmBytesPerSample))) {
            m_error = QStringLiteral("Fail rendering video file. Error: ") + writer.lastError();
            return false;
        }
        m_written += count;
    }
    return true;
}

} // namespace Emulsa
