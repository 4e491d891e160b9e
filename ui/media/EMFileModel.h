#pragma once

#include <QFileSystemModel>
#include <QStringList>

namespace Emulsa {

// The folder tree's model: folders and video files only (files matching no
// video pattern are hidden, not greyed), no symbolic links.
class EMFileModel : public QFileSystemModel
{
    Q_OBJECT

public:
    explicit EMFileModel(QObject* parent = nullptr);

    // The video file patterns in upper and lower case ("*.MP4", "*.mp4", ...).
    static QStringList videoNameFilters();

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QModelIndex setRootPath(const QString& path);
};

} // namespace Emulsa
