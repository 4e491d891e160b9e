#pragma once

#include <QPoint>
#include <QPointF>
#include <QSize>
#include <Qt>

namespace Emulsa {

// The preview's zoom and pan as the user drives them: the zoom buttons'
// factors, the wheel in whole notches about the pointer, a drag of the
// enlarged picture. It has no window of its own: the window's and the
// picture's sizes (device pixels) are passed in, since both change under it,
// and PreviewViewport turns the factor and pan into a viewport.
class PreviewZoom
{
public:
    // 0 for Fit, 1.0 for one source pixel per device pixel.
    double factor() const { return m_factor; }
    // How far the picture's centre is moved from the window's centre, in
    // device pixels, y down.
    QPoint pan() const { return m_pan; }
    bool isPanning() const { return m_panning; }

    // Zooms to `factor` (0 or below fits; others are kept within the zoom
    // range), keeping the source point under `point` (device pixels, y down)
    // in place; false when the factor stays as it was.
    bool zoomAbout(double factor, const QPointF& point, const QSize& window, const QSize& picture);
    // Turns the wheel by `angleDelta` eighths of a degree at `point`; finer
    // wheels and touchpads add up to a whole notch of 15 degrees. False when
    // the zoom did not change.
    bool turnWheel(int angleDelta, const QPointF& point, const QSize& window, const QSize& picture);

    // A left press at `position` (logical pixels) starts a drag where the
    // picture is larger than the window.
    void press(const QPoint& position, const QSize& window, const QSize& picture);
    // Ends a drag; false when none was running.
    bool release();
    // Moves the picture with a drag to `position` (logical pixels, `ratio`
    // device pixels to one); false when it did not move.
    bool drag(const QPoint& position, qreal ratio, const QSize& window, const QSize& picture);
    // A new clip starts centred, at the same factor.
    void recentre() { m_pan = QPoint(); }

    // The open hand while the picture can be dragged, the closed one while
    // it is, the arrow otherwise.
    Qt::CursorShape cursor(const QSize& window, const QSize& picture) const;

private:
    double m_factor = 0.0;
    QPoint m_pan;
    bool m_panning = false;
    QPoint m_lastMouse;
    // Wheel rotation not yet turned into whole notches.
    int m_wheelAngle = 0;
};

} // namespace Emulsa
