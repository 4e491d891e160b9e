#pragma once

namespace Emulsa {

class Model;

// Handlers of the grade family: every setter of the current item's grade and
// points, the about-to-change commands that make a drag one undo entry, the
// profile for all items, the reset, and applying a preset. Also the family's
// entry point, which unlinks the current item from its preset on its first
// own edit (the undo entry of that edit restores the exact earlier grade and
// preset link).
void registerGradeCommands(Model& model);

} // namespace Emulsa
