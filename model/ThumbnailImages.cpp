#include "model/ThumbnailImages.h"

#include <QBuffer>
#include <QDebug>
#include <QImageReader>
#include <QtEndian>

namespace Emulsa::ThumbnailImages {

QImage readChecked(QIODevice* device, const char* format, qint64 pixelsLeft, bool* overBudget)
{
    if (overBudget)
        *overBudget = false;
    QImageReader reader(device, format);
    const QSize size = reader.size();
    const qint64 pixels = qint64(size.width()) * size.height();
    if (!size.isValid() || size.isEmpty() || size.width() > maxSide || size.height() > maxSide || pixels > maxPixels) {
        qDebug() << "Thumbnail picture refused, size" << size;
        return QImage();
    }
    if (pixels > pixelsLeft) {
        if (overBudget)
            *overBudget = true;
        return QImage();
    }
    return reader.read();
}

QImage decode(const QByteArray& base64, qint64 pixelsLeft, bool* overBudget)
{
    if (overBudget)
        *overBudget = false;
    if (base64.size() > maxDataLength) {
        qDebug() << "Thumbnail data too long:" << base64.size();
        return QImage();
    }
    const QByteArray bytes = QByteArray::fromBase64(base64);
    // QDataStream's form of a QImage: a big-endian 32-bit 1 for a picture
    // (0 for a null image), then the picture as PNG.
    if (bytes.size() < 4 || qFromBigEndian<qint32>(bytes.constData()) != 1)
        return QImage();
    QByteArray png = bytes.mid(4);
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::ReadOnly))
        return QImage();
    return readChecked(&buffer, "PNG", pixelsLeft, overBudget);
}

} // namespace Emulsa::ThumbnailImages
