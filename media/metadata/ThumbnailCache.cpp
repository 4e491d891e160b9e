#include "media/metadata/ThumbnailCache.h"

#include "media/clip/AssetMetadata.h"

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Emulsa {

namespace {

constexpr int idBytes = 16;
const char* const thumbnailSuffix = ".emthumb";

QString hexOf(const QByteArray& id)
{
    return id.size() == idBytes ? QString::fromLatin1(id.toHex()) : QString();
}

// The whole contents of the entry at path when it is a regular file of at
// most `limit` bytes. The entry is opened without following a link and
// without waiting (a FIFO would wait for a writer), checked on the open
// descriptor, and read no further than one byte past the limit, so neither
// a device nor a file growing while it is read can make the read larger.
bool readRegularFile(const QString& path, qint64 limit, QByteArray* bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status;
    bool ok = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= limit;
    if (!ok)
        qDebug() << "ThumbnailCache: ignoring an entry that is not a small regular file" << path;
    QByteArray data;
    if (ok) {
        data.resize(int(status.st_size) + 1);
        qint64 filled = 0;
        while (filled < data.size()) {
            const ssize_t n = ::read(fd, data.data() + filled, size_t(data.size() - filled));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                ok = false;
                break;
            }
            if (n == 0)
                break;
            filled += n;
        }
        // A file that grew past its size while being read is refused too.
        ok = ok && filled <= status.st_size;
        data.truncate(int(filled));
    }
    ::close(fd);
    if (ok)
        *bytes = data;
    return ok;
}

// Removes an entry that is not a regular file (a link, a FIFO) so that a
// save replaces it instead of writing through it.
void removeIrregular(const QString& path)
{
    const QFileInfo entry(path);
    if (entry.isSymLink() || (entry.exists() && !entry.isFile()))
        QFile::remove(path);
}

} // namespace

ThumbnailCache::ThumbnailCache()
    : ThumbnailCache(QStandardPaths::standardLocations(QStandardPaths::CacheLocation).value(0))
{
}

ThumbnailCache::ThumbnailCache(const QString& rootPath)
    : m_root(QDir::cleanPath(rootPath))
{
    if (rootPath.isEmpty())
        m_root.clear();
}

QString ThumbnailCache::recordFolder(const QByteArray& id) const
{
    const QString h = hexOf(id);
    if (h.isEmpty() || m_root.isEmpty())
        return QString();
    return m_root + QLatin1Char('/') + h.at(0) + QLatin1Char('/') + h.at(1) + QLatin1Char('/') + h.at(2);
}

QString ThumbnailCache::recordPath(const QByteArray& id) const
{
    const QString folder = recordFolder(id);
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + hexOf(id);
}

QString ThumbnailCache::thumbnailPath(const QByteArray& id) const
{
    const QString record = recordPath(id);
    return record.isEmpty() ? QString() : record + QLatin1String(thumbnailSuffix);
}

bool ThumbnailCache::clear() const
{
    if (m_root.isEmpty())
        return false;
    const QFileInfo root(m_root);
    const QString canonical = root.canonicalFilePath();
    const QStringList forbidden = { QDir::rootPath(), QDir::homePath(),
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) };
    for (const QString& place : forbidden) {
        if (canonical.isEmpty() || canonical == QFileInfo(place).canonicalFilePath()) {
            qWarning() << "ThumbnailCache: refusing to clear" << m_root;
            return false;
        }
    }
    if (!root.isDir())
        return false;
    bool removed = true;
    for (const QChar digit : QStringLiteral("0123456789abcdef")) {
        QDir folder(m_root + QLatin1Char('/') + digit);
        if (folder.exists() && !QFileInfo(folder.path()).isSymLink())
            removed = folder.removeRecursively() && removed;
        else if (QFileInfo(folder.path()).isSymLink())
            removed = QFile::remove(folder.path()) && removed;
    }
    return removed;
}

QString ThumbnailCache::fileTimeText(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

bool ThumbnailCache::load(AssetMetadata* record) const
{
    if (!record || m_root.isEmpty() || !QFileInfo(m_root).isDir())
        return false;
    const QString folder = recordFolder(record->id);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return false;

    // The whole record is read at once, so no length inside it can make a
    // read larger than the file.
    QByteArray bytes;
    if (!readRegularFile(recordPath(record->id), maxRecordBytes, &bytes))
        return false;

    AssetMetadata stored;
    QDataStream in(bytes);
    in >> stored;
    if (in.status() != QDataStream::Ok || !in.atEnd()) {
        qDebug() << "ThumbnailCache: ignoring a damaged record" << recordPath(record->id);
        return false;
    }
    if (stored.id != record->id)
        return false;
    const QString currentTime = fileTimeText(QFileInfo(record->filePath).lastModified());
    if (stored.lastModified != currentTime)
        return false;

    QByteArray thumbnailBytes;
    if (!readRegularFile(thumbnailPath(record->id), maxThumbnailBytes, &thumbnailBytes))
        return false;
    QBuffer thumbnailBuffer(&thumbnailBytes);
    QImageReader reader(&thumbnailBuffer, "bmp");
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > maxThumbnailPixels)
        return false;
    QImage thumbnail;
    if (!reader.read(&thumbnail) || thumbnail.isNull()) {
        qDebug() << "ThumbnailCache: ignoring an unreadable thumbnail" << thumbnailPath(record->id)
                 << reader.errorString();
        return false;
    }

    QDataStream again(bytes);
    again >> *record;
    delete record->thumbnail;
    record->thumbnail = new QImage(thumbnail);
    return true;
}

bool ThumbnailCache::save(const AssetMetadata* record) const
{
    if (!record || m_root.isEmpty())
        return false;
    const QString folder = recordFolder(record->id);
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        qDebug() << "ThumbnailCache: cannot create the folder for" << record->filePath;
        return false;
    }

    // Each file is written to a temporary file and renamed, so it is either
    // whole or absent. The thumbnail goes first: the record is what makes the
    // pair valid (it carries the clip's modification time), so a save cut
    // short between the two leaves the earlier record, which no longer
    // matches the clip, and never a new record beside an earlier thumbnail.
    // A link or a FIFO in an entry's place is removed first: the saved file
    // takes its place and never goes through it.
    if (!record->thumbnail || record->thumbnail->isNull())
        return false;
    removeIrregular(thumbnailPath(record->id));
    QSaveFile thumbnailFile(thumbnailPath(record->id));
    if (!thumbnailFile.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&thumbnailFile, "bmp");
    writer.setQuality(100);
    if (!writer.write(*record->thumbnail) || !thumbnailFile.commit())
        return false;

    removeIrregular(recordPath(record->id));
    QSaveFile file(recordPath(record->id));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    out << *record;
    return out.status() == QDataStream::Ok && file.commit();
}

} // namespace Emulsa
