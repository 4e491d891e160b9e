#include "app/RenderCrashLog.h"

#include "app/MessageLog.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

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

QMutex installMutex;
bool installed = false;
bool installResult = false;

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
    QMutexLocker locker(&installMutex);
    return installed && installResult;
}

bool RenderCrashLog::install(const QString& logPath)
{
    QMutexLocker locker(&installMutex);
    if (installed)
        return installResult;
    installed = true;

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
    // inside it ends the process instead of looping.
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    bool ok = true;
    for (const CrashSignal& entry : crashSignals) {
        if (::sigaction(entry.number, &action, nullptr) != 0) {
            qWarning().noquote() << "RenderCrashLog: cannot handle" << entry.name << ":" << std::strerror(errno);
            ok = false;
        }
    }
    installResult = ok;
    return ok;
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
