#include "model/PresetsFileWriter.h"

#include "model/GradeBlockWriter.h"
#include "model/PresetGroup.h"

#include <QBuffer>
#include <QDataStream>
#include <QDebug>

namespace Emulsa {

PresetsFileWriter::PresetsFileWriter(CameraListHelper* catalogue)
    : m_catalogue(catalogue)
{
}

QByteArray PresetsFileWriter::encodeThumbnail(const QImage& image)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << image;
    return bytes.toBase64();
}

bool PresetsFileWriter::writeGroupToFile(
    QIODevice* device, const PresetGroup* group, const QHash<QByteArray, QImage>* thumbnails)
{
    if (!device || !group) {
        qDebug() << "Error while writing file to disk, file or list is null";
        return false;
    }
    m_group = group;
    setDevice(device);
    setAutoFormatting(true);
    writeStartDocument();
    writeStartElement(QStringLiteral("PresetGroup"));
    writeAttribute(QStringLiteral("name"), group->name);
    writeAttribute(QStringLiteral("id"), QString::number(group->id));
    if (hasError()) {
        qDebug() << "Error while writing begining of file.";
        return false;
    }
    GradeBlockWriter blocks(this, m_catalogue);
    if (!blocks.writeGeneral()) {
        qDebug() << "Error while writing general information to preset file.";
        return false;
    }
    if (!writePresets()) {
        qDebug() << "Error while writing items list to preset file.";
        return false;
    }
    if (thumbnails && !writeThumbnails(*thumbnails)) {
        qDebug() << "Error while writing thumbnails to file.";
        return false;
    }
    return finishWriting();
}

bool PresetsFileWriter::writePresets()
{
    const QVector<Preset> presets = m_group->orderedPresets();
    writeStartElement(QStringLiteral("Presets"));
    writeAttribute(QStringLiteral("total-items"), QString::number(presets.size()));
    for (const Preset& preset : presets) {
        if (!writeSinglePreset(preset)) {
            qDebug() << "Error while writing sequence item.";
            return false;
        }
    }
    writeEndElement();
    return !hasError();
}

bool PresetsFileWriter::writeSinglePreset(const Preset& preset)
{
    writeStartElement(QStringLiteral("Preset"));
    writeTextElement(QStringLiteral("PresetUUID"), preset.uuid.toString());
    writeTextElement(QStringLiteral("PresetName"), preset.name);
    writeTextElement(QStringLiteral("PresetNumber"), QString::number(preset.number));
    GradeBlockWriter blocks(this, m_catalogue);
    if (!blocks.writeClipSettings(preset.settings) || !blocks.writeUnreadFields(preset.unreadFields)) {
        qDebug() << "Error while writing clipsettings.";
        return false;
    }
    writeEndElement();
    return !hasError();
}

bool PresetsFileWriter::writeThumbnails(const QHash<QByteArray, QImage>& thumbnails)
{
    // Only presets with an image get a Thumbnail element, and total-items
    // counts exactly those, so that a reader can rely on the count.
    QVector<Preset> presets;
    for (const Preset& preset : m_group->orderedPresets()) {
        if (!thumbnails.value(preset.id()).isNull())
            presets.append(preset);
    }
    writeStartElement(QStringLiteral("Thumbnails"));
    writeAttribute(QStringLiteral("total-items"), QString::number(presets.size()));
    for (const Preset& preset : presets) {
        const QImage image = thumbnails.value(preset.id());
        writeStartElement(QStringLiteral("Thumbnail"));
        writeTextElement(QStringLiteral("ThumbnailUUID"), QString::fromLatin1(preset.id()));
        writeTextElement(QStringLiteral("ThumbnailDATA"), QString::fromLatin1(encodeThumbnail(image)));
        writeEndElement();
    }
    writeEndElement();
    return !hasError();
}

bool PresetsFileWriter::finishWriting()
{
    writeEndElement(); // PresetGroup
    writeEndDocument();
    if (hasError()) {
        qDebug() << "Preset file written with error...";
        qDebug() << "Error while writing end of file.";
        return false;
    }
    qDebug() << "Preset file written";
    return true;
}

} // namespace Emulsa
