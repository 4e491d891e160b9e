#pragma once

#include <QList>
#include <QString>
#include <QXmlStreamWriter>

class QIODevice;

namespace Emulsa {

class CameraListHelper;
class SequenceItem;

// Writes a sequence as a project file (".empf"): the general block, then every
// item in sequence order with its in and out points, preset link and grade,
// and after the grade the names of its fields that hold defaults because they
// could not be read (UnreadGradeFields, only when there are any). One writer
// per save.
class ProjectFileWriter
{
public:
    // The items and the current item belong to the caller and must outlive
    // the writer; the catalogue names the camera of each grade (the
    // process-wide one when null).
    ProjectFileWriter(const QList<SequenceItem*>* items, const SequenceItem* current, bool timelineMode,
        CameraListHelper* catalogue = nullptr);

    // Writes the whole document to the device. False with a log line on the
    // first block that fails.
    bool writeToXML(QIODevice* device);

    // Writes the project to a temporary file beside `path` and renames it
    // over `path` only when everything was written, so a failed save (a full
    // disk, a folder that cannot be written, an item that cannot be written)
    // leaves an existing file as it was. On failure *error, when given, says
    // why.
    bool saveToFile(const QString& path, QString* error = nullptr);

    // Copies `path` to `path` + ".bak", replacing an older copy. True when
    // there was nothing to copy or the copy was made.
    static bool keepBackup(const QString& path, QString* error = nullptr);

private:
    bool writeSequenceItemsToXML();
    bool writeSingleSequenceItemToXML(const int& position);
    bool finishWritingToXML();

    QXmlStreamWriter m_xml;
    const QList<SequenceItem*>* m_items;
    const SequenceItem* m_current;
    const SequenceItem* m_item = nullptr;
    bool m_timelineMode;
    CameraListHelper* m_catalogue;
};

} // namespace Emulsa
