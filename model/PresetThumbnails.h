#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QString>
#include <QUuid>

namespace Emulsa {

// The presets store's thumbnails: one TIFF file per preset in the thumbnails
// folder, read into memory, with the placeholder (the file of the null uuid)
// standing in where a preset has none. Images are named by the preset's id
// (its uuid as text). It takes no lock: the store calls it under its own.
class PresetThumbnails
{
public:
    static constexpr const char* suffix = ".emthumb";

    // `folder` ends with a slash.
    explicit PresetThumbnails(const QString& folder);

    // folder/a/b/c/ABC...(36).emthumb for the uuid.
    QString path(const QUuid& uuid) const;
    // The preset's image, or the placeholder (a null image without one).
    QImage image(const QByteArray& presetId) const;
    // The image in memory for the preset, the placeholder included; null
    // when there is none.
    QImage cached(const QByteArray& presetId) const { return m_images.value(presetId); }
    // Writes the preset's file (at most the readable size a side) and reads
    // it back; false when it could not be written.
    bool store(const QImage& image, const QUuid& uuid);
    // Reads the preset's file again; the placeholder stands in without one.
    void reload(const QUuid& uuid);
    void forget(const QByteArray& presetId) { m_images.remove(presetId); }
    // Forgets every image and reads the placeholder again.
    void reset();

private:
    void loadPlaceholder();

    QString m_folder;
    QHash<QByteArray, QImage> m_images;
    QImage m_placeholder;
    bool m_placeholderLoaded = false;
};

} // namespace Emulsa
