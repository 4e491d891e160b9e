#pragma once

#include "media/render/OutputSettings.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>
#include <QUuid>

class QOffscreenSurface;

namespace Emulsa {

class RenderManager;
class SequenceItem;

// Runs one render at a time: owns the worker thread and the worker
// (RenderManager) for the time of a render, relays the worker's progress to
// the GUI thread, and keeps the figures a render shows: the elapsed time, the
// frames per second of the last second, and the average at the end.
//
// A render: start() makes the worker, announces the assigned output names
// and the total, and starts the thread; the worker's signals arrive queued.
// When the worker is done (or canceled) the thread is asked to quit; only
// once it has finished is the worker deleted and finished() sent, so that
// isRendering() stays true until then. cancel() only clears the worker's
// running flag (on the render thread, between frames): isCanceling() is true
// from then until finished().
//
// Lives on the GUI thread. Deleting the queue during a render cancels it and
// waits for the thread.
class RenderQueue : public QObject
{
    Q_OBJECT

public:
    explicit RenderQueue(QObject* parent = nullptr);
    ~RenderQueue() override;

    // Starts rendering `items` (the queue owns the list and its snapshot
    // items from here on, also when it refuses them). Refused, returning
    // false, while a render runs or ends, and for an empty list.
    bool start(QList<const SequenceItem*>* items, const t_OutputSettings& settings, QOffscreenSurface* surface);
    // Stops the render at its next frame; the rest of the list is dropped.
    void cancel();

    // From start() until finished() is sent.
    bool isRendering() const { return m_worker != nullptr; }
    // From cancel() until finished() is sent.
    bool isCanceling() const { return m_canceling; }
    // Whether the last render that ended was canceled.
    bool wasCanceled() const { return m_wasCanceled; }
    RenderManager* worker() const { return m_worker; }
    const QThread* workerThread() const { return &m_thread; }

    // The frames written so far (never above the total) and the total, of
    // the render running or the last one.
    int framesDone() const { return m_done; }
    int totalFrames() const { return m_total; }
    // The time since start(); once ended, the whole render's time.
    qint64 elapsedMs() const;
    // The frames written in the last second sampled.
    int framesPerSecond() const { return m_framesPerSecond; }
    // The average over the whole render (0 while nothing is written).
    double averageFramesPerSecond() const { return averageFramesPerSecond(m_done, elapsedMs()); }
    static double averageFramesPerSecond(int frames, qint64 elapsedMs);

signals:
    // Before the thread starts, for each item that writes a file.
    void outputAssigned(QUuid uuid, QString name, QString path, bool renamed);
    void totalRangeChanged(int min, int max);
    void totalProgressUpdated(int value);
    void itemProgressUpdated(QUuid uuid, int value);
    void itemFailed(QUuid uuid, QString message);
    // Once a second while rendering, after the speed has been sampled.
    void speedSampled();
    // The thread has finished and the worker is gone.
    void finished(bool canceled);

private:
    void workerDone();
    void threadFinished();
    void sampleSpeed();
    void deleteWorker();

    QThread m_thread;
    RenderManager* m_worker = nullptr;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_endElapsed = 0;
    int m_total = 0;
    int m_done = 0;
    int m_lastSampled = 0;
    int m_framesPerSecond = 0;
    bool m_canceling = false;
    bool m_wasCanceled = false;
};

} // namespace Emulsa
