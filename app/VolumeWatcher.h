#pragma once

#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QStorageInfo;

namespace Emulsa {

// A mounted volume the media browser lists.
struct VolumeEntry
{
    QString rootPath;
    QString label;

    bool operator==(const VolumeEntry& other) const { return rootPath == other.rootPath && label == other.label; }
};

// The volumes the user keeps footage on, and their arrival and removal. The
// system's mounted volumes are filtered to real file systems mounted at the
// root, under /media, /run/media or /mnt (no proc, tmpfs, overlay, squashfs
// and other system mounts); the list is read again every two seconds and
// each change is reported. The timer's readings run on Qt's global thread
// pool, since asking a dead network mount for its size can block: a reading
// still running makes the next tick wait for its turn, and the interface
// never waits. The source of the list can be replaced (tests give their
// own); it is called on a pool thread then, and must stay valid while a
// reading runs (pollRunning()).
class VolumeWatcher : public QObject
{
    Q_OBJECT

public:
    using Source = std::function<QList<VolumeEntry>()>;
    static constexpr int pollIntervalMs = 2000;

    // The system's volumes when `source` is empty. Reads the list at once;
    // polling starts with start().
    explicit VolumeWatcher(QObject* parent = nullptr, Source source = Source());

    // The mounted volumes worth listing, root first, then by path.
    static QList<VolumeEntry> systemVolumes();
    // Whether a mount of this file system type at this path is listed.
    static bool isListedMount(const QString& rootPath, const QByteArray& fileSystemType);
    // The label of the volume mounted at `path`, or "" when `path` is not
    // the root of a mounted volume or the volume has no label.
    static QString volumeLabel(const QString& path);

    QList<VolumeEntry> volumes() const { return m_volumes; }
    void start(int intervalMs = pollIntervalMs);
    void stop() { m_timer.stop(); }
    bool isPolling() const { return m_timer.isActive(); }
    // Whether a reading started by the timer has not been applied yet.
    bool pollRunning() const { return m_reading.isRunning(); }

public slots:
    // Reads the list again, here and now, and reports what changed.
    void poll();
    // Reads the list on the thread pool; the changes are reported when it
    // has been read. Does nothing while a reading runs.
    void pollInBackground();

signals:
    void volumeAdded(QString rootPath, QString label);
    void volumeRemoved(QString rootPath);

private:
    void apply(const QList<VolumeEntry>& now);

    Source m_source;
    QFutureWatcher<QList<VolumeEntry>> m_reading;
    QList<VolumeEntry> m_volumes;
    QTimer m_timer;
};

} // namespace Emulsa
