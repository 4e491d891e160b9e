#include "core/grade/FrameSeed.h"

#include <QFileInfo>

namespace Emulsa::FrameSeed {

namespace {

// A 64-bit finaliser with full avalanche: neighbouring frames and streams
// give unrelated values.
quint64 mix(quint64 z)
{
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

} // namespace

quint32 forClip(const QString& fileName)
{
    // FNV-1a over the UTF-8 bytes of the name.
    quint32 h = 2166136261u;
    for (const char c : QFileInfo(fileName).fileName().toUtf8()) {
        h ^= quint8(c);
        h *= 16777619u;
    }
    return h;
}

quint32 hash(quint32 clipSeed, qint64 frame, quint32 stream)
{
    const quint64 key = mix(quint64(clipSeed) << 32 | stream) ^ quint64(frame);
    return quint32(mix(key + 0x9e3779b97f4a7c15ULL) >> 32);
}

float unit(quint32 clipSeed, qint64 frame, quint32 stream)
{
    return float(hash(clipSeed, frame, stream) >> 8) * (1.0f / 16777216.0f);
}

} // namespace Emulsa::FrameSeed
