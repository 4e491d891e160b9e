#pragma once

#include <QString>

namespace Emulsa {

class Model;

// Handlers of the sequence and project commands: adding, removing, restoring,
// selecting and registering items, the render list, the default profile,
// clearing and loading a project, saving, and the play position relay.
void registerSequenceCommands(Model& model);

// The supported-file test: the upper-cased file name ends with one of the
// known movie extensions.
bool isSupportedMediaFile(const QString& path);

} // namespace Emulsa
