#include "app/RenderCrashLog.h"

#include "app/MessageLog.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace Emulsa {

namespace {

struct CrashSignal
{
    int number;
    const char* name;
};

constexpr CrashSignal crashSignals[] = {
    { SIGSEGV, "SIGSEGV" },
    { SIGBUS, "SIGBUS" },
    { SIGFPE, "SIGFPE" },
    { SIGILL, "SIGILL" },
    { SIGABRT, "SIGABRT" },
};
constexpr int crashSignalCount = int(sizeof(crashSignals) / sizeof(crashSignals[0]));

// Prepared before any handler is installed; the handler only reads them.
constexpr int lineCapacity = 96;
char preparedLines[crashSignalCount][lineCapacity];
size_t preparedLengths[crashSignalCount];
volatile int logDescriptor = -1;

// The handlers found when the first scope installed ours, put back by the
// last one. Guarded by scopeMutex, as is the count of open scopes.
struct sigaction previousActions[crashSignalCount];
QMutex scopeMutex;
int openScopes = 0;

// Room for the handler and the calls it makes, with the runtime's minimum
// when that is larger.
size_t alternateStackBytes()
{
    return std::max<size_t>(SIGSTKSZ, 64 * 1024);
}

} // namespace

QString RenderCrashLog::defaultLogPath()
{
    return MessageLog::logsFolderPath() + QStringLiteral("/render-crash.log");
}

QString RenderCrashLog::lineFor(int signal)
{
    for (const CrashSignal& entry : crashSignals) {
        if (entry.number == signal)
            return QStringLiteral("Render Manager Handler: Caught signal: ") + QLatin1String(entry.name);
    }
    return QString();
}

bool RenderCrashLog::isInstalled()
{
    QMutexLocker locker(&scopeMutex);
    return openScopes > 0;
}

RenderCrashLog::Scope::Scope(const QString& logPath)
{
    {
        QMutexLocker locker(&scopeMutex);
        if (openScopes == 0 && !install(logPath))
            return;
        ++openScopes;
        m_active = true;
    }
    // A thread whose stack has overflowed cannot run a handler on it.
    const size_t bytes = alternateStackBytes();
    m_stack = std::make_unique<char[]>(bytes);
    stack_t stack {};
    stack.ss_sp = m_stack.get();
    stack.ss_size = bytes;
    stack.ss_flags = 0;
    if (::sigaltstack(&stack, &m_previousStack) == 0) {
        m_stackSet = true;
    } else {
        qWarning().noquote() << "RenderCrashLog: no alternate signal stack:" << std::strerror(errno);
        m_stack.reset();
    }
}

RenderCrashLog::Scope::~Scope()
{
    if (m_active) {
        QMutexLocker locker(&scopeMutex);
        if (--openScopes == 0)
            uninstall();
    }
    if (m_stackSet) {
        if (::sigaltstack(&m_previousStack, nullptr) != 0) {
            // Still in use by the system: keep the memory for the thread.
            qWarning().noquote() << "RenderCrashLog: cannot restore the signal stack:" << std::strerror(errno);
            (void)m_stack.release();
        }
    }
}

bool RenderCrashLog::install(const QString& logPath)
{
    for (int i = 0; i < crashSignalCount; ++i) {
        const QByteArray line = lineFor(crashSignals[i].number).toLatin1() + '\n';
        const size_t length = qMin(size_t(line.size()), size_t(lineCapacity));
        std::memcpy(preparedLines[i], line.constData(), length);
        preparedLengths[i] = length;
    }

    QDir().mkpath(QFileInfo(logPath).absolutePath());
    const int fd = ::open(QFile::encodeName(logPath).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        qWarning().noquote() << "RenderCrashLog: cannot open" << logPath << ":" << std::strerror(errno);
        return false;
    }
    logDescriptor = fd;

    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_handler = &RenderCrashLog::handle;
    sigemptyset(&action.sa_mask);
    // The default action comes back as the handler starts, so a second fault
    // inside it ends the process instead of looping; the handler runs on the
    // thread's alternate stack where it has one.
    action.sa_flags = SA_RESETHAND | SA_NODEFER | SA_ONSTACK;
    for (int i = 0; i < crashSignalCount; ++i) {
        if (::sigaction(crashSignals[i].number, &action, &previousActions[i]) != 0) {
            qWarning().noquote() << "RenderCrashLog: cannot handle" << crashSignals[i].name << ":"
                                 << std::strerror(errno);
            for (int j = 0; j < i; ++j)
                ::sigaction(crashSignals[j].number, &previousActions[j], nullptr);
            logDescriptor = -1;
            ::close(fd);
            return false;
        }
    }
    return true;
}

void RenderCrashLog::uninstall()
{
    for (int i = 0; i < crashSignalCount; ++i)
        ::sigaction(crashSignals[i].number, &previousActions[i], nullptr);
    const int fd = logDescriptor;
    logDescriptor = -1;
    if (fd >= 0)
        ::close(fd);
}

// Async-signal-safe calls only: write, signal, raise.
void RenderCrashLog::handle(int signal)
{
    const int savedErrno = errno;
    const int fd = logDescriptor;
    for (int i = 0; i < crashSignalCount; ++i) {
        if (crashSignals[i].number != signal || fd < 0)
            continue;
        const char* data = preparedLines[i];
        size_t left = preparedLengths[i];
        while (left > 0) {
            const ssize_t written = ::write(fd, data, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                break;
            data += written;
            left -= size_t(written);
        }
    }
    errno = savedErrno;
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace Emulsa
