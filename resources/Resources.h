#pragma once

namespace Emulsa {

// Registers the shader and image resources compiled into the static
// resources library. Safe to call more than once.
void initResources();

} // namespace Emulsa
