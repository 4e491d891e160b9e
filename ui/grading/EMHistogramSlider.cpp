#include "ui/grading/EMHistogramSlider.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace Emulsa {

namespace {

// Which side of the line from a to b the point lies on (the sign of the cross
// product); the triangle test below needs all three on one side.
qint64 side(const QPoint& a, const QPoint& b, const QPoint& p)
{
    return qint64(b.x() - a.x()) * (p.y() - a.y()) - qint64(b.y() - a.y()) * (p.x() - a.x());
}

} // namespace

EMHistogramSlider::EMHistogramSlider(QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(358, 19);
}

double EMHistogramSlider::scale() const
{
    const int travel = width() - kArrowWidth;
    return travel > 0 ? 1.0 / travel : 0.0;
}

void EMHistogramSlider::setValues(const HistogramSliderData& values)
{
    m_values = values;
    update();
}

int EMHistogramSlider::arrowX(int arrow) const
{
    const float value = arrow == 0 ? m_values.black : arrow == 1 ? m_values.mid : m_values.white;
    const double s = scale();
    return s > 0.0 ? static_cast<int>(std::trunc(value / s)) : 0;
}

bool EMHistogramSlider::arrowContains(int x, int height, const QPoint& point)
{
    const QPoint apex(x + kArrowWidth / 2, 0);
    const QPoint left(x, height);
    const QPoint right(x + kArrowWidth, height);
    const qint64 a = side(apex, right, point);
    const qint64 b = side(right, left, point);
    const qint64 c = side(left, apex, point);
    return (a >= 0 && b >= 0 && c >= 0) || (a <= 0 && b <= 0 && c <= 0);
}

HistogramSliderData EMHistogramSlider::dragged(HistogramSliderData values, int arrow, double v)
{
    const double margin = 0.01;
    const double ratio
        = values.white > values.black ? double(values.mid - values.black) / (values.white - values.black) : 0.0;
    switch (arrow) {
    case 2: {
        double white = v;
        if (white <= values.mid + margin)
            white = values.mid + margin;
        if (white >= 1.0)
            white = 1.0;
        values.white = float(white);
        values.mid = float((values.white - values.black) * ratio + values.black);
        break;
    }
    case 1: {
        double mid = v;
        if (mid > values.white - margin)
            mid = values.white - margin;
        if (mid < values.black + margin)
            mid = values.black + margin;
        values.mid = float(mid);
        break;
    }
    case 0: {
        double black = v;
        if (v >= values.mid - margin)
            black = values.mid - margin;
        if (black <= 0.0)
            black = 0.0;
        values.black = float(black);
        values.mid = float((values.white - values.black) * ratio + values.black);
        break;
    }
    default:
        break;
    }
    return values;
}

void EMHistogramSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor(38, 38, 38));
    painter.setPen(QPen(QColor(90, 90, 90), 1));
    painter.drawLine(kArrowWidth / 2, height() / 2, width() - kArrowWidth / 2, height() / 2);
    const QColor fills[] = { QColor(10, 10, 10), QColor(128, 128, 128), QColor(245, 245, 245) };
    for (int arrow = 0; arrow < 3; ++arrow) {
        const int x = arrowX(arrow);
        QPainterPath path;
        path.moveTo(x + kArrowWidth / 2.0, 1);
        path.lineTo(x + kArrowWidth / 2.0 + 6, height() - 1);
        path.lineTo(x + kArrowWidth / 2.0 - 6, height() - 1);
        path.closeSubpath();
        painter.setPen(QPen(QColor(180, 180, 180), 1));
        painter.setBrush(fills[arrow]);
        painter.drawPath(path);
    }
}

void EMHistogramSlider::mousePressEvent(QMouseEvent* event)
{
    m_dragged = -1;
    if (event->button() != Qt::LeftButton)
        return;
    for (int arrow = 0; arrow < 3; ++arrow) {
        if (arrowContains(arrowX(arrow), height(), event->pos())) {
            m_dragged = arrow;
            break;
        }
    }
    if (m_dragged >= 0)
        emit sliderPressed();
}

void EMHistogramSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragged < 0)
        return;
    m_values = dragged(m_values, m_dragged, (event->pos().x() - kArrowWidth / 2) * scale());
    update();
    emit valuesChanged(m_values);
}

void EMHistogramSlider::mouseReleaseEvent(QMouseEvent*)
{
    m_dragged = -1;
}

} // namespace Emulsa
