#pragma once

namespace Emulsa {

class Model;

// Handlers of the history commands: Undo, Redo, the group markers and the
// grade snapshot that resets and presets leave on the stacks.
void registerControlCommands(Model& model);

} // namespace Emulsa
