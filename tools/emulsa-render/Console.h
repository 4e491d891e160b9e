#pragma once

#include <QStringList>

namespace Emulsa::RenderTool {

// What the tool says on the terminal: results on standard output, problems
// on standard error under the program's name.
void print(const QString& text);
void printError(const QString& text);

// Prints a failure and keeps it for the list printed at the end.
void reportFailure(const QString& text);
// The failures reported so far, in order.
const QStringList& failures();

} // namespace Emulsa::RenderTool
