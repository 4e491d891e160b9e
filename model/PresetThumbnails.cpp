#include "model/PresetThumbnails.h"

#include "core/AnnotatedMutexLocker.h"
#include "model/PresetsManager.h"
#include "model/ThumbnailImages.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace Emulsa {

PresetThumbnails::PresetThumbnails(const QString& folder)
    : m_folder(folder)
{
}

QString PresetThumbnails::path(const QUuid& uuid) const
{
    QString text = uuid.toString();
    text = text.mid(1, 36);
    const QString lower = text.toLower();
    return m_folder + lower[0] + QLatin1Char('/') + lower[1] + QLatin1Char('/') + lower[2] + QLatin1Char('/')
        + text.toUpper() + QLatin1String(suffix);
}

QImage PresetThumbnails::image(const QByteArray& presetId) const
{
    return m_images.value(presetId, m_placeholder);
}

bool PresetThumbnails::store(const QImage& image, const QUuid& uuid)
{
    if (uuid.isNull())
        return false;
    const QString path = this->path(uuid);
    const bool folderMade = QDir().mkpath(QFileInfo(path).absolutePath());
    qDebug() << "Is thumbnail's path valid and/or created:" << folderMade;
    if (image.isNull() || !folderMade)
        return false;
    if (image.width() > ThumbnailImages::maxSide || image.height() > ThumbnailImages::maxSide)
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "TIFF", 100) || !file.commit())
        return false;
    reload(uuid);
    return true;
}

void PresetThumbnails::reload(const QUuid& uuid)
{
    QFile file(path(uuid));
    if (file.open(QIODevice::ReadOnly)) {
        const QImage image = ThumbnailImages::readChecked(&file, "TIFF");
        if (!image.isNull()) {
            m_images.insert(uuid.toByteArray(), image);
            return;
        }
    }
    loadPlaceholder();
    m_images.insert(uuid.toByteArray(), m_placeholder);
}

void PresetThumbnails::reset()
{
    m_images.clear();
    m_placeholder = QImage();
    m_placeholderLoaded = false;
    loadPlaceholder();
}

void PresetThumbnails::loadPlaceholder()
{
    if (m_placeholderLoaded)
        return;
    m_placeholderLoaded = true;
    QFile placeholder(path(QUuid()));
    if (placeholder.open(QIODevice::ReadOnly))
        m_placeholder = ThumbnailImages::readChecked(&placeholder, "TIFF");
}

// The store's side: its thumbnails, read and written under its lock.

QImage PresetsManager::thumbnailForId(const QByteArray& presetId) const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_thumbnails.image(uuidFromId(presetId).toByteArray());
}

bool PresetsManager::setNewThumbnailForId(const QImage& image, const QByteArray& presetId, bool mirror)
{
    // A deep copy before anything else: the caller's image stays the caller's.
    const QImage own = mirror ? image.mirrored(false, true) : image.copy();
    AnnotatedMutexLocker lock(&m_mutex);
    const QUuid uuid = uuidFromId(presetId);
    if (!findPresetLocked(uuid))
        return false;
    return m_thumbnails.store(own, uuid);
}

void PresetsManager::copyThumbnail(const QByteArray& sourceId, const QByteArray& targetId)
{
    AnnotatedMutexLocker lock(&m_mutex);
    const QImage cached = m_thumbnails.cached(uuidFromId(sourceId).toByteArray());
    const QUuid target = uuidFromId(targetId);
    if (cached.isNull() || !findPresetLocked(target))
        return;
    m_thumbnails.store(cached, target);
}

void PresetsManager::reloadGroupThumbnailsLocked(const PresetGroup& group)
{
    for (const Preset& preset : group.presets)
        m_thumbnails.reload(preset.uuid);
}

} // namespace Emulsa
