#pragma once

#include <QList>
#include <QString>

namespace Emulsa {

// A place camera profiles are downloaded from: a named base address (one
// per region), the archive of a table name being "<base><tin>.zip".
struct ProfileMirror
{
    QString name;
    QString baseUrl; // ends with "/"
    bool operator==(const ProfileMirror& other) const { return name == other.name && baseUrl == other.baseUrl; }
};

// The download mirrors: the array "DownloadMirrors" (entries "Name" and
// "Url") of the group "ProfileDownloads" of the per-user settings store,
// which also remembers the mirror last chosen ("ProfileDownloads/LastMirror").
// The environment variable EMULSA_PROFILE_DOWNLOAD_URL replaces the list by
// one mirror. With neither, downloads are not configured.
namespace ProfileMirrors {

// The mirrors configured, in order; a mirror without a name takes its host's.
QList<ProfileMirror> configured();
// The index of the mirror last chosen (0 at first).
int remembered();
void remember(int index);
// What to tell the user when no mirror is configured.
QString notConfiguredMessage();
// A base address with its closing "/" (empty stays empty).
QString withSlash(QString base);

} // namespace ProfileMirrors

} // namespace Emulsa
