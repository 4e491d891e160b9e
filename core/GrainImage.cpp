#include "core/GrainImage.h"

#include <QDebug>
#include <QFile>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace Emulsa {

const char* const GrainImage::kInvalidHeader = "Invalid header!";
const char* const GrainImage::kInvalidPixelFormat = "Invalid pixel format!";
const char* const GrainImage::kConvertFailed = "Failed to convert to RGB!";
const char* const GrainImage::kInvalidDimensions = "Invalid dimensions in grain map!";
const char* const GrainImage::kAllocFailed = "Memory alloc failed!";
const char* const GrainImage::kBufferAllocFailed = "Failed to allocate memory for grain buffers!";
const char* const GrainImage::kScaleFailed = "Failed to scale grain map!";

namespace {

const char kMagic[4] = { 'Q', 'L', 'I', 'F' };

bool setError(QString* error, const char* text)
{
    if (error)
        *error = QString::fromLatin1(text);
    return false;
}

// Resized size of a padded side: the scale of the side applied to the padded
// length, made to differ from the output by an even number so that the centre
// sits on whole pixels.
int paddedTargetSize(int out, int crop)
{
    int size = int((double(out) / crop) * (crop + 2 * GrainImage::kScaleBorder));
    if ((size - out) % 2 != 0)
        size = out + 2 * ((size - out) / 2 + 1);
    return size;
}

// Scratch buffers kept per thread: a fresh pair for every map would fault in
// tens of megabytes of new pages each time. Large ones are freed after use.
thread_local cv::Mat t_padded;
thread_local cv::Mat t_resized;

std::size_t matBytes(const cv::Mat& mat)
{
    return mat.empty() ? 0 : mat.total() * mat.elemSize();
}

} // namespace

std::size_t GrainImage::scratchBytes()
{
    return matBytes(t_padded) + matBytes(t_resized);
}

int GrainImage::bytesPerPixelOf(std::uint32_t format)
{
    switch (format) {
    case RGB:
    case BGR:
        return 3;
    case BGRA:
    case RGBA:
    case BGRA2:
    case RGBA2:
        return 4;
    default:
        return 0;
    }
}

std::unique_ptr<GrainImage> GrainImage::create(std::uint32_t width, std::uint32_t height, int bytesPerPixel)
{
    std::unique_ptr<GrainImage> image(new (std::nothrow) GrainImage);
    if (!image || width == 0 || height == 0 || (bytesPerPixel != 3 && bytesPerPixel != 4))
        return image;
    const std::size_t bytes = std::size_t(width) * height * std::size_t(bytesPerPixel);
    image->m_pixels.reset(new (std::nothrow) std::uint8_t[bytes]());
    if (image->m_pixels) {
        image->m_width = width;
        image->m_height = height;
        image->m_bytesPerPixel = bytesPerPixel;
    }
    return image;
}

std::unique_ptr<GrainImage> GrainImage::fromQlif(const QByteArray& data, QString* error)
{
    if (data.size() < 16 || std::memcmp(data.constData(), kMagic, sizeof(kMagic)) != 0) {
        setError(error, kInvalidHeader);
        return nullptr;
    }
    const std::uint32_t format = qFromLittleEndian<quint32>(data.constData() + 4);
    const int bytesPerPixel = bytesPerPixelOf(format);
    if (bytesPerPixel == 0) {
        setError(error, kInvalidPixelFormat);
        return nullptr;
    }
    const std::uint32_t width = qFromLittleEndian<quint32>(data.constData() + 8);
    const std::uint32_t height = qFromLittleEndian<quint32>(data.constData() + 12);
    if (width == 0 || height == 0) {
        setError(error, kInvalidDimensions);
        return nullptr;
    }
    // 64-bit arithmetic: the product of two 32-bit sizes cannot wrap here.
    const std::uint64_t pixelBytes = std::uint64_t(width) * height * std::uint64_t(bytesPerPixel);
    if (std::uint64_t(data.size()) < kHeaderSize || std::uint64_t(data.size()) - kHeaderSize < pixelBytes) {
        qWarning().noquote() << "GrainImage: a" << width << "x" << height << "image needs" << pixelBytes
                             << "pixel bytes, the file holds"
                             << qMax<qint64>(0, qint64(data.size()) - qint64(kHeaderSize));
        setError(error, kConvertFailed);
        return nullptr;
    }

    std::unique_ptr<GrainImage> image = create(width, height, bytesPerPixel);
    if (!image || image->isNull()) {
        setError(error, kConvertFailed);
        return nullptr;
    }
    const auto* source = reinterpret_cast<const std::uint8_t*>(data.constData()) + kHeaderSize;
    std::uint8_t* target = image->m_pixels.get();
    std::memcpy(target, source, std::size_t(pixelBytes));
    // Blue-first formats swap their first and third bytes.
    if (format == BGR || format == BGRA || format == BGRA2) {
        for (std::uint64_t i = 0; i < pixelBytes; i += std::uint64_t(bytesPerPixel))
            std::swap(target[i], target[i + 2]);
    }
    return image;
}

std::unique_ptr<GrainImage> GrainImage::load(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "GrainImage: cannot open" << path << file.errorString();
        setError(error, kInvalidHeader);
        return nullptr;
    }
    return fromQlif(file.readAll(), error);
}

QByteArray GrainImage::encodeQlif(
    std::uint32_t format, std::uint32_t width, std::uint32_t height, const QByteArray& pixels)
{
    const int bytesPerPixel = bytesPerPixelOf(format);
    if (bytesPerPixel == 0
        || std::uint64_t(width) * height * std::uint64_t(bytesPerPixel) != std::uint64_t(pixels.size()))
        return QByteArray();
    QByteArray data(int(kHeaderSize), '\0');
    std::memcpy(data.data(), kMagic, sizeof(kMagic));
    qToLittleEndian<quint32>(format, data.data() + 4);
    qToLittleEndian<quint32>(width, data.data() + 8);
    qToLittleEndian<quint32>(height, data.data() + 12);
    data.append(pixels);
    return data;
}

bool GrainImage::writeQlif(
    const QString& path, std::uint32_t format, std::uint32_t width, std::uint32_t height, const QByteArray& pixels)
{
    const QByteArray data = encodeQlif(format, width, height, pixels);
    if (data.isEmpty())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        return false;
    return file.commit();
}

std::unique_ptr<GrainImage> GrainImage::scaleForGrain(
    const GrainImage& raw, std::uint32_t tw, std::uint32_t th, QString* error)
{
    const int rw = int(raw.width());
    const int rh = int(raw.height());
    if (raw.isNull() || rw <= 0 || rh <= 0 || tw == 0 || th == 0 || tw > INT32_MAX || th > INT32_MAX) {
        setError(error, kInvalidDimensions);
        return nullptr;
    }

    // A target larger than the raw image in both directions magnifies a
    // centred crop instead of stretching the whole grain field.
    const double sx = double(tw) / rw;
    const double sy = double(th) / rh;
    int cw = rw;
    int ch = rh;
    int outW = int(tw);
    int outH = int(th);
    if (sx > 1.0 && sy > 1.0) {
        cw = std::max(1, int(rw / sx));
        ch = std::max(1, int(rh / sy));
        outW = int(cw * sx);
        outH = int(ch * sy);
    }
    const int cropX = (rw - cw) / 2;
    const int cropY = (rh - ch) / 2;
    if (outW <= 0 || outH <= 0) {
        setError(error, kInvalidDimensions);
        return nullptr;
    }
    // A crop of a pixel or two would be blown up hundreds of times into a
    // huge, flat padded buffer: the raw image is too small for this target.
    if (cw < kMinimumCropSide || ch < kMinimumCropSide) {
        qWarning().noquote() << "GrainImage: a" << rw << "x" << rh << "grain image is too small to crop for a" << tw
                             << "x" << th << "map";
        setError(error, kInvalidDimensions);
        return nullptr;
    }

    const int border = kScaleBorder;
    const double paddedW = (double(outW) / cw) * (cw + 2 * border);
    const double paddedH = (double(outH) / ch) * (ch + 2 * border);
    if (paddedW + 2 > kMaxPaddedSide || paddedH + 2 > kMaxPaddedSide
        || (paddedW + 2) * (paddedH + 2) > double(kMaxPaddedPixels)) {
        qWarning().noquote() << "GrainImage: a" << outW << "x" << outH << "map would need a" << paddedW << "x"
                             << paddedH << "scratch picture, more than allowed";
        setError(error, kBufferAllocFailed);
        return nullptr;
    }
    const int dw = paddedTargetSize(outW, cw);
    const int dh = paddedTargetSize(outH, ch);
    const int offX = (dw - outW) / 2;
    const int offY = (dh - outH) / 2;

    std::unique_ptr<GrainImage> output = create(std::uint32_t(outW), std::uint32_t(outH), 4);
    if (!output || output->isNull()) {
        setError(error, kAllocFailed);
        return nullptr;
    }

    // The three channels go through one three-channel resize: Lanczos works on
    // every channel on its own, so this equals three single-channel passes.
    cv::Mat& padded = t_padded;
    cv::Mat& resized = t_resized;
    // Whatever way this returns, buffers above the kept size are freed.
    struct ScratchTrim
    {
        ~ScratchTrim()
        {
            if (scratchBytes() > kKeptScratchBytes) {
                t_padded.release();
                t_resized.release();
            }
        }
    } trim;
    try {
        padded.create(ch + 2 * border, cw + 2 * border, CV_8UC3);
    } catch (const cv::Exception& e) {
        qWarning().noquote() << "GrainImage:" << e.what();
        setError(error, kBufferAllocFailed);
        return nullptr;
    }

    // The crop in the middle, a border on every side wrapped around from the
    // opposite edge (the left border is the crop's last columns, and so on).
    const int bpp = raw.bytesPerPixel();
    const std::size_t rawStride = std::size_t(rw) * std::size_t(bpp);
    std::vector<int> columns(std::size_t(cw + 2 * border));
    for (int x = 0; x < cw + 2 * border; ++x)
        columns[std::size_t(x)] = cropX + ((x - border) % cw + cw) % cw;
    for (int y = 0; y < ch + 2 * border; ++y) {
        const int sourceY = cropY + ((y - border) % ch + ch) % ch;
        const std::uint8_t* row = raw.pixels() + std::size_t(sourceY) * rawStride;
        std::uint8_t* target = padded.ptr<std::uint8_t>(y);
        for (int x = 0; x < cw + 2 * border; ++x) {
            const std::uint8_t* pixel = row + std::size_t(columns[std::size_t(x)]) * std::size_t(bpp);
            target[3 * x] = pixel[0];
            target[3 * x + 1] = pixel[1];
            target[3 * x + 2] = pixel[2];
        }
    }

    try {
        cv::resize(padded, resized, cv::Size(dw, dh), 0, 0, cv::INTER_LANCZOS4);
    } catch (const cv::Exception& e) {
        qWarning().noquote() << "GrainImage:" << e.what();
        setError(error, kScaleFailed);
        return nullptr;
    }
    if (resized.cols != dw || resized.rows != dh || resized.type() != CV_8UC3) {
        setError(error, kScaleFailed);
        return nullptr;
    }

    std::uint8_t* out = output->pixels();
    for (int y = 0; y < outH; ++y) {
        const std::uint8_t* source = resized.ptr<std::uint8_t>(y + offY) + 3 * offX;
        std::uint8_t* target = out + std::size_t(y) * std::size_t(outW) * 4;
        for (int x = 0; x < outW; ++x) {
            target[4 * x] = source[3 * x];
            target[4 * x + 1] = source[3 * x + 1];
            target[4 * x + 2] = source[3 * x + 2];
            target[4 * x + 3] = 255;
        }
    }
    return output;
}

} // namespace Emulsa
