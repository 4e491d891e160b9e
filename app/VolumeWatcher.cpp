#include "app/VolumeWatcher.h"

#include <QDir>
#include <QStorageInfo>
#include <QtConcurrent>

#include <algorithm>

namespace Emulsa {

VolumeWatcher::VolumeWatcher(QObject* parent, Source source)
    : QObject(parent)
    , m_source(source ? std::move(source) : Source(&VolumeWatcher::systemVolumes))
{
    m_volumes = m_source();
    connect(&m_timer, &QTimer::timeout, this, &VolumeWatcher::pollInBackground);
    connect(&m_reading, &QFutureWatcher<QList<VolumeEntry>>::finished, this, [this] { apply(m_reading.result()); });
}

bool VolumeWatcher::isListedMount(const QString& rootPath, const QByteArray& fileSystemType)
{
    static const QByteArray systemTypes[]
        = { "proc", "sysfs", "tmpfs", "devtmpfs", "devpts", "overlay", "squashfs", "cgroup", "cgroup2", "mqueue",
              "debugfs", "tracefs", "securityfs", "pstore", "bpf", "autofs", "fusectl", "configfs", "hugetlbfs",
              "binfmt_misc", "nsfs", "ramfs", "efivarfs", "rpc_pipefs", "fuse.gvfsd-fuse", "fuse.portal" };
    for (const QByteArray& type : systemTypes) {
        if (fileSystemType == type)
            return false;
    }
    const QString path = QDir::cleanPath(rootPath);
    if (path == QLatin1String("/"))
        return true;
    for (const char* place : { "/media", "/run/media", "/mnt" }) {
        const QString prefix = QLatin1String(place);
        if (path == prefix || path.startsWith(prefix + QLatin1Char('/')))
            return true;
    }
    return false;
}

QList<VolumeEntry> VolumeWatcher::systemVolumes()
{
    QList<VolumeEntry> volumes;
    const QList<QStorageInfo> mounted = QStorageInfo::mountedVolumes();
    for (const QStorageInfo& storage : mounted) {
        if (!storage.isValid() || !storage.isReady() || !isListedMount(storage.rootPath(), storage.fileSystemType()))
            continue;
        const QString root = QDir::cleanPath(storage.rootPath());
        const bool seen = std::any_of(
            volumes.cbegin(), volumes.cend(), [&](const VolumeEntry& entry) { return entry.rootPath == root; });
        if (!seen)
            volumes.append({ root, storage.name().trimmed() });
    }
    std::sort(volumes.begin(), volumes.end(), [](const VolumeEntry& a, const VolumeEntry& b) {
        if ((a.rootPath == QLatin1String("/")) != (b.rootPath == QLatin1String("/")))
            return a.rootPath == QLatin1String("/");
        return a.rootPath < b.rootPath;
    });
    return volumes;
}

QString VolumeWatcher::volumeLabel(const QString& path)
{
    const QStorageInfo storage(path);
    if (!storage.isValid() || QDir::cleanPath(storage.rootPath()) != QDir::cleanPath(path))
        return QString();
    return storage.name().trimmed();
}

void VolumeWatcher::start(int intervalMs)
{
    m_timer.start(intervalMs);
}

void VolumeWatcher::pollInBackground()
{
    if (m_reading.isRunning())
        return;
    const Source source = m_source;
    m_reading.setFuture(QtConcurrent::run([source] { return source(); }));
}

void VolumeWatcher::poll()
{
    apply(m_source());
}

void VolumeWatcher::apply(const QList<VolumeEntry>& now)
{
    const QList<VolumeEntry> before = m_volumes;
    m_volumes = now;
    auto contains = [](const QList<VolumeEntry>& list, const QString& root) {
        return std::any_of(list.cbegin(), list.cend(), [&](const VolumeEntry& e) { return e.rootPath == root; });
    };
    for (const VolumeEntry& old : before) {
        if (!contains(now, old.rootPath))
            emit volumeRemoved(old.rootPath);
    }
    for (const VolumeEntry& entry : now) {
        if (!contains(before, entry.rootPath))
            emit volumeAdded(entry.rootPath, entry.label);
    }
}

} // namespace Emulsa
