#pragma once

#include <QByteArray>
#include <cstddef>
#include <memory>

namespace Emulsa {

// The grain response of one stock: 256 entries of (R, G, B) floats, entry i
// at values[3 * i]. The grading shader reads it as a 1D array texture, R32F,
// one layer per channel.
struct GrainCurve
{
    static constexpr int kEntries = 256;
    static constexpr std::size_t kFloats = kEntries * 3;
    static constexpr std::size_t kBytes = kFloats * sizeof(float); // 3,072

    float values[kFloats];

    // The curve in the first kBytes little-endian bytes; none when `data` is
    // shorter.
    static std::unique_ptr<GrainCurve> fromBytes(const QByteArray& data);
};

} // namespace Emulsa
