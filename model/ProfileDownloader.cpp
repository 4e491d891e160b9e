#include "model/ProfileDownloader.h"

#include "core/CameraListHelper.h"
#include "core/ProfileInfo.h"
#include "model/ProfileDownloadMessages.h"
#include "model/ProfileInstall.h"

#include <QDebug>
#include <QDir>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <algorithm>

namespace Emulsa {

using namespace ProfileDownloadMessages;

namespace {

constexpr qint64 kMaxArchiveBytes = 256ll * 1024 * 1024;
constexpr qint64 kReadBufferBytes = 1024 * 1024;
constexpr qint64 kMaxChecksumBytes = 4096;
constexpr int kTransferTimeoutMs = 30000;

// Whether an address may be asked for: https, or http to a loopback address
// ("localhost", 127.0.0.0/8 or ::1).
bool isAllowedAddress(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    if (scheme != QLatin1String("http"))
        return false;
    const QString host = url.host().toLower();
    if (host == QLatin1String("localhost"))
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// Whether a redirect from `from` to `to` stays on the same scheme, host and
// port.
bool isSameOrigin(const QUrl& from, const QUrl& to)
{
    const auto defaultPort
        = [](const QUrl& url) { return url.scheme().toLower() == QLatin1String("https") ? 443 : 80; };
    return from.scheme().compare(to.scheme(), Qt::CaseInsensitive) == 0
        && from.host().compare(to.host(), Qt::CaseInsensitive) == 0 && !to.host().isEmpty()
        && from.port(defaultPort(from)) == to.port(defaultPort(to));
}

// The seconds of a timeout as the messages show them ("30", "0.4").
QString secondsText(int milliseconds)
{
    return QString::number(milliseconds / 1000.0, 'g', 6);
}

// The digest at the start of a published checksum file ("<hex>" or
// "<hex>  <name>"), or empty when it does not start with one.
QByteArray publishedDigest(const QByteArray& text)
{
    const QByteArray first = text.trimmed().split(' ').value(0).split('\t').value(0).toLower();
    if (first.size() != 64)
        return QByteArray();
    for (const char c : first) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return QByteArray();
    }
    return first;
}

} // namespace

ProfileDownloader::ProfileDownloader(QObject* parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
    , m_maxArchiveBytes(kMaxArchiveBytes)
    , m_transferTimeoutMs(kTransferTimeoutMs)
{
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, &ProfileDownloader::transferStalled);
}

ProfileDownloader::~ProfileDownloader()
{
    release();
}

void ProfileDownloader::setMirrors(const QList<ProfileMirror>& mirrors)
{
    m_mirrorsOverride.clear();
    for (const ProfileMirror& mirror : mirrors) {
        const QString base = ProfileMirrors::withSlash(mirror.baseUrl);
        if (!base.isEmpty())
            m_mirrorsOverride.append({ mirror.name, base });
    }
}

QList<ProfileMirror> ProfileDownloader::mirrors() const
{
    return m_mirrorsOverride.isEmpty() ? ProfileMirrors::configured() : m_mirrorsOverride;
}

void ProfileDownloader::downloadNewProfileFromProxy(unsigned int profileId, unsigned int mirrorIndex)
{
    release();

    CameraListHelper* catalogue = CameraListHelper::instance();
    const ProfileInfo* profile = catalogue->load() ? catalogue->getProfile(profileId) : nullptr;
    if (!profile) {
        qWarning() << Q_FUNC_INFO << "No camera profile with id" << profileId;
        return;
    }
    const QList<ProfileMirror> choices = mirrors();
    if (choices.isEmpty()) {
        emit downloadFailed(profileId, ProfileMirrors::notConfiguredMessage());
        return;
    }
    if (mirrorIndex >= static_cast<unsigned int>(choices.size())) {
        qWarning() << Q_FUNC_INFO << "No download mirror" << mirrorIndex << "of" << choices.size()
                   << "(the first one is used)";
        mirrorIndex = 0;
    }
    const ProfileMirror& mirror = choices.at(static_cast<int>(mirrorIndex));

    m_profileId = profileId;
    const QUrl url(mirror.baseUrl + QString::fromUtf8(profile->tin) + QStringLiteral(".zip"));
    if (!isAllowedAddress(url)) {
        fail(downloadMessage(QStringLiteral("the mirror's address %1 is not an https address").arg(mirror.baseUrl)),
            QStringLiteral("refused to ask %1").arg(url.toString()));
        return;
    }
    qInfo() << "Set to download profile:" << url.toString() << "from" << mirror.name;

    m_archive = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/emulsa-profile-XXXXXX.zip"));
    if (!m_archive->open()) {
        fail(downloadMessage(), QStringLiteral("cannot create a temporary file: %1").arg(m_archive->errorString()));
        return;
    }
    m_received = 0;
    m_digest.reset();
    m_archiveUrl = url;
    startRequest(url, Stage::Archive);
}

void ProfileDownloader::startRequest(const QUrl& url, Stage stage)
{
    m_stage = stage;
    QNetworkRequest request(url);
    // Every redirect comes to redirected() first, which lets it go on only
    // when it stays on the archive's origin.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    m_reply = m_manager->get(request);
    // Past this much unread data the network thread stops reading the
    // socket, so a server cannot fill the memory faster than the reply is
    // written out.
    m_reply->setReadBufferSize(kReadBufferBytes);
    connect(m_reply, &QNetworkReply::readyRead, this, &ProfileDownloader::readAvailable);
    connect(m_reply, &QNetworkReply::finished, this, &ProfileDownloader::replyFinished);
    connect(m_reply, &QNetworkReply::redirected, this, &ProfileDownloader::redirected);
    connect(m_reply, &QNetworkReply::metaDataChanged, &m_stallTimer, qOverload<>(&QTimer::start));
    m_stallTimer.start(m_transferTimeoutMs);
}

void ProfileDownloader::redirected(const QUrl& target)
{
    if (!m_reply)
        return;
    const QUrl resolved = m_reply->url().resolved(target);
    if (!isSameOrigin(m_archiveUrl, resolved)) {
        fail(downloadMessage(
                 QStringLiteral("the mirror sent the download on to another server (%1)").arg(resolved.toString())),
            QStringLiteral("refused the redirect from %1 to %2").arg(m_reply->url().toString(), resolved.toString()));
        return;
    }
    m_stallTimer.start();
    emit m_reply->redirectAllowed();
}

void ProfileDownloader::transferStalled()
{
    if (!m_reply)
        return;
    fail(downloadMessage(QStringLiteral("the server sent nothing for %1 s").arg(secondsText(m_transferTimeoutMs))),
        QStringLiteral("transfer timeout at %1").arg(m_reply->url().toString()));
}

void ProfileDownloader::cancelCurrentDownload()
{
    if (m_reply)
        qInfo() << Q_FUNC_INFO << "Download of profile" << m_profileId << "cancelled";
    release();
}

void ProfileDownloader::readAvailable()
{
    if (!m_reply)
        return;
    m_stallTimer.start();
    if (m_stage == Stage::Checksum) {
        m_checksumText += m_reply->read(kMaxChecksumBytes + 1 - m_checksumText.size());
        if (m_checksumText.size() > kMaxChecksumBytes)
            fail(downloadMessage(QStringLiteral("the mirror's checksum file is too large")),
                QStringLiteral("checksum reply over %1 bytes").arg(kMaxChecksumBytes));
        return;
    }
    if (!m_archive)
        return;
    bool known = false;
    const qint64 total = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    if (known && total > m_maxArchiveBytes) {
        fail(downloadMessage(), QStringLiteral("the archive is announced larger than %1 bytes").arg(m_maxArchiveBytes));
        return;
    }
    // Taken in pieces, so that an oversized reply is refused as soon as it
    // passes the limit.
    bool arrived = false;
    while (m_reply->bytesAvailable() > 0) {
        const QByteArray data = m_reply->read(kReadBufferBytes);
        if (data.isEmpty())
            break;
        m_received += data.size();
        if (m_received > m_maxArchiveBytes) {
            fail(downloadMessage(), QStringLiteral("the archive is larger than %1 bytes").arg(m_maxArchiveBytes));
            return;
        }
        if (m_archive->write(data) != data.size()) {
            fail(downloadMessage(), QStringLiteral("cannot write the archive: %1").arg(m_archive->errorString()));
            return;
        }
        m_digest.addData(data);
        arrived = true;
    }
    // The reply's own progress signal is rate-limited and can stay silent for
    // a burst; report every arrival instead.
    if (arrived)
        downloadProgressUpdate(m_received, known ? total : 0);
}

void ProfileDownloader::downloadProgressUpdate(qint64 bytesReceived, qint64 bytesTotal)
{
    const qint64 intMax = std::numeric_limits<int>::max();
    emit downloalProgress(static_cast<int>(std::clamp<qint64>(bytesReceived, 0, intMax)));
    emit downloalProgressMax(static_cast<int>(std::clamp<qint64>(bytesTotal, 0, intMax)));
}

void ProfileDownloader::replyFinished()
{
    if (!m_reply)
        return;
    readAvailable();
    if (!m_reply)
        return; // readAvailable failed the download
    if (m_stage == Stage::Archive)
        archiveFinished();
    else
        checksumFinished();
}

void ProfileDownloader::archiveFinished()
{
    if (m_reply->error() != QNetworkReply::NoError) {
        fail(downloadMessage(), QStringLiteral("%1 (%2)").arg(m_reply->errorString(), m_reply->url().toString()));
        return;
    }
    if (!m_archive->flush()) {
        fail(downloadMessage(), QStringLiteral("cannot write the archive: %1").arg(m_archive->errorString()));
        return;
    }
    m_archive->close();
    // Then the checksum the mirror may publish beside the archive.
    dropReply();
    m_checksumText.clear();
    QUrl checksumUrl = m_archiveUrl;
    checksumUrl.setPath(m_archiveUrl.path() + QStringLiteral(".sha256"));
    startRequest(checksumUrl, Stage::Checksum);
}

void ProfileDownloader::checksumFinished()
{
    const QNetworkReply::NetworkError error = m_reply->error();
    if (error == QNetworkReply::ContentNotFoundError || error == QNetworkReply::ContentGoneError) {
        qInfo() << "ProfileDownloader: no published checksum for" << m_archiveUrl.toString();
        install();
        return;
    }
    if (error != QNetworkReply::NoError) {
        fail(downloadMessage(QStringLiteral("the mirror's checksum could not be read")),
            QStringLiteral("%1 (%2)").arg(m_reply->errorString(), m_reply->url().toString()));
        return;
    }
    const QByteArray expected = publishedDigest(m_checksumText);
    if (expected.isEmpty()) {
        fail(downloadMessage(QStringLiteral("the mirror's checksum file holds no SHA-256 digest")),
            QStringLiteral("malformed checksum file %1").arg(m_reply->url().toString()));
        return;
    }
    const QByteArray actual = m_digest.result().toHex();
    if (actual != expected) {
        fail(downloadMessage(QStringLiteral("the archive does not match the checksum the mirror publishes")),
            QStringLiteral("SHA-256 %1, published %2").arg(QString::fromLatin1(actual), QString::fromLatin1(expected)));
        return;
    }
    install();
}

void ProfileDownloader::install()
{
    dropReply();
    const unsigned int id = m_profileId;
    const ProfileInfo* profile = CameraListHelper::instance()->getProfile(id);
    QString error;
    if (!profile || !ProfileInstall::fromArchive(m_archive->fileName(), *profile, &error)) {
        fail(error.isEmpty() ? installMessage() : error, QStringLiteral("profile %1 not installed").arg(id));
        return;
    }
    release();
    qInfo() << Q_FUNC_INFO << "Profile" << id << "installed";
    emit downloadFinishedAndInstalled(id);
}

void ProfileDownloader::fail(const QString& message, const QString& detail)
{
    const unsigned int id = m_profileId;
    qWarning() << "ProfileDownloader: profile" << id << ":" << detail;
    release();
    qCritical().noquote() << message;
    emit downloadFailed(id, message);
}

void ProfileDownloader::dropReply()
{
    m_stallTimer.stop();
    if (m_reply) {
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->disconnect(&m_stallTimer);
        if (reply->isRunning())
            reply->abort();
        // Never deleted here: this may run inside one of the reply's own signals.
        reply->deleteLater();
    }
}

void ProfileDownloader::release()
{
    dropReply();
    m_archive.reset(); // removes the temporary archive
    m_received = 0;
    m_profileId = 0;
    m_checksumText.clear();
}

} // namespace Emulsa
