#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace Emulsa {

// Where the preview draws a picture in its window, in device pixels: fitted
// whole and centred, or at 1:1 with a pan offset (centred on an axis where
// the window is larger than the picture).
class PreviewViewport
{
public:
    // The aspect used without a valid clip: the single-precision 16/9.
    static constexpr float DefaultAspect = 1.7777777910232544f;

    // `window` in device pixels; `picture` empty means no valid clip.
    static QRect fit(const QSize& window, const QSize& picture);
    static QRect oneToOne(const QSize& window, const QSize& picture, const QPoint& pan);
    // The pan offset after a mouse motion of `delta` (device pixels), kept so
    // that the picture covers the window where it is larger than it.
    static QPoint movePan(const QPoint& pan, const QPoint& delta, const QSize& window, const QSize& picture);
};

} // namespace Emulsa
