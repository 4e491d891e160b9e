#include "core/Grain.h"

#include <QMutexLocker>
#include <algorithm>
#include <new>

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
    m_textureData.reset(new (std::nothrow) float[std::size_t(m_width) * m_height * 3]);
}

bool Grain::prepare()
{
    if (isPrepared())
        return true;
    if (!isValid())
        return false;
    QMutexLocker lock(&m_prepareMutex);
    if (isPrepared())
        return true;
    normalise(m_scaled->pixels(), std::size_t(m_width) * m_height, m_textureData.get());
    m_prepared.store(true, std::memory_order_release);
    return true;
}

void Grain::normalise(const std::uint8_t* rgba, std::size_t pixelCount, float* out)
{
    // Only the first 1000 bytes (250 pixels) set the range.
    const std::size_t sampled = std::min<std::size_t>(pixelCount, 1000 / 4);
    int lo = 255;
    int hi = 0;
    for (std::size_t i = 0; i < sampled; ++i) {
        for (int c = 0; c < 3; ++c) {
            const int v = rgba[4 * i + c];
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    float gain = 1.0f;
    if (sampled == 0 || hi == lo)
        lo = 0;
    else
        gain = 255.0f / float(hi - lo);

    for (std::size_t i = 0; i < pixelCount; ++i) {
        for (int c = 0; c < 3; ++c)
            out[3 * i + c] = float(int(rgba[4 * i + c]) - lo) * gain / 255.0f;
    }
}

} // namespace Emulsa
