#pragma once

#include <QString>

#include <functional>

namespace Emulsa {

// Shows a file selected in the desktop's file manager (the FileManager1
// D-Bus service's ShowItems), or a folder's content; without that service,
// opens the folder holding the file. Returns false when nothing could be
// started. Every "show in folder" of the application goes through here.
bool showInFileManager(const QString& path);

// Replaces what showInFileManager() does (tests record the paths instead of
// starting a file manager); an empty function restores the desktop one.
void setFileManagerHandler(std::function<bool(const QString& path)> handler);

} // namespace Emulsa
