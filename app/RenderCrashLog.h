#pragma once

#include <QString>

#include <csignal>
#include <memory>

namespace Emulsa {

// The crash log of the render worker. While a RenderCrashLog::Scope lives (the
// render manager keeps one for the time of a render) a handler is installed
// for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT. The handler only writes a
// line made beforehand to the open log descriptor, puts the default action
// back and raises the signal again, so that the process still ends as it
// would have (core dump and exit status included). It runs on an alternate
// signal stack of the thread that opened the scope, so a stack overflow of the
// render thread is logged too. When the last scope ends, the handlers that
// were there before are put back and the log is closed: a later crash is not
// taken for a render crash. SIGINT and SIGTERM are left alone: they stop the
// application the normal way.
class RenderCrashLog
{
public:
    // The log file: "render-crash.log" in the error logger's log folder.
    static QString defaultLogPath();

    // The handler's lifetime. Scopes may nest and live on several threads:
    // the first one opens `logPath` for appending and installs the handler
    // (later ones share it, whatever their path), each gives its own thread
    // an alternate signal stack, and the last one to end restores the
    // previous handlers. Made and destroyed on the same thread.
    class Scope
    {
    public:
        explicit Scope(const QString& logPath = defaultLogPath());
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

        // False when the log could not be opened or a handler could not be
        // installed (nothing is installed then).
        bool isActive() const { return m_active; }

    private:
        bool m_active = false;
        bool m_stackSet = false;
        stack_t m_previousStack {};
        std::unique_ptr<char[]> m_stack;
    };

    // Whether the handler is installed now.
    static bool isInstalled();

    // The line written for a signal ("Render Manager Handler: Caught signal:
    // SIGSEGV"), or empty for a signal that is not handled.
    static QString lineFor(int signal);

private:
    static bool install(const QString& logPath);
    static void uninstall();
    static void handle(int signal);
};

} // namespace Emulsa
