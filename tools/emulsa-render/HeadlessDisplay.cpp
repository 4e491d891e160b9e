#include "HeadlessDisplay.h"

#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Emulsa::RenderTool {

HeadlessDisplay::~HeadlessDisplay()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

bool HeadlessDisplay::start(QString* error)
{
    const QByteArray current = qgetenv("DISPLAY");
    if (!current.isEmpty()) {
        m_display = QString::fromLocal8Bit(current);
        return true;
    }
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        *error = QStringLiteral("no display, and no pipe to start a virtual one: %1").arg(strerror(errno));
        return false;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        *error = QStringLiteral("no display, and Xvfb could not be started: %1").arg(strerror(errno));
        return false;
    }
    if (pid == 0) {
        // Its own session, so that a Ctrl+C meant for the renderer does not
        // take the display away mid-render; and it ends with its parent.
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::close(pipeFds[0]);
        const int devNull = ::open("/dev/null", O_RDWR);
        if (devNull >= 0) {
            ::dup2(devNull, STDIN_FILENO);
            ::dup2(devNull, STDOUT_FILENO);
            ::dup2(devNull, STDERR_FILENO);
        }
        const QByteArray fd = QByteArray::number(pipeFds[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.constData(), "-screen", "0", "1280x720x24", "-nolisten", "tcp",
            "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    m_pid = pid;
    // Xvfb writes the display number it chose once it accepts connections.
    QByteArray number;
    pollfd reader { pipeFds[0], POLLIN, 0 };
    while (!number.endsWith('\n')) {
        if (::poll(&reader, 1, 15000) <= 0)
            break;
        char c = 0;
        if (::read(pipeFds[0], &c, 1) != 1)
            break;
        number.append(c);
    }
    ::close(pipeFds[0]);
    number = number.trimmed();
    if (number.isEmpty()) {
        *error = QStringLiteral("no display (DISPLAY is not set) and the virtual display Xvfb did not start; "
                                "install the xvfb package or run under a display");
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        return false;
    }
    m_display = QStringLiteral(":") + QString::fromLatin1(number);
    qputenv("DISPLAY", m_display.toLocal8Bit());
    return true;
}

} // namespace Emulsa::RenderTool
