#include "ui/grading/CustomSlider.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cmath>

namespace Emulsa {

CustomSlider::CustomSlider(QWidget* parent)
    : QSlider(parent)
{
}

CustomSlider::CustomSlider(Qt::Orientation orientation, QWidget* parent)
    : QSlider(orientation, parent)
{
}

int CustomSlider::valueForPosition(
    int minimum, int maximum, int position, int handleLength, int length, bool invertedAppearance)
{
    const double half = handleLength * 0.5 + 0.5;
    const double travel = length - 2.0 * half;
    if (travel <= 0.0 || maximum <= minimum)
        return minimum;
    const double p = std::clamp(double(position), half, length - half);
    const int offset = static_cast<int>(std::trunc((double(maximum) - minimum) * (p - half) / travel));
    return invertedAppearance ? maximum - offset : minimum + offset;
}

void CustomSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QSlider::mousePressEvent(event);
        return;
    }
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    if (handle.contains(event->pos())) {
        QSlider::mousePressEvent(event);
        return;
    }
    setSliderDown(true); // emits sliderPressed()
    m_jumped = true;
    setValue(valueAt(event->pos()));
    event->accept();
}

void CustomSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_jumped) {
        QSlider::mouseMoveEvent(event);
        return;
    }
    setValue(valueAt(event->pos()));
    event->accept();
}

int CustomSlider::valueAt(const QPoint& pos)
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const bool horizontal = orientation() == Qt::Horizontal;
    const int length = horizontal ? width() : height();
    const int handleLength = horizontal ? handle.width() : handle.height();
    const int position = horizontal ? pos.x() : length - pos.y();
    return valueForPosition(minimum(), maximum(), position, handleLength, length, invertedAppearance());
}

void CustomSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_jumped && event->button() == Qt::LeftButton) {
        m_jumped = false;
        setSliderDown(false);
        event->accept();
        return;
    }
    QSlider::mouseReleaseEvent(event);
}

} // namespace Emulsa
