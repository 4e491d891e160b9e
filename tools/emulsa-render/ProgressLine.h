#pragma once

#include <QElapsedTimer>
#include <QString>

namespace Emulsa::RenderTool {

// The progress of one clip on the terminal: a bar, frames done of the total,
// the frame rate and the time left. On a terminal the line is redrawn in
// place (at most ten times a second); otherwise a line is printed every tenth
// of the clip.
class ProgressLine
{
public:
    ProgressLine(const QString& name, int totalFrames, bool quiet);

    // A renderer progress value (0, counts, -41, -42, -1).
    void update(int value);
    // Clears the line (before other text is printed).
    void finish();

    double framesPerSecond() const;
    double elapsedSeconds() const { return m_clock.elapsed() / 1000.0; }
    int framesDone() const { return m_done; }

    // "1:05" or "1:02:03"; "--:--" for a negative or unknown time.
    static QString formatDuration(double seconds);
    // The bar of `width` cells for done of total.
    static QString bar(int done, int total, int width);

private:
    void draw(bool finalising);

    QString m_name;
    int m_total = 0;
    int m_done = 0;
    bool m_quiet = false;
    bool m_terminal = false;
    int m_lastTenth = -1;
    qint64 m_lastDraw = -1000;
    QElapsedTimer m_clock;
};

} // namespace Emulsa::RenderTool
