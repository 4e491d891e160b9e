#pragma once

#include <QHash>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QWaitCondition>

class QFileInfo;
class QModelIndex;
class QThread;

namespace Emulsa {

class AssetMetadata;
class MetadataReader;

// Owns the description of every media file the program touches. A record is
// handed out at once and filled later by the MetadataReader on its worker
// thread and Qt's global thread pool; `ready` turns true when it is done.
// Records live until the manager is deleted. The record methods may be called
// from any thread; recordsUpdated() is emitted on the manager's (the
// application's) thread, and views that paint records repaint on it.
class MetadataManager : public QObject
{
    Q_OBJECT

public:
    // The process-wide manager with its cache in the user's cache folder,
    // made on first use (on the application's thread) and deleted when the
    // application object goes away.
    static MetadataManager* instance();
    // Shuts the process-wide manager down and deletes it, if there is one.
    static void destroyInstance();

    // A manager whose cache lives in cacheRoot (the user's cache folder when
    // empty). Starts the worker thread.
    explicit MetadataManager(const QString& cacheRoot = QString(), QObject* parent = nullptr);
    ~MetadataManager() override;

    // The record of a file; queued for reading when it is new.
    AssetMetadata* getMetadata(const QFileInfo& file);
    // The same from a media browser item: name (display role), path
    // (UserRole + 1), id (UserRole + 2) and modification time (UserRole + 4).
    AssetMetadata* getMetadata(const QModelIndex& index);
    // The record with the id, or null.
    AssetMetadata* metadataFor(const QByteArray& id) const;
    // Whether the record has been described (its `ready` flag), read under
    // the records' lock: once true, the description fields may be read from
    // any thread.
    bool isReady(const AssetMetadata* record) const;
    // A copy of the record's thumbnail, or the placeholder while there is
    // none; a record without a thumbnail that is not queued is queued again.
    QImage getThumbnail(const QByteArray& id);
    QImage placeholder() const { return m_placeholder; }

    // Stops the worker and waits for the descriptions in progress; records
    // queued but not read stay unread. Called by the destructor.
    void shutdown();

    // Removes the stored descriptions and thumbnails of the on-disk cache
    // (its own folders only); records in memory stay. False when the cache
    // folder was refused or could not be emptied.
    bool clearCacheFolder();
    QString cacheFolder() const;

    MetadataReader* reader() const { return m_reader; }
    // The asset id of a path: the MD5 digest of its UTF-8 bytes.
    static QByteArray idForPath(const QString& path);

signals:
    // A record has been read (its description or thumbnail is new).
    void recordsUpdated();

private:
    // Returns the record already in the table under the new record's id (and
    // deletes the new one), or adds the new one and queues it.
    AssetMetadata* addRecord(AssetMetadata* record);
    void enqueue(AssetMetadata* record);

    mutable QMutex m_recordsLock;
    QHash<QByteArray, AssetMetadata*> m_records;
    QImage m_placeholder;

    QThread* m_thread = nullptr;
    MetadataReader* m_reader = nullptr;
    QList<AssetMetadata*> m_queue;
    QMutex m_queueLock;
    QWaitCondition m_queueCondition;
};

} // namespace Emulsa
