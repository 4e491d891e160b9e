#include "FfmpegTool.h"

#include <QElapsedTimer>
#include <QProcess>

namespace Emulsa::Test {

FfmpegTool::Result FfmpegTool::run(const QString& program, const QStringList& arguments, int timeoutMs)
{
    Result result;
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    const bool finished = process.waitForStarted(10000) && process.waitForFinished(timeoutMs);
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    result.output = process.readAllStandardOutput();
    result.errors = QString::fromUtf8(process.readAllStandardError());
    result.ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!finished)
        process.kill();
    return result;
}

FfmpegTool::Result FfmpegTool::ffmpeg(const QStringList& arguments, int timeoutMs)
{
    return run(QStringLiteral("ffmpeg"),
        QStringList { QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y") }
            + arguments,
        timeoutMs);
}

FfmpegTool::Result FfmpegTool::ffprobe(const QStringList& arguments, int timeoutMs)
{
    return run(QStringLiteral("ffprobe"), QStringList { QStringLiteral("-v"), QStringLiteral("error") } + arguments,
        timeoutMs);
}

} // namespace Emulsa::Test
