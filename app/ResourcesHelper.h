#pragma once

#include <QString>

namespace Emulsa {

// The checks made before any window is shown: can this host run the grade,
// and is the installation complete.
class ResourcesHelper
{
public:
    // An OpenGL 4.0 core-profile context can be created, made current, and
    // offers the 4.0 core function set.
    static bool checkHostCapabilities();
    // True checks the user presets folder, false the installation's copy.
    static bool checkExamplePresets(bool userFolder);
    static bool installExamplePresets();
    // Copies a folder tree; files already at the destination are kept.
    static void copyRecursively(const QString& sourceFolder, const QString& destinationFolder);
    static bool checkPlaceholders();

    // The example set: the group file and its eight thumbnails, in check order.
    static const char* const kExampleGroupFile;
    static const char* const kExampleThumbnails[8];
};

} // namespace Emulsa
