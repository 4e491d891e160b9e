#include "common/FatalChild.h"

#include "common/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

namespace Emulsa::Test {

FatalChildRun runFatalChild(const QString& folderName)
{
    FatalChildRun run;
    const QString childData = makeTempFolder(folderName);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("EMULSA_FATAL_CHILD"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), childData);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    run.finished = child.waitForFinished(30000);
    run.normalExit = child.exitStatus() == QProcess::NormalExit;
    run.exitCode = child.exitCode();
    run.standardOutput = child.readAllStandardOutput();
    run.standardError = child.readAllStandardError();
    const QString logsFolder = childData + QStringLiteral("/Emulsa/logs/");
    const QStringList logs = QDir(logsFolder).entryList({ QStringLiteral("*.log") });
    run.logFiles = logs.size();
    if (!logs.isEmpty()) {
        QFile log(logsFolder + logs.first());
        if (log.open(QIODevice::ReadOnly))
            run.firstLog = log.readAll();
    }
    return run;
}

} // namespace Emulsa::Test
