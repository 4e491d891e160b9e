#include "ui/preview/PreviewViewport.h"

#include <algorithm>
#include <cmath>

namespace Emulsa {

QRect PreviewViewport::fit(const QSize& window, const QSize& picture)
{
    const int W = std::max(0, window.width());
    const int H = std::max(0, window.height());
    const float a = picture.width() > 0 && picture.height() > 0 ? float(picture.width()) / float(picture.height())
                                                                : DefaultAspect;
    int w = 0;
    int h = 0;
    if (picture.height() > picture.width()) {
        h = H;
        w = int(float(H) * a);
        if (w > W) {
            w = W;
            h = int(float(W) / a);
        }
    } else {
        w = W;
        h = int(float(W) / a);
        if (h > H) {
            h = H;
            w = int(float(H) * a);
        }
    }
    return QRect((W - w) / 2, (H - h) / 2, w, h);
}

QSize PreviewViewport::sourceSize(const QSize& picture)
{
    return picture.width() > 0 && picture.height() > 0 ? picture : QSize(1920, 1080);
}

QSize PreviewViewport::zoomedSize(const QSize& picture, double factor)
{
    const QSize source = sourceSize(picture);
    return QSize(std::max(1, int(std::lround(source.width() * factor))),
        std::max(1, int(std::lround(source.height() * factor))));
}

double PreviewViewport::shownScale(const QSize& window, const QSize& picture, double factor)
{
    if (factor > 0.0)
        return factor;
    return double(fit(window, picture).width()) / double(sourceSize(picture).width());
}

double PreviewViewport::maxZoom(const QSize& picture)
{
    const QSize source = sourceSize(picture);
    const double largest = double(std::max(source.width(), source.height()));
    return std::max(MinZoom, std::min(MaxZoom, double(MaxSide) / largest));
}

double PreviewViewport::clampZoom(double factor, const QSize& picture)
{
    return std::clamp(factor, MinZoom, maxZoom(picture));
}

double PreviewViewport::stepZoom(double scale, int notches, const QSize& picture)
{
    if (!(scale > 0.0))
        scale = MinZoom;
    // Quarter steps of a power of two; a scale within rounding of a step
    // counts as on it.
    const double quarters = 4.0 * std::log2(scale);
    const double from = notches > 0 ? std::floor(quarters + 1e-6) : std::ceil(quarters - 1e-6);
    return clampZoom(std::exp2((from + notches) / 4.0), picture);
}

bool PreviewViewport::canPan(const QSize& window, const QSize& picture, double factor)
{
    if (!(factor > 0.0))
        return false;
    const QSize shown = zoomedSize(picture, clampZoom(factor, picture));
    return shown.width() > window.width() || shown.height() > window.height();
}

QPoint PreviewViewport::clampPan(const QPoint& pan, const QSize& window, const QSize& shown)
{
    // With the picture centred at (W - w) / 2, its left edge may go from
    // W - w (its right edge on the window's) to 0; rows likewise, bottom-up.
    int x = 0;
    int y = 0;
    const int spareX = window.width() - shown.width();
    const int spareY = window.height() - shown.height();
    if (spareX < 0) {
        const int centre = spareX / 2;
        x = std::clamp(pan.x(), spareX - centre, -centre);
    }
    if (spareY < 0) {
        const int centre = spareY / 2;
        y = std::clamp(pan.y(), centre, centre - spareY);
    }
    return QPoint(x, y);
}

QRect PreviewViewport::viewport(const QSize& window, const QSize& picture, double factor, const QPoint& pan)
{
    if (!(factor > 0.0))
        return fit(window, picture);
    const QSize shown = zoomedSize(picture, clampZoom(factor, picture));
    const QPoint offset = clampPan(pan, window, shown);
    const int x = (window.width() - shown.width()) / 2 + offset.x();
    // The pan runs down the window, the viewport's rows up.
    const int y = (window.height() - shown.height()) / 2 - offset.y();
    return QRect(x, y, shown.width(), shown.height());
}

QPoint PreviewViewport::movePan(
    const QPoint& pan, const QPoint& delta, const QSize& window, const QSize& picture, double factor)
{
    if (!(factor > 0.0))
        return QPoint();
    return clampPan(pan + delta, window, zoomedSize(picture, clampZoom(factor, picture)));
}

QPointF PreviewViewport::sourceAt(
    const QRect& viewport, const QSize& window, const QSize& picture, const QPointF& point)
{
    const QSize source = sourceSize(picture);
    if (viewport.width() <= 0 || viewport.height() <= 0)
        return QPointF();
    const double x = (point.x() - viewport.x()) * source.width() / viewport.width();
    // Rows of the viewport from the bottom of the window; source rows from
    // the top of the picture.
    const double fromBottom = (window.height() - point.y() - viewport.y()) * source.height() / viewport.height();
    return QPointF(x, source.height() - fromBottom);
}

QPoint PreviewViewport::panAbout(const QSize& window, const QSize& picture, double fromFactor, const QPoint& pan,
    double toFactor, const QPointF& point)
{
    // Nothing to keep in place without a window: the picture stays centred.
    if (!(toFactor > 0.0) || window.isEmpty())
        return QPoint();
    const QSize source = sourceSize(picture);
    const QPointF anchor = sourceAt(viewport(window, picture, fromFactor, pan), window, picture, point);
    const QSize shown = zoomedSize(picture, clampZoom(toFactor, picture));
    // Where the picture's top-left corner goes for the anchor to stay put,
    // then as a viewport (rows from the bottom) and as an offset from the
    // centred place.
    const double left = point.x() - anchor.x() * shown.width() / source.width();
    const double top = point.y() - anchor.y() * shown.height() / source.height();
    const int x = int(std::lround(left));
    const int y = window.height() - int(std::lround(top)) - shown.height();
    const QPoint offset(x - (window.width() - shown.width()) / 2, (window.height() - shown.height()) / 2 - y);
    return clampPan(offset, window, shown);
}

} // namespace Emulsa
