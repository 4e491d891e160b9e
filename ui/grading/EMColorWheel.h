#pragma once

#include "core/ClipSettings.h"

#include <QPixmap>
#include <QPoint>
#include <QWidget>

namespace Emulsa {

// A colour-balance wheel, 116 x 116 pixels. The knob travels 48 pixels around
// the centre (58.4, 58.4); a knob dragged past the ring stops on a circle of
// 49 pixels, so the radius it reports reaches 49/48. The small button in the
// lower left corner resets the wheel.
class EMColorWheel : public QWidget
{
    Q_OBJECT

public:
    // A drag of the wheel's point is in progress.
    bool isDragging() const { return m_dragging; }
    static constexpr float kCentre = 58.4f;
    static constexpr int kTravel = 48;

    explicit EMColorWheel(QWidget* parent = nullptr);

    // Shows a value without emitting anything.
    void setValue(const ColorWheelData& value);
    ColorWheelData value() const { return m_value; }
    QPoint knobPosition() const { return m_knob; }

    // The knob position that shows a value.
    static QPoint knobForValue(const ColorWheelData& value);

signals:
    void knobHasMoved(const Emulsa::ColorWheelData& value);
    void knobWasPressed();
    // Emitted when the reset button is pressed, before the reset value.
    void resetValue(int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void moveKnobTo(const QPoint& pointer);
    static QPixmap background();

    QPoint m_knob;
    ColorWheelData m_value;
    bool m_dragging = false;
    bool m_resetPressed = false;
};

} // namespace Emulsa
