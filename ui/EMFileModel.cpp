#include "ui/EMFileModel.h"

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
    QStringList filters;
    for (const char* extension : { "MP4", "MTS", "MOV", "AVI", "M4V", "MPEG", "MXF", "R3D", "3GP", "MT2S", "MPG" }) {
        const QString upper = QStringLiteral("*.") + QLatin1String(extension);
        filters << upper << upper.toLower();
    }
    return filters;
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
