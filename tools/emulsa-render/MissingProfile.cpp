#include "MissingProfile.h"

#include "Interruption.h"
#include "RenderOptions.h"

#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "model/ProfileMaker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

namespace Emulsa::RenderTool {

bool makeMissingProfile(const ProfileInfo* profile, bool quiet, QString* error)
{
    if (!profile || FilmLibrary::instance()->isProfileInstalled(profile) || !ProfileMaker::canMake(profile))
        return true;
    const QByteArray id(profile->id);
    if (!quiet)
        std::fprintf(stderr, "emulsa-render: making the camera profile %s (%s), not installed yet\n", id.constData(),
            profile->name);
    // Ctrl+C stops the make; the half-made tables are thrown away.
    Interruption::catchSignals();
    int shown = -1;
    const auto progress = [&](int percent) {
        if (quiet || percent == shown)
            return;
        shown = percent;
        std::fprintf(stderr, "\r  making %s: %3d %%", id.constData(), percent);
        std::fflush(stderr);
    };
    QElapsedTimer timer;
    timer.start();
    const bool made = ProfileMaker::make(*profile, error, Interruption::stopMaking(), progress);
    if (!quiet && shown >= 0)
        std::fprintf(stderr, "\n");
    if (made && !quiet) {
        const QString folder = FilmLibrary::userProfileFolder(QString::fromUtf8(profile->tin));
        qint64 bytes = 0;
        for (const QFileInfo& table : QDir(folder).entryInfoList(QDir::Files))
            bytes += table.size();
        std::fprintf(stderr, "  made %s in %.1f s: %.1f MB in %s\n", id.constData(), timer.elapsed() / 1000.0,
            bytes / 1e6, qPrintable(QDir::toNativeSeparators(folder)));
    }
    if (!made && error->isEmpty())
        *error = QStringLiteral("making the camera profile %1 was interrupted").arg(QString::fromLatin1(id));
    return made;
}

bool makeMissingProfile(const RenderOptions& options, QString* error)
{
    const QByteArray id = options.profileText.trimmed().toLatin1();
    CameraListHelper* catalogue = CameraListHelper::instance();
    if (id.size() != 4 || !catalogue->load())
        return true;
    return makeMissingProfile(catalogue->getProfile(ProfileInfo::packId(id.constData())), options.quiet, error);
}

} // namespace Emulsa::RenderTool
