#include "ProfileArchive.h"

#include <QDebug>
#include <QDir>
#include <QFile>

#ifdef EMULSA_FILMDATA_QUAZIP
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>
#endif

namespace Emulsa {
namespace FilmData {

bool ProfileArchive::isAvailable()
{
#ifdef EMULSA_FILMDATA_QUAZIP
    return true;
#else
    return false;
#endif
}

bool ProfileArchive::pack(const QString& folder, const QString& topFolder, const QString& zipPath)
{
#ifdef EMULSA_FILMDATA_QUAZIP
    const QStringList names = QDir(folder).entryList({ "*.tin" }, QDir::Files, QDir::Name);
    if (names.isEmpty()) {
        qWarning() << "ProfileArchive: no tables in" << folder;
        return false;
    }
    QDir().mkpath(QFileInfo(zipPath).absolutePath());
    QFile::remove(zipPath);
    QuaZip zip(zipPath);
    if (!zip.open(QuaZip::mdCreate)) {
        qWarning() << "ProfileArchive: cannot create" << zipPath;
        return false;
    }
    const QDateTime fixedDate(QDate(2024, 1, 1), QTime(0, 0));
    for (const QString& name : names) {
        QFile in(folder + "/" + name);
        if (!in.open(QIODevice::ReadOnly)) {
            qWarning() << "ProfileArchive: cannot read" << in.fileName();
            return false;
        }
        QuaZipNewInfo info(topFolder + "/" + name);
        info.dateTime = fixedDate;
        info.externalAttr = 0644u << 16;
        QuaZipFile out(&zip);
        if (!out.open(QIODevice::WriteOnly, info) || out.write(in.readAll()) < 0) {
            qWarning() << "ProfileArchive: cannot add" << name;
            return false;
        }
        out.close();
    }
    zip.close();
    return zip.getZipError() == 0;
#else
    Q_UNUSED(folder)
    Q_UNUSED(topFolder)
    qWarning() << "ProfileArchive: built without QuaZip, cannot write" << zipPath;
    return false;
#endif
}

} // namespace FilmData
} // namespace Emulsa
