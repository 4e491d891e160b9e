#include "app/FileManager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDebug>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QUrl>

namespace Emulsa {

namespace {

const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");

QMutex handlerMutex;
std::function<bool(const QString&)>& handler()
{
    static std::function<bool(const QString&)> replaced;
    return replaced;
}

// ShowItems selects the file in its folder; ShowFolders opens a folder.
bool showThroughDBus(const QFileInfo& info)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (!bus.interface()->isServiceRegistered(fileManagerService).value())
        return false;
    const QString method = info.isDir() ? QStringLiteral("ShowFolders") : QStringLiteral("ShowItems");
    QDBusMessage call = QDBusMessage::createMethodCall(
        fileManagerService, QStringLiteral("/org/freedesktop/FileManager1"), fileManagerService, method);
    call << QStringList { QUrl::fromLocalFile(info.absoluteFilePath()).toString() } << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        qDebug() << Q_FUNC_INFO << "The file manager refused" << method << reply.errorMessage();
        return false;
    }
    return true;
}

} // namespace

bool showInFileManager(const QString& path)
{
    {
        QMutexLocker locker(&handlerMutex);
        if (handler())
            return handler()(path);
    }
    const QFileInfo info(path);
    if (info.exists() && showThroughDBus(info))
        return true;
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        return true;
    qWarning() << "Could not open the file manager for" << folder;
    return false;
}

void setFileManagerHandler(std::function<bool(const QString& path)> replacement)
{
    QMutexLocker locker(&handlerMutex);
    handler() = std::move(replacement);
}

} // namespace Emulsa
