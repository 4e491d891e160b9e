#include "ProgressLine.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace Emulsa::RenderTool {

ProgressLine::ProgressLine(const QString& name, int totalFrames, bool quiet)
    : m_name(name)
    , m_total(std::max(totalFrames, 1))
    , m_quiet(quiet)
    , m_terminal(::isatty(STDERR_FILENO))
{
    m_clock.start();
}

double ProgressLine::framesPerSecond() const
{
    const double seconds = elapsedSeconds();
    return seconds > 0 ? m_done / seconds : 0.0;
}

QString ProgressLine::formatDuration(double seconds)
{
    if (seconds < 0 || seconds > 359999)
        return QStringLiteral("--:--");
    const int total = int(seconds + 0.5);
    const int hours = total / 3600;
    const int minutes = total / 60 % 60;
    const int secs = total % 60;
    if (hours > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(minutes, 2, 10, QLatin1Char('0'))
            .arg(secs, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(minutes).arg(secs, 2, 10, QLatin1Char('0'));
}

QString ProgressLine::bar(int done, int total, int width)
{
    const int filled = total > 0 ? int(qint64(std::clamp(done, 0, total)) * width / total) : 0;
    return QString(filled, QLatin1Char('#')) + QString(width - filled, QLatin1Char('-'));
}

void ProgressLine::update(int value)
{
    if (value > 0)
        m_done = std::min(value, m_total);
    if (m_quiet)
        return;
    if (value == -41) {
        draw(true);
        return;
    }
    if (value < 0)
        return;
    if (m_terminal) {
        if (m_clock.elapsed() - m_lastDraw >= 100 || m_done == m_total)
            draw(false);
    } else {
        const int tenth = m_done * 10 / m_total;
        if (tenth != m_lastTenth) {
            m_lastTenth = tenth;
            draw(false);
        }
    }
}

void ProgressLine::draw(bool finalising)
{
    m_lastDraw = m_clock.elapsed();
    const double fps = framesPerSecond();
    const double left = fps > 0 ? (m_total - m_done) / fps : -1.0;
    const QString text
        = QStringLiteral("  %1 [%2] %3/%4 frames  %5 fps  %6")
              .arg(m_name, bar(m_done, m_total, 24), QString::number(m_done), QString::number(m_total),
                  QString::number(fps, 'f', 1),
                  finalising ? QStringLiteral("finalising...") : formatDuration(left) + QStringLiteral(" left"));
    if (m_terminal)
        std::fprintf(stderr, "\r%s\033[K", qPrintable(text));
    else
        std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
}

void ProgressLine::finish()
{
    if (m_terminal && !m_quiet) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
    }
}

} // namespace Emulsa::RenderTool
