#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace Emulsa {

class AssetMetadata;
class Frame;
class SequenceItem;
class SoundDecoder;
class WinSourceReader;

// The preview player's decoding thread. It decodes the clip's pictures
// (packed YUY2) a few frames ahead into one queue and its sound, as
// interleaved signed 16-bit samples, into a second one, from the in point to
// the out point and round again from the in point. The interface thread
// takes from both and never waits for it.
//
// Each seek starts a new run: whatever is queued is dropped, and what the
// thread was decoding for the run before is never queued. A clip that cannot
// be decoded leaves the queue empty until the next seek.
class PlaybackDecoder
{
public:
    // Frames decoded ahead, and sound decoded ahead of what has been taken.
    static constexpr int FramesAhead = 4;
    static constexpr int SoundAheadMs = 400;

    struct DecodedFrame
    {
        std::unique_ptr<Frame> frame;
        // Frames since the seek that started this run.
        qint64 position = 0;
    };

    // `frameQueued` runs on the decoding thread each time a frame arrives in
    // an empty queue.
    explicit PlaybackDecoder(std::function<void()> frameQueued);
    ~PlaybackDecoder();

    // Starts decoding `item` at `start`. The decoder works on a copy of the
    // clip's record, which its frames point into: they must go before the
    // next open() or close(). Sound is decoded at `soundSampleRate` into
    // `soundChannels` channels, or not at all when either is 0.
    void open(const SequenceItem& item, quint32 start, quint32 end, int soundSampleRate, int soundChannels);
    // Stops the thread and forgets the clip and all that was queued.
    void close();
    // Starts a new run at `frame`.
    void seek(quint32 frame, bool precise);
    void setInAndOut(quint32 start, quint32 end);

    // Takes the first frame queued; false when there is none.
    bool takeFirst(DecodedFrame& frame);
    // Takes the last of the leading frames whose position `isDue` accepts;
    // the ones before it are dropped and counted in `skipped`.
    bool takeDue(const std::function<bool(qint64 position)>& isDue, DecodedFrame& frame, qint64& skipped);
    // The position of the first frame queued, or -1 when there is none.
    qint64 firstQueuedPosition();
    // Up to `maxBytes` of the sound queued, in whole samples of every
    // channel; dropSound() takes what was used from the queue.
    QByteArray peekSound(qint64 maxBytes);
    void dropSound(qint64 bytes);

private:
    struct Request
    {
        bool open = false;
        quint32 frame = 0;
        bool precise = true;
        quint64 generation = 0;
    };

    void startThread();
    void stopThread();
    void decodeLoop();
    // Decoding thread: carries out a seek, decodes one frame or one piece of
    // sound.
    void runSeek(const Request& request);
    void decodeFrame(quint64 generation);
    void decodeSound(quint64 generation);
    bool frameWanted() const;
    bool soundWanted() const;
    // The in and out points as the decoding thread reads them.
    std::pair<quint32, quint32> inAndOut();

    const std::function<void()> m_frameQueued;
    // The copy of the clip's record; the frames and the reader point into
    // it, so it goes last.
    std::unique_ptr<AssetMetadata> m_asset;
    int m_soundSampleRate = 0;
    int m_soundChannels = 0;
    qint64 m_soundAheadBytes = 0;

    // Shared between the threads, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_quit = false;
    std::unique_ptr<Request> m_request;
    quint64 m_generation = 0;
    quint32 m_start = 0;
    quint32 m_end = 0;
    std::deque<DecodedFrame> m_frames;
    QByteArray m_sound;
    bool m_videoStuck = false;
    // Set while the clip's sound is wanted and can be decoded.
    bool m_soundOn = false;

    // Decoding thread only.
    std::unique_ptr<WinSourceReader> m_reader;
    std::unique_ptr<SoundDecoder> m_soundDecoder;
    std::unique_ptr<SequenceItem> m_item;
    qint64 m_nextPosition = 0;
    qint32 m_lastIndex = -1;
    qint64 m_soundSample = 0;
};

} // namespace Emulsa
