#include "app/StartupChecks.h"

#include "app/MessageLog.h"
#include "app/ResourcesHelper.h"

#include <QDebug>
#include <QEventLoop>

#include <cstdio>

namespace Emulsa {

const char* const kRequirementsMessage = "Your computer does not meet the minimum requirements.";
const char* const kInstallationMessage = "Installation Corrupted...\nPlease reinstall Emulsa.";

QString runStartupChecks()
{
    if (!ResourcesHelper::checkHostCapabilities())
        return QString::fromLatin1(kRequirementsMessage);
    if (!ResourcesHelper::checkExamplePresets(true) && !ResourcesHelper::installExamplePresets())
        return QString::fromLatin1(kInstallationMessage);
    if (!ResourcesHelper::checkPlaceholders())
        return QString::fromLatin1(kInstallationMessage);
    return QString();
}

int startupFailureExit(const QString& message)
{
    MessageLog* log = MessageLog::instance();
    if (!MessageLog::canShowDialogs() || !log->hasViewer()) {
        qCritical().noquote() << message;
        std::fprintf(stderr, "%s\n", qPrintable(message));
        return -1;
    }
    QEventLoop loop;
    QObject::connect(log, &MessageLog::allAcknowledged, &loop, &QEventLoop::quit);
    qCritical().noquote() << message;
    if (log->isShowing())
        loop.exec();
    return -1;
}

} // namespace Emulsa
