#pragma once

namespace Emulsa {

class Model;

// Handlers of the preset and group commands: save the current grade as a
// preset, list groups and presets, remove, restore, rename, move and copy
// presets, give a preset the current clip's grade, create, remove, restore
// and rename groups, export and import a group. Every command that changes the store writes it to disk before it
// returns.
void registerPresetCommands(Model& model);

} // namespace Emulsa
