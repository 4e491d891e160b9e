#pragma once

#include "RenderOptions.h"

#include <QStringList>

namespace Emulsa::RenderTool {

// The grade of the preset the options name: --preset (the user's presets, by
// "GROUP/NAME" or by a name that only one group holds) or --preset-file with
// --preset-name. False with a message listing the choices otherwise.
bool loadPresetLook(const RenderOptions& options, ClipSettings* grade, QString* error);

// When the options name a preset, parses the arguments again over the
// preset's look, so that grade options given with it adjust the look. The
// camera profile stays the clips' own (--profile, default OT01), as when the
// application applies a preset to a clip. True when no preset is named.
bool applyPresetLook(const QStringList& arguments, RenderOptions* options, QString* error);

} // namespace Emulsa::RenderTool
