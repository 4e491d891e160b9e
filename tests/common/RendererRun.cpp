#include "common/RendererRun.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace Emulsa::Test {

QProcessEnvironment rendererEnvironment(bool withDisplay)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("PROGRAMDATA"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (!withDisplay) {
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    }
    return environment;
}

RendererRun runRenderer(const QString& program, const QStringList& arguments, bool withDisplay)
{
    return runRenderer(program, arguments, rendererEnvironment(withDisplay));
}

RendererRun runRenderer(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    RendererRun result;
    if (!process.waitForStarted(10000) || !process.waitForFinished(600000))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.output = QString::fromLocal8Bit(process.readAll());
    return result;
}

} // namespace Emulsa::Test
