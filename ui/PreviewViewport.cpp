#include "ui/PreviewViewport.h"

#include <algorithm>

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

QRect PreviewViewport::oneToOne(const QSize& window, const QSize& picture, const QPoint& pan)
{
    const QSize size = picture.width() > 0 && picture.height() > 0 ? picture : QSize(1920, 1080);
    int x = -pan.x();
    int y = pan.y();
    if (window.width() > size.width())
        x = int(float(window.width() - size.width()) * 0.5f);
    if (window.height() > size.height())
        y = int(float(window.height() - size.height()) * 0.5f);
    return QRect(x, y, size.width(), size.height());
}

QPoint PreviewViewport::movePan(const QPoint& pan, const QPoint& delta, const QSize& window, const QSize& picture)
{
    // The picture may move as far as it is larger than the window, and not
    // at all on an axis where it is smaller.
    const int spareX = std::max(0, picture.width() - window.width());
    const int spareY = std::max(0, picture.height() - window.height());
    const int x = std::clamp(pan.x() - delta.x(), 0, spareX);
    const int y = std::clamp(pan.y() - delta.y(), -spareY, 0);
    return QPoint(x, y);
}

} // namespace Emulsa
