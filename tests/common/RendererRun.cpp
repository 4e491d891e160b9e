#include "common/RendererRun.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace Emulsa::Test {

RendererRun runRenderer(const QString& program, const QStringList& arguments, bool withDisplay)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("PROGRAMDATA"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (!withDisplay)
        environment.remove(QStringLiteral("DISPLAY"));
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
