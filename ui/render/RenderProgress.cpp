#include "ui/render/RenderProgress.h"

#include "app/RenderQueue.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

namespace Emulsa {

RenderProgress::RenderProgress(QWidget* parent)
    : QWidget(parent)
    , m_bar(new QProgressBar(this))
    , m_count(new QLabel(this))
    , m_speed(new QLabel(noValueText(), this))
    , m_elapsed(new QLabel(noValueText(), this))
    , m_remaining(new QLabel(noValueText(), this))
{
    m_bar->setRange(0, 1);
    m_bar->setValue(0);
    // Room for the longest texts, so that the bar does not jump as they
    // change.
    const QFontMetrics metrics(font());
    m_count->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("999999 of 999999")));
    m_speed->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("average 999.9 fps")));
    m_elapsed->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("59 min 59 s")));
    m_remaining->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("24+ hours")));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_bar, 1);
    layout->addWidget(m_count);
    layout->addWidget(new QLabel(tr("Speed:"), this));
    layout->addWidget(m_speed);
    layout->addWidget(new QLabel(tr("Elapsed:"), this));
    layout->addWidget(m_elapsed);
    layout->addWidget(new QLabel(tr("Remaining:"), this));
    layout->addWidget(m_remaining);
}

int RenderProgress::done() const
{
    return m_bar->value() - m_bar->minimum();
}

int RenderProgress::total() const
{
    return m_bar->maximum() - m_bar->minimum();
}

void RenderProgress::start()
{
    m_speed->setText(noValueText());
    m_elapsed->setText(durationText(0));
    m_remaining->setText(noValueText());
}

void RenderProgress::setRange(int min, int max)
{
    m_bar->setRange(min, qMax(max, min + 1));
    m_bar->setValue(min);
    m_count->setText(QStringLiteral("0 of %1").arg(max));
}

void RenderProgress::setDone(int value)
{
    const int max = m_bar->maximum();
    m_bar->setValue(qMin(value, max));
    m_count->setText(QStringLiteral("%1 of %2").arg(qMin(value, max)).arg(max));
}

void RenderProgress::showSpeed(int framesPerSecond, qint64 elapsedMs)
{
    m_speed->setText(QStringLiteral("%1 fps").arg(framesPerSecond));
    m_elapsed->setText(durationText(elapsedMs));
    m_remaining->setText(remainingText(elapsedMs, done(), m_bar->maximum(), framesPerSecond));
}

QString RenderProgress::showSummary(qint64 elapsedMs)
{
    const QString time = totalTimeText(elapsedMs);
    m_speed->setText(averageSpeedText(done(), elapsedMs));
    m_elapsed->setText(time);
    m_remaining->setText(noValueText());
    return time;
}

QString RenderProgress::durationText(qint64 ms)
{
    ms = qMax<qint64>(0, ms);
    if (ms < 3600000) {
        const qint64 minutes = ms / 60000;
        return QStringLiteral("%1 %2").arg(minutes).arg(minutes < 2 ? QStringLiteral("min") : QStringLiteral("mins"));
    }
    const qint64 hours = ms / 3600000;
    return QStringLiteral("%1 %2").arg(hours).arg(hours < 2 ? QStringLiteral("hour") : QStringLiteral("hours"));
}

QString RenderProgress::remainingText(qint64 elapsedMs, int done, int total, int framesPerSecond)
{
    const int left = qMax(0, total - done);
    const double remaining = double(elapsedMs) / double(qMax(done, 1)) * double(left);
    if (remaining < 86400000.0)
        return durationText(qint64(remaining));
    if (framesPerSecond <= 0 || double(left) / framesPerSecond * 1000.0 >= 86400000.0)
        return QStringLiteral("24+ hours");
    return QStringLiteral("? min");
}

QString RenderProgress::noValueText()
{
    return QString(QChar(0x2013));
}

QString RenderProgress::averageSpeedText(int frames, qint64 elapsedMs)
{
    const double fps = RenderQueue::averageFramesPerSecond(frames, elapsedMs);
    if (fps <= 0.0)
        return noValueText();
    return QStringLiteral("average %1 fps").arg(fps, 0, 'f', fps < 9.95 ? 1 : 0);
}

QString RenderProgress::totalTimeText(qint64 ms)
{
    const qint64 seconds = qMax<qint64>(0, ms) / 1000;
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

} // namespace Emulsa
