#pragma once

#include <QString>

namespace Emulsa {

// The crash log of the render worker. install() opens the log file once and
// registers a handler for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT. The
// handler only writes a line made beforehand to the open descriptor, puts the
// default action back and raises the signal again, so that the process still
// ends as it would have (core dump and exit status included). SIGINT and
// SIGTERM are left alone: they stop the application the normal way.
class RenderCrashLog
{
public:
    // The log file: "render-crash.log" in the error logger's log folder.
    static QString defaultLogPath();

    // Opens `logPath` for appending and installs the handler, the first time
    // only; later calls return the first call's result. False when the file
    // could not be opened or a handler could not be installed.
    static bool install(const QString& logPath = defaultLogPath());
    static bool isInstalled();

    // The line written for a signal ("Render Manager Handler: Caught signal:
    // SIGSEGV"), or empty for a signal that is not handled.
    static QString lineFor(int signal);

private:
    static void handle(int signal);
};

} // namespace Emulsa
