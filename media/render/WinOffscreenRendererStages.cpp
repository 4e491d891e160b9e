// The movie render's three stages at once: pictures decoded on one thread,
// drawn through the grading passes on the calling (GL) thread, encoded with
// their sound on a third; small bounded queues between them.

#include "media/render/WinOffscreenRenderer.h"

#include "core/GradingPipeline.h"
#include "media/frame/BoundedQueue.h"
#include "media/frame/Frame.h"
#include "media/render/MovieSoundFeed.h"
#include "media/source/WinSourceReader.h"

#include <QLoggingCategory>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace Emulsa {

namespace {

// Per-picture timing details, off unless enabled with
// QT_LOGGING_RULES="emulsa.render.frames.debug=true".
Q_LOGGING_CATEGORY(lcFrames, "emulsa.render.frames", QtInfoMsg)

// Pictures waiting between two stages: one, so that each stage has the next
// picture at hand while memory stays small and a cancel stops soon.
constexpr std::size_t stageQueueDepth = 1;

} // namespace

// The three stages of one movie render and the queues between them. The
// stages are the renderer's own steps (it owns the reader, the GL side and
// the writer); this holds what they share while they run.
class WinOffscreenRenderer::MovieStages
{
public:
    // `sound` null: the movie has no sound.
    MovieStages(WinOffscreenRenderer& renderer, MovieSoundFeed* sound, qint64 length)
        : m_renderer(renderer)
        , m_sound(sound)
        , m_length(length)
    {
        // Packed YUY2 at 8 or 16 bits, or four 16-bit samples a pixel.
        m_pictureBytes = size_t(m_renderer.m_outputWidth) * m_renderer.m_outputHeight
            * (!m_renderer.deepMovie()             ? 2
                    : m_renderer.packedDeepMovie() ? 4
                                                   : 8);
    }

    // Runs the stages and joins them. False when a stage failed (the
    // renderer's last error says why); a cancel or a source that ends early
    // is no failure here.
    bool run();

private:
    // Decoding thread: up to the length's pictures from the reader.
    void decode();
    // Encoding thread: the pictures and their sound to the writer.
    void encode();
    // Calling thread: grades what the decoding thread delivers.
    bool draw();
    // The graded picture as 16-bit RGBA, to the encoding thread.
    void handOverRgbaPicture();
    // A frame that skips the passes, copied to the encoding thread.
    void passOnUntouched(Frame* frame);
    // The oldest picture being read back, to the encoding thread; false
    // when it cannot be read.
    bool handOverPicture();
    // Raises progressUpdated for each frame the encoding thread wrote since.
    void reportWritten();

    // A picture buffer of the right size, reused from the encoder when it has
    // one to spare.
    std::vector<uchar> takeBuffer()
    {
        std::vector<uchar> picture;
        if (!m_spare.tryPop(picture) || picture.size() != m_pictureBytes)
            picture.assign(m_pictureBytes, 0);
        return picture;
    }

    // Stops every stage: the queues drop what they hold and wake whoever waits.
    void halt()
    {
        m_stop = true;
        m_decoded.abandon();
        m_packed.abandon();
    }

    WinOffscreenRenderer& m_renderer;
    MovieSoundFeed* m_sound;
    const qint64 m_length;
    std::size_t m_pictureBytes = 0;

    BoundedQueue<std::unique_ptr<Frame>> m_decoded { stageQueueDepth };
    BoundedQueue<std::vector<uchar>> m_packed { stageQueueDepth };
    // Buffers of pictures written, for the drawing stage to reuse.
    BoundedQueue<std::vector<uchar>> m_spare { stageQueueDepth + PackedOutput::BufferCount };
    std::atomic<bool> m_stop { false };
    std::atomic<int> m_written { 0 };
    // Drawing stage only.
    int m_reported = 0;
    QString m_drawError;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_encoderDone = false; // under the mutex
    bool m_encoderOk = true; // under the mutex
};

void WinOffscreenRenderer::MovieStages::decode()
{
    for (qint64 taken = 0; taken < m_length && !m_stop.load(); ++taken) {
        std::unique_ptr<Frame> frame(m_renderer.m_reader->getNextFrame(false));
        if (!frame)
            break;
        qCDebug(lcFrames) << "Frame" << frame->index << "time" << frame->timestamp;
        if (!m_decoded.push(frame))
            break;
    }
    m_decoded.close();
}

void WinOffscreenRenderer::MovieStages::encode()
{
    const int stream = *m_renderer.m_videoStreams.constBegin();
    const qint64 duration = m_renderer.m_clock.frameDuration();
    bool ok = true;
    std::vector<uchar> picture;
    while (ok && m_packed.pop(picture)) {
        if (!m_renderer.sendFrameToSinkWriter(picture.data(), stream, duration)) {
            qDebug().noquote() << "Something wen't wrong when trying to render frame to disk";
            ok = m_renderer.fail(
                QStringLiteral("Fail rendering video file. Error: ") + m_renderer.m_writer->lastError());
            break;
        }
        m_renderer.m_sampleTimes[stream] += duration;
        ++m_renderer.m_framesWritten;
        // The sound follows the pictures written, never ahead of them.
        if (m_sound)
            ok = m_renderer.writeSoundFor(*m_sound, m_renderer.m_framesWritten);
        m_spare.tryPush(picture);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_written = m_renderer.m_framesWritten;
        }
        m_changed.notify_all();
    }
    if (!ok)
        halt();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_encoderDone = true;
        m_encoderOk = ok;
    }
    m_changed.notify_all();
}

void WinOffscreenRenderer::MovieStages::passOnUntouched(Frame* frame)
{
    std::vector<uchar> picture = takeBuffer();
    {
        QMutexLocker lock(&frame->mutex);
        const size_t rowBytes = size_t(m_renderer.m_outputWidth) * 2;
        const size_t stride = std::max<size_t>(frame->effectiveStride(), rowBytes);
        for (int row = 0; frame->data && row < m_renderer.m_outputHeight; ++row)
            std::memcpy(picture.data() + row * rowBytes, frame->data + row * stride, rowBytes);
    }
    m_packed.push(picture);
}

bool WinOffscreenRenderer::MovieStages::handOverPicture()
{
    std::vector<uchar> picture = takeBuffer();
    if (!m_renderer.finishReadBackYuy2(picture.data())) {
        m_drawError = QStringLiteral("Can't read the rendered picture back.");
        return false;
    }
    // Refused only when the encoding stage stopped; it says why.
    m_packed.push(picture);
    return true;
}

void WinOffscreenRenderer::MovieStages::reportWritten()
{
    // A cancel (from a progress receiver) stops the counting too.
    const int written = m_written.load();
    while (m_reported < written && m_renderer.keepRunning())
        m_renderer.reportProgress(++m_reported);
}

void WinOffscreenRenderer::MovieStages::handOverRgbaPicture()
{
    std::vector<uchar> picture = takeBuffer();
    m_renderer.gradeFrame();
    m_renderer.readBackGraded(reinterpret_cast<ushort*>(picture.data()));
    // Refused only when the encoding stage stopped; it says why.
    m_packed.push(picture);
}

bool WinOffscreenRenderer::MovieStages::draw()
{
    // RGBA read back from the graded texture (4:4:4 codecs); the others take
    // the packed picture, at 16 bits for the deep ones.
    const bool rgba = m_renderer.deepMovie() && !m_renderer.packedDeepMovie();
    // 8-bit packed frame bytes go to an 8-bit encoder as they came.
    const bool untouched = !m_renderer.deepMovie() && m_renderer.picturePassesThrough();
    std::unique_ptr<Frame> frame;
    while (m_renderer.keepRunning() && !m_stop.load()) {
        reportWritten();
        if (!m_renderer.keepRunning() || !m_decoded.pop(frame))
            break;
        if (untouched) {
            passOnUntouched(frame.get());
            continue;
        }
        if (!m_renderer.makeCurrent()) {
            qWarning().noquote() << "can't make context current...";
            m_drawError = QStringLiteral("Can't make the OpenGL context current.");
            return false;
        }
        m_renderer.uploadFrame(frame.get());
        frame.reset();
        if (rgba) {
            handOverRgbaPicture();
            m_renderer.swapAndRelease();
            continue;
        }
        m_renderer.gradeFrameToYuy2();
        bool ok = m_renderer.beginReadBackYuy2();
        // Frame N is being read; frame N - 1, read while N was drawn, goes on.
        if (ok && m_renderer.pendingReadBacks() == PackedOutput::BufferCount)
            ok = handOverPicture();
        else if (!ok)
            m_drawError = QStringLiteral("Can't read the rendered picture back.");
        m_renderer.swapAndRelease();
        if (!ok)
            return false;
    }
    if (m_renderer.pendingReadBacks() == 0)
        return true;
    if (!m_renderer.makeCurrent()) {
        m_drawError = QStringLiteral("Can't make the OpenGL context current.");
        return false;
    }
    // The last frame, unless the render stopped.
    bool ok = true;
    while (ok && m_renderer.keepRunning() && !m_stop.load() && m_renderer.pendingReadBacks() > 0)
        ok = handOverPicture();
    m_renderer.discardReadBacks();
    m_renderer.doneCurrent();
    return ok;
}

bool WinOffscreenRenderer::renderMovieFrames(MovieSoundFeed* sound, qint64 length)
{
    return MovieStages(*this, sound, length).run();
}

bool WinOffscreenRenderer::MovieStages::run()
{
    std::thread decoder([this] { decode(); });
    std::thread encoder([this] { encode(); });

    const bool drawn = draw();
    if (!drawn || !m_renderer.keepRunning())
        halt();
    // Nothing more to encode; the encoder finishes what it holds.
    m_packed.close();
    m_decoded.abandon();
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_encoderDone) {
            m_changed.wait_for(lock, std::chrono::milliseconds(50));
            lock.unlock();
            reportWritten();
            if (!m_renderer.keepRunning())
                halt();
            lock.lock();
        }
    }
    encoder.join();
    decoder.join();
    reportWritten();
    if (!drawn)
        return m_renderer.fail(m_drawError);
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_encoderOk;
}

} // namespace Emulsa
