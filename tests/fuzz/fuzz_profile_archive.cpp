// A downloaded camera-profile archive (ZIP) as the downloader unpacks and
// installs it into the per-user profiles folder.

#include "FuzzSupport.h"

#include "core/ApplicationPaths.h"
#include "core/ProfileInfo.h"
#include "model/ProfileInstall.h"

#include <QDir>
#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Emulsa::Fuzz::start();
    const QString archive = QDir::homePath() + QStringLiteral("/download.zip");
    QFile file(archive);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(Emulsa::Fuzz::bytes(data, size));
    file.close();
    Emulsa::ProfileInfo profile;
    Emulsa::ProfileInfo::setField(profile.tin, Emulsa::ProfileInfo::kFieldSize, "FZ01_LOG");
    Emulsa::ProfileInfo::setField(profile.id, Emulsa::ProfileInfo::kIdSize, "FZ01");
    QString error;
    Emulsa::ProfileInstall::fromArchive(archive, profile, &error);
    QDir(Emulsa::ApplicationPaths::instance()->userProfilesPath()).removeRecursively();
    return 0;
}
