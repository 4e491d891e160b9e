#include "app/ErrorLogger.h"
#include "app/StartupChecks.h"
#include "core/ClipSettings.h"
#include "media/AssetMetadata.h"
#include "media/SequenceItem.h"
#include "resources/Resources.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QThread>

#include <memory>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    auto modelThread = std::make_unique<QThread>();

    QApplication::setOrganizationDomain(QStringLiteral("QLM"));
    QApplication::setApplicationName(QStringLiteral("Emulsa"));
    QApplication::setApplicationVersion(QStringLiteral("1.02.30"));

    Emulsa::ErrorLogger::instance();
    Emulsa::initResources();

    const QString failure = Emulsa::runStartupChecks();
    if (!failure.isEmpty())
        return Emulsa::startupFailureExit(failure);

    // Types that travel by value or pointer in queued signals.
    Emulsa::registerClipSettingsMetaTypes();
    Emulsa::AssetMetadata::registerMetaType();
    Emulsa::SequenceItem::registerMetaType();

    Emulsa::MainWindow window;
    window.show();
    return app.exec();
}
