#include "media/clip/AssetMetadata.h"

#include <QDataStream>
#include <QDebug>
#include <QImage>

namespace Emulsa {

AssetMetadata::AssetMetadata(const AssetMetadata& other)
{
    copyFrom(other);
}

AssetMetadata& AssetMetadata::operator=(const AssetMetadata& other)
{
    if (this != &other) {
        delete thumbnail;
        thumbnail = nullptr;
        copyFrom(other);
    }
    return *this;
}

AssetMetadata::~AssetMetadata()
{
    delete thumbnail;
}

void AssetMetadata::copyFrom(const AssetMetadata& other)
{
    id = other.id;
    thumbnail = nullptr;
    queued = other.queued.load();
    name = other.name;
    filePath = other.filePath;
    lastModified = other.lastModified;
    ready = other.ready.load();
    copyDescriptionFrom(other);
    frameBytes = computeFrameBytes();
}

void AssetMetadata::copyDescriptionFrom(const AssetMetadata& other)
{
    valid = other.valid;
    durationMs = other.durationMs;
    stride = other.stride;
    width = other.width;
    height = storedHeight(other.width, other.height);
    bytesPerTexel = other.bytesPerTexel;
    frameCount = other.frameCount;
    frameRateNum = other.frameRateNum;
    frameRateDen = other.frameRateDen;
    bitRate = other.bitRate;
    colorRange = other.colorRange;
    bitsPerComponent = other.bitsPerComponent;
    hasAudio = other.hasAudio;
    audioSampleMs = other.audioSampleMs;
    audioFrameCount = other.audioFrameCount;
    sampleRate = other.sampleRate;
    channels = other.channels;
    bitsPerSample = other.bitsPerSample;
}

quint32 AssetMetadata::computeFrameBytes() const
{
    if (stride == unset)
        return unset;
    const quint64 bytes = quint64(stride) * quint64(height);
    return bytes >= unset ? unset : quint32(bytes);
}

quint32 AssetMetadata::storedHeight(quint32 width, quint32 height)
{
    return (width == 1920 && height == 1088) ? 1080 : height;
}

void AssetMetadata::registerMetaType()
{
    qRegisterMetaType<AssetMetadata>("AssetMetadata");
    qRegisterMetaType<AssetMetadata>("Emulsa::AssetMetadata");
    qRegisterMetaTypeStreamOperators<AssetMetadata>("AssetMetadata");
    qRegisterMetaTypeStreamOperators<AssetMetadata>("Emulsa::AssetMetadata");
}

QDataStream& operator<<(QDataStream& out, const AssetMetadata& m)
{
    out << m.name << m.filePath << m.id;
    out << m.frameCount << m.frameRateNum << m.frameRateDen;
    out << m.lastModified;
    out << m.durationMs;
    out << m.stride << m.width << m.height << m.bytesPerTexel;
    out << m.frameBytes << m.bitRate << m.colorRange;
    out << m.hasAudio;
    out << m.audioSampleMs;
    out << m.audioFrameCount << m.sampleRate << m.channels << m.bitsPerSample;
    out << m.valid;
    return out;
}

QDataStream& operator>>(QDataStream& in, AssetMetadata& m)
{
    // Read into a scratch record so that a short or damaged stream never
    // leaves a half-read record behind.
    AssetMetadata r;
    in >> r.name >> r.filePath >> r.id;
    in >> r.frameCount >> r.frameRateNum >> r.frameRateDen;
    in >> r.lastModified;
    in >> r.durationMs;
    in >> r.stride >> r.width >> r.height >> r.bytesPerTexel;
    in >> r.frameBytes >> r.bitRate >> r.colorRange;
    in >> r.hasAudio;
    in >> r.audioSampleMs;
    in >> r.audioFrameCount >> r.sampleRate >> r.channels >> r.bitsPerSample;
    in >> r.valid;
    if (in.status() != QDataStream::Ok)
        return in;

    m.name = r.name;
    m.filePath = r.filePath;
    m.id = r.id;
    m.frameCount = r.frameCount;
    m.frameRateNum = r.frameRateNum;
    m.frameRateDen = r.frameRateDen;
    m.lastModified = r.lastModified;
    m.durationMs = r.durationMs;
    m.stride = r.stride;
    m.width = r.width;
    m.height = r.height;
    m.bytesPerTexel = r.bytesPerTexel;
    m.frameBytes = r.frameBytes;
    m.bitRate = r.bitRate;
    m.colorRange = r.colorRange;
    m.hasAudio = r.hasAudio;
    m.audioSampleMs = r.audioSampleMs;
    m.audioFrameCount = r.audioFrameCount;
    m.sampleRate = r.sampleRate;
    m.channels = r.channels;
    m.bitsPerSample = r.bitsPerSample;
    m.valid = r.valid;
    return in;
}

QDebug operator<<(QDebug debug, const AssetMetadata& m)
{
    const QDebugStateSaver saver(debug);
    const double fps = m.frameRateDen ? double(m.frameRateNum) / double(m.frameRateDen) : 0.0;
    debug.noquote().nospace() << "\nMetadata for clip named: " << m.name << "\n\t\t\t\t   path: " << m.filePath
                              << "\n\t\t\t\t\t ID: " << QString::fromLatin1(m.id.toHex())
                              << "\n\t\t\t\t frames: " << m.frameCount << "\n\t\t\t\t    fps: " << fps;
    return debug;
}

} // namespace Emulsa
