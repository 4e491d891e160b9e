#pragma once

#include "media/metadata/ThumbnailCache.h"

#include <QAtomicInt>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QWaitCondition>

#include <atomic>
#include <memory>

class QImage;

namespace Emulsa {

class AssetMetadata;

// Describes the records the metadata manager queues. run() takes records off
// the queue on the worker thread: a record the cache knows is filled from it,
// any other is described by doItAll on Qt's global thread pool. Each finished
// record raises shouldRefresh().
//
// A record is filled in a private copy and published into the shared record
// under `recordsLock`, so that a reader holding that lock never sees a half
// written record or a thumbnail being replaced.
class MetadataReader : public QObject
{
    Q_OBJECT

public:
    MetadataReader(QList<AssetMetadata*>* queue, QMutex* queueLock, QWaitCondition* queueCondition, QMutex* recordsLock,
        const ThumbnailCache& cache, QObject* parent = nullptr);
    ~MetadataReader() override;

    // Describes one file with a source reader of its own and stores the
    // result in the cache. Runs on the thread pool.
    void doItAll(AssetMetadata* record);

    // Ends run() at its next step; pool tasks not started yet do nothing.
    void stop();
    bool isRunning() const { return m_running.load(); }
    // Blocks until every task handed to the thread pool has finished.
    void waitForTasks();
    // Descriptions handed to the thread pool and not finished yet.
    int pendingTaskCount() const;

    const ThumbnailCache& cache() const { return m_cache; }
    const QImage& errorImage() const { return *m_errorImage; }
    // Files opened and described, and records filled from the cache.
    int describedCount() const { return m_describedCount.loadAcquire(); }
    int cacheHitCount() const { return m_cacheHitCount.loadAcquire(); }

public slots:
    void run();

signals:
    void shouldRefresh();

private:
    bool loadFromCache(AssetMetadata* record);
    void startDescription(AssetMetadata* record);
    void finishTask();
    // Copies a filled working record into the shared one and marks it ready.
    // Takes the working record's thumbnail.
    void publish(AssetMetadata* record, AssetMetadata& filled);
    AssetMetadata workingCopy(const AssetMetadata* record) const;

    QList<AssetMetadata*>* m_queue;
    QMutex* m_queueLock;
    QWaitCondition* m_queueCondition;
    QMutex* m_recordsLock;
    ThumbnailCache m_cache;
    std::unique_ptr<QImage> m_errorImage;
    std::atomic<bool> m_running { true };

    mutable QMutex m_tasksLock;
    QWaitCondition m_tasksDone;
    int m_pendingTasks = 0;

    QAtomicInt m_describedCount { 0 };
    QAtomicInt m_cacheHitCount { 0 };
};

} // namespace Emulsa
