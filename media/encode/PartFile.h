#pragma once

#include <QString>

namespace Emulsa::PartFile {

// Output is written under a temporary name beside its own and renamed into
// place when it is complete. The rename replaces whatever has the name, a
// symbolic link itself rather than the file it points to, so that output
// never reaches through a link, and an unfinished file never takes the place
// of an earlier one.

// Makes a new, empty file beside `path` under a hidden name no other entry
// has (never an existing file or link), with the permissions any new file
// gets. Returns its path, or empty with *error set to the reason.
QString create(const QString& path, QString* error);

// Renames the finished part file to `path`. Returns false with *error set
// when it cannot; the part file then stays for the caller to remove.
bool commit(const QString& part, const QString& path, QString* error);

// Removes the part file (not following a link); an empty path is ignored.
void discard(const QString& part);

} // namespace Emulsa::PartFile
