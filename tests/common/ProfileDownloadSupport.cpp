#include "ProfileDownloadSupport.h"

#include "TestEnvironment.h"

#include <QFile>
#include <QTcpSocket>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

namespace Emulsa::Test {

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

LocalHttpServer::LocalHttpServer()
{
    if (!m_server.listen(QHostAddress::LocalHost))
        qWarning() << "LocalHttpServer: cannot listen:" << m_server.errorString();
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QString LocalHttpServer::base(const QString& prefix) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(prefix);
}

void LocalHttpServer::answer(QTcpSocket* socket)
{
    QByteArray& request = m_pending[socket];
    request += socket->readAll();
    if (!request.contains("\r\n\r\n"))
        return;
    const QString path = QString::fromLatin1(request.split(' ').value(1));
    m_pending.remove(socket);
    m_paths.append(path);
    const Route route = m_routes.value(path, Route { 404, "not here", -1, false });
    const qint64 length = route.declared >= 0 ? route.declared : route.body.size();
    QByteArray head = "HTTP/1.1 " + QByteArray::number(route.status) + " X\r\nContent-Type: application/zip\r\n"
        + "Content-Length: " + QByteArray::number(length) + "\r\nConnection: close\r\n\r\n";
    socket->write(head);
    if (route.hold) {
        socket->write(route.body.left(route.body.size() / 4));
        socket->flush();
        return;
    }
    socket->write(route.body);
    socket->disconnectFromHost();
}

QByteArray makeZip(const QList<ZipEntry>& entries)
{
    const QString path = makeTempFolder(QStringLiteral("zip")) + QStringLiteral("/a.zip");
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return QByteArray();
    for (const ZipEntry& entry : entries) {
        QuaZipNewInfo info(entry.name);
        info.externalAttr = entry.mode << 16;
        QuaZipFile out(&zip);
        if (!out.open(QIODevice::WriteOnly, info))
            return QByteArray();
        out.write(entry.data);
        out.close();
    }
    zip.close();
    return readFile(path);
}

QByteArray profileArchive(const QString& dataRoot, const QString& sharedTin, const QString& tin)
{
    QList<ZipEntry> entries;
    for (const char* stock : { "5207", "5213" }) {
        const QByteArray table
            = readFile(QStringLiteral("%1/Profiles/%2/%2_%3.tin").arg(dataRoot, sharedTin, QLatin1String(stock)));
        if (table.isEmpty())
            return QByteArray();
        entries.append({ QStringLiteral("%1/%1_%2.tin").arg(tin, QLatin1String(stock)), table });
    }
    return makeZip(entries);
}

} // namespace Emulsa::Test
