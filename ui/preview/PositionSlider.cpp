#include "ui/preview/PositionSlider.h"

#include "ui/preview/PositionSliderGeometry.h"

#include <QLabel>
#include <QMouseEvent>

namespace Emulsa {

using Geometry = PositionSliderGeometry;

PositionSlider::PositionSlider(QWidget* parent)
    : QWidget(parent)
{
    setFixedHeight(Geometry::Height);
    // Children stacked bottom to top: start handle, knob, end handle.
    m_startHandle = new QLabel(this);
    m_startHandle->setFixedSize(Geometry::HandleWidth, Geometry::HandleHeight);
    m_startHandle->setStyleSheet(QStringLiteral("background-image:url(:/images/handle_start)"));
    m_knob = new QLabel(this);
    m_knob->setFixedSize(Geometry::KnobSize, Geometry::KnobSize);
    m_knob->setStyleSheet(QStringLiteral("background-image:url(:/images/play_knob)"));
    m_endHandle = new QLabel(this);
    m_endHandle->setFixedSize(Geometry::HandleWidth, Geometry::HandleHeight);
    m_endHandle->setStyleSheet(QStringLiteral("background-image:url(:/images/handle_end)"));
    // Clicks reach the slider, not the labels.
    for (QLabel* child : { m_startHandle, m_knob, m_endHandle })
        child->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_knob->move(Geometry::KnobOffset, 0);
    m_startHandle->move(Geometry::Margin, 1);
    m_endHandle->move(width() - 1 - 80, 1);

    m_repeatTimer.setInterval(500);
    connect(&m_repeatTimer, &QTimer::timeout, this, &PositionSlider::emitValueChangedSignal);
}

void PositionSlider::setValue(int value)
{
    m_value = value;
    layoutChildren();
}

void PositionSlider::setLength(int length)
{
    m_length = qMax(0, length);
    layoutChildren();
}

void PositionSlider::setStartPoint(uint start)
{
    m_start = start;
    layoutChildren();
}

void PositionSlider::setEndPoint(uint end)
{
    m_end = end;
    layoutChildren();
}

void PositionSlider::reset()
{
    m_start = 0;
    m_end = Geometry::NoEnd;
    m_value = 0;
    m_length = 0;
    layoutChildren();
}

void PositionSlider::emitValueChangedSignal()
{
    emit valueChanged(m_value);
}

QPoint PositionSlider::knobPosition() const
{
    return m_knob->pos();
}

QPoint PositionSlider::startHandlePosition() const
{
    return m_startHandle->pos();
}

QPoint PositionSlider::endHandlePosition() const
{
    return m_endHandle->pos();
}

void PositionSlider::layoutChildren()
{
    const int w = width();
    if (m_length <= 0) {
        m_knob->move(Geometry::KnobOffset, 0);
        m_startHandle->move(Geometry::Margin, 1);
        m_endHandle->move(qMax(0, w - 1 - 53), 1);
    } else {
        m_knob->move(Geometry::knobLeft(w, m_value, m_length), 0);
        m_startHandle->move(Geometry::startHandleLeft(w, m_start, m_length), 1);
        m_endHandle->move(Geometry::endHandleLeft(w, m_end, m_length), 1);
    }
    update();
}

void PositionSlider::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutChildren();
}

void PositionSlider::mousePressEvent(QMouseEvent* event)
{
    const QPoint point = event->pos();
    if (Geometry::onEndHandle(point, m_endHandle->x())) {
        m_draggingEnd = true;
    } else if (Geometry::onKnob(point, m_knob->pos())) {
        emit startScrolling();
        m_draggingKnob = true;
        m_repeatTimer.start();
    } else if (Geometry::onStartHandle(point, m_startHandle->x())) {
        m_draggingStart = true;
    } else {
        moveKnobTo(point.x());
        m_draggingKnob = m_draggingStart = m_draggingEnd = false;
    }
}

void PositionSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (m_draggingKnob)
        moveKnobTo(event->pos().x());
    else if (m_draggingStart)
        moveStartHandleTo(event->pos().x());
    else if (m_draggingEnd)
        moveEndHandleTo(event->pos().x());
    else
        QWidget::mouseMoveEvent(event);
}

void PositionSlider::mouseReleaseEvent(QMouseEvent* event)
{
    Q_UNUSED(event);
    if (m_draggingKnob) {
        emit valueChanged(m_value);
        emit stopScrolling();
        m_repeatTimer.stop();
    }
    m_draggingKnob = m_draggingStart = m_draggingEnd = false;
}

void PositionSlider::moveKnobTo(int x)
{
    const qint64 frame = Geometry::frameAt(qint64(x) - Geometry::Margin, width(), m_length);
    m_value = int(Geometry::clampValue(frame, m_start, m_end, m_length));
    layoutChildren();
    emit valueChanged(m_value);
}

void PositionSlider::moveStartHandleTo(int x)
{
    const qint64 frame = Geometry::frameAt(qint64(x) - Geometry::Margin, width(), m_length);
    m_start = Geometry::clampStart(frame, m_end, m_length);
    emit startingHandleMoved(m_start);
    // The knob never stays before the in point.
    if (qint64(m_start) > m_value)
        moveKnobTo(x + 30);
    layoutChildren();
}

void PositionSlider::moveEndHandleTo(int x)
{
    const qint64 frame = Geometry::frameAt(x, width(), m_length);
    m_end = Geometry::clampEnd(frame, m_start, m_length);
    emit endingHandleMoved(m_end);
    // Nor after the out point.
    if (qint64(m_end) <= m_value)
        moveKnobTo(x);
    layoutChildren();
}

} // namespace Emulsa
