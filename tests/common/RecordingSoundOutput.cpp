#include "common/RecordingSoundOutput.h"

#include <cstdlib>

namespace Emulsa::Test {

RecordingSoundOutput::RecordingSoundOutput(std::shared_ptr<Recording> recording, int queueMs)
    : m_recording(std::move(recording))
    , m_queueMs(queueMs)
{
    m_clock.start();
}

std::shared_ptr<RecordingSoundOutput::Recording> RecordingSoundOutput::installRecording(int queueMs)
{
    auto recording = std::make_shared<Recording>();
    install(recording, queueMs);
    return recording;
}

void RecordingSoundOutput::install(const std::shared_ptr<Recording>& recording, int queueMs)
{
    SoundOutput::setFactory(
        [recording, queueMs] { return std::make_unique<RecordingSoundOutput>(recording, queueMs); });
}

void RecordingSoundOutput::uninstall()
{
    SoundOutput::setFactory(Factory());
}

bool RecordingSoundOutput::open(int sampleRate, int channels)
{
    std::lock_guard<std::mutex> lock(m_recording->mutex);
    if (m_recording->refuseToOpen || sampleRate <= 0 || channels <= 0)
        return false;
    m_recording->sampleRate = sampleRate;
    m_recording->channels = channels;
    ++m_recording->opened;
    m_frameBytes = 2 * channels;
    m_bytesPerSecond = sampleRate * m_frameBytes;
    m_open = true;
    m_queue.clear();
    m_played = 0;
    m_clockNs = m_clock.nsecsElapsed();
    return true;
}

void RecordingSoundOutput::close()
{
    advance();
    m_open = false;
    m_queue.clear();
}

void RecordingSoundOutput::advance() const
{
    const qint64 now = m_clock.nsecsElapsed();
    const qint64 passed = now - m_clockNs;
    m_clockNs = now;
    if (!m_open || m_paused || m_bytesPerSecond <= 0)
        return;
    const double samples = double(passed) * 1e-9 * (m_bytesPerSecond / m_frameBytes) + m_carry;
    const qint64 whole = qint64(samples);
    m_carry = samples - double(whole);
    // An empty queue is an underrun: time passes, nothing is played.
    const qint64 bytes = qMin<qint64>(whole * m_frameBytes, m_queue.size());
    if (bytes <= 0)
        return;
    {
        std::lock_guard<std::mutex> lock(m_recording->mutex);
        m_recording->heard.append(m_queue.constData(), int(bytes));
    }
    m_queue.remove(0, int(bytes));
    m_played += bytes;
}

qint64 RecordingSoundOutput::bytesFree() const
{
    advance();
    if (!m_open)
        return 0;
    const qint64 capacity = qint64(m_bytesPerSecond) * m_queueMs / 1000;
    return qMax<qint64>(0, capacity - m_queue.size());
}

qint64 RecordingSoundOutput::write(const char* data, qint64 bytes)
{
    const qint64 taken = qMin(bytes, bytesFree());
    if (taken > 0)
        m_queue.append(data, int(taken));
    return qMax<qint64>(0, taken);
}

qint64 RecordingSoundOutput::playedBytes() const
{
    advance();
    return m_played;
}

void RecordingSoundOutput::setPaused(bool paused)
{
    advance();
    m_paused = paused;
}

void RecordingSoundOutput::flush()
{
    advance();
    m_queue.clear();
    m_played = 0;
    std::lock_guard<std::mutex> lock(m_recording->mutex);
    ++m_recording->flushes;
}

QList<qint64> RecordingSoundOutput::markOffsets(const QByteArray& pcm, int channels, int sampleRate)
{
    QList<qint64> marks;
    if (channels <= 0 || sampleRate <= 0)
        return marks;
    const auto* samples = reinterpret_cast<const qint16*>(pcm.constData());
    const qint64 count = pcm.size() / (2 * channels);
    const qint64 quiet = sampleRate / 10;
    qint64 lastLoud = -quiet - 1;
    for (qint64 i = 0; i < count; ++i) {
        bool loud = false;
        for (int c = 0; c < channels; ++c)
            loud = loud || std::abs(int(samples[i * channels + c])) > 8192;
        if (!loud)
            continue;
        if (i - lastLoud > quiet)
            marks.append(i);
        lastLoud = i;
    }
    return marks;
}

QString RecordingSoundOutput::error() const
{
    return m_recording->refuseToOpen ? QStringLiteral("no sound output device (recorder refused)") : QString();
}

} // namespace Emulsa::Test
