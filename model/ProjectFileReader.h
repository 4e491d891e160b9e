#pragma once

#include "model/GradeBlockReader.h"

#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>
#include <QXmlStreamReader>

#include <functional>

class QIODevice;

namespace Emulsa {

class AssetMetadata;
class CameraListHelper;
class FilmLibrary;
class SequenceItem;

// Reads a project file into new SequenceItems. Tolerant: a damaged item is
// skipped and counted, a damaged grade becomes the default grade, values are
// clamped, a stock that is not installed becomes "5207"; which clips lost
// what of their grade is told. Nothing is sized from the counts the file
// states, and a document with a document type definition or an over-long
// text is refused (see BoundedXml).
class ProjectFileReader
{
    Q_DECLARE_TR_FUNCTIONS(ProjectFileReader)

public:
    // Finds or makes the record of a media file from the id and path stored
    // in the file; null when there is none.
    using AssetResolver = std::function<AssetMetadata*(const QByteArray& id, const QString& path)>;

    // `items` receives the items read; the caller owns them and their grades.
    explicit ProjectFileReader(
        QList<SequenceItem*>* items, const FilmLibrary* library = nullptr, CameraListHelper* catalogue = nullptr);

    // By default assets come from the process-wide metadata manager.
    void setAssetResolver(AssetResolver resolver) { m_resolveAsset = std::move(resolver); }

    // Parses the whole document. True when it parsed without error; items
    // read before an error stay in the list.
    bool read(QIODevice* device);

    float fileVersion() const { return m_general.fileVersion; }
    QString standaloneVersion() const { return m_general.standaloneVersion; }
    QString hostOS() const { return m_general.hostOS; }
    bool timelineMode() const { return m_timelineMode; }
    QString errorString() const { return m_xml.errorString(); }

    // The item count the file states; -1 before it was read.
    qint64 declaredItems() const { return m_declaredItems; }
    // Items that were not loaded: damaged items, items the file states but
    // does not hold (a cut-off file), items beyond the stated count.
    qint64 skippedItems() const { return m_failedItems + m_missingItems + m_ignoredItems; }
    // Items loaded with the default grade because theirs was damaged.
    int defaultedGrades() const { return m_defaultedGrades; }
    // The items whose grade could not be read whole (replaced by the default
    // grade, or with defaults for some wheels or levels), by item uuid: the
    // fields that could not be read (see GradeBlockReader::unreadFields),
    // then those the file itself names as unread (UnreadGradeFields, kept by
    // an autosave). Each item read also carries them (unreadGradeFields).
    const QHash<QUuid, QStringList>& incompleteGrades() const { return m_incompleteGrades; }
    // Grades whose stock was replaced by the default stock.
    int replacedStocks() const { return m_grades.replacedStocks(); }
    // True after a read that succeeded and lost nothing: no item skipped, no
    // grade or stock replaced. Saving over a file that did not load cleanly
    // would drop what could not be read. Fields the file names as unread
    // were lost before it was written and do not count.
    bool loadedCleanly() const;
    // One line for the user about what was lost; empty when nothing was.
    QString problemSummary() const;

private:
    bool readGeneral();
    bool readSequenceItems();
    // Raises the message, followed by the reader's own error when it has one.
    void raiseErrorKeepingCause(const QString& message);
    bool parseSequenceItem();
    bool parseSequenceItemFields();
    // Moves to the next child start element; true when it is named `name`,
    // with its text in *text.
    bool readLeaf(const QString& name, QString* text);
    AssetMetadata* resolveAsset(const QByteArray& id, const QString& path);

    QXmlStreamReader m_xml;
    GradeBlockReader m_grades;
    QList<SequenceItem*>* m_items;
    AssetResolver m_resolveAsset;
    GeneralInfo m_general;
    bool m_timelineMode = false;
    bool m_readDone = false;
    bool m_readOk = false;
    qint64 m_declaredItems = -1;
    qint64 m_failedItems = 0;
    qint64 m_missingItems = 0;
    qint64 m_ignoredItems = 0;
    int m_defaultedGrades = 0;
    // Items with a field this read could not read.
    int m_failedGrades = 0;
    QSet<QUuid> m_usedIds;
    QHash<QUuid, QStringList> m_incompleteGrades;
    // "clip file name: fields" for each of them, in file order.
    QStringList m_incompleteGradeNotes;
};

} // namespace Emulsa
