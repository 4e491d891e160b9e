#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QXmlStreamWriter>

class QIODevice;

namespace Emulsa {

class CameraListHelper;
struct Preset;
struct PresetGroup;

// Writes one preset group as a preset file: the group's name and id, the
// general block, every preset with its grade (the grade block of project
// files) and the names of the grade's fields that could not be read when it
// was read (UnreadGradeFields, only when there are any), and, in exported
// files, the presets' thumbnails.
class PresetsFileWriter : public QXmlStreamWriter
{
public:
    // The catalogue names the camera of each grade (the process-wide one when
    // null).
    explicit PresetsFileWriter(CameraListHelper* catalogue = nullptr);

    // Writes the group; with `thumbnails` (preset id text to image) the
    // Thumbnails block follows the presets. Presets are written in creation
    // order.
    bool writeGroupToFile(QIODevice* device, const PresetGroup* group, const QHash<QByteArray, QImage>* thumbnails);

    // The ThumbnailDATA text of an image: Base64 of the image as QDataStream
    // writes it (a big-endian 32-bit 1, then the PNG bytes).
    static QByteArray encodeThumbnail(const QImage& image);

private:
    bool writePresets();
    bool writeSinglePreset(const Preset& preset);
    bool writeThumbnails(const QHash<QByteArray, QImage>& thumbnails);
    bool finishWriting();

    CameraListHelper* m_catalogue;
    const PresetGroup* m_group = nullptr;
};

} // namespace Emulsa
