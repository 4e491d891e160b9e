#pragma once

#include <QMutex>
#include <QtGlobal>

#include <memory>

class QImage;

namespace Emulsa {

class AssetMetadata;

// One decoded picture: packed YUY2 for grading, or 32-bit BGRA for thumbnails.
// A deep frame (bitsPerSample 16) packs the YUY2 order in little-endian 16-bit
// samples, 8 bytes per pixel pair. The buffer is touched only under `mutex`.
// Whoever receives a frame owns it.
class Frame
{
public:
    explicit Frame(AssetMetadata* metadata);
    ~Frame();

    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    // Releases a previous buffer (under the lock) and allocates height x stride
    // bytes (this frame's stride, or the metadata's when it is 0). Returns null
    // without metadata or when the byte count is 0 or does not fit a signed
    // 32-bit number. The bytes are not initialised. Does not take the lock
    // when `data` is null, so a producer holding the lock may call it on a new
    // frame.
    uchar* allocFrameData();

    // Bytes per row in effect for this frame.
    quint32 effectiveStride() const;

    // A copy of the picture as a new RGB32 image, read under the lock; null
    // without metadata or buffer. Meant for thumbnail frames.
    QImage* toImage();

    // Makes the frame own the given record (thumbnail frames carry a private
    // copy of the clip's record); it becomes `metadata` and is deleted with
    // the frame.
    void adoptMetadata(AssetMetadata* ownedMetadata);

    uchar* data = nullptr;
    QMutex mutex;
    qint64 timestamp = -1;
    qint32 index = 0;
    AssetMetadata* metadata = nullptr;
    qint64 duration = 0;
    quint32 stride = 0;
    // Bits of each packed sample: 8, or 16 for a deep frame.
    int bitsPerSample = 8;

private:
    std::unique_ptr<AssetMetadata> m_ownedMetadata;
};

} // namespace Emulsa
