#include "model/ProfileDownloader.h"

#include "core/ApplicationPaths.h"
#include "core/CameraListHelper.h"
#include "core/ProfileInfo.h"
#include "core/StockTable.h"
#include "model/SettingsManager.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSettings>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipfileinfo.h>

#include <algorithm>

namespace Emulsa {

namespace {

const char kUrlVariable[] = "EMULSA_PROFILE_DOWNLOAD_URL";
const QString kGroup = QStringLiteral("ProfileDownloads");
const QString kMirrorsArray = QStringLiteral("DownloadMirrors");
const QString kLastMirrorKey = QStringLiteral("ProfileDownloads/LastMirror");

QString userMessage(const char* what)
{
    return QString::fromLatin1(what) + QStringLiteral("</ br>Please download desired profile from Emulsa website.");
}

QString downloadMessage()
{
    return userMessage("Can't download selected profile.");
}
QString openMessage()
{
    return userMessage("Can't open downloaded profile.");
}
QString folderMessage()
{
    return userMessage("Can't find profile folder.");
}
QString installMessage()
{
    return userMessage("Can't install downloaded profile.");
}

QString withSlash(QString base)
{
    base = base.trimmed();
    if (!base.isEmpty() && !base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base;
}

// The entry's path below its top-level folder, or an empty string when the
// entry must not be unpacked: not a ".tin" file, a link, an absolute name, a
// backslash, or an empty, "." or ".." component.
QString safeRelativeTarget(const QuaZipFileInfo64& info)
{
    const QString& name = info.name;
    if (!name.endsWith(QLatin1String(".tin")) || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name.contains(QLatin1Char(':')))
        return QString();
    const quint32 mode = info.externalAttr >> 16;
    if ((mode & 0170000u) == 0120000u) // a symbolic link stored by a Unix zipper
        return QString();
    const QStringList parts = name.split(QLatin1Char('/'));
    if (parts.size() < 2)
        return QString();
    for (const QString& part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return QString();
    }
    return parts.mid(1).join(QLatin1Char('/'));
}

bool isInside(const QString& folder, const QString& path)
{
    const QString root = QDir::cleanPath(QFileInfo(folder).absoluteFilePath()) + QLatin1Char('/');
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath()).startsWith(root);
}

// Copies the current entry of the archive to target; false with *detail set
// on a read, size, CRC or write failure.
bool extractEntry(
    QuaZip& zip, const QString& target, qint64 entryLimit, qint64* total, qint64 totalLimit, QString* detail)
{
    QuaZipFile in(&zip);
    if (!in.open(QIODevice::ReadOnly)) {
        *detail = QStringLiteral("cannot read the entry");
        return false;
    }
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        *detail = QStringLiteral("cannot write %1").arg(target);
        return false;
    }
    qint64 written = 0;
    char buffer[64 * 1024];
    for (;;) {
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0) {
            *detail = QStringLiteral("the entry is damaged");
            return false;
        }
        if (n == 0)
            break;
        written += n;
        *total += n;
        if (written > entryLimit || *total > totalLimit) {
            *detail = QStringLiteral("the entry is larger than a profile table can be");
            return false;
        }
        if (out.write(buffer, n) != n) {
            *detail = QStringLiteral("cannot write %1").arg(target);
            return false;
        }
    }
    in.close();
    if (in.getZipError() != UNZ_OK) {
        *detail = QStringLiteral("the entry's checksum does not match");
        return false;
    }
    if (!out.flush() || written < static_cast<qint64>(StockTable::kBytes)) {
        *detail = QStringLiteral("the table is incomplete (%1 bytes)").arg(written);
        return false;
    }
    return true;
}

// Removes a file, a link or a folder with everything in it. A symbolic link,
// at the top or anywhere inside, is removed as a link: what it points to is
// never entered nor removed.
void removeWithoutFollowingLinks(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isDir()) {
        QFile::remove(path);
        return;
    }
    const QFileInfoList entries
        = QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries)
        removeWithoutFollowingLinks(entry.filePath());
    QDir().rmdir(path);
}

} // namespace

QList<ProfileDownloader::Mirror> ProfileDownloader::configuredMirrors()
{
    const auto named = [](const QString& name, const QString& base) {
        return Mirror { name.trimmed().isEmpty() ? QUrl(base).host() : name.trimmed(), base };
    };
    const QString fromEnvironment = withSlash(qEnvironmentVariable(kUrlVariable));
    if (!fromEnvironment.isEmpty())
        return { named(QString(), fromEnvironment) };

    QList<Mirror> mirrors;
    std::unique_ptr<QSettings> store = SettingsManager::openStore();
    store->beginGroup(kGroup);
    const int count = store->beginReadArray(kMirrorsArray);
    for (int i = 0; i < count; ++i) {
        store->setArrayIndex(i);
        const QString base = withSlash(store->value(QStringLiteral("Url")).toString());
        if (base.isEmpty())
            continue;
        mirrors.append(named(store->value(QStringLiteral("Name")).toString(), base));
    }
    store->endArray();
    store->endGroup();
    return mirrors;
}

int ProfileDownloader::rememberedMirror()
{
    return std::max(0, SettingsManager::openStore()->value(kLastMirrorKey, 0).toInt());
}

void ProfileDownloader::rememberMirror(int index)
{
    SettingsManager::openStore()->setValue(kLastMirrorKey, std::max(0, index));
}

QString ProfileDownloader::notConfiguredMessage()
{
    return QStringLiteral("Profile downloads are not configured. Add a download mirror to the settings "
                          "(array %1/%2, entries Name and Url) or set the environment variable %3.")
        .arg(kGroup, kMirrorsArray, QLatin1String(kUrlVariable));
}

ProfileDownloader::ProfileDownloader(QObject* parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
{
}

ProfileDownloader::~ProfileDownloader()
{
    release();
}

void ProfileDownloader::setMirrors(const QList<Mirror>& mirrors)
{
    m_mirrorsOverride.clear();
    for (const Mirror& mirror : mirrors) {
        const QString base = withSlash(mirror.baseUrl);
        if (!base.isEmpty())
            m_mirrorsOverride.append({ mirror.name, base });
    }
}

QList<ProfileDownloader::Mirror> ProfileDownloader::mirrors() const
{
    return m_mirrorsOverride.isEmpty() ? configuredMirrors() : m_mirrorsOverride;
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
    const QList<Mirror> choices = mirrors();
    if (choices.isEmpty()) {
        emit downloadFailed(profileId, notConfiguredMessage());
        return;
    }
    if (mirrorIndex >= static_cast<unsigned int>(choices.size())) {
        qWarning() << Q_FUNC_INFO << "No download mirror" << mirrorIndex << "of" << choices.size()
                   << "(the first one is used)";
        mirrorIndex = 0;
    }
    const Mirror& mirror = choices.at(static_cast<int>(mirrorIndex));

    m_profileId = profileId;
    const QUrl url(mirror.baseUrl + QString::fromUtf8(profile->tin) + QStringLiteral(".zip"));
    qInfo() << "Set to download profile:" << url.toString() << "from" << mirror.name;

    m_archive = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/emulsa-profile-XXXXXX.zip"));
    if (!m_archive->open()) {
        fail(downloadMessage(), QStringLiteral("cannot create a temporary file: %1").arg(m_archive->errorString()));
        return;
    }
    m_received = 0;

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    m_reply = m_manager->get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &ProfileDownloader::readAvailable);
    connect(m_reply, &QNetworkReply::finished, this, &ProfileDownloader::replyFinished);
}

void ProfileDownloader::cancelCurrentDownload()
{
    if (m_reply)
        qInfo() << Q_FUNC_INFO << "Download of profile" << m_profileId << "cancelled";
    release();
}

void ProfileDownloader::readAvailable()
{
    if (!m_reply || !m_archive)
        return;
    const QByteArray data = m_reply->readAll();
    m_received += data.size();
    if (m_received > m_maxArchiveBytes) {
        fail(downloadMessage(), QStringLiteral("the archive is larger than %1 bytes").arg(m_maxArchiveBytes));
        return;
    }
    if (m_archive->write(data) != data.size()) {
        fail(downloadMessage(), QStringLiteral("cannot write the archive: %1").arg(m_archive->errorString()));
        return;
    }
    // The reply's own progress signal is rate-limited and can stay silent for
    // a burst; report every arrival instead.
    if (!data.isEmpty()) {
        bool known = false;
        const qint64 total = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        downloadProgressUpdate(m_received, known ? total : 0);
    }
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
    if (m_reply->error() != QNetworkReply::NoError) {
        fail(downloadMessage(), QStringLiteral("%1 (%2)").arg(m_reply->errorString(), m_reply->url().toString()));
        return;
    }
    if (!m_archive->flush()) {
        fail(downloadMessage(), QStringLiteral("cannot write the archive: %1").arg(m_archive->errorString()));
        return;
    }
    m_archive->close();

    const unsigned int id = m_profileId;
    const ProfileInfo* profile = CameraListHelper::instance()->getProfile(id);
    QString error;
    if (!profile || !installArchive(m_archive->fileName(), *profile, &error)) {
        fail(error.isEmpty() ? installMessage() : error, QStringLiteral("profile %1 not installed").arg(id));
        return;
    }
    release();
    qInfo() << Q_FUNC_INFO << "Profile" << id << "installed";
    emit downloadFinishedAndInstalled(id);
}

bool ProfileDownloader::installArchive(const QString& zipPath, const ProfileInfo& profile, QString* error)
{
    const QString tin = QString::fromUtf8(profile.tin);
    if (tin.isEmpty() || tin.contains(QLatin1Char('/')) || tin.contains(QLatin1Char('\\')) || tin.startsWith('.')) {
        *error = installMessage();
        qWarning() << "ProfileDownloader: unusable table name" << tin;
        return false;
    }

    QuaZip zip(zipPath);
    if (!zip.open(QuaZip::mdUnzip)) {
        *error = openMessage();
        qWarning() << "ProfileDownloader: not a ZIP archive:" << zipPath;
        return false;
    }

    const QString root = QDir::cleanPath(ApplicationPaths::instance()->userProfilesPath());
    if (!QDir().mkpath(root)) {
        *error = folderMessage();
        qWarning() << "ProfileDownloader: cannot create" << root;
        return false;
    }
    QTemporaryDir staging(root + QStringLiteral("/.staging-") + tin + QStringLiteral("-XXXXXX"));
    if (!staging.isValid()) {
        *error = installMessage();
        qWarning() << "ProfileDownloader: cannot create a staging folder in" << root;
        return false;
    }

    qint64 total = 0;
    int tables = 0;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFileInfo64 info;
        if (!zip.getCurrentFileInfo(&info)) {
            *error = openMessage();
            return false;
        }
        const QString relative = safeRelativeTarget(info);
        if (relative.isEmpty()) {
            if (info.name.endsWith(QLatin1String(".tin")))
                qWarning() << "ProfileDownloader: skipped unsafe entry" << info.name;
            continue;
        }
        if (info.uncompressedSize > static_cast<quint64>(kMaxEntryBytes)) {
            *error = installMessage();
            qWarning() << "ProfileDownloader: entry too large:" << info.name << info.uncompressedSize;
            return false;
        }
        const QString target = staging.path() + QLatin1Char('/') + relative;
        if (!isInside(staging.path(), target) || !QDir().mkpath(QFileInfo(target).absolutePath())) {
            qWarning() << "ProfileDownloader: skipped entry outside the profile folder" << info.name;
            continue;
        }
        QString detail;
        if (!extractEntry(zip, target, kMaxEntryBytes, &total, kMaxTotalBytes, &detail)) {
            *error = installMessage();
            qWarning() << "ProfileDownloader: cannot unpack" << info.name << ":" << detail;
            return false;
        }
        ++tables;
    }
    if (zip.getZipError() != UNZ_OK || tables == 0) {
        *error = tables == 0 ? installMessage() : openMessage();
        qWarning() << "ProfileDownloader: archive holds no usable table" << zipPath;
        return false;
    }
    zip.close();

    // Swap the staging folder in; an earlier (partial) folder is moved aside
    // first and removed once the new one is in place. Whatever has the name,
    // a symbolic link (dangling or not) included, is moved as it is: rename
    // never follows a link.
    const QString target = root + QLatin1Char('/') + tin;
    QString aside;
    const QFileInfo earlier(target);
    if (earlier.exists() || earlier.isSymLink()) {
        aside = root + QStringLiteral("/.old-") + tin + QLatin1Char('-')
            + QString::number(QDateTime::currentMSecsSinceEpoch());
        if (!QDir().rename(target, aside)) {
            *error = installMessage();
            qWarning() << "ProfileDownloader: cannot move the old folder aside" << target;
            return false;
        }
    }
    if (!QDir().rename(staging.path(), target)) {
        if (!aside.isEmpty())
            QDir().rename(aside, target);
        *error = installMessage();
        qWarning() << "ProfileDownloader: cannot move the tables into" << target;
        return false;
    }
    staging.setAutoRemove(false);
    if (!aside.isEmpty())
        removeWithoutFollowingLinks(aside);
    return true;
}

void ProfileDownloader::fail(const QString& message, const QString& detail)
{
    const unsigned int id = m_profileId;
    qWarning() << "ProfileDownloader: profile" << id << ":" << detail;
    release();
    qCritical().noquote() << message;
    emit downloadFailed(id, message);
}

void ProfileDownloader::release()
{
    if (m_reply) {
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        if (reply->isRunning())
            reply->abort();
        // Never deleted here: this may run inside one of the reply's own signals.
        reply->deleteLater();
    }
    m_archive.reset(); // removes the temporary archive
    m_received = 0;
    m_profileId = 0;
}

} // namespace Emulsa
