#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

namespace Emulsa {
class AssetMetadata;
class SequenceItem;
} // namespace Emulsa

namespace Emulsa::RenderTool {

// The clips of a saved project, ready to render: each with its own grade and
// in and out points, in sequence order. Owns the items, their grades and the
// descriptions of their media files.
class ProjectJob
{
public:
    ProjectJob() = default;
    ~ProjectJob();
    ProjectJob(const ProjectJob&) = delete;
    ProjectJob& operator=(const ProjectJob&) = delete;

    // Reads the project file and describes each clip's media file. False with
    // *error when the file cannot be opened or holds no clip that could be
    // read; a file that is partly damaged loads what it can (see problems()).
    bool load(const QString& path, QString* error);

    const QList<SequenceItem*>& items() const { return m_items; }
    // What could not be read from the file; empty when nothing was lost.
    QString problems() const { return m_problems; }
    // The fields of the item's grade that could not be read from the file;
    // empty for a grade read whole.
    QStringList unreadFields(const SequenceItem* item) const;

    // True when the item's media file could be decoded.
    static bool isDecodable(const SequenceItem* item);

private:
    AssetMetadata* describe(const QString& path);

    QList<SequenceItem*> m_items;
    QHash<QString, AssetMetadata*> m_assets;
    QString m_problems;
    QHash<QUuid, QStringList> m_incompleteGrades;
};

} // namespace Emulsa::RenderTool
