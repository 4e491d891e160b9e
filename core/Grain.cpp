#include "core/Grain.h"

#include <algorithm>

namespace Emulsa {

Grain::Grain(const GrainImage* raw, std::unique_ptr<GrainImage> scaled)
    : m_raw(raw)
    , m_scaled(std::move(scaled))
{
    if (!m_scaled || m_scaled->isNull() || m_scaled->bytesPerPixel() != 4) {
        m_scaled.reset();
        return;
    }
    m_width = m_scaled->width();
    m_height = m_scaled->height();
}

std::vector<float> Grain::normalised() const
{
    std::vector<float> values(std::size_t(m_width) * m_height * 3);
    if (m_scaled)
        normalise(m_scaled->pixels(), std::size_t(m_width) * m_height, values.data());
    return values;
}

void Grain::normalise(const std::uint8_t* rgba, std::size_t pixelCount, float* out)
{
    // Every stored map has its grain centred on 128; a fixed scale keeps the
    // strength a matter of the map's own grain and the stock's curve, never of
    // which pixels happen to come first.
    for (std::size_t i = 0; i < pixelCount; ++i) {
        for (int c = 0; c < 3; ++c)
            out[3 * i + c] = 0.5f + (float(rgba[4 * i + c]) - kNeutralLevel) / kLevelsPerUnit;
    }
}

} // namespace Emulsa
