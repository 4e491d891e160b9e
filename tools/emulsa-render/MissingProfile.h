#pragma once

#include <QString>

namespace Emulsa {
struct ProfileInfo;
}

namespace Emulsa::RenderTool {

struct RenderOptions;

// A catalogue profile whose tables are installed nowhere is made on this
// machine first, into the per-user profiles folder. True when the profile is
// installed now, was installed already, or is null or unknown to the
// generator (resolveGrade and the renderer say so).
bool makeMissingProfile(const ProfileInfo* profile, bool quiet, QString* error);

// The same for the profile named by --profile (or the preset).
bool makeMissingProfile(const RenderOptions& options, QString* error);

} // namespace Emulsa::RenderTool
