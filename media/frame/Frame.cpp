#include "media/frame/Frame.h"

#include "media/clip/AssetMetadata.h"

#include <QDebug>
#include <QImage>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace Emulsa {

namespace {

constexpr size_t tailPadding = 256;

} // namespace

Frame::Frame(AssetMetadata* metadata)
    : metadata(metadata)
    , stride(metadata ? metadata->stride : 0)
{
}

Frame::~Frame()
{
    mutex.lock();
    free(data);
    data = nullptr;
    mutex.unlock();
}

quint32 Frame::effectiveStride() const
{
    if (stride != 0)
        return stride;
    return metadata ? metadata->stride : 0;
}

uchar* Frame::allocFrameData()
{
    if (data) {
        mutex.lock();
        free(data);
        data = nullptr;
        mutex.unlock();
    }
    if (!metadata) {
        qDebug() << "Frame:"
                 << " frame metadata parameters not set, can't malloc";
        return nullptr;
    }
    const quint64 bytes = quint64(metadata->height) * quint64(effectiveStride());
    if (bytes == 0 || bytes > quint64(std::numeric_limits<qint32>::max())) {
        qDebug() << "Frame: refusing a buffer of" << metadata->height << "rows of" << effectiveStride() << "bytes";
        return nullptr;
    }
    // A little slack after the last row: vector code that converts straight
    // into the buffer may write a few bytes past the end of a row.
    data = static_cast<uchar*>(malloc(size_t(bytes) + tailPadding));
    if (!data)
        qDebug() << "Frame: could not allocate" << bytes << "bytes";
    return data;
}

QImage* Frame::toImage()
{
    QMutexLocker locker(&mutex);
    if (!metadata || !data || metadata->width == 0 || metadata->height == 0)
        return nullptr;
    const quint32 rowStride = effectiveStride();
    const quint32 rowBytes = qMin<quint32>(rowStride, metadata->width * 4);
    auto* image = new QImage(int(metadata->width), int(metadata->height), QImage::Format_RGB32);
    if (image->isNull()) {
        delete image;
        return nullptr;
    }
    for (quint32 y = 0; y < metadata->height; ++y)
        memcpy(image->scanLine(int(y)), data + size_t(y) * rowStride, rowBytes);
    return image;
}

void Frame::adoptMetadata(AssetMetadata* ownedMetadata)
{
    m_ownedMetadata.reset(ownedMetadata);
    metadata = ownedMetadata;
}

} // namespace Emulsa
