#pragma once

#include <QString>

namespace Emulsa {
namespace FilmData {

// Packs a profile's ".tin" tables as the archive the profile downloader
// fetches: every table inside one top-level folder named after the profile's
// table name. Entries are sorted by name and carry a fixed date, so the
// archive is the same on every run. Needs QuaZip; without it, fails.
class ProfileArchive
{
public:
    static bool isAvailable();
    static bool pack(const QString& folder, const QString& topFolder, const QString& zipPath);
};

} // namespace FilmData
} // namespace Emulsa
