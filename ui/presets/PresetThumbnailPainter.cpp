#include "ui/presets/PresetThumbnailPainter.h"

#include <QPainter>

namespace Emulsa::PresetThumbnailPainter {

QRect fittedRect(const QSize& imageSize, const QRect& box)
{
    if (imageSize.isEmpty() || box.isEmpty())
        return box;
    const QSize size = imageSize.scaled(box.size(), Qt::KeepAspectRatio);
    QRect fitted(QPoint(0, 0), size);
    fitted.moveCenter(box.center());
    return fitted;
}

void paint(QPainter* painter, const QRect& box, const QImage& thumbnail)
{
    if (box.isEmpty())
        return;
    painter->save();
    if (thumbnail.isNull()) {
        // A frame with a small inner frame: reads as "no picture" on the dark
        // lists without looking like a black picture.
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->fillRect(box, placeholderFill);
        painter->setPen(placeholderOutline);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(box.adjusted(0, 0, -1, -1));
        const QRect inner = fittedRect(
            QSize(16, 9), box.adjusted(box.width() / 3, box.height() / 3, -box.width() / 3, -box.height() / 3));
        painter->drawRect(inner.adjusted(0, 0, -1, -1));
    } else {
        painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter->drawImage(fittedRect(thumbnail.size(), box), thumbnail);
    }
    painter->restore();
}

} // namespace Emulsa::PresetThumbnailPainter
