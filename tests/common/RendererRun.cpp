#include "common/RendererRun.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

namespace Emulsa::Test {

bool findBuiltRenderer(QString* program)
{
    *program = qEnvironmentVariable("EMULSA_TEST_BINARY_DIR") + QStringLiteral("/bin/emulsa-render");
    return QFileInfo(*program).isExecutable();
}

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

int rendererExitCode(const QString& program, const QStringList& arguments, QString* output)
{
    const RendererRun run = runRenderer(program, arguments);
    *output = run.output;
    return run.exitCode;
}

} // namespace Emulsa::Test
