#include "media/source/PictureConverter.h"

#include "media/source/PictureRotation.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <QDebug>
#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace Emulsa {

namespace {

// RGB pictures become YUV with the Rec. 709 matrix, the one every later
// stage decodes with, at the clip's range.
void setRgbToYuv(SwsContext* scaler, bool fullRange)
{
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(scaler, coefficients, 1, coefficients, fullRange ? 1 : 0, 0, 1 << 16, 1 << 16);
}

// Interleaves planar 16-bit 4:2:2 rows into Y0 U Y1 V little-endian samples,
// each multiplied by scale / 65536.
void interleave(const AVFrame* planar, uint8_t* target, int targetStride, quint32 scale)
{
    const auto scaled = [scale](uint16_t value) {
        return qToLittleEndian(uint16_t(std::min<quint64>(65535, (quint64(value) * scale + 32768) >> 16)));
    };
    const int pairs = planar->width / 2;
    for (int y = 0; y < planar->height; ++y) {
        const auto* luma = reinterpret_cast<const uint16_t*>(planar->data[0] + size_t(y) * planar->linesize[0]);
        const auto* u = reinterpret_cast<const uint16_t*>(planar->data[1] + size_t(y) * planar->linesize[1]);
        const auto* v = reinterpret_cast<const uint16_t*>(planar->data[2] + size_t(y) * planar->linesize[2]);
        auto* row = reinterpret_cast<uint16_t*>(target + size_t(y) * targetStride);
        for (int i = 0; i < pairs; ++i) {
            row[4 * i] = scaled(luma[2 * i]);
            row[4 * i + 1] = scaled(u[i]);
            row[4 * i + 2] = scaled(luma[2 * i + 1]);
            row[4 * i + 3] = scaled(v[i]);
        }
    }
}

// The passes read video levels on the 8-bit scale (white at 235/255). The
// 16-bit copy of an n-bit code c stands at c / (2^n - 1), so 10-bit white
// (940) would land at 234.3; limited-range YUV of more than 8 bits is
// therefore scaled by (2^n - 1) / (2^(n-8) x 255), putting each code where
// the 8-bit code it stands for is (940 at 235/255, 512 at 128/255).
// Full-range YUV (white at 2^n - 1) and RGB made YUV by the scaler, which
// already uses the 8-bit scale, keep their samples. As a fraction of 65536.
quint32 deepScale(AVPixelFormat format, bool fullRange)
{
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (!descriptor || fullRange || (descriptor->flags & AV_PIX_FMT_FLAG_RGB))
        return 65536;
    const int bits = descriptor->comp[0].depth;
    if (bits <= 8)
        return 65536;
    return quint32(std::lround(65536.0 * ((1 << bits) - 1) / (double(1 << (bits - 8)) * 255.0)));
}

} // namespace

AVPixelFormat PictureConverter::scaledFormat() const
{
    return m_deep ? AV_PIX_FMT_YUV422P16 : AV_PIX_FMT_YUYV422;
}

AVPixelFormat PictureConverter::turningFormat() const
{
    return m_deep ? AV_PIX_FMT_YUV444P16 : AV_PIX_FMT_YUV444P;
}

bool PictureConverter::isRgb(AVPixelFormat format)
{
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    return descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_RGB);
}

bool PictureConverter::setUp(
    int codedWidth, int codedHeight, AVPixelFormat format, int rotation, bool fullRange, bool deep)
{
    release();
    m_rotation = rotation;
    m_fullRange = fullRange;
    m_deep = deep;
    m_deepScale = deepScale(format, fullRange);
    const bool turned = rotation == 90 || rotation == 270;
    const int shownWidth = turned ? codedHeight : codedWidth;
    const int width = shownWidth & ~1;
    const int height = turned ? codedWidth : codedHeight;
    if (width <= 0 || height <= 0)
        return false;
    m_converted.reset(av_frame_alloc());
    // Two samples a pixel, of one or two bytes.
    const int rowBytes = width * (deep ? 4 : 2);
    m_buffer = AV::allocatePictureBuffer(rowBytes * height);
    if (!m_converted || !m_buffer)
        return false;
    m_converted->data[0] = m_buffer.get();
    m_converted->linesize[0] = rowBytes;
    m_converted->width = width;
    m_converted->height = height;
    if (deep) {
        m_planar.reset(av_frame_alloc());
        if (!m_planar)
            return false;
        m_planar->width = width;
        m_planar->height = height;
        m_planar->format = AV_PIX_FMT_YUV422P16;
        if (av_frame_get_buffer(m_planar.get(), 0) < 0)
            return false;
    }
    if (rotation != 0) {
        m_rotated.reset(av_frame_alloc());
        m_unrotated.reset(av_frame_alloc());
        if (!m_rotated || !m_unrotated)
            return false;
    }
    if (!makeScaler(shownWidth, height, rotation != 0 ? turningFormat() : format)) {
        qDebug() << Q_FUNC_INFO << "Could not get a scaler context";
        return false;
    }
    return true;
}

void PictureConverter::release()
{
    m_scaler.reset();
    m_converted.reset();
    m_buffer.reset();
    m_planar.reset();
    m_deep = false;
    m_scalerWidth = 0;
    m_scalerHeight = 0;
    m_scalerFormat = AV_PIX_FMT_NONE;
    m_rotation = 0;
    m_rotationScaler.reset();
    m_unrotated.reset();
    m_rotated.reset();
}

bool PictureConverter::makeScaler(int width, int height, AVPixelFormat format)
{
    const int targetWidth = m_converted->width;
    const int targetHeight = m_converted->height;
    // An odd last column is cropped, not scaled away.
    const int sourceWidth = (width == targetWidth + 1) ? targetWidth : width;
    m_scaler.reset(sws_getCachedContext(m_scaler.release(), sourceWidth, height, format, targetWidth, targetHeight,
        scaledFormat(), SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
    if (!m_scaler)
        return false;
    if (isRgb(format))
        setRgbToYuv(m_scaler.get(), m_fullRange);
    m_scalerWidth = width;
    m_scalerHeight = height;
    m_scalerFormat = format;
    return true;
}

const AVFrame* PictureConverter::shown(const AVFrame* picture)
{
    if (m_rotation == 0 || !picture)
        return picture;
    bool fullRange = false;
    const AVPixelFormat format = AV::plainPixelFormat(AVPixelFormat(picture->format), &fullRange);
    m_rotationScaler.reset(sws_getCachedContext(m_rotationScaler.release(), picture->width, picture->height, format,
        picture->width, picture->height, turningFormat(), SWS_POINT, nullptr, nullptr, nullptr));
    if (!m_rotationScaler)
        return nullptr;
    if (isRgb(format))
        setRgbToYuv(m_rotationScaler.get(), m_fullRange);
    AVFrame* coded = m_unrotated.get();
    if (coded->width != picture->width || coded->height != picture->height || !coded->data[0]) {
        av_frame_unref(coded);
        coded->width = picture->width;
        coded->height = picture->height;
        coded->format = turningFormat();
        if (av_frame_get_buffer(coded, 0) < 0)
            return nullptr;
    }
    sws_scale(
        m_rotationScaler.get(), picture->data, picture->linesize, 0, picture->height, coded->data, coded->linesize);
    if (!PictureRotation::rotate(coded, m_rotated.get(), m_rotation))
        return nullptr;
    m_rotated->best_effort_timestamp = picture->best_effort_timestamp;
    m_rotated->pts = picture->pts;
    return m_rotated.get();
}

bool PictureConverter::convert(const AVFrame* source, uint8_t* target, int targetStride)
{
    if (!m_converted)
        return false;
    const AVFrame* picture = shown(source);
    if (!picture)
        return false;
    bool fullRange = false;
    const AVPixelFormat format = AV::plainPixelFormat(AVPixelFormat(picture->format), &fullRange);
    if (picture->width != m_scalerWidth || picture->height != m_scalerHeight || format != m_scalerFormat) {
        // The stream changed its picture size or layout: scale to the size
        // set up first.
        if (!makeScaler(picture->width, picture->height, format)) {
            qDebug() << Q_FUNC_INFO << "Could not get a scaler context";
            return false;
        }
    }
    uint8_t* packed = target ? target : m_converted->data[0];
    const int packedStride = target ? targetStride : m_converted->linesize[0];
    if (m_deep) {
        sws_scale(
            m_scaler.get(), picture->data, picture->linesize, 0, picture->height, m_planar->data, m_planar->linesize);
        interleave(m_planar.get(), packed, packedStride, m_deepScale);
        return true;
    }
    uint8_t* targets[4] = { packed, nullptr, nullptr, nullptr };
    const int strides[4] = { packedStride, 0, 0, 0 };
    sws_scale(m_scaler.get(), picture->data, picture->linesize, 0, picture->height, targets, strides);
    return true;
}

} // namespace Emulsa
