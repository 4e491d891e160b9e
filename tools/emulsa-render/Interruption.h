#pragma once

#include <atomic>

namespace Emulsa::RenderTool::Interruption {

// Ctrl+C and termination requests: the first stops the work in progress (the
// clip being rendered, a profile being made), a second one ends the program
// at once.
void catchSignals();

// True until a signal arrived; the renderer reads it through the pointer.
volatile bool* running();
// Set by the same signals; stops a profile being made.
std::atomic<bool>* stopMaking();

} // namespace Emulsa::RenderTool::Interruption
