#include "model/ProjectFileWriter.h"

#include "core/ClipSettings.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "model/GradeBlockWriter.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace Emulsa {

ProjectFileWriter::ProjectFileWriter(
    const QList<SequenceItem*>* items, const SequenceItem* current, bool timelineMode, CameraListHelper* catalogue)
    : m_items(items)
    , m_current(current)
    , m_timelineMode(timelineMode)
    , m_catalogue(catalogue)
{
}

bool ProjectFileWriter::writeToXML(QIODevice* device)
{
    if (!device || !m_items) {
        qDebug() << Q_FUNC_INFO << "Error while writing file to disk, file or list is null";
        return false;
    }
    m_xml.setDevice(device);
    m_xml.setAutoFormatting(true);
    m_xml.writeStartDocument();
    m_xml.writeStartElement(QStringLiteral("Project"));
    if (m_xml.hasError()) {
        qDebug() << Q_FUNC_INFO << "Error while writing begining of file.";
        return false;
    }
    if (!GradeBlockWriter(&m_xml, m_catalogue).writeGeneral()) {
        qDebug() << Q_FUNC_INFO << "Error while writing general information to project file.";
        return false;
    }
    if (!writeSequenceItemsToXML()) {
        qDebug() << Q_FUNC_INFO << "Error while writing items list to project file.";
        return false;
    }
    return finishWritingToXML();
}

bool ProjectFileWriter::writeSequenceItemsToXML()
{
    m_xml.writeStartElement(QStringLiteral("SequenceItems"));
    m_xml.writeAttribute(QStringLiteral("timeline"), m_timelineMode ? QStringLiteral("1") : QStringLiteral("0"));
    m_xml.writeAttribute(QStringLiteral("total-items"), QString::number(m_items->size()));
    for (int position = 0; position < m_items->size(); ++position) {
        m_item = m_items->at(position);
        if (!writeSingleSequenceItemToXML(position)) {
            qDebug() << Q_FUNC_INFO << "Error while writing sequence item.";
            m_item = nullptr;
            return false;
        }
    }
    m_item = nullptr;
    m_xml.writeEndElement();
    return !m_xml.hasError();
}

bool ProjectFileWriter::writeSingleSequenceItemToXML(const int& position)
{
    if (!m_item || !m_item->asset) {
        qDebug() << Q_FUNC_INFO << "Item" << position << "has no media file";
        return false;
    }
    m_xml.writeStartElement(QStringLiteral("SequenceItem"));
    m_xml.writeAttribute(QStringLiteral("position"), QString::number(position));
    m_xml.writeTextElement(QStringLiteral("AssetUUID"), QString::fromLatin1(m_item->asset->id.toHex()));
    m_xml.writeTextElement(QStringLiteral("AssetPath"), m_item->asset->filePath);
    m_xml.writeTextElement(QStringLiteral("SequenceUUID"), m_item->uuid.toString());
    m_xml.writeTextElement(QStringLiteral("StartFrame"), QString::number(m_item->startFrame));
    m_xml.writeTextElement(QStringLiteral("EndFrame"), QString::number(m_item->endFrame));
    const bool isCurrent = m_current && m_current->uuid == m_item->uuid;
    m_xml.writeTextElement(QStringLiteral("Current"), isCurrent ? QStringLiteral("1") : QStringLiteral("0"));
    m_xml.writeTextElement(QStringLiteral("PresetUUID"), QString::fromLatin1(m_item->presetUuid().toHex()));
    const ClipSettings defaults;
    if (!m_item->settings)
        qDebug() << Q_FUNC_INFO << "Item" << position << "has no grade; writing the default grade";
    GradeBlockWriter blocks(&m_xml, m_catalogue);
    if (!blocks.writeClipSettings(m_item->settings ? *m_item->settings : defaults)
        || !blocks.writeUnreadFields(m_item->unreadGradeFields)) {
        qDebug() << Q_FUNC_INFO << "Error while writing clipsettings.";
        return false;
    }
    m_xml.writeEndElement();
    return !m_xml.hasError();
}

bool ProjectFileWriter::finishWritingToXML()
{
    m_xml.writeEndElement();
    m_xml.writeEndDocument();
    if (m_xml.hasError()) {
        qDebug() << Q_FUNC_INFO << "Project file written with error...";
        qDebug() << Q_FUNC_INFO << "Error while writing end of file.";
        return false;
    }
    return true;
}

bool ProjectFileWriter::saveToFile(const QString& path, QString* error)
{
    auto fail = [&](const QString& reason) {
        qDebug() << Q_FUNC_INFO << "Project not saved to" << path << ":" << reason;
        if (error)
            *error = reason;
        return false;
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (!writeToXML(&file)) {
        file.cancelWriting();
        return fail(file.error() != QFileDevice::NoError ? file.errorString()
                                                         : QStringLiteral("the project could not be written"));
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

bool ProjectFileWriter::keepBackup(const QString& path, QString* error)
{
    if (!QFileInfo(path).isFile())
        return true;
    const QString backup = path + QStringLiteral(".bak");
    QFile::remove(backup);
    QFile source(path);
    if (!source.copy(backup)) {
        if (error)
            *error = source.errorString();
        qDebug() << Q_FUNC_INFO << "Could not keep a copy of" << path << ":" << source.errorString();
        return false;
    }
    return true;
}

} // namespace Emulsa
