#include "app/PlaybackDecoder.h"

#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/frame/Frame.h"
#include "media/source/SoundDecoder.h"
#include "media/source/WinSourceReader.h"

#include <QDebug>

#include <algorithm>

namespace Emulsa {

namespace {

constexpr int soundChunkMs = 20;

} // namespace

PlaybackDecoder::PlaybackDecoder(std::function<void()> frameQueued)
    : m_frameQueued(std::move(frameQueued))
{
}

PlaybackDecoder::~PlaybackDecoder()
{
    close();
}

void PlaybackDecoder::open(const SequenceItem& item, quint32 start, quint32 end, int soundSampleRate, int soundChannels)
{
    close();
    // The reader writes to the record it is given.
    m_asset = std::make_unique<AssetMetadata>(*item.asset);
    m_item = std::make_unique<SequenceItem>(m_asset.get(), nullptr, start, end, item.uuid);
    m_reader = std::make_unique<WinSourceReader>();
    m_soundOn = soundSampleRate > 0 && soundChannels > 0;
    m_soundSampleRate = soundSampleRate;
    m_soundChannels = soundChannels;
    m_soundAheadBytes = qint64(soundSampleRate) * soundChannels * 2 * SoundAheadMs / 1000;
    m_start = start;
    m_end = end;
    m_request = std::make_unique<Request>();
    m_request->open = true;
    m_request->frame = start;
    m_request->generation = ++m_generation;
    startThread();
}

void PlaybackDecoder::close()
{
    stopThread();
    m_frames.clear();
    m_sound.clear();
    m_videoStuck = false;
    m_soundOn = false;
    m_reader.reset();
    m_soundDecoder.reset();
    m_item.reset();
    m_asset.reset();
}

void PlaybackDecoder::startThread()
{
    m_quit = false;
    m_thread = std::thread([this] { decodeLoop(); });
}

void PlaybackDecoder::stopThread()
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

void PlaybackDecoder::seek(quint32 frame, bool precise)
{
    std::deque<DecodedFrame> dropped;
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
}

void PlaybackDecoder::setInAndOut(quint32 start, quint32 end)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_start = start;
    m_end = end;
}

std::pair<quint32, quint32> PlaybackDecoder::inAndOut()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return { m_start, m_end };
}

bool PlaybackDecoder::takeFirst(DecodedFrame& frame)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_frames.empty())
            return false;
        frame = std::move(m_frames.front());
        m_frames.pop_front();
    }
    m_wake.notify_all();
    return true;
}

bool PlaybackDecoder::takeDue(const std::function<bool(qint64 position)>& isDue, DecodedFrame& frame, qint64& skipped)
{
    bool have = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        while (!m_frames.empty() && isDue(m_frames.front().position)) {
            if (have)
                ++skipped;
            frame = std::move(m_frames.front());
            m_frames.pop_front();
            have = true;
        }
    }
    if (have)
        m_wake.notify_all();
    return have;
}

qint64 PlaybackDecoder::firstQueuedPosition()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames.empty() ? -1 : m_frames.front().position;
}

QByteArray PlaybackDecoder::peekSound(qint64 maxBytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const qint64 bytes = std::min<qint64>(maxBytes, m_sound.size());
    const int sampleBytes = std::max(1, m_soundChannels * 2);
    return m_sound.left(int(bytes - bytes % sampleBytes));
}

void PlaybackDecoder::dropSound(qint64 bytes)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sound.remove(0, int(bytes));
    }
    m_wake.notify_all();
}

bool PlaybackDecoder::frameWanted() const
{
    return !m_videoStuck && m_frames.size() < FramesAhead;
}

bool PlaybackDecoder::soundWanted() const
{
    return m_soundOn && m_soundDecoder && m_sound.size() < m_soundAheadBytes;
}

void PlaybackDecoder::decodeLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || m_request || frameWanted() || soundWanted(); });
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
        const bool wantFrame = frameWanted();
        lock.unlock();
        if (wantSound)
            decodeSound(generation);
        if (wantFrame)
            decodeFrame(generation);
        lock.lock();
    }
}

void PlaybackDecoder::runSeek(const Request& request)
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

void PlaybackDecoder::decodeFrame(quint64 generation)
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
    DecodedFrame decoded;
    decoded.frame = std::move(frame);
    decoded.position = m_nextPosition++;
    bool announce = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (generation != m_generation)
            return;
        announce = m_frames.empty();
        m_frames.push_back(std::move(decoded));
    }
    if (announce)
        m_frameQueued();
}

void PlaybackDecoder::decodeSound(quint64 generation)
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

} // namespace Emulsa
