#pragma once

#include <QString>

namespace Emulsa {

// Shows a folder, or the folder holding a file, in the desktop's file
// manager. Returns false when no file manager could be started.
bool showInFileManager(const QString& path);

} // namespace Emulsa
