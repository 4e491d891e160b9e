#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

class QTemporaryDir;

namespace Emulsa {

struct ProfileInfo;

// Installing a camera profile's stock tables into the per-user profiles
// folder (ApplicationPaths::userProfilesPath).
//
// From a ZIP archive: only plain relative entry names ending in ".tin" are
// unpacked (no "..", no absolute names, no links, no backslashes), each at
// most MaxEntryBytes and all together at most MaxTotalBytes, every entry's
// CRC checked. The tables are unpacked into a staging folder beside the
// target, each must hold a whole stock table, and the staging folder then
// replaces the profile's folder in one rename: a failed install leaves no
// folder behind and a leftover partial folder is replaced by the next
// install. Tables made here (ProfileMaker) take the same staging folder and
// rename.
namespace ProfileInstall {

constexpr qint64 MaxEntryBytes = 8ll * 1024 * 1024;
constexpr qint64 MaxTotalBytes = 256ll * 1024 * 1024;

// Unpacks the archive at `zipPath` as the tables of `profile`; false with
// *error (a message for the user) when nothing was installed.
bool fromArchive(const QString& zipPath, const ProfileInfo& profile, QString* error);
// A new, empty staging folder beside the folder of table name `tin`; null
// with *error when it cannot be made.
std::unique_ptr<QTemporaryDir> createStagingFolder(const QString& tin, QString* error);
// Puts the staging folder in the place of the folder of `tin`, replacing a
// previous one whole; false with *error, the previous folder kept.
bool moveIntoPlace(QTemporaryDir& staging, const QString& tin, QString* error);

} // namespace ProfileInstall

} // namespace Emulsa
