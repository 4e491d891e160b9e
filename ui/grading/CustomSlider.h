#pragma once

#include <QSlider>

namespace Emulsa {

// A slider that jumps to a left-button press outside its handle. The press
// emits sliderPressed() first and holds the slider down until the release, so
// a press followed by a drag is one gesture (isSliderDown() throughout).
class CustomSlider : public QSlider
{
    Q_OBJECT

public:
    explicit CustomSlider(QWidget* parent = nullptr);
    explicit CustomSlider(Qt::Orientation orientation, QWidget* parent = nullptr);

    // The value a press at `position` along the slider (pixels from the left,
    // or from the bottom of a vertical slider) selects, for a handle of
    // `handleLength` pixels on a slider of `length` pixels.
    static int valueForPosition(
        int minimum, int maximum, int position, int handleLength, int length, bool invertedAppearance);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int valueAt(const QPoint& pos);

    bool m_jumped = false;
};

} // namespace Emulsa
