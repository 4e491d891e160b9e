#include "ProfileDownloadSupport.h"

#include "TestEnvironment.h"

#include <QFile>
#include <QTcpSocket>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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
    if (route.silent)
        return;
    const qint64 length = route.declared >= 0 ? route.declared : route.body.size();
    QByteArray head = "HTTP/1.1 " + QByteArray::number(route.status) + " X\r\nContent-Type: application/zip\r\n"
        + "Content-Length: " + QByteArray::number(length) + "\r\n";
    if (!route.location.isEmpty())
        head += "Location: " + route.location + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);
    if (route.hold) {
        socket->write(route.body.left(route.body.size() / 4));
        socket->flush();
        return;
    }
    socket->write(route.body);
    socket->disconnectFromHost();
}

EndlessHttpServer::EndlessHttpServer()
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener, 4) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        qWarning() << "EndlessHttpServer: cannot listen";
        if (listener >= 0)
            ::close(listener);
        return;
    }
    m_listener = listener;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

EndlessHttpServer::~EndlessHttpServer()
{
    m_stop.store(true);
    if (m_thread.joinable())
        m_thread.join();
    if (m_listener >= 0)
        ::close(m_listener);
}

QString EndlessHttpServer::base() const
{
    return QStringLiteral("http://127.0.0.1:%1/Profile/").arg(m_port);
}

void EndlessHttpServer::serve()
{
    // Every wait is short, so that the destructor's stop is seen soon.
    const auto ready = [this](int fd, short events) {
        pollfd entry { fd, events, 0 };
        while (!m_stop.load()) {
            const int n = ::poll(&entry, 1, 50);
            if (n > 0)
                return (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0 || (entry.revents & events);
            if (n < 0 && errno != EINTR)
                return false;
        }
        return false;
    };
    while (ready(m_listener, POLLIN)) {
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        QByteArray request;
        char buffer[4096];
        while (!request.contains("\r\n\r\n") && ready(client, POLLIN)) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, int(n));
        }
        const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/zip\r\nConnection: close\r\n\r\n";
        bool open = ::send(client, head.constData(), size_t(head.size()), MSG_NOSIGNAL) == head.size();
        const QByteArray chunk(64 * 1024, 'e');
        while (open && ready(client, POLLOUT)) {
            const ssize_t n = ::send(client, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0)
                m_sent.fetch_add(n);
            else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                open = false;
        }
        ::close(client);
        m_clientGone.store(true);
    }
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
