#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace Emulsa {

// The render tab's progress line: a bar of the frames done of the whole
// render with "N of M" beside it, then the speed, the elapsed and the
// remaining time. While a render runs the speed is frames a second and the
// times whole minutes; when it ends the line keeps the render's average
// speed and its duration to the second until the next one starts.
class RenderProgress : public QWidget
{
    Q_OBJECT

public:
    explicit RenderProgress(QWidget* parent = nullptr);

    QProgressBar* bar() const { return m_bar; }
    QLabel* countLabel() const { return m_count; }
    QLabel* speedLabel() const { return m_speed; }
    QLabel* elapsedLabel() const { return m_elapsed; }
    QLabel* remainingLabel() const { return m_remaining; }

    int done() const;
    int total() const;

    // A render starts: no speed or remaining time yet.
    void start();
    void setRange(int min, int max);
    void setDone(int value);
    // A second's figures from a render that runs.
    void showSpeed(int framesPerSecond, qint64 elapsedMs);
    // The whole render's average speed and duration, which it returns as
    // totalTimeText().
    QString showSummary(qint64 elapsedMs);

    // "N min" / "N mins" under an hour, else "N hour" / "N hours".
    static QString durationText(qint64 ms);
    // The remaining time of a render from the time taken so far.
    static QString remainingText(qint64 elapsedMs, int done, int total, int framesPerSecond);
    // What the speed, elapsed and remaining labels show when there is no
    // figure: before the first render and before a render's first second.
    static QString noValueText();
    // A whole render's speed, "average N fps" (one decimal under 10 fps);
    // no figure when nothing was rendered.
    static QString averageSpeedText(int frames, qint64 elapsedMs);
    // A whole render's duration to the second: "N s", "M min S s",
    // "H h M min".
    static QString totalTimeText(qint64 ms);

private:
    QProgressBar* m_bar;
    QLabel* m_count;
    QLabel* m_speed;
    QLabel* m_elapsed;
    QLabel* m_remaining;
};

} // namespace Emulsa
