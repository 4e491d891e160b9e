#pragma once

#include "app/SoundOutput.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>

#include <memory>
#include <mutex>

namespace Emulsa::Test {

// A sound output that stands in for a device: it holds `queueMs` of sound and
// plays it in real time on the system clock while not paused, keeping every
// byte it has played. Install() makes every sound output of the program one
// of these, all writing into one shared Recording.
class RecordingSoundOutput : public SoundOutput
{
public:
    struct Recording
    {
        // Everything played so far, in order, across outputs and flushes.
        QByteArray heard;
        int sampleRate = 0;
        int channels = 0;
        int opened = 0;
        int flushes = 0;
        // open() fails, as without a device.
        bool refuseToOpen = false;
        mutable std::mutex mutex;
    };

    explicit RecordingSoundOutput(std::shared_ptr<Recording> recording, int queueMs = 100);

    // Every SoundOutput::create() makes a recorder into `recording`, until
    // uninstall().
    static void install(const std::shared_ptr<Recording>& recording, int queueMs = 100);
    // install() into a fresh recording, returned.
    static std::shared_ptr<Recording> installRecording(int queueMs = 100);
    static void uninstall();

    // Where the marks of a marked sound start in interleaved 16-bit PCM, in
    // samples from its start: the first sample of each burst above a quarter
    // of full scale after at least 100 ms below it.
    static QList<qint64> markOffsets(const QByteArray& pcm, int channels, int sampleRate);

    bool open(int sampleRate, int channels) override;
    void close() override;
    qint64 bytesFree() const override;
    qint64 write(const char* data, qint64 bytes) override;
    qint64 playedBytes() const override;
    void setPaused(bool paused) override;
    void flush() override;
    QString error() const override;

private:
    // Plays what the time since the last call allows.
    void advance() const;

    std::shared_ptr<Recording> m_recording;
    int m_queueMs;
    int m_bytesPerSecond = 0;
    int m_frameBytes = 4;
    bool m_open = false;
    bool m_paused = true;
    mutable QByteArray m_queue;
    mutable qint64 m_played = 0;
    mutable QElapsedTimer m_clock;
    mutable qint64 m_clockNs = 0;
    // Fractions of a sample of play time carried to the next call.
    mutable double m_carry = 0.0;
};

} // namespace Emulsa::Test
