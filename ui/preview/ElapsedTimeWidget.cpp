#include "ui/preview/ElapsedTimeWidget.h"

#include <QPainter>

#include <cmath>

namespace Emulsa {

ElapsedTimeWidget::ElapsedTimeWidget(QWidget* parent)
    : QWidget(parent)
{
    setMinimumSize(126, 24);
}

QSize ElapsedTimeWidget::sizeHint() const
{
    return QSize(126, 24);
}

QString ElapsedTimeWidget::timecode(qint64 frame, double fps)
{
    if (!(fps > 0.0) || !std::isfinite(fps))
        return QString();
    frame = qMax<qint64>(0, frame);
    const qint64 ms = qint64(1000.0 / fps * double(frame));
    const qint64 hours = (ms / 3600000) % 24;
    const qint64 minutes = (ms / 60000) % 60;
    const qint64 seconds = (ms / 1000) % 60;
    // Frames per whole second; a rate below 1 has one frame (or none) per second.
    const qint64 perSecond = qint64(fps);
    const qint64 frames = perSecond >= 1 ? frame % perSecond : 0;
    const int frameDigits = fps >= 100.0 ? 3 : 2;
    const QChar zero(QLatin1Char('0'));
    return QStringLiteral("%1:%2:%3:%4")
        .arg(hours, 2, 10, zero)
        .arg(minutes, 2, 10, zero)
        .arg(seconds, 2, 10, zero)
        .arg(frames, frameDigits, 10, zero);
}

void ElapsedTimeWidget::setPosition(qint64 frame, double fps)
{
    const QString text = timecode(frame, fps);
    if (text.isEmpty()) {
        if (!m_noTime) {
            m_noTime = true;
            update();
        }
        return;
    }
    m_noTime = false;
    m_timecode = text;
    update();
}

void ElapsedTimeWidget::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    painter.drawText(rect(), Qt::AlignRight | Qt::AlignVCenter, text());
}

} // namespace Emulsa
