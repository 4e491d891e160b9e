#pragma once

#include <QByteArray>
#include <QString>

namespace Emulsa::Test {

// What a run of the test program as its own fatal child ended with: the
// program started again with EMULSA_FATAL_CHILD set (its main() then logs a
// fatal message) and its user data in a fresh folder.
struct FatalChildRun
{
    bool finished = false;
    bool normalExit = false;
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
    // The log files the child wrote, and the first one's contents.
    int logFiles = 0;
    QByteArray firstLog;
};

// Runs the child (at most 30 s), its data folder named after `folderName`.
FatalChildRun runFatalChild(const QString& folderName);

} // namespace Emulsa::Test
