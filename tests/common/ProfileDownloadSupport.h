#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpServer>

#include <atomic>
#include <thread>

class QTcpSocket;

namespace Emulsa::Test {

// A minimal HTTP/1.1 server on the loopback address. Each path answers with
// its status and body; `declared` overrides the Content-Length (to cut a body
// short), `hold` sends the first part and then keeps the connection open,
// `silent` answers nothing at all and keeps it open, and `location` is sent as
// the Location header (for redirects). Paths without a route answer 404.
class LocalHttpServer : public QObject
{
public:
    struct Route
    {
        int status = 200;
        QByteArray body;
        qint64 declared = -1;
        bool hold = false;
        bool silent = false;
        QByteArray location = QByteArray();
    };

    LocalHttpServer();

    bool isListening() const { return m_server.isListening(); }
    // "http://127.0.0.1:<port><prefix>"; the prefix starts and ends with "/".
    QString base(const QString& prefix = QStringLiteral("/Profile/")) const;
    void route(const QString& path, const Route& route) { m_routes.insert(path, route); }
    int requests() const { return m_paths.size(); }
    // The paths asked for, in order.
    QStringList requestedPaths() const { return m_paths; }

private:
    void answer(QTcpSocket* socket);

    QTcpServer m_server;
    QHash<QString, Route> m_routes;
    QHash<QTcpSocket*, QByteArray> m_pending;
    QStringList m_paths;
};

// An HTTP server on the loopback address, on a thread of its own, that
// answers every request with a reply without end (no Content-Length) as fast
// as the client takes it, until the client goes away. It counts what it has
// sent, so a test can see how much a client took in.
class EndlessHttpServer
{
public:
    EndlessHttpServer();
    ~EndlessHttpServer();

    bool isListening() const { return m_listener >= 0; }
    QString base() const;
    qint64 bytesSent() const { return m_sent.load(); }
    // Whether a client connected and has gone away again.
    bool clientGone() const { return m_clientGone.load(); }

private:
    void serve();

    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop { false };
    std::atomic<qint64> m_sent { 0 };
    std::atomic<bool> m_clientGone { false };
    std::thread m_thread;
};

struct ZipEntry
{
    QString name;
    QByteArray data;
    quint32 mode = 0100644;
};

// A ZIP archive holding the entries in order; empty on failure.
QByteArray makeZip(const QList<ZipEntry>& entries);

// The download archive of the profile `tin`: the stock tables 5207 and 5213
// of the profile `sharedTin` of the data folder, renamed after `tin` and
// placed in a top-level folder named `tin`. Empty when a table is missing.
QByteArray profileArchive(const QString& dataRoot, const QString& sharedTin, const QString& tin);

} // namespace Emulsa::Test
