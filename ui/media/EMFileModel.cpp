#include "ui/media/EMFileModel.h"

#include "media/source/VideoFileTypes.h"

#include <QDebug>

namespace Emulsa {

EMFileModel::EMFileModel(QObject* parent)
    : QFileSystemModel(parent)
{
    QFileSystemModel::setRootPath(QString());
    setNameFilterDisables(false);
    setFilter(QDir::AllDirs | QDir::Files | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    setNameFilters(videoNameFilters());
}

QStringList EMFileModel::videoNameFilters()
{
    return VideoFileTypes::nameFilters();
}

QVariant EMFileModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    return QFileSystemModel::data(index, role);
}

QModelIndex EMFileModel::setRootPath(const QString& path)
{
    qDebug() << "EMFileModel::setRootPath:" << path;
    return QFileSystemModel::setRootPath(path);
}

} // namespace Emulsa
