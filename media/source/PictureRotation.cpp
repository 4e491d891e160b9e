#include "media/source/PictureRotation.h"

extern "C" {
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include <cmath>

namespace Emulsa::PictureRotation {

int displayRotation(const AVStream* stream)
{
    if (!stream)
        return 0;
    size_t size = 0;
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!matrix || size < 9 * sizeof(int32_t))
        return 0;
    // The matrix states a counter-clockwise angle.
    const double angle = -av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(angle))
        return 0;
    const int quarter = int(std::lround(angle / 90.0));
    if (std::fabs(angle - quarter * 90.0) > 1.0)
        return 0;
    return ((quarter % 4) + 4) % 4 * 90;
}

namespace {

// Copies one plane turned by `degrees`, samples of type T.
template<typename T> void rotatePlane(const AVFrame* source, AVFrame* target, int plane, int degrees)
{
    const int width = source->width;
    const int height = source->height;
    const uint8_t* from = source->data[plane];
    const int fromStride = source->linesize[plane];
    uint8_t* to = target->data[plane];
    const int toStride = target->linesize[plane];
    for (int y = 0; y < target->height; ++y) {
        T* row = reinterpret_cast<T*>(to + size_t(y) * toStride);
        for (int x = 0; x < target->width; ++x) {
            int sx = x;
            int sy = y;
            if (degrees == 90) {
                sx = y;
                sy = height - 1 - x;
            } else if (degrees == 180) {
                sx = width - 1 - x;
                sy = height - 1 - y;
            } else if (degrees == 270) {
                sx = width - 1 - y;
                sy = x;
            }
            row[x] = reinterpret_cast<const T*>(from + size_t(sy) * fromStride)[sx];
        }
    }
}

} // namespace

bool rotate(const AVFrame* source, AVFrame* target, int degrees)
{
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(AVPixelFormat(source->format));
    if (!descriptor || descriptor->log2_chroma_w != 0 || descriptor->log2_chroma_h != 0
        || !(descriptor->flags & AV_PIX_FMT_FLAG_PLANAR) || (descriptor->flags & AV_PIX_FMT_FLAG_FLOAT)
        || descriptor->comp[0].depth > 16)
        return false;
    const bool wide = descriptor->comp[0].step == 2;
    const int width = source->width;
    const int height = source->height;
    const bool turned = degrees == 90 || degrees == 270;
    const int targetWidth = turned ? height : width;
    const int targetHeight = turned ? width : height;
    if (target->width != targetWidth || target->height != targetHeight || target->format != source->format
        || !target->data[0]) {
        av_frame_unref(target);
        target->width = targetWidth;
        target->height = targetHeight;
        target->format = source->format;
        if (av_frame_get_buffer(target, 0) < 0)
            return false;
    }
    if (av_frame_make_writable(target) < 0)
        return false;
    for (int plane = 0; plane < 4 && source->data[plane]; ++plane) {
        if (wide)
            rotatePlane<uint16_t>(source, target, plane, degrees);
        else
            rotatePlane<uint8_t>(source, target, plane, degrees);
    }
    target->color_range = source->color_range;
    target->best_effort_timestamp = source->best_effort_timestamp;
    target->pts = source->pts;
    return true;
}

} // namespace Emulsa::PictureRotation
