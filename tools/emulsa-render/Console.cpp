#include "Console.h"

#include <cstdio>

namespace Emulsa::RenderTool {

namespace {

QStringList g_failures;

} // namespace

void print(const QString& text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

void printError(const QString& text)
{
    std::fprintf(stderr, "emulsa-render: %s\n", qPrintable(text));
}

void reportFailure(const QString& text)
{
    printError(text);
    g_failures << text;
}

const QStringList& failures()
{
    return g_failures;
}

} // namespace Emulsa::RenderTool
