#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace Emulsa::Test {

// The ffmpeg and ffprobe command-line tools, run one way for every test and
// benchmark that makes clips or looks at what the program wrote: no console
// input, only errors on the error channel, existing outputs replaced.
class FfmpegTool
{
public:
    struct Result
    {
        bool ok = false; // started, exited normally with code 0
        QByteArray output; // standard output
        QString errors; // standard error
        double seconds = 0.0; // wall-clock time of the run
    };

    // ffmpeg -nostdin -v error -y <arguments>
    static Result ffmpeg(const QStringList& arguments, int timeoutMs = 600000);
    // ffprobe -v error <arguments>
    static Result ffprobe(const QStringList& arguments, int timeoutMs = 600000);

private:
    static Result run(const QString& program, const QStringList& arguments, int timeoutMs);
};

} // namespace Emulsa::Test
