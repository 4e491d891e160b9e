#include "app/FileManager.h"

#include <QDebug>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace Emulsa {

bool showInFileManager(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        return true;
    qWarning() << "Could not open the file manager for" << folder;
    return false;
}

} // namespace Emulsa
