#include "app/PreviewPlayer.h"

#include "app/SoundOutput.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/frame/Frame.h"

#include <QDebug>

#include <algorithm>
#include <cmath>

namespace Emulsa {

namespace {

// Sound is always played as interleaved signed 16-bit stereo: a desktop
// preview mixes any layout down to its two speakers.
constexpr int soundChannels = 2;
// How often the output is topped up, and how soon a playing clip looks again
// for a frame the decoder has not delivered yet.
constexpr int feedIntervalMs = 10;
constexpr qint64 pollNs = 4000000;
// The lead is the mean of the drawings so far, then follows each drawing by
// an eighth of the difference; it is never more than a frame: a view that
// cannot keep up drops frames rather than running further and further ahead.
constexpr int leadSmoothing = 8;

} // namespace

PreviewPlayer::PreviewPlayer(QObject* parent)
    : QObject(parent)
    , m_decoder([this] { QMetaObject::invokeMethod(this, &PreviewPlayer::tick, Qt::QueuedConnection); })
{
    m_tickTimer.setSingleShot(true);
    m_tickTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_tickTimer, &QTimer::timeout, this, &PreviewPlayer::tick);
    m_feedTimer.setTimerType(Qt::PreciseTimer);
    m_feedTimer.setInterval(feedIntervalMs);
    connect(&m_feedTimer, &QTimer::timeout, this, &PreviewPlayer::feedSound);
    m_clock.setMaster([this]() -> qint64 { return m_playing ? soundPlayTime() : -1; });
}

PreviewPlayer::~PreviewPlayer()
{
    m_current.reset();
    m_decoder.close();
    if (m_output)
        m_output->close();
}

void PreviewPlayer::open(const SequenceItem* item)
{
    m_tickTimer.stop();
    m_feedTimer.stop();
    m_current.reset();
    m_decoder.close();
    m_currentIndex = -1;
    m_currentPosition = 0;
    if (m_output) {
        m_output->close();
        m_output.reset();
    }
    m_silent = false;
    m_soundBytesPerSecond = 0;
    m_asset = nullptr;
    m_fps = 0.0;
    m_start = m_end = 0;
    m_settled = true;
    m_seekTarget = -1;
    m_clock.pause();
    const bool wasPlaying = m_playing;
    m_playing = false;
    ++m_serial;
    if (wasPlaying)
        emit playingChanged(false);

    const AssetMetadata* asset = item ? item->asset : nullptr;
    if (!asset || !asset->valid || !asset->ready || asset->frameCount == 0) {
        emit frameChanged(-1);
        return;
    }
    m_asset = asset;
    m_fps = asset->frameRateDen ? double(asset->frameRateNum) / double(asset->frameRateDen) : 0.0;
    m_clock.setFrameRate(m_fps);
    m_end = std::min<quint32>(item->endFrame, asset->frameCount);
    m_start = std::min<quint32>(item->startFrame, m_end > 0 ? m_end - 1 : 0);
    if (m_end <= m_start)
        m_end = m_start + 1;
    const int sampleRate = openSound();
    m_decoder.open(*item, m_start, m_end, sampleRate, sampleRate > 0 ? soundChannels : 0);
    m_settled = false;
    m_seekTarget = qint32(m_start);
}

int PreviewPlayer::openSound()
{
    if (!m_asset->hasAudio || m_asset->sampleRate == 0)
        return 0;
    m_output = SoundOutput::create();
    if (!m_output || !m_output->open(int(m_asset->sampleRate), soundChannels)) {
        const QString why = m_output ? m_output->error() : QStringLiteral("no sound output");
        m_output.reset();
        m_silent = true;
        if (!m_warnedSilent) {
            m_warnedSilent = true;
            qWarning().noquote() << "PreviewPlayer:" << why << "- playing without sound";
        }
        return 0;
    }
    m_output->setPaused(true);
    m_soundBytesPerSecond = int(m_asset->sampleRate) * soundChannels * 2;
    return int(m_asset->sampleRate);
}

void PreviewPlayer::restartAt(quint32 frame, bool precise)
{
    m_decoder.seek(frame, precise);
    m_settled = false;
    m_seekTarget = qint32(frame);
    if (m_output)
        m_output->flush();
    m_tickTimer.stop();
}

void PreviewPlayer::seek(int frame, bool precise)
{
    if (!hasClip())
        return;
    const qint64 last = qint64(m_end) - 1;
    restartAt(quint32(std::clamp<qint64>(frame, m_start, std::max<qint64>(m_start, last))), precise);
}

void PreviewPlayer::step(int frames)
{
    if (!hasClip())
        return;
    setPlaying(false);
    const qint64 from = m_seekTarget >= 0 && !m_settled ? m_seekTarget : m_currentIndex;
    seek(int(std::max<qint64>(0, from + frames)), true);
}

void PreviewPlayer::setStartFrame(quint32 frame)
{
    m_start = frame;
    m_decoder.setInAndOut(m_start, m_end);
}

void PreviewPlayer::setEndFrame(quint32 frame)
{
    m_end = m_asset ? std::min<quint32>(frame, m_asset->frameCount) : frame;
    m_decoder.setInAndOut(m_start, m_end);
}

void PreviewPlayer::setPlaying(bool playing)
{
    if (!hasClip())
        playing = false;
    if (playing == m_playing)
        return;
    // The clock stops where the sound was heard last.
    if (!playing)
        m_clock.pause();
    m_playing = playing;
    if (playing) {
        m_soundWait.start();
        m_clock.resume();
        if (m_output) {
            m_output->setPaused(false);
            m_feedTimer.start();
        }
        scheduleTick(0);
    } else {
        m_tickTimer.stop();
        m_feedTimer.stop();
        if (m_output)
            m_output->setPaused(true);
    }
    emit playingChanged(playing);
}

qint64 PreviewPlayer::soundPlayTime() const
{
    if (!m_output || m_soundBytesPerSecond <= 0 || !m_settled)
        return -1;
    const qint64 played = m_output->playedBytes();
    if (played <= 0)
        return -1;
    return qint64(double(played) * 1e9 / double(m_soundBytesPerSecond));
}

qint64 PreviewPlayer::shownPlayTime() const
{
    return m_clock.deadline(m_currentPosition);
}

void PreviewPlayer::feedSound()
{
    // Sound of a seek waits for its first frame, so that both start together.
    if (!m_output || !m_playing || !m_settled)
        return;
    // The clock learns most from a reading of the sound just after it moved:
    // looking at every feed sees it within a feed.
    m_clock.position();
    const qint64 room = m_output->bytesFree();
    if (room <= 0)
        return;
    const QByteArray chunk = m_decoder.peekSound(room);
    if (chunk.isEmpty())
        return;
    m_decoder.dropSound(m_output->write(chunk.constData(), chunk.size()));
}

bool PreviewPlayer::waitingForSound() const
{
    return m_output && m_soundWait.isValid() && m_soundWait.elapsed() < SoundStartWaitMs && soundPlayTime() < 0;
}

void PreviewPlayer::scheduleTick(qint64 waitNs)
{
    // Whole milliseconds, rounded up: the clock decides again when it fires.
    m_tickTimer.start(int(std::clamp<qint64>((waitNs + 999999) / 1000000, 0, 1000)));
}

void PreviewPlayer::showFrame(PlaybackDecoder::DecodedFrame& queued)
{
    m_current = std::move(queued.frame);
    m_currentIndex = m_current->index;
    m_currentPosition = queued.position;
    ++m_serial;
    ++m_shownCount;
    QElapsedTimer drawing;
    drawing.start();
    emit frameChanged(m_currentIndex);
    if (!m_playing || m_fps <= 0.0)
        return;
    // Only frames drawn while playing count: the first frame of a clip or a
    // seek also builds the view's programs.
    const qint64 most = qint64(1e9 / m_fps);
    const qint64 drawn = std::min(drawing.nsecsElapsed(), most);
    m_leadSamples = std::min(m_leadSamples + 1, leadSmoothing);
    m_leadNs += (drawn - m_leadNs) / m_leadSamples;
}

qint64 PreviewPlayer::presentationTime()
{
    return m_clock.position() + m_leadNs;
}

qint64 PreviewPlayer::nanosecondsToNextTake()
{
    const qint64 now = presentationTime();
    const qint64 next = m_decoder.firstQueuedPosition();
    return next < 0 ? pollNs : m_clock.deadline(next) - now;
}

void PreviewPlayer::tick()
{
    if (!hasClip())
        return;
    if (!m_settled) {
        // The first frame of a seek is shown as soon as it arrives, playing or
        // paused; play time starts with it.
        PlaybackDecoder::DecodedFrame first;
        if (!m_decoder.takeFirst(first))
            return;
        m_settled = true;
        m_clock.restart(1, 0);
        showFrame(first);
        if (m_playing) {
            m_soundWait.start();
            feedSound();
            scheduleTick(nanosecondsToNextTake());
        }
        return;
    }
    if (!m_playing)
        return;
    if (waitingForSound()) {
        // The picture holds where the sound will start.
        m_clock.restart(m_currentPosition + 1, m_clock.deadline(m_currentPosition));
        scheduleTick(pollNs);
        return;
    }
    const qint64 now = presentationTime();
    PlaybackDecoder::DecodedFrame due;
    qint64 skipped = 0;
    if (m_decoder.takeDue([&](qint64 position) { return m_clock.deadline(position) <= now; }, due, skipped)) {
        m_droppedCount += skipped;
        showFrame(due);
    }
    // Measured after the drawing, which the view did while the frame was
    // announced: a wait measured before it would be late by a drawing.
    if (m_playing)
        scheduleTick(nanosecondsToNextTake());
}

} // namespace Emulsa
