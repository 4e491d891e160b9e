#pragma once

#include "model/ProfileMirrors.h"

#include <QCryptographicHash>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;
class QTemporaryDir;
class QTemporaryFile;

namespace Emulsa {

struct ProfileInfo;

// Downloads a camera profile's stock tables as one ZIP archive and installs
// them into the per-user profiles folder (ApplicationPaths::userProfilesPath),
// which the film library searches before the shared data folder.
//
// Where from: one of the download mirrors (ProfileMirrors), the archive being
// "<base><tin>.zip". Without a mirror, downloads are not configured and
// nothing is requested.
//
// Transfer: only https addresses are asked for (plain http only on the
// loopback address, where the tests' server lives); a redirect is followed
// only to the same scheme, host and port; a transfer that receives nothing
// for the transfer timeout fails; the reply is read through a buffer of
// 1 MiB, so it never holds much more than that in memory, into a
// QTemporaryFile, and is refused as soon as it passes 256 MiB. When
// the mirror publishes a SHA-256 of the archive beside it ("<archive>.sha256",
// the hexadecimal digest first, as sha256sum writes it) the archive must
// match it before anything is unpacked; a mirror without one (404) is
// trusted as it is, and one that cannot say (any other error, a malformed
// file) fails the download.
//
// Unpacking: ProfileInstall::fromArchive(), which checks every entry and puts the
// tables in place whole or not at all.
//
// GUI thread only (the network manager delivers its signals there).
class ProfileDownloader : public QObject
{
    Q_OBJECT

public:
    explicit ProfileDownloader(QObject* parent = nullptr);
    ~ProfileDownloader() override;

    // Mirrors used instead of the configured ones (tests). An empty list goes
    // back to the configured ones.
    void setMirrors(const QList<ProfileMirror>& mirrors);
    QList<ProfileMirror> mirrors() const;
    bool isConfigured() const { return !mirrors().isEmpty(); }

    // Starts downloading the profile from the mirror of that index (the first
    // one, with a warning, when there is no such mirror); a running download
    // is cancelled first. Nothing is requested for a profile the catalogue
    // lacks or when downloads are not configured (downloadFailed says why).
    void downloadNewProfileFromProxy(unsigned int profileId, unsigned int mirrorIndex = 0);

    // Largest archive accepted (256 MiB unless lowered).
    void setMaxArchiveBytes(qint64 bytes) { m_maxArchiveBytes = bytes; }
    // How long a transfer may go without receiving a byte before it fails
    // (30 s unless changed); applies to the next request.
    void setTransferTimeout(int milliseconds) { m_transferTimeoutMs = qMax(1, milliseconds); }

    bool isDownloading() const { return m_reply != nullptr; }
    unsigned int currentProfileId() const { return m_profileId; }

public slots:
    void cancelCurrentDownload();

signals:
    void downloadFinishedAndInstalled(uint profileId);
    void downloalProgress(int bytesReceived);
    void downloalProgressMax(int bytesTotal);
    // Every failure but a cancel, with the text to show.
    void downloadFailed(uint profileId, const QString& message);

private slots:
    void readAvailable();
    void replyFinished();

private:
    enum class Stage
    {
        Archive,
        Checksum
    };

    void startRequest(const QUrl& url, Stage stage);
    void redirected(const QUrl& target);
    void transferStalled();
    void archiveFinished();
    void checksumFinished();
    void install();
    void downloadProgressUpdate(qint64 bytesReceived, qint64 bytesTotal);
    void fail(const QString& message, const QString& detail);
    // Lets the current reply go (aborting it when it runs); release() also
    // drops the archive and forgets the profile.
    void dropReply();
    void release();

    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_reply = nullptr;
    std::unique_ptr<QTemporaryFile> m_archive;
    qint64 m_received = 0;
    qint64 m_maxArchiveBytes;
    int m_transferTimeoutMs;
    Stage m_stage = Stage::Archive;
    QUrl m_archiveUrl;
    QCryptographicHash m_digest { QCryptographicHash::Sha256 };
    QByteArray m_checksumText;
    QTimer m_stallTimer;
    unsigned int m_profileId = 0;
    QList<ProfileMirror> m_mirrorsOverride;
};

} // namespace Emulsa
