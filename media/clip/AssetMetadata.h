#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

#include <atomic>

class QDataStream;
class QDebug;
class QImage;

namespace Emulsa {

// Description of one media file. The metadata manager makes and owns every
// record; everybody else holds plain pointers to it.
class AssetMetadata
{
public:
    static constexpr quint32 unset = 0xFFFFFFFFu;

    AssetMetadata() = default;
    // Copies every field except the thumbnail (the copy has none); a 1920 x 1088
    // picture is recorded as 1920 x 1080 and frameBytes is recomputed.
    AssetMetadata(const AssetMetadata& other);
    AssetMetadata& operator=(const AssetMetadata& other);
    ~AssetMetadata();

    // frameBytes for the current stride and height: stride x height, or
    // `unset` when the stride is unknown or the product does not fit.
    quint32 computeFrameBytes() const;

    // The height to store for a picture of the given size (1088 rows of a
    // 1920-wide picture are 8 rows of coding padding).
    static quint32 storedHeight(quint32 width, quint32 height);

    // Registers the type and its stream operators under "AssetMetadata" and
    // "Emulsa::AssetMetadata".
    static void registerMetaType();

    QByteArray id;
    bool valid = true;
    QImage* thumbnail = nullptr;
    // Written by the reader threads and read by the views and the manager:
    // `ready` is set last, after the description, and publishes it.
    std::atomic<bool> queued { false };
    QString name;
    QString filePath;
    QString lastModified;
    quint32 durationMs = unset;
    std::atomic<bool> ready { false };
    quint32 stride = unset;
    quint32 width = 0;
    quint32 height = 0;
    quint32 bytesPerTexel = 4;
    quint32 frameCount = 0;
    quint32 frameRateNum = 0;
    quint32 frameRateDen = 1;
    quint32 frameBytes = unset;
    quint32 bitRate = unset;
    quint32 colorRange = 1;
    // Bits of each picture component as the source codes it (8, 10, 12...).
    // Filled by the reader when it opens the file; not stored.
    quint32 bitsPerComponent = 8;
    bool hasAudio = false;
    float audioSampleMs = -1.0f;
    quint32 audioFrameCount = 0;
    quint32 sampleRate = unset;
    quint32 channels = unset;
    quint32 bitsPerSample = unset;

    // Copies what describing the file found (validity, geometry, timing,
    // sound), not its identity, thumbnail or queue state. The height follows
    // the 1088-as-1080 rule.
    void copyDescriptionFrom(const AssetMetadata& other);

private:
    void copyFrom(const AssetMetadata& other);
};

QDataStream& operator<<(QDataStream& out, const AssetMetadata& metadata);
// Reads a stored record. On a stream error the record is left unchanged.
QDataStream& operator>>(QDataStream& in, AssetMetadata& metadata);
QDebug operator<<(QDebug debug, const AssetMetadata& metadata);

} // namespace Emulsa

Q_DECLARE_METATYPE(Emulsa::AssetMetadata)
