// The movie render's three stages at once: pictures decoded on one thread,
// drawn through the grading passes on the calling (GL) thread, encoded with
// their sound on a third; small bounded queues between them.

#include "media/render/WinOffscreenRenderer.h"

#include "core/GradingPipeline.h"
#include "media/frame/BoundedQueue.h"
#include "media/frame/Frame.h"
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

struct WinOffscreenRenderer::Pipeline
{
    BoundedQueue<std::unique_ptr<Frame>> decoded { stageQueueDepth };
    BoundedQueue<std::vector<uchar>> packed { stageQueueDepth };
    // Buffers of pictures written, for the drawing stage to reuse.
    BoundedQueue<std::vector<uchar>> spare { stageQueueDepth + PackedOutput::BufferCount };
    std::size_t pictureBytes = 0;
    std::atomic<bool> stop { false };
    std::atomic<int> written { 0 };
    // Drawing stage only.
    int reported = 0;
    QString drawError;

    std::mutex mutex;
    std::condition_variable changed;
    bool encoderDone = false; // under the mutex
    bool encoderOk = true; // under the mutex

    // A picture buffer of the right size, reused from the encoder when it has
    // one to spare.
    std::vector<uchar> takeBuffer()
    {
        std::vector<uchar> picture;
        if (!spare.tryPop(picture) || picture.size() != pictureBytes)
            picture.assign(pictureBytes, 0);
        return picture;
    }

    // Stops every stage: the queues drop what they hold and wake whoever waits.
    void halt()
    {
        stop = true;
        decoded.abandon();
        packed.abandon();
    }
};

void WinOffscreenRenderer::decodeFrames(Pipeline& p, qint64 length)
{
    for (qint64 taken = 0; taken < length && !p.stop.load(); ++taken) {
        std::unique_ptr<Frame> frame(m_reader->getNextFrame(false));
        if (!frame)
            break;
        qCDebug(lcFrames) << "Frame" << frame->index << "time" << frame->timestamp;
        if (!p.decoded.push(frame))
            break;
    }
    p.decoded.close();
}

void WinOffscreenRenderer::encodeFrames(Pipeline& p, Decoding& d, bool withSound)
{
    const int stream = *m_videoStreams.constBegin();
    const qint64 duration = m_clock.frameDuration();
    bool ok = true;
    std::vector<uchar> picture;
    while (ok && p.packed.pop(picture)) {
        if (!sendFrameToSinkWriter(picture.data(), stream, duration)) {
            qDebug().noquote() << "Something wen't wrong when trying to render frame to disk";
            ok = fail(QStringLiteral("Fail rendering video file. Error: ") + m_writer->lastError());
            break;
        }
        m_sampleTimes[stream] += duration;
        ++m_framesWritten;
        // The sound follows the pictures written, never ahead of them.
        if (withSound)
            ok = writeSoundUpTo(d, soundSamplesFor(m_framesWritten));
        p.spare.tryPush(picture);
        {
            std::lock_guard<std::mutex> lock(p.mutex);
            p.written = m_framesWritten;
        }
        p.changed.notify_all();
    }
    if (!ok)
        p.halt();
    {
        std::lock_guard<std::mutex> lock(p.mutex);
        p.encoderDone = true;
        p.encoderOk = ok;
    }
    p.changed.notify_all();
}

void WinOffscreenRenderer::passOnUntouched(Pipeline& p, Frame* frame)
{
    std::vector<uchar> picture = p.takeBuffer();
    {
        QMutexLocker lock(&frame->mutex);
        const size_t rowBytes = size_t(m_outputWidth) * 2;
        const size_t stride = std::max<size_t>(frame->effectiveStride(), rowBytes);
        for (int row = 0; frame->data && row < m_outputHeight; ++row)
            std::memcpy(picture.data() + row * rowBytes, frame->data + row * stride, rowBytes);
    }
    p.packed.push(picture);
}

bool WinOffscreenRenderer::handOverPicture(Pipeline& p)
{
    std::vector<uchar> picture = p.takeBuffer();
    if (!finishReadBackYuy2(picture.data())) {
        p.drawError = QStringLiteral("Can't read the rendered picture back.");
        return false;
    }
    // Refused only when the encoding stage stopped; it says why.
    p.packed.push(picture);
    return true;
}

void WinOffscreenRenderer::reportWritten(Pipeline& p)
{
    // A cancel (from a progress receiver) stops the counting too.
    const int written = p.written.load();
    while (p.reported < written && keepRunning())
        reportProgress(++p.reported);
}

void WinOffscreenRenderer::handOverRgbaPicture(Pipeline& p)
{
    std::vector<uchar> picture = p.takeBuffer();
    gradeFrame();
    readBackGraded(reinterpret_cast<ushort*>(picture.data()));
    // Refused only when the encoding stage stopped; it says why.
    p.packed.push(picture);
}

bool WinOffscreenRenderer::drawFrames(Pipeline& p)
{
    // RGBA read back from the graded texture (4:4:4 codecs); the others take
    // the packed picture, at 16 bits for the deep ones.
    const bool rgba = deepMovie() && !packedDeepMovie();
    // 8-bit packed frame bytes go to an 8-bit encoder as they came.
    const bool untouched = !deepMovie() && picturePassesThrough();
    std::unique_ptr<Frame> frame;
    while (keepRunning() && !p.stop.load()) {
        reportWritten(p);
        if (!keepRunning() || !p.decoded.pop(frame))
            break;
        if (untouched) {
            passOnUntouched(p, frame.get());
            continue;
        }
        if (!makeCurrent()) {
            qWarning().noquote() << "can't make context current...";
            p.drawError = QStringLiteral("Can't make the OpenGL context current.");
            return false;
        }
        uploadFrame(frame.get());
        frame.reset();
        if (rgba) {
            handOverRgbaPicture(p);
            swapAndRelease();
            continue;
        }
        gradeFrameToYuy2();
        bool ok = beginReadBackYuy2();
        // Frame N is being read; frame N - 1, read while N was drawn, goes on.
        if (ok && pendingReadBacks() == PackedOutput::BufferCount)
            ok = handOverPicture(p);
        else if (!ok)
            p.drawError = QStringLiteral("Can't read the rendered picture back.");
        swapAndRelease();
        if (!ok)
            return false;
    }
    if (pendingReadBacks() == 0)
        return true;
    if (!makeCurrent()) {
        p.drawError = QStringLiteral("Can't make the OpenGL context current.");
        return false;
    }
    // The last frame, unless the render stopped.
    bool ok = true;
    while (ok && keepRunning() && !p.stop.load() && pendingReadBacks() > 0)
        ok = handOverPicture(p);
    discardReadBacks();
    doneCurrent();
    return ok;
}

bool WinOffscreenRenderer::renderMovieFrames(Decoding& d, bool withSound, qint64 length)
{
    Pipeline p;
    // Packed YUY2 at 8 or 16 bits, or four 16-bit samples a pixel.
    p.pictureBytes = size_t(m_outputWidth) * m_outputHeight * (!deepMovie() ? 2 : packedDeepMovie() ? 4 : 8);
    std::thread decoder([&] { decodeFrames(p, length); });
    std::thread encoder([&] { encodeFrames(p, d, withSound); });

    const bool drawn = drawFrames(p);
    if (!drawn || !keepRunning())
        p.halt();
    // Nothing more to encode; the encoder finishes what it holds.
    p.packed.close();
    p.decoded.abandon();
    {
        std::unique_lock<std::mutex> lock(p.mutex);
        while (!p.encoderDone) {
            p.changed.wait_for(lock, std::chrono::milliseconds(50));
            lock.unlock();
            reportWritten(p);
            if (!keepRunning())
                p.halt();
            lock.lock();
        }
    }
    encoder.join();
    decoder.join();
    reportWritten(p);
    if (!drawn)
        return fail(p.drawError);
    std::lock_guard<std::mutex> lock(p.mutex);
    return p.encoderOk;
}

} // namespace Emulsa
