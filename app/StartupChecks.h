#pragma once

#include <QString>

namespace Emulsa {

// The start-up checks in their order. Returns an empty string when all pass,
// otherwise the message the user must see.
QString runStartupChecks();

// Shows a start-up failure through the message log's viewer and waits for
// the user's OK. Where no one can press OK (no viewer, offscreen or minimal
// platform) the message also goes to standard error and the call returns at
// once. Always returns -1, the process's exit code.
int startupFailureExit(const QString& message);

extern const char* const kRequirementsMessage;
extern const char* const kInstallationMessage;

} // namespace Emulsa
