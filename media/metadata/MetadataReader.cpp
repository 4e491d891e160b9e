#include "media/metadata/MetadataReader.h"

#include "media/clip/AssetMetadata.h"
#include "media/frame/Frame.h"
#include "media/source/WinSourceReader.h"
#include "resources/Resources.h"

#include <QDebug>
#include <QImage>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace Emulsa {

namespace {

constexpr int thumbnailSide = 250;

} // namespace

MetadataReader::MetadataReader(QList<AssetMetadata*>* queue, QMutex* queueLock, QWaitCondition* queueCondition,
    QMutex* recordsLock, const ThumbnailCache& cache, QObject* parent)
    : QObject(parent)
    , m_queue(queue)
    , m_queueLock(queueLock)
    , m_queueCondition(queueCondition)
    , m_recordsLock(recordsLock)
    , m_cache(cache)
{
    initResources();
    m_errorImage = std::make_unique<QImage>(QStringLiteral(":/images/error-placeholder"));
    if (m_errorImage->isNull())
        qWarning() << "MetadataReader: the error thumbnail is missing from the resources";
}

MetadataReader::~MetadataReader()
{
    stop();
    waitForTasks();
}

void MetadataReader::run()
{
    qDebug() << "MetadataReader thread ID" << QThread::currentThreadId();
    QMutexLocker locker(m_queueLock);
    while (m_running.load()) {
        // The flag is cleared under the queue lock, so checking it here
        // cannot miss the wake-up that goes with it.
        while (m_running.load() && m_queue->isEmpty())
            m_queueCondition->wait(m_queueLock);
        while (m_running.load() && !m_queue->isEmpty()) {
            AssetMetadata* record = m_queue->takeFirst();
            locker.unlock();
            if (loadFromCache(record))
                emit shouldRefresh();
            else
                startDescription(record);
            locker.relock();
        }
    }
}

void MetadataReader::stop()
{
    QMutexLocker locker(m_queueLock);
    m_running.store(false);
    m_queueCondition->wakeAll();
}

void MetadataReader::waitForTasks()
{
    QMutexLocker locker(&m_tasksLock);
    while (m_pendingTasks > 0)
        m_tasksDone.wait(&m_tasksLock);
}

int MetadataReader::pendingTaskCount() const
{
    QMutexLocker locker(&m_tasksLock);
    return m_pendingTasks;
}

AssetMetadata MetadataReader::workingCopy(const AssetMetadata* record) const
{
    AssetMetadata copy;
    QMutexLocker locker(m_recordsLock);
    copy.id = record->id;
    copy.name = record->name;
    copy.filePath = record->filePath;
    copy.lastModified = record->lastModified;
    return copy;
}

bool MetadataReader::loadFromCache(AssetMetadata* record)
{
    AssetMetadata filled = workingCopy(record);
    if (!m_cache.load(&filled))
        return false;
    m_cacheHitCount.fetchAndAddOrdered(1);
    publish(record, filled);
    return true;
}

void MetadataReader::startDescription(AssetMetadata* record)
{
    {
        QMutexLocker locker(&m_tasksLock);
        ++m_pendingTasks;
    }
    QtConcurrent::run(QThreadPool::globalInstance(), [this, record] {
        if (m_running.load())
            doItAll(record);
        finishTask();
    });
}

void MetadataReader::finishTask()
{
    QMutexLocker locker(&m_tasksLock);
    if (--m_pendingTasks == 0)
        m_tasksDone.wakeAll();
}

void MetadataReader::doItAll(AssetMetadata* record)
{
    m_describedCount.fetchAndAddOrdered(1);
    AssetMetadata filled = workingCopy(record);
    auto* reader = new WinSourceReader(true);
    qDebug() << "New metadata to fill:" << filled.filePath;

    bool ok = reader->initializeFromMetadata(&filled);
    if (!ok) {
        qWarning() << "Can't init Source Reader from:" << filled.filePath;
    } else {
        ok = reader->fillMetadata();
        if (!ok)
            qWarning() << "Can't fill metadata from file:" << filled.filePath;
    }

    if (ok) {
        if (Frame* frame = reader->takeCurrentFrame()) {
            qDebug() << "Thumb exist";
            if (QImage* image = frame->toImage()) {
                // The decoder's scaler normally delivers the thumbnail size;
                // a picture at source size is brought down to it here.
                if (qMin(image->width(), image->height()) > thumbnailSide) {
                    const QImage scaled = image->width() <= image->height()
                        ? image->scaledToWidth(thumbnailSide, Qt::FastTransformation)
                        : image->scaledToHeight(thumbnailSide, Qt::FastTransformation);
                    *image = scaled;
                }
                filled.thumbnail = image;
            }
            delete frame;
        }
    } else {
        filled.valid = false;
    }
    // A clip without a picture would otherwise be queued again every time a
    // view asks for its thumbnail.
    if (!filled.thumbnail)
        filled.thumbnail = new QImage(*m_errorImage);

    m_cache.save(&filled);
    reader->releaseAll();
    delete reader;
    publish(record, filled);
    emit shouldRefresh();
}

void MetadataReader::publish(AssetMetadata* record, AssetMetadata& filled)
{
    QImage* thumbnail = filled.thumbnail;
    filled.thumbnail = nullptr;
    // The identity fields were set by the manager and stay as they are, so
    // that threads reading them meanwhile are not disturbed.
    QMutexLocker locker(m_recordsLock);
    record->copyDescriptionFrom(filled);
    record->frameBytes = filled.frameBytes;
    delete record->thumbnail;
    record->thumbnail = thumbnail;
    record->queued = false;
    record->ready = true;
}

} // namespace Emulsa
