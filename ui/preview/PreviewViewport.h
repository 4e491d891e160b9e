#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

namespace Emulsa {

// Where the preview draws a picture in its window, in device pixels: fitted
// whole and centred, or at a zoom factor with a pan offset.
//
// Viewports count rows from the bottom of the window, as OpenGL does. A zoom
// factor of 0 or below means Fit; 1.0 shows one source pixel on one device
// pixel, 2.0 each source pixel on 2 x 2 device pixels. The pan offset is how
// far the picture's centre is moved from the window's centre, in device
// pixels, x to the right and y down (the way the mouse moves). On an axis
// where the zoomed picture is larger than the window it is kept so that the
// picture covers the window; on an axis where it is smaller the picture is
// centred.
class PreviewViewport
{
public:
    // The aspect used without a valid clip: the single-precision 16/9.
    static constexpr float DefaultAspect = 1.7777777910232544f;
    // The zoom range of the wheel.
    static constexpr double MinZoom = 0.125;
    static constexpr double MaxZoom = 8.0;
    // The largest side of a zoomed picture, in device pixels: a size every
    // OpenGL 4 driver in use accepts as a viewport.
    static constexpr int MaxSide = 16384;

    // `window` in device pixels; `picture` empty means no valid clip.
    static QRect fit(const QSize& window, const QSize& picture);
    // The picture at `factor` (Fit at 0 or below), panned by `pan` (clamped).
    static QRect viewport(const QSize& window, const QSize& picture, double factor, const QPoint& pan);

    // The size zoom factors apply to: the picture's, or 1920 x 1080 without
    // a valid clip.
    static QSize sourceSize(const QSize& picture);
    // The picture's size on screen at a factor above 0.
    static QSize zoomedSize(const QSize& picture, double factor);
    // The device pixels per source pixel the picture is shown at: `factor`,
    // or for Fit the fitted width over the source width.
    static double shownScale(const QSize& window, const QSize& picture, double factor);
    // The largest factor for a picture: MaxZoom, or less where the picture
    // would grow beyond MaxSide.
    static double maxZoom(const QSize& picture);
    // A factor above 0 kept within MinZoom .. maxZoom(picture).
    static double clampZoom(double factor, const QSize& picture);
    // The factor `notches` wheel steps away from `scale`. The steps are
    // powers of 2^(1/4) (so 100 % and 200 % are among them); from a scale
    // between two steps, the first notch goes to the next step.
    static double stepZoom(double scale, int notches, const QSize& picture);

    // Whether the picture at `factor` is larger than the window on an axis
    // (so that it can be dragged).
    static bool canPan(const QSize& window, const QSize& picture, double factor);
    // The nearest pan offset that keeps the picture covering the window where
    // it is larger, 0 where it is smaller.
    static QPoint clampPan(const QPoint& pan, const QSize& window, const QSize& shown);
    // The pan offset after the mouse dragged the picture by `delta` (device
    // pixels, y down).
    static QPoint movePan(
        const QPoint& pan, const QPoint& delta, const QSize& window, const QSize& picture, double factor);
    // The pan offset at `toFactor` that keeps the source point under `point`
    // (window device pixels, y down) where it was at `fromFactor` with `pan`,
    // as far as the clamping allows. Either factor may be Fit.
    static QPoint panAbout(const QSize& window, const QSize& picture, double fromFactor, const QPoint& pan,
        double toFactor, const QPointF& point);
    // The source pixel (x to the right, y down, from the top-left corner) at
    // a window point (device pixels, y down) for a viewport of that picture;
    // fractional, outside 0 .. size where the point is off the picture.
    static QPointF sourceAt(const QRect& viewport, const QSize& window, const QSize& picture, const QPointF& point);
};

} // namespace Emulsa
