#pragma once

#include <QString>

class QByteArray;
class QDateTime;

namespace Emulsa {

class AssetMetadata;

// On-disk cache of asset descriptions. For an asset id whose hex form is h, the
// stored record is root/h[0]/h[1]/h[2]/h and its thumbnail, a BMP picture,
// root/h[0]/h[1]/h[2]/h.emthumb. Every method may be called from any thread.
class ThumbnailCache
{
public:
    // Largest stored record accepted; a real record is a few hundred bytes.
    static constexpr qint64 maxRecordBytes = 256 * 1024;
    // Largest thumbnail accepted, in pixels (the shorter side is 250).
    static constexpr qint64 maxThumbnailPixels = 250LL * 8192;
    // Largest thumbnail file read: the biggest picture accepted at four
    // bytes a pixel, and room for the headers.
    static constexpr qint64 maxThumbnailBytes = maxThumbnailPixels * 4 + 4096;

    // The cache in the user's standard cache folder for the application.
    ThumbnailCache();
    explicit ThumbnailCache(const QString& rootPath);

    QString rootPath() const { return m_root; }
    // Empty when the id is not a 16-byte digest.
    QString recordFolder(const QByteArray& id) const;
    QString recordPath(const QByteArray& id) const;
    QString thumbnailPath(const QByteArray& id) const;

    // Fills the record's stored fields and thumbnail from the cache when the
    // stored record and thumbnail are regular files (not links, FIFOs or
    // devices) of at most their size limits, the record is intact, belongs to the record's id, carries the file's
    // current modification time and has its thumbnail. Anything else is a
    // miss (false) and leaves the record as it was.
    bool load(AssetMetadata* record) const;
    // Writes the record and its thumbnail. False when either cannot be
    // written or the record has no thumbnail.
    bool save(const AssetMetadata* record) const;

    // Removes every stored record and thumbnail: the sixteen hash folders
    // ("0" to "f") under the root and nothing else. Refuses (false) a root
    // that is empty, not a folder, the file system root, the home folder or
    // the user's whole cache folder.
    bool clear() const;

    // The form of modification times in records: "yyyy-MM-dd HH:mm:ss".
    static QString fileTimeText(const QDateTime& time);

private:
    QString m_root;
};

} // namespace Emulsa
