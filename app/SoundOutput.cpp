#include "app/SoundOutput.h"

#include <QAudioDeviceInfo>
#include <QAudioFormat>
#include <QAudioOutput>
#include <QDebug>
#include <QIODevice>
#include <QPointer>

#include <mutex>

namespace Emulsa {

namespace {

// The host's default output device in push mode, holding about 100 ms of
// sound: enough to ride over a busy interface thread, little enough that a
// pause or a seek is heard at once.
class DeviceSoundOutput : public SoundOutput
{
public:
    static constexpr int QueueMs = 100;

    ~DeviceSoundOutput() override { close(); }

    bool open(int sampleRate, int channels) override
    {
        close();
        QAudioFormat format;
        format.setSampleRate(sampleRate);
        format.setChannelCount(channels);
        format.setSampleSize(16);
        format.setCodec(QStringLiteral("audio/pcm"));
        format.setByteOrder(QAudioFormat::LittleEndian);
        format.setSampleType(QAudioFormat::SignedInt);
        const QAudioDeviceInfo device = QAudioDeviceInfo::defaultOutputDevice();
        if (device.isNull()) {
            m_error = QStringLiteral("no sound output device");
            return false;
        }
        if (!device.isFormatSupported(format)) {
            m_error = QStringLiteral("the output device cannot play %1 Hz, %2 channels").arg(sampleRate).arg(channels);
            return false;
        }
        m_output = std::make_unique<QAudioOutput>(device, format);
        m_output->setBufferSize(format.bytesForDuration(qint64(QueueMs) * 1000));
        return restart();
    }

    void close() override
    {
        if (m_output)
            m_output->stop();
        m_output.reset();
        m_device = nullptr;
        m_written = 0;
    }

    qint64 bytesFree() const override { return m_output && m_device ? m_output->bytesFree() : 0; }

    qint64 write(const char* data, qint64 bytes) override
    {
        if (!m_device || bytes <= 0)
            return 0;
        const qint64 written = m_device->write(data, bytes);
        if (written > 0)
            m_written += written;
        return qMax<qint64>(0, written);
    }

    qint64 playedBytes() const override
    {
        if (!m_output)
            return 0;
        const qint64 queued = qMax(0, m_output->bufferSize() - m_output->bytesFree());
        return qMax<qint64>(0, m_written - queued);
    }

    void setPaused(bool paused) override
    {
        m_paused = paused;
        if (!m_output)
            return;
        if (paused)
            m_output->suspend();
        else
            m_output->resume();
    }

    void flush() override
    {
        if (!m_output)
            return;
        m_output->reset();
        restart();
    }

    QString error() const override { return m_error; }

private:
    bool restart()
    {
        m_written = 0;
        m_device = m_output->start();
        if (!m_device || (m_output->error() != QAudio::NoError && m_output->error() != QAudio::UnderrunError)) {
            m_error = QStringLiteral("the sound output could not be opened (error %1)").arg(int(m_output->error()));
            m_output.reset();
            m_device = nullptr;
            return false;
        }
        if (m_paused)
            m_output->suspend();
        return true;
    }

    std::unique_ptr<QAudioOutput> m_output;
    QPointer<QIODevice> m_device;
    qint64 m_written = 0;
    bool m_paused = true;
    QString m_error;
};

std::mutex factoryMutex;
SoundOutput::Factory& factory()
{
    static SoundOutput::Factory f;
    return f;
}

} // namespace

std::unique_ptr<SoundOutput> SoundOutput::create()
{
    Factory f;
    {
        std::lock_guard<std::mutex> lock(factoryMutex);
        f = factory();
    }
    if (f)
        return f();
    return std::make_unique<DeviceSoundOutput>();
}

void SoundOutput::setFactory(Factory f)
{
    std::lock_guard<std::mutex> lock(factoryMutex);
    factory() = std::move(f);
}

} // namespace Emulsa
