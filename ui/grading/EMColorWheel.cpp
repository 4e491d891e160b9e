#include "ui/grading/EMColorWheel.h"

#include "core/GradeCurves.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace Emulsa {

namespace {

constexpr int kSize = 116;
constexpr int kKnobHalf = 6;
constexpr int kResetSize = 20;

QColor hueColour(double theta)
{
    const auto rgb = GradeCurves::hueRGB(theta);
    const float top = std::max({ rgb[0], rgb[1], rgb[2], 1e-6f });
    return QColor::fromRgbF(rgb[0] / top, rgb[1] / top, rgb[2] / top);
}

} // namespace

EMColorWheel::EMColorWheel(QWidget* parent)
    : QWidget(parent)
    , m_knob(knobForValue(ColorWheelData()))
{
    setFixedSize(kSize, kSize);
}

QPoint EMColorWheel::knobForValue(const ColorWheelData& value)
{
    const double d = std::clamp(value.radius * kTravel, 0.0, double(kTravel));
    const double c = kCentre;
    return QPoint(static_cast<int>(std::trunc(std::cos(-value.theta) * d + c)),
        static_cast<int>(std::trunc(std::sin(-value.theta) * d + c)));
}

void EMColorWheel::setValue(const ColorWheelData& value)
{
    m_value = value;
    m_knob = knobForValue(value);
    update();
}

QPixmap EMColorWheel::background()
{
    // Drawn once: each direction in the hue the grade gives that angle (theta
    // grows anticlockwise on screen), fading to grey at the centre.
    static const QPixmap pixmap = [] {
        QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        const double c = kCentre;
        const double outer = kTravel + 6.0;
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                const double dx = x + 0.5 - c;
                const double dy = y + 0.5 - c;
                const double r = std::sqrt(dx * dx + dy * dy);
                if (r > outer)
                    continue;
                const QColor hue = hueColour(-std::atan2(dy, dx));
                const double t = std::min(1.0, r / kTravel);
                const double grey = 0.32;
                const double alpha = std::clamp(outer - r, 0.0, 1.0);
                image.setPixelColor(x, y,
                    QColor::fromRgbF(grey + (hue.redF() * 0.8 - grey) * t, grey + (hue.greenF() * 0.8 - grey) * t,
                        grey + (hue.blueF() * 0.8 - grey) * t, alpha));
            }
        }
        return QPixmap::fromImage(image);
    }();
    return pixmap;
}

void EMColorWheel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawPixmap(0, 0, background());
    painter.setPen(QPen(QColor(20, 20, 20, 160), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(kCentre, kCentre), kTravel, kTravel);

    painter.setPen(QPen(Qt::black, 1.5));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRect(m_knob - QPoint(kKnobHalf, kKnobHalf), QSize(2 * kKnobHalf, 2 * kKnobHalf)));

    const QRect reset(0, height() - kResetSize, kResetSize, kResetSize);
    painter.setPen(QPen(QColor(200, 200, 200), 1));
    painter.setBrush(m_resetPressed ? QColor(90, 90, 90) : QColor(50, 50, 50));
    painter.drawEllipse(reset.adjusted(2, 2, -2, -2));
    painter.drawArc(reset.adjusted(6, 6, -6, -6), 45 * 16, 270 * 16);
}

void EMColorWheel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint p = event->pos();
    const QPoint d = p - m_knob;
    if (std::abs(d.x()) <= 8 && std::abs(d.y()) <= 8 && d.x() * d.x() + d.y() * d.y() <= 64) {
        m_dragging = true;
        emit knobWasPressed();
    }
    const int h = height();
    const int rx = p.x() - 10;
    const int ry = p.y() - (h - 10);
    if (p.x() >= 0 && p.x() <= 20 && std::abs(ry) <= 10 && rx * rx + ry * ry <= 100) {
        m_resetPressed = true;
        emit resetValue(100);
        setValue(ColorWheelData());
        emit knobHasMoved(m_value);
    }
}

void EMColorWheel::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging)
        moveKnobTo(event->pos());
}

void EMColorWheel::moveKnobTo(const QPoint& pointer)
{
    m_knob = pointer;
    float dx = float(m_knob.x()) - kCentre;
    float dy = float(m_knob.y()) - kCentre;
    if (static_cast<int>(std::sqrt(dx * dx + dy * dy)) > kTravel) {
        const double a = std::atan2(double(dy), double(dx));
        m_knob = QPoint(static_cast<int>(std::trunc(std::cos(a) * (kTravel + 1) + double(kCentre))),
            static_cast<int>(std::trunc(std::sin(a) * (kTravel + 1) + double(kCentre))));
        dx = float(m_knob.x()) - kCentre;
        dy = float(m_knob.y()) - kCentre;
    }
    m_value.theta = -std::atan2(double(dy), double(dx));
    m_value.radius = std::sqrt(double(dx) * dx + double(dy) * dy) / kTravel;
    emit knobHasMoved(m_value);
    update();
}

void EMColorWheel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    m_resetPressed = false;
    update();
}

} // namespace Emulsa
