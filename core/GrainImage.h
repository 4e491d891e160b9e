#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace Emulsa {

// An 8-bit grain image: a raw grain image read from a "QLIF" file, or a grain
// map scaled from one. Pixels are rows top to bottom, channels R, G, B (and A
// when there are four bytes per pixel), no row padding.
//
// "QLIF" file, little-endian:
//   offset 0     4 bytes  magic "QLIF"
//   offset 4     uint32   pixel format: 0 RGB, 1 BGR, 2 BGRA, 3 RGBA, 4 BGRA,
//                         5 RGBA (3 bytes per pixel for 0 and 1, else 4)
//   offset 8     uint32   width
//   offset 12    uint32   height
//   offset 16    1008 bytes unused (written as zeros)
//   offset 1024  width * height * bytes-per-pixel pixel bytes
// Loading reorders the pixels to R, G, B (A) and the image remembers format 0
// (three bytes) or 3 (four bytes).
class GrainImage
{
public:
    enum Format : std::uint32_t
    {
        RGB = 0,
        BGR = 1,
        BGRA = 2,
        RGBA = 3,
        BGRA2 = 4,
        RGBA2 = 5
    };
    static constexpr std::size_t kHeaderSize = 1024;
    // Border of wrapped pixels put around the image before it is resized, so
    // that the scaled map tiles seamlessly.
    static constexpr int kScaleBorder = 10;
    // Scaling refuses a crop narrower or lower than the Lanczos window (a
    // raw image too small for the magnification asked for) ...
    static constexpr int kMinimumCropSide = 8;
    // ... and a padded buffer larger than this on a side or in all.
    static constexpr int kMaxPaddedSide = 16384;
    static constexpr std::size_t kMaxPaddedPixels = std::size_t(1) << 27;
    // Scratch buffers up to this size stay with the thread for the next map;
    // larger ones are freed after use.
    static constexpr std::size_t kKeptScratchBytes = std::size_t(16) << 20;

    // Failure texts, also the grain library's last-error texts.
    static const char* const kInvalidHeader; // "Invalid header!"
    static const char* const kInvalidPixelFormat; // "Invalid pixel format!"
    static const char* const kConvertFailed; // "Failed to convert to RGB!"
    static const char* const kInvalidDimensions; // "Invalid dimensions in grain map!"
    static const char* const kAllocFailed; // "Memory alloc failed!"
    static const char* const kBufferAllocFailed; // "Failed to allocate memory for grain buffers!"
    static const char* const kScaleFailed; // "Failed to scale grain map!"

    // A zero-filled image; null (isNull()) when the size is 0 or the memory
    // cannot be had. bytesPerPixel is 3 (format RGB) or 4 (format RGBA).
    static std::unique_ptr<GrainImage> create(std::uint32_t width, std::uint32_t height, int bytesPerPixel);

    // Parses "QLIF" bytes. On failure returns none and sets *error to one of
    // the texts above (a file too short for its pixels counts as a failed
    // conversion).
    static std::unique_ptr<GrainImage> fromQlif(const QByteArray& data, QString* error);
    static std::unique_ptr<GrainImage> load(const QString& path, QString* error);

    // Writer side: "QLIF" bytes for pixels stored in `format` (0..5) as they
    // stand. Returns an empty array when the format is invalid or `pixels`
    // does not hold width * height * bytes-per-pixel bytes.
    static QByteArray encodeQlif(
        std::uint32_t format, std::uint32_t width, std::uint32_t height, const QByteArray& pixels);
    static bool writeQlif(
        const QString& path, std::uint32_t format, std::uint32_t width, std::uint32_t height, const QByteArray& pixels);
    static int bytesPerPixelOf(std::uint32_t format); // 3, 4, or 0 when invalid

    // Scales a raw grain image to a grain map of about tw x th, 4 bytes per
    // pixel (R, G, B, A = 255). When the target is larger than the image in
    // both directions a centred crop of size/scale is magnified instead, so
    // the map comes out about the raw size with larger grain. Each channel is
    // padded by a wrapped kScaleBorder-pixel border, resized with Lanczos
    // (8x8) interpolation, and its centre taken. On failure returns none and
    // sets *error: kInvalidDimensions for a crop below kMinimumCropSide,
    // kBufferAllocFailed for a padded buffer over the limits above.
    static std::unique_ptr<GrainImage> scaleForGrain(
        const GrainImage& raw, std::uint32_t tw, std::uint32_t th, QString* error);
    // Bytes of scaling scratch the calling thread keeps between maps.
    static std::size_t scratchBytes();

    bool isNull() const { return !m_pixels; }
    std::uint32_t width() const { return m_width; }
    std::uint32_t height() const { return m_height; }
    std::uint32_t format() const { return m_bytesPerPixel == 4 ? RGBA : RGB; }
    int bytesPerPixel() const { return m_bytesPerPixel; }
    std::size_t byteCount() const { return std::size_t(m_width) * m_height * m_bytesPerPixel; }
    const std::uint8_t* pixels() const { return m_pixels.get(); }
    std::uint8_t* pixels() { return m_pixels.get(); }

private:
    GrainImage() = default;

    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    int m_bytesPerPixel = 0;
    std::unique_ptr<std::uint8_t[]> m_pixels;
};

} // namespace Emulsa
