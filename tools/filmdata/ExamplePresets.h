#pragma once

#include "core/ClipSettings.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <vector>

namespace Emulsa {

class ExposureConversion;

namespace FilmData {

// The example preset group "examples.empreset" and its thumbnails: seven
// looks graded through the CPU reference grade from the sample picture, and
// the placeholder thumbnail under the null id.
class ExamplePresets
{
public:
    struct Example
    {
        const char* uuid; // braces-free, upper case
        const char* name;
        ClipSettings settings;
    };

    static constexpr const char* kGroupFile = "examples.empreset";
    static constexpr const char* kGroupName = "Examples";
    static constexpr const char* kNullUuid = "00000000-0000-0000-0000-000000000000";
    static constexpr int kThumbnailWidth = 256;
    static constexpr int kThumbnailHeight = 144;

    static std::vector<Example> examples();

    // The preset file (no thumbnails inside).
    static QByteArray groupFile();
    // "thumbnails/A/B/C/<UUID>.emthumb", relative to the presets folder.
    static QString thumbnailPath(const QString& uuid);
    // The sample picture (standard profile) graded with the settings.
    static QImage thumbnail(const ClipSettings& settings, const ExposureConversion* conversion);

    // Writes the group file and all eight thumbnails under `presetsFolder`;
    // the exposure conversion files are read from `resourcesFolder`.
    static bool write(const QString& presetsFolder, const QString& resourcesFolder);
};

} // namespace FilmData
} // namespace Emulsa
