#include "app/AudioPlayback.h"

#include "media/AssetMetadata.h"
#include "media/AudioPacket.h"
#include "media/SequenceItem.h"
#include "media/SourceReader.h"

#include <QAudioDeviceInfo>
#include <QAudioOutput>
#include <QDebug>

#include <memory>

namespace Emulsa {

AudioPlayback::AudioPlayback(SourceReader* reader, QObject* parent)
    : QObject(parent)
    , m_reader(reader)
{
    m_feedTimer.setTimerType(Qt::PreciseTimer);
    m_feedTimer.setInterval(FeedIntervalMs);
    connect(&m_feedTimer, &QTimer::timeout, this, &AudioPlayback::render);
    m_readyTimer.setInterval(50);
    connect(&m_readyTimer, &QTimer::timeout, this, &AudioPlayback::startWhenReady);
}

AudioPlayback::~AudioPlayback()
{
    stopPlayback();
}

bool AudioPlayback::hasOutputDevice()
{
    return !QAudioDeviceInfo::defaultOutputDevice().isNull();
}

qint64 AudioPlayback::bytesToNs(qint64 bytes) const
{
    const qint64 perSecond = qint64(m_format.bytesForDuration(1000000));
    return perSecond > 0 ? qint64(double(bytes) * 1e9 / double(perSecond)) : 0;
}

qint64 AudioPlayback::playedPosition() const
{
    if (!m_output || !m_device || m_bytesWritten == 0)
        return -1;
    const qint64 queued = qMax(0, m_output->bufferSize() - m_output->bytesFree());
    // Once the stream has ended and the queue is empty nothing is heard any
    // more: the preview goes on with its own clock.
    if (m_ended && m_pending.isEmpty() && queued == 0)
        return -1;
    return m_baseNs + bytesToNs(qMax<qint64>(0, m_bytesWritten - queued));
}

void AudioPlayback::currentItemChanged(const SequenceItem* item)
{
    stopPlayback();
    m_item = item;
    m_silent = false;
    if (!item || !item->asset || !item->asset->valid)
        return;
    // The record may still be read on the metadata thread: look again from
    // the event loop until it is ready.
    m_readyTimer.start();
    startWhenReady();
}

void AudioPlayback::startWhenReady()
{
    if (!m_item || !m_item->asset) {
        m_readyTimer.stop();
        return;
    }
    const AssetMetadata* asset = m_item->asset;
    if (!asset->ready && asset->valid)
        return;
    m_readyTimer.stop();
    if (!asset->valid || !asset->hasAudio)
        return;
    const double fps = asset->frameRateDen ? double(asset->frameRateNum) / double(asset->frameRateDen) : 0.0;
    m_baseNs = fps > 0.0 ? qint64(double(m_item->startFrame) * 1e9 / fps) : 0;
    if (!openOutput(asset))
        return;
    if (!m_paused)
        render();
}

void AudioPlayback::goSilent(const QString& reason)
{
    m_silent = true;
    if (!m_warned) {
        m_warned = true;
        qWarning().noquote() << "AudioPlayback:" << reason << "- playing without sound";
    }
    if (m_output) {
        m_output->disconnect(this);
        m_output->stop();
        delete m_output;
        m_output = nullptr;
    }
    m_device = nullptr;
}

bool AudioPlayback::openOutput(const AssetMetadata* asset)
{
    QAudioFormat format;
    format.setSampleRate(int(asset->sampleRate));
    format.setChannelCount(int(asset->channels));
    format.setSampleSize(int(asset->bitsPerSample));
    format.setCodec(QStringLiteral("audio/pcm"));
    format.setByteOrder(QAudioFormat::LittleEndian);
    format.setSampleType(QAudioFormat::SignedInt);
    if (!format.isValid()) {
        goSilent(QStringLiteral("the clip's sound format is not usable"));
        return false;
    }

    const QAudioDeviceInfo device = QAudioDeviceInfo::defaultOutputDevice();
    if (device.isNull()) {
        goSilent(QStringLiteral("no sound output device"));
        return false;
    }
    if (!device.isFormatSupported(format)) {
        // The nearest format is only usable when it plays the same samples.
        const QAudioFormat nearest = device.nearestFormat(format);
        qWarning() << "AudioPlayback: audio format not fully supported, nearest:" << nearest;
        if (nearest.sampleRate() != format.sampleRate() || nearest.channelCount() != format.channelCount()
            || nearest.sampleSize() != format.sampleSize() || nearest.sampleType() != format.sampleType()) {
            goSilent(QStringLiteral("the output device cannot play the clip's sound format"));
            return false;
        }
        format = nearest;
    }
    qDebug() << "AudioPlayback: format" << format;

    m_format = format;
    m_output = new QAudioOutput(device, format, this);
    m_output->setBufferSize(format.bytesForDuration(qint64(QueueMs) * 1000));
    connect(m_output, &QAudioOutput::stateChanged, this, &AudioPlayback::handleStateChanged);
    m_device = m_output->start();
    if (!m_device || (m_output->error() != QAudio::NoError && m_output->error() != QAudio::UnderrunError)) {
        goSilent(QStringLiteral("the sound output could not be opened (error %1)").arg(int(m_output->error())));
        return false;
    }
    if (m_paused)
        m_output->suspend();
    return true;
}

void AudioPlayback::setPlayState(bool paused)
{
    m_paused = paused;
    if (!m_output)
        return;
    if (paused) {
        m_feedTimer.stop();
        m_output->suspend();
    } else {
        m_output->resume();
        render();
        m_feedTimer.start();
    }
}

void AudioPlayback::restartAt(qint64 mediaNs)
{
    m_pending.clear();
    m_bytesWritten = 0;
    m_ended = false;
    m_baseNs = qMax<qint64>(0, mediaNs);
    if (!m_output)
        return;
    m_output->reset();
    m_device = m_output->start();
    if (!m_device) {
        goSilent(QStringLiteral("the sound output could not be restarted"));
        return;
    }
    if (m_paused)
        m_output->suspend();
    else
        render();
}

void AudioPlayback::stopPlayback()
{
    m_readyTimer.stop();
    m_feedTimer.stop();
    if (m_output) {
        m_output->disconnect(this);
        m_output->stop();
        delete m_output;
        m_output = nullptr;
    }
    m_device = nullptr;
    m_pending.clear();
    m_format = QAudioFormat();
    m_paused = true;
    m_ended = false;
    m_bytesWritten = 0;
    m_baseNs = 0;
}

void AudioPlayback::render()
{
    if (m_paused || !m_output || !m_device || !m_reader)
        return;
    // Fill the output's queue; what it cannot take waits for the next tick.
    while (m_output->bytesFree() > 0) {
        if (m_pending.isEmpty()) {
            std::unique_ptr<AudioPacket> packet(m_reader->getNextAudioBuffer());
            if (!packet) {
                m_ended = true;
                break;
            }
            std::unique_ptr<QByteArray> pcm(packet->pcm);
            if (pcm)
                m_pending = *pcm;
            if (m_pending.isEmpty())
                continue;
            m_ended = false;
        }
        const int before = m_pending.size();
        writePending();
        if (m_pending.size() == before)
            break;
    }
    if (!m_feedTimer.isActive())
        m_feedTimer.start();
    if (m_output->error() != QAudio::NoError && m_output->error() != QAudio::UnderrunError)
        qWarning() << "AudioPlayback: audio error:" << m_output->error();
}

void AudioPlayback::writePending()
{
    if (m_output->state() == QAudio::StoppedState || m_output->state() == QAudio::SuspendedState)
        return;
    const qint64 written
        = m_device->write(m_pending.constData(), qMin<qint64>(m_pending.size(), m_output->bytesFree()));
    if (written > 0) {
        m_pending.remove(0, int(written));
        m_bytesWritten += written;
    }
}

void AudioPlayback::handleStateChanged(QAudio::State state)
{
    qDebug() << "AudioPlayback: state =" << state;
}

} // namespace Emulsa
