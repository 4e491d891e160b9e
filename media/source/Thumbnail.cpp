#include "media/source/Thumbnail.h"

#include "media/clip/AssetMetadata.h"
#include "media/frame/Frame.h"
#include "media/metadata/ThumbnailCache.h"
#include "media/source/PictureConverter.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <QDebug>

#include <cmath>
#include <cstring>
#include <memory>

namespace Emulsa::Thumbnail {

QSize size(quint32 width, quint32 height)
{
    if (width == 0 || height == 0)
        return QSize();
    // A picture longer than the cache stores keeps its proportion with a
    // shorter short side.
    const qint64 longest = ThumbnailCache::maxThumbnailPixels / 250;
    const quint32 longer = qMax(width, height);
    const quint32 shorter = qMin(width, height);
    int longSide = int(float(longer) / float(shorter) * 250.0f);
    int shortSide = 250;
    if (longSide > longest) {
        longSide = int(longest);
        shortSide = qMax(1, int(std::lround(double(longest) * shorter / longer)));
    }
    return width > height ? QSize(longSide, shortSide) : QSize(shortSide, longSide);
}

Frame* make(const AVFrame* picture, const AssetMetadata& metadata)
{
    const QSize target = size(metadata.width, metadata.height);
    if (target.isEmpty() || !picture)
        return nullptr;
    bool fullRange = false;
    const AVPixelFormat format = AV::plainPixelFormat(AVPixelFormat(picture->format), &fullRange);
    AV::ScalerPtr scaler(sws_getContext(picture->width, picture->height, format, target.width(), target.height(),
        AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scaler) {
        qDebug() << Q_FUNC_INFO << "Can't get a frame converter for the thumbnail...";
        return nullptr;
    }
    // Decoded with the Rec. 709 matrix, as the grading pipeline does.
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
    const int sourceRange = (metadata.colorRange == 2 || PictureConverter::isRgb(format)) ? 1 : 0;
    sws_setColorspaceDetails(scaler.get(), coefficients, sourceRange, coefficients, 1, 0, 1 << 16, 1 << 16);
    AV::FramePtr rgb(av_frame_alloc());
    const int bytes = av_image_get_buffer_size(AV_PIX_FMT_BGRA, target.width(), target.height(), 1);
    AV::BufferPtr buffer = AV::allocatePictureBuffer(bytes);
    if (!rgb || !buffer)
        return nullptr;
    av_image_fill_arrays(rgb->data, rgb->linesize, buffer.get(), AV_PIX_FMT_BGRA, target.width(), target.height(), 1);
    sws_scale(scaler.get(), picture->data, picture->linesize, 0, picture->height, rgb->data, rgb->linesize);

    auto* thumbnailMetadata = new AssetMetadata(metadata);
    thumbnailMetadata->width = quint32(target.width());
    thumbnailMetadata->height = AssetMetadata::storedHeight(quint32(target.width()), quint32(target.height()));
    thumbnailMetadata->stride = quint32(rgb->linesize[0]);
    thumbnailMetadata->frameBytes = thumbnailMetadata->computeFrameBytes();
    auto frame = std::make_unique<Frame>(thumbnailMetadata);
    frame->adoptMetadata(thumbnailMetadata);
    frame->stride = quint32(rgb->linesize[0]);
    QMutexLocker locker(&frame->mutex);
    uchar* data = frame->allocFrameData();
    if (!data)
        return nullptr;
    memcpy(data, rgb->data[0], size_t(rgb->linesize[0]) * thumbnailMetadata->height);
    locker.unlock();
    return frame.release();
}

} // namespace Emulsa::Thumbnail
