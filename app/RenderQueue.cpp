#include "app/RenderQueue.h"

#include "app/RenderManager.h"
#include "media/clip/SequenceItem.h"

namespace Emulsa {

RenderQueue::RenderQueue(QObject* parent)
    : QObject(parent)
{
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &RenderQueue::sampleSpeed);
    connect(&m_thread, &QThread::finished, this, &RenderQueue::threadFinished);
}

RenderQueue::~RenderQueue()
{
    disconnect(&m_thread, nullptr, this, nullptr);
    if (m_worker) {
        QMetaObject::invokeMethod(m_worker, &RenderManager::cancel, Qt::QueuedConnection);
        m_thread.quit();
        m_thread.wait();
        deleteWorker();
    }
}

bool RenderQueue::start(QList<const SequenceItem*>* items, const t_OutputSettings& settings, QOffscreenSurface* surface)
{
    if (m_worker || !items || items->isEmpty()) {
        SequenceItem::deleteSnapshots(items);
        return false;
    }
    QList<QUuid> uuids;
    for (const SequenceItem* item : qAsConst(*items)) {
        if (item)
            uuids << item->uuid;
    }

    m_canceling = false;
    m_wasCanceled = false;
    m_done = 0;
    m_total = 0;
    m_lastSampled = 0;
    m_framesPerSecond = 0;
    m_endElapsed = 0;
    m_worker = new RenderManager(items, settings, surface);
    for (const QUuid& uuid : qAsConst(uuids)) {
        const QString path = m_worker->outputPath(uuid);
        if (!path.isEmpty())
            emit outputAssigned(uuid, m_worker->outputName(uuid), path, m_worker->outputRenamed(uuid));
    }

    // The total is announced here, on this thread; everything else the
    // worker sends comes from the render thread.
    connect(m_worker, &RenderManager::totalProgressRangedChanged, this, [this](int min, int max) {
        m_total = max;
        emit totalRangeChanged(min, max);
    });
    connect(
        m_worker, &RenderManager::totalProgressUpdated, this,
        [this](int value) {
            m_done = qBound(0, value, m_total);
            emit totalProgressUpdated(value);
        },
        Qt::QueuedConnection);
    connect(
        m_worker, &RenderManager::singleProgressUpdated, this, &RenderQueue::itemProgressUpdated, Qt::QueuedConnection);
    connect(m_worker, &RenderManager::singleItemFailed, this, &RenderQueue::itemFailed, Qt::QueuedConnection);
    connect(m_worker, &RenderManager::finishedAll, this, &RenderQueue::workerDone, Qt::QueuedConnection);
    m_worker->announceTotal();
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::started, m_worker, &RenderManager::run);

    m_thread.start(QThread::HighPriority);
    m_clock.start();
    m_timer.start();
    return true;
}

void RenderQueue::cancel()
{
    if (!m_worker || m_canceling)
        return;
    m_canceling = true;
    // Run on the render thread: the renderer lets queued calls through after
    // every frame.
    QMetaObject::invokeMethod(m_worker, &RenderManager::cancel, Qt::QueuedConnection);
}

qint64 RenderQueue::elapsedMs() const
{
    return m_clock.isValid() ? m_clock.elapsed() : m_endElapsed;
}

double RenderQueue::averageFramesPerSecond(int frames, qint64 elapsedMs)
{
    if (frames <= 0 || elapsedMs <= 0)
        return 0.0;
    return double(frames) * 1000.0 / double(elapsedMs);
}

void RenderQueue::workerDone()
{
    m_timer.stop();
    // The worker is deleted once its thread has finished.
    m_thread.quit();
}

void RenderQueue::threadFinished()
{
    // finished() is sent just before the thread ends: wait for its end.
    m_thread.wait();
    deleteWorker();
    m_timer.stop();
    m_endElapsed = m_clock.isValid() ? m_clock.elapsed() : 0;
    m_clock.invalidate();
    m_wasCanceled = m_canceling;
    m_canceling = false;
    emit finished(m_wasCanceled);
}

void RenderQueue::deleteWorker()
{
    if (!m_worker)
        return;
    disconnect(&m_thread, &QThread::started, m_worker, nullptr);
    delete m_worker;
    m_worker = nullptr;
}

void RenderQueue::sampleSpeed()
{
    if (!m_worker || !m_clock.isValid())
        return;
    m_framesPerSecond = qMax(0, m_done - m_lastSampled);
    m_lastSampled = m_done;
    emit speedSampled();
}

} // namespace Emulsa
