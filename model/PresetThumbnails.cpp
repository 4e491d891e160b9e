#include "model/PresetsManager.h"

#include "core/AnnotatedMutexLocker.h"
#include "model/PresetsFileReader.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

// The store's thumbnails: one PNG per preset in the thumbnails folder, kept
// in memory beside the presets and replaced by the placeholder where missing.
namespace Emulsa {

QString PresetsManager::thumbnailPath(const QUuid& uuid) const
{
    QString text = uuid.toString();
    text = text.mid(1, 36);
    const QString lower = text.toLower();
    return thumbnailsFolder() + QLatin1Char('/') + lower[0] + QLatin1Char('/') + lower[1] + QLatin1Char('/') + lower[2]
        + QLatin1Char('/') + text.toUpper() + QLatin1String(thumbnailSuffix);
}

QImage PresetsManager::thumbnailForId(const QByteArray& presetId) const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_thumbnails.value(uuidFromId(presetId).toByteArray(), m_placeholder);
}

bool PresetsManager::setNewThumbnailForId(const QImage& image, const QByteArray& presetId, bool mirror)
{
    // A deep copy before anything else: the caller's image stays the caller's.
    const QImage own = mirror ? image.mirrored(false, true) : image.copy();
    AnnotatedMutexLocker lock(&m_mutex);
    const QUuid uuid = uuidFromId(presetId);
    if (!findPresetLocked(uuid))
        return false;
    return storeThumbnailLocked(own, uuid);
}

bool PresetsManager::storeThumbnailLocked(const QImage& image, const QUuid& uuid)
{
    if (uuid.isNull())
        return false;
    const QString path = thumbnailPath(uuid);
    const bool folderMade = QDir().mkpath(QFileInfo(path).absolutePath());
    qDebug() << "Is thumbnail's path valid and/or created:" << folderMade;
    if (image.isNull() || !folderMade)
        return false;
    if (image.width() > PresetsFileReader::maxThumbnailSide || image.height() > PresetsFileReader::maxThumbnailSide)
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "TIFF", 100) || !file.commit())
        return false;
    reloadThumbnailLocked(uuid);
    return true;
}

void PresetsManager::copyThumbnail(const QByteArray& sourceId, const QByteArray& targetId)
{
    AnnotatedMutexLocker lock(&m_mutex);
    const QUuid source = uuidFromId(sourceId);
    const QUuid target = uuidFromId(targetId);
    const auto cached = m_thumbnails.constFind(source.toByteArray());
    if (cached == m_thumbnails.constEnd() || !findPresetLocked(target))
        return;
    storeThumbnailLocked(cached.value(), target);
}

void PresetsManager::reloadThumbnailLocked(const QUuid& uuid)
{
    const QString path = thumbnailPath(uuid);
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QImage image = PresetsFileReader::readCheckedImage(&file, "TIFF");
        if (!image.isNull()) {
            m_thumbnails.insert(uuid.toByteArray(), image);
            return;
        }
    }
    loadPlaceholderLocked();
    m_thumbnails.insert(uuid.toByteArray(), m_placeholder);
}

void PresetsManager::loadPlaceholderLocked()
{
    if (m_placeholderLoaded)
        return;
    m_placeholderLoaded = true;
    QFile placeholder(thumbnailPath(QUuid()));
    if (placeholder.open(QIODevice::ReadOnly))
        m_placeholder = PresetsFileReader::readCheckedImage(&placeholder, "TIFF");
}

void PresetsManager::reloadGroupThumbnailsLocked(const PresetGroup& group)
{
    for (const Preset& preset : group.presets)
        reloadThumbnailLocked(preset.uuid);
}

} // namespace Emulsa
