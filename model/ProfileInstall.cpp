#include "model/ProfileInstall.h"

#include "core/ApplicationPaths.h"
#include "core/ProfileInfo.h"
#include "core/StockTable.h"
#include "model/ProfileDownloadMessages.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipfileinfo.h>

#include <memory>

namespace Emulsa {

using namespace ProfileDownloadMessages;

namespace {

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

// A profile's table name is the name of its folder: one plain component.
bool isUsableTableName(const QString& tin)
{
    return !tin.isEmpty() && !tin.contains(QLatin1Char('/')) && !tin.contains(QLatin1Char('\\'))
        && !tin.startsWith(QLatin1Char('.'));
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

namespace ProfileInstall {

bool fromArchive(const QString& zipPath, const ProfileInfo& profile, QString* error)
{
    const QString tin = QString::fromUtf8(profile.tin);
    if (!isUsableTableName(tin)) {
        *error = installMessage();
        qWarning() << "ProfileInstall: unusable table name" << tin;
        return false;
    }

    QuaZip zip(zipPath);
    if (!zip.open(QuaZip::mdUnzip)) {
        *error = openMessage();
        qWarning() << "ProfileInstall: not a ZIP archive:" << zipPath;
        return false;
    }

    const std::unique_ptr<QTemporaryDir> staging = createStagingFolder(tin, error);
    if (!staging)
        return false;

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
                qWarning() << "ProfileInstall: skipped unsafe entry" << info.name;
            continue;
        }
        if (info.uncompressedSize > static_cast<quint64>(MaxEntryBytes)) {
            *error = installMessage();
            qWarning() << "ProfileInstall: entry too large:" << info.name << info.uncompressedSize;
            return false;
        }
        const QString target = staging->path() + QLatin1Char('/') + relative;
        if (!isInside(staging->path(), target) || !QDir().mkpath(QFileInfo(target).absolutePath())) {
            qWarning() << "ProfileInstall: skipped entry outside the profile folder" << info.name;
            continue;
        }
        QString detail;
        if (!extractEntry(zip, target, MaxEntryBytes, &total, MaxTotalBytes, &detail)) {
            *error = installMessage();
            qWarning() << "ProfileInstall: cannot unpack" << info.name << ":" << detail;
            return false;
        }
        ++tables;
    }
    if (zip.getZipError() != UNZ_OK || tables == 0) {
        *error = tables == 0 ? installMessage() : openMessage();
        qWarning() << "ProfileInstall: archive holds no usable table" << zipPath;
        return false;
    }
    zip.close();

    return moveIntoPlace(*staging, tin, error);
}

std::unique_ptr<QTemporaryDir> createStagingFolder(const QString& tin, QString* error)
{
    if (!isUsableTableName(tin)) {
        *error = installMessage();
        qWarning() << "ProfileInstall: unusable table name" << tin;
        return nullptr;
    }
    const QString root = QDir::cleanPath(ApplicationPaths::instance()->userProfilesPath());
    if (!QDir().mkpath(root)) {
        *error = folderMessage();
        qWarning() << "ProfileInstall: cannot create" << root;
        return nullptr;
    }
    auto staging
        = std::make_unique<QTemporaryDir>(root + QStringLiteral("/.staging-") + tin + QStringLiteral("-XXXXXX"));
    if (!staging->isValid()) {
        *error = installMessage();
        qWarning() << "ProfileInstall: cannot create a staging folder in" << root;
        return nullptr;
    }
    return staging;
}

bool moveIntoPlace(QTemporaryDir& staging, const QString& tin, QString* error)
{
    const QString root = QDir::cleanPath(ApplicationPaths::instance()->userProfilesPath());
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
            qWarning() << "ProfileInstall: cannot move the old folder aside" << target;
            return false;
        }
    }
    if (!QDir().rename(staging.path(), target)) {
        if (!aside.isEmpty())
            QDir().rename(aside, target);
        *error = installMessage();
        qWarning() << "ProfileInstall: cannot move the tables into" << target;
        return false;
    }
    staging.setAutoRemove(false);
    if (!aside.isEmpty())
        removeWithoutFollowingLinks(aside);
    return true;
}

} // namespace ProfileInstall

} // namespace Emulsa
