#pragma once

#include "RenderOptions.h"

#include <QStringList>

namespace Emulsa::RenderTool {

// The grade of the preset the options name: --preset (the user's presets, by
// "GROUP/NAME" or by a name that only one group holds) or --preset-file with
// --preset-name. False with a message listing the choices otherwise. A
// preset whose grade could not be read whole from its file is refused too,
// with *incomplete set, unless the options accept the defaults in place of
// what was lost (a warning is printed then).
bool loadPresetLook(const RenderOptions& options, ClipSettings* grade, QString* error, bool* incomplete);

// When the options name a preset, parses the arguments again over the
// preset's look, so that grade options given with it adjust the look. The
// camera profile stays the clips' own (--profile, default OT01), as when the
// application applies a preset to a clip. True when no preset is named.
// *incomplete as for loadPresetLook.
bool applyPresetLook(const QStringList& arguments, RenderOptions* options, QString* error, bool* incomplete);

} // namespace Emulsa::RenderTool
