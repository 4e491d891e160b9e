#pragma once

#include "model/BoundedXml.h"
#include "model/Preset.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHash>
#include <QImage>
#include <QSet>
#include <QString>
#include <QVector>
#include <QXmlStreamReader>

class QIODevice;

namespace Emulsa {

class CameraListHelper;
class FilmLibrary;

// Reads one preset file: the group's name and id, the general block, the
// presets with their grades (the grade block of project files) and, in
// exported files, the thumbnails. A preset that fails is skipped; a
// thumbnail that cannot be read rejects the whole file. Only one thumbnail
// is decoded per preset read before it, and only up to a pixel budget for
// the whole file: further ones are dropped unread with a warning.
class PresetsFileReader : public QXmlStreamReader
{
    Q_DECLARE_TR_FUNCTIONS(PresetsFileReader)

public:
    explicit PresetsFileReader(const FilmLibrary* library = nullptr, CameraListHelper* catalogue = nullptr);

    bool read(QIODevice* device);

    // What was read. The presets are in file order and keep the uuids of the
    // file (a null uuid where the text was no valid uuid).
    bool hasGroup() const { return m_hasGroup; }
    QString groupName() const { return m_groupName; }
    int groupId() const { return m_groupId; }
    const QVector<Preset>& presets() const { return m_presets; }
    // -1 until a number was read.
    qint32 highestPresetNumber() const { return m_highestPresetNumber; }
    bool hasThumbnails() const { return m_hasThumbnails; }
    // By the braced id text of the uuid read.
    const QHash<QByteArray, QImage>& thumbnails() const { return m_thumbnails; }

    float fileVersion() const { return m_fileVersion; }
    QString standaloneVersion() const { return m_standaloneVersion; }
    QString hostOS() const { return m_hostOS; }

private:
    bool readRootAttributes();
    bool readGeneral();
    // Checks that the current element is `element` and reads its
    // "total-items" attribute; logs `wrongElement` or the count error.
    bool readListHeader(const QString& element, const char* wrongElement, int* total);
    bool readPresets();
    bool parsePreset();
    bool readThumbnails();
    bool parseThumbnail();
    bool readLeafText(const QString& name, QString* text);

    const FilmLibrary* m_library;
    CameraListHelper* m_catalogue;
    float m_fileVersion = -1.0f;
    QString m_standaloneVersion;
    QString m_hostOS;
    bool m_hasGroup = false;
    QString m_groupName;
    int m_groupId = 0;
    QVector<Preset> m_presets;
    qint32 m_highestPresetNumber = -1;
    bool m_hasThumbnails = false;
    QHash<QByteArray, QImage> m_thumbnails;
    // The braced ids of the presets read that no thumbnail was met for yet,
    // and the pixels the thumbnails decoded so far hold.
    QSet<QByteArray> m_presetIds;
    qint64 m_thumbnailPixels = 0;
};

} // namespace Emulsa
