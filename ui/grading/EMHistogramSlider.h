#pragma once

#include "core/ClipSettings.h"

#include <QWidget>

namespace Emulsa {

// The levels slider under the histogram: three arrows for black, mid and
// white, 358 x 19 pixels. Moving black or white keeps mid at the same relative
// place between them; black and white stop 0.01 short of mid, and mid 0.01
// short of either end.
class EMHistogramSlider : public QWidget
{
    Q_OBJECT

public:
    // A handle is being dragged.
    bool isDragging() const { return m_dragged >= 0; }
    static constexpr int kArrowWidth = 30;

    explicit EMHistogramSlider(QWidget* parent = nullptr);

    // Shows values without emitting anything.
    void setValues(const HistogramSliderData& values);
    HistogramSliderData values() const { return m_values; }
    // The left edge of each arrow: black, mid, white.
    int arrowX(int arrow) const;

    // The drag rules on their own: `arrow` 0 black, 1 mid, 2 white moved to the
    // value v.
    static HistogramSliderData dragged(HistogramSliderData values, int arrow, double v);
    // Whether the point lies in the upward triangle of an arrow whose left
    // edge is x, on a widget `height` pixels high.
    static bool arrowContains(int x, int height, const QPoint& point);

signals:
    void sliderPressed();
    void valuesChanged(const Emulsa::HistogramSliderData& values);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    double scale() const;

    HistogramSliderData m_values;
    int m_dragged = -1;
};

} // namespace Emulsa
