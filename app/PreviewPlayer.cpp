#include "app/PreviewPlayer.h"

#include "app/SoundOutput.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/frame/Frame.h"
#include "media/source/SoundDecoder.h"
#include "media/source/WinSourceReader.h"

#include <QDebug>

#include <algorithm>
#include <cmath>

namespace Emulsa {

namespace {

// Sound is always played as interleaved signed 16-bit stereo: a desktop
// preview mixes any layout down to its two speakers.
constexpr int soundChannels = 2;
constexpr int soundChunkMs = 20;
// How often the output is topped up, and how soon a playing clip looks again
// for a frame the decoder has not delivered yet.
constexpr int feedIntervalMs = 10;
constexpr qint64 pollNs = 4000000;
// The lead is the mean of the drawings so far, then follows each drawing by
// an eighth of the difference; it is never more than a frame: a view that
// cannot keep up drops frames rather than running further and further ahead.
constexpr int leadSmoothing = 8;

} // namespace

struct PreviewPlayer::QueuedFrame
{
    std::unique_ptr<Frame> frame;
    // Frames since the seek that started this run.
    qint64 position = 0;
};

struct PreviewPlayer::Request
{
    bool open = false;
    quint32 frame = 0;
    bool precise = true;
    quint64 generation = 0;
};

PreviewPlayer::PreviewPlayer(QObject* parent)
    : QObject(parent)
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
    stopThread();
    m_frames.clear();
    m_current.reset();
    if (m_output)
        m_output->close();
}

void PreviewPlayer::startThread()
{
    m_quit = false;
    m_thread = std::thread([this] { decodeLoop(); });
}

void PreviewPlayer::stopThread()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
    m_quit = false;
    m_request.reset();
}

void PreviewPlayer::open(const SequenceItem* item)
{
    stopThread();
    m_tickTimer.stop();
    m_feedTimer.stop();
    m_frames.clear();
    m_sound.clear();
    m_current.reset();
    m_currentIndex = -1;
    m_currentPosition = 0;
    if (m_output) {
        m_output->close();
        m_output.reset();
    }
    m_soundOn = false;
    m_silent = false;
    m_reader.reset();
    m_soundDecoder.reset();
    m_item.reset();
    m_assetCopy.reset();
    m_asset = nullptr;
    m_fps = 0.0;
    m_start = m_end = 0;
    m_settled = true;
    m_seekTarget = -1;
    m_videoStuck = false;
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
    // The decoding thread works on a copy of the clip's record: the reader
    // writes to the record it is given.
    m_assetCopy = std::make_unique<AssetMetadata>(*asset);
    m_fps = asset->frameRateDen ? double(asset->frameRateNum) / double(asset->frameRateDen) : 0.0;
    m_clock.setFrameRate(m_fps);
    m_end = std::min<quint32>(item->endFrame, asset->frameCount);
    m_start = std::min<quint32>(item->startFrame, m_end > 0 ? m_end - 1 : 0);
    if (m_end <= m_start)
        m_end = m_start + 1;
    m_item = std::make_unique<SequenceItem>(m_assetCopy.get(), nullptr, m_start, m_end, item->uuid);
    m_reader = std::make_unique<WinSourceReader>();
    openSound();

    m_request = std::make_unique<Request>();
    m_request->open = true;
    m_request->frame = m_start;
    m_request->generation = ++m_generation;
    m_settled = false;
    m_seekTarget = qint32(m_start);
    startThread();
}

void PreviewPlayer::openSound()
{
    if (!m_asset->hasAudio || m_asset->sampleRate == 0)
        return;
    m_output = SoundOutput::create();
    if (!m_output || !m_output->open(int(m_asset->sampleRate), soundChannels)) {
        const QString why = m_output ? m_output->error() : QStringLiteral("no sound output");
        m_output.reset();
        m_silent = true;
        if (!m_warnedSilent) {
            m_warnedSilent = true;
            qWarning().noquote() << "PreviewPlayer:" << why << "- playing without sound";
        }
        return;
    }
    m_output->setPaused(true);
    m_soundOn = true;
    m_soundSampleRate = int(m_asset->sampleRate);
    m_soundChannels = soundChannels;
    m_soundBytesPerSecond = m_soundSampleRate * m_soundChannels * 2;
}

void PreviewPlayer::decodeLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] {
            return m_quit || m_request || (!m_videoStuck && m_frames.size() < FramesAhead) || soundWanted();
        });
        if (m_quit)
            return;
        if (m_request) {
            const Request request = *m_request;
            m_request.reset();
            lock.unlock();
            runSeek(request);
            lock.lock();
            continue;
        }
        const quint64 generation = m_generation;
        const bool wantSound = soundWanted();
        const bool wantFrame = !m_videoStuck && m_frames.size() < FramesAhead;
        lock.unlock();
        if (wantSound)
            decodeSound(generation);
        if (wantFrame)
            decodeFrame(generation);
        lock.lock();
    }
}

std::pair<quint32, quint32> PreviewPlayer::inAndOut()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return { m_start, m_end };
}

bool PreviewPlayer::soundWanted() const
{
    return m_soundOn && m_soundDecoder && m_sound.size() < qint64(m_soundBytesPerSecond) * SoundAheadMs / 1000;
}

void PreviewPlayer::runSeek(const Request& request)
{
    if (request.open) {
        if (!m_reader->initializeFromMetadata(m_item->asset)) {
            qWarning().noquote() << "PreviewPlayer: the clip could not be opened:" << m_item->asset->filePath;
            std::lock_guard<std::mutex> lock(m_mutex);
            m_videoStuck = true;
            m_soundOn = false;
            return;
        }
        bool soundOn;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            soundOn = m_soundOn;
        }
        if (soundOn) {
            auto decoder = std::make_unique<SoundDecoder>();
            if (!decoder->open(
                    m_item->asset->filePath, m_reader->originSeconds(), m_soundChannels, m_soundSampleRate)) {
                qWarning().noquote() << "PreviewPlayer: the clip's sound cannot be decoded:" << decoder->error();
                decoder.reset();
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            m_soundDecoder = std::move(decoder);
            m_soundOn = m_soundDecoder != nullptr;
        }
    }
    m_reader->seekToFrame(request.frame, request.precise);
    m_nextPosition = 0;
    m_lastIndex = -1;
    // The first frame fixes where the sound starts (a seek that is not
    // precise lands on a key frame).
    decodeFrame(request.generation);
    if (m_soundDecoder) {
        const qint32 first = m_lastIndex >= 0 ? m_lastIndex : qint32(request.frame);
        m_soundSample = m_reader->frameClock().sampleAtFrame(first, m_soundSampleRate);
        m_soundDecoder->seek(m_soundSample);
    }
}

void PreviewPlayer::decodeFrame(quint64 generation)
{
    const auto [start, end] = inAndOut();
    std::unique_ptr<Frame> frame(m_reader->getNextFrame(false));
    if (!frame || quint32(std::max(frame->index, 0)) >= end) {
        // The out point or the end of the pictures: on from the in point.
        frame.reset();
        if (m_reader->seekToFrame(start, true))
            frame.reset(m_reader->getNextFrame(false));
        if (!frame) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_videoStuck = true;
            return;
        }
    }
    m_lastIndex = frame->index;
    QueuedFrame queued;
    queued.frame = std::move(frame);
    queued.position = m_nextPosition++;
    bool announce = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (generation != m_generation)
            return;
        announce = m_frames.empty();
        m_frames.push_back(std::move(queued));
    }
    if (announce)
        QMetaObject::invokeMethod(this, &PreviewPlayer::tick, Qt::QueuedConnection);
}

void PreviewPlayer::decodeSound(quint64 generation)
{
    const auto [start, end] = inAndOut();
    const FrameClock& clock = m_reader->frameClock();
    const qint64 endSample = clock.sampleAtFrame(end, m_soundSampleRate);
    if (m_soundSample >= endSample) {
        // Looping with the pictures.
        m_soundSample = clock.sampleAtFrame(start, m_soundSampleRate);
        m_soundDecoder->seek(m_soundSample);
    }
    const qint64 count = std::min<qint64>(
        qint64(m_soundSampleRate) * soundChunkMs / 1000, std::max<qint64>(1, endSample - m_soundSample));
    QByteArray pcm(int(count * m_soundDecoder->bytesPerSample()), Qt::Uninitialized);
    if (m_soundDecoder->read(reinterpret_cast<uchar*>(pcm.data()), count) < 0)
        pcm.fill('\0');
    m_soundSample += count;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (generation == m_generation)
        m_sound.append(pcm);
}

void PreviewPlayer::restartAt(quint32 frame, bool precise)
{
    std::deque<QueuedFrame> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_request = std::make_unique<Request>();
        m_request->frame = frame;
        m_request->precise = precise;
        m_request->generation = ++m_generation;
        dropped.swap(m_frames);
        m_sound.clear();
        m_videoStuck = false;
    }
    m_wake.notify_all();
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
    std::lock_guard<std::mutex> lock(m_mutex);
    m_start = frame;
}

void PreviewPlayer::setEndFrame(quint32 frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_end = m_asset ? std::min<quint32>(frame, m_asset->frameCount) : frame;
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
    QByteArray chunk;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const qint64 bytes = std::min<qint64>(room, m_sound.size());
        // Whole samples of every channel only.
        const qint64 whole = bytes - bytes % (m_soundChannels * 2);
        chunk = m_sound.left(int(whole));
    }
    if (chunk.isEmpty())
        return;
    const qint64 written = m_output->write(chunk.constData(), chunk.size());
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sound.remove(0, int(written));
    }
    m_wake.notify_all();
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

void PreviewPlayer::showFrame(QueuedFrame& queued)
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
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames.empty() ? pollNs : m_clock.deadline(m_frames.front().position) - now;
}

void PreviewPlayer::tick()
{
    if (!hasClip())
        return;
    if (!m_settled) {
        // The first frame of a seek is shown as soon as it arrives, playing or
        // paused; play time starts with it.
        QueuedFrame first;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_frames.empty())
                return;
            first = std::move(m_frames.front());
            m_frames.pop_front();
        }
        m_wake.notify_all();
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
    QueuedFrame due;
    bool have = false;
    qint64 skipped = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        while (!m_frames.empty() && m_clock.deadline(m_frames.front().position) <= now) {
            if (have)
                ++skipped;
            due = std::move(m_frames.front());
            m_frames.pop_front();
            have = true;
        }
    }
    if (have) {
        m_wake.notify_all();
        m_droppedCount += skipped;
        showFrame(due);
    }
    // Measured after the drawing, which the view did while the frame was
    // announced: a wait measured before it would be late by a drawing.
    if (m_playing)
        scheduleTick(nanosecondsToNextTake());
}

} // namespace Emulsa
