#include "media/metadata/MetadataManager.h"

#include "media/clip/AssetMetadata.h"
#include "media/metadata/MetadataReader.h"
#include "media/metadata/ThumbnailCache.h"
#include "resources/Resources.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QModelIndex>
#include <QThread>

#include <atomic>

namespace Emulsa {

namespace {

std::atomic<MetadataManager*> s_instance { nullptr };
QBasicMutex s_instanceLock;

} // namespace

MetadataManager* MetadataManager::instance()
{
    if (MetadataManager* manager = s_instance.load())
        return manager;
    QMutexLocker locker(&s_instanceLock);
    if (!s_instance.load()) {
        auto* manager = new MetadataManager();
        // The media browser may ask first from a pool thread; the views are
        // refreshed on the application's thread.
        if (QCoreApplication* app = QCoreApplication::instance())
            manager->moveToThread(app->thread());
        s_instance.store(manager);
        qAddPostRoutine(&MetadataManager::destroyInstance);
    }
    return s_instance.load();
}

void MetadataManager::destroyInstance()
{
    delete s_instance.exchange(nullptr);
}

MetadataManager::MetadataManager(const QString& cacheRoot, QObject* parent)
    : QObject(parent)
{
    initResources();
    m_placeholder = QImage(QStringLiteral(":/images/thumb-placeholder"));
    if (m_placeholder.isNull())
        qWarning() << "MetadataManager: the placeholder thumbnail is missing from the resources";

    const ThumbnailCache cache = cacheRoot.isEmpty() ? ThumbnailCache() : ThumbnailCache(cacheRoot);
    m_reader = new MetadataReader(&m_queue, &m_queueLock, &m_queueCondition, &m_recordsLock, cache);
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("MetadataReader"));
    m_reader->moveToThread(m_thread);
    connect(m_thread, &QThread::started, m_reader, &MetadataReader::run);
    connect(m_reader, &MetadataReader::shouldRefresh, this, &MetadataManager::recordsUpdated);
    m_thread->start(QThread::InheritPriority);
}

MetadataManager::~MetadataManager()
{
    shutdown();
    QMutexLocker locker(&m_recordsLock);
    qDeleteAll(m_records);
    m_records.clear();
}

void MetadataManager::shutdown()
{
    if (!m_reader)
        return;
    if (m_thread->isRunning()) {
        qDebug() << "Thread is still running";
        m_reader->stop();
        m_thread->quit();
        m_thread->wait();
        qDebug() << "Thread is dead now.";
    }
    // Descriptions already on the thread pool write into records and the
    // cache: they end before either goes away.
    m_reader->waitForTasks();
    delete m_reader;
    m_reader = nullptr;
    {
        QMutexLocker locker(&m_queueLock);
        m_queue.clear();
    }
}

QByteArray MetadataManager::idForPath(const QString& path)
{
    return QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Md5);
}

AssetMetadata* MetadataManager::getMetadata(const QFileInfo& file)
{
    auto* record = new AssetMetadata();
    record->name = file.fileName();
    record->filePath = file.filePath();
    record->lastModified = ThumbnailCache::fileTimeText(file.lastModified());
    record->id = idForPath(record->filePath);
    record->queued = true;
    return addRecord(record);
}

AssetMetadata* MetadataManager::getMetadata(const QModelIndex& index)
{
    if (!index.isValid())
        return nullptr;
    auto* record = new AssetMetadata();
    record->name = index.data(Qt::DisplayRole).toString();
    record->filePath = index.data(Qt::UserRole + 1).toString();
    record->lastModified = index.data(Qt::UserRole + 4).toString();
    record->id = index.data(Qt::UserRole + 2).toByteArray();
    if (record->id.isEmpty())
        record->id = idForPath(record->filePath);
    record->queued = true;
    return addRecord(record);
}

AssetMetadata* MetadataManager::addRecord(AssetMetadata* record)
{
    {
        // Looking up and inserting under one lock: two threads asking for
        // the same new file get the same record, read once.
        QMutexLocker locker(&m_recordsLock);
        if (AssetMetadata* existing = m_records.value(record->id)) {
            delete record;
            return existing;
        }
        m_records.insert(record->id, record);
    }
    enqueue(record);
    return record;
}

void MetadataManager::enqueue(AssetMetadata* record)
{
    QMutexLocker locker(&m_queueLock);
    m_queue.append(record);
    m_queueCondition.wakeAll();
}

AssetMetadata* MetadataManager::metadataFor(const QByteArray& id) const
{
    QMutexLocker locker(&m_recordsLock);
    return m_records.value(id);
}

bool MetadataManager::isReady(const AssetMetadata* record) const
{
    if (!record)
        return false;
    QMutexLocker locker(&m_recordsLock);
    return record->ready;
}

QImage MetadataManager::getThumbnail(const QByteArray& id)
{
    AssetMetadata* requeue = nullptr;
    {
        QMutexLocker locker(&m_recordsLock);
        AssetMetadata* record = m_records.value(id);
        if (record && record->thumbnail)
            return *record->thumbnail;
        // Test and set at once: the reader clears the flag without this lock.
        if (record && !record->queued.exchange(true))
            requeue = record;
    }
    if (requeue)
        enqueue(requeue);
    return m_placeholder;
}

bool MetadataManager::clearCacheFolder()
{
    qDebug() << "MetadataManager: clearing the cache in" << cacheFolder();
    return m_reader->cache().clear();
}

QString MetadataManager::cacheFolder() const
{
    return m_reader->cache().rootPath();
}

} // namespace Emulsa
