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

// True when `entry` (a file name) has the form of a part name made for an
// output called `name`: ".<name, cut to 120 characters>.<random>.part".
bool isPartName(const QString& entry, const QString& name);

// Removes the part files a stopped writer left beside `path`: regular files
// with a part name of `path`'s own name; links, folders and any other name
// stay. Returns how many were removed.
int removeStale(const QString& path);

// Makes a new, empty folder beside `path` under a hidden part name no other
// entry has. Returns its path, or empty with *error set to the reason.
QString createFolder(const QString& path, QString* error);

// Puts the finished part folder in place as `path`. With `replace` an entry
// at `path` (a folder or a link) is exchanged with the part folder in one
// step, so that `path` names the earlier entry or the new folder at any
// moment; the earlier entry then has the part folder's name, for the caller
// to remove. Without `replace` an existing entry at `path` makes it fail.
// Returns false with *error set when it cannot.
bool commitFolder(const QString& part, const QString& path, bool replace, QString* error);

} // namespace Emulsa::PartFile
