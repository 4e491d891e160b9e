#include "app/MessageLog.h"
#include "app/StartupChecks.h"
#include "resources/Resources.h"
#include "ui/shell/ApplicationAssembly.h"
#include "ui/shell/ErrorDialog.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);

    QApplication::setOrganizationDomain(QStringLiteral("QLM"));
    QApplication::setApplicationName(QStringLiteral("Emulsa"));
    QApplication::setApplicationVersion(QStringLiteral("1.02.30"));

    Emulsa::MessageLog* log = Emulsa::MessageLog::instance();
    // Lives as long as the application object: messages logged while the
    // application winds down still reach the log file, only no longer a dialog.
    Emulsa::ErrorDialog errorDialog(log);
    Emulsa::initResources();

    const QString failure = Emulsa::runStartupChecks();
    if (!failure.isEmpty())
        return Emulsa::startupFailureExit(failure);

    // FFmpeg needs no registration since 4.0; the media framework is FFmpeg
    // on this platform, so there is nothing to start or stop around the loop.
    int code = 0;
    {
        Emulsa::ApplicationAssembly assembly;
        assembly.start();
        code = app.exec();
        assembly.teardown();
    }
    return code;
}
