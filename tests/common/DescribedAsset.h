#pragma once

#include "media/clip/AssetMetadata.h"

namespace Emulsa::Test {

// Fills the stream part of a record as the reader leaves it for a
// width x height picture of two bytes a pixel at 30000/1001 fps, full range,
// with 16-bit stereo sound at 48 kHz in 21.25 ms packets. Identity, validity,
// length and bit rate are the caller's.
inline void describeStream(AssetMetadata& m, quint32 width, quint32 height)
{
    m.stride = width * 2;
    m.width = width;
    m.height = height;
    m.bytesPerTexel = 4;
    m.frameRateNum = 30000;
    m.frameRateDen = 1001;
    m.frameBytes = m.stride * height;
    m.colorRange = 2;
    m.hasAudio = true;
    m.audioSampleMs = 21.25f;
    m.sampleRate = 48000;
    m.channels = 2;
    m.bitsPerSample = 16;
}

} // namespace Emulsa::Test
