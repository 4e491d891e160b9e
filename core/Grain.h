#pragma once

#include "core/GrainCurve.h"
#include "core/GrainImage.h"

#include <QMutex>
#include <atomic>
#include <cstdint>
#include <memory>

namespace Emulsa {

// One scaled grain map, owned by GrainLibrary and shared by every processor
// that asks for the same type and size; it lives until exit.
//
// textureData(): width * height * 3 floats, rows top to bottom, (R, G, B) per
// pixel, for a rectangle texture: glTexImage2D(GL_TEXTURE_RECTANGLE, 0,
// GL_RGB32F, width, height, 0, GL_RGB, GL_FLOAT, textureData()). Values are
// 0.5 + (byte - kNeutralLevel) / kLevelsPerUnit: the same scale for every map
// and gauge, so the grain's strength follows the map and the stock's curve
// alone. The shader treats 0.5 as no grain.
class Grain
{
public:
    // Takes the scaled map; `raw` stays owned by the library's raw cache.
    // Allocates the texture-data buffer; isValid() is false when it could not.
    Grain(const GrainImage* raw, std::unique_ptr<GrainImage> scaled);

    bool isValid() const { return m_scaled && m_textureData; }
    std::uint32_t width() const { return m_width; }
    std::uint32_t height() const { return m_height; }
    const GrainImage* raw() const { return m_raw; }
    const GrainImage* scaled() const { return m_scaled.get(); }

    // Builds the texture data the first time (thread-safe; later calls return
    // at once). Returns false only for an invalid grain.
    bool prepare();
    bool isPrepared() const { return m_prepared.load(std::memory_order_acquire); }
    // Null until prepare() has run.
    const float* textureData() const { return isPrepared() ? m_textureData.get() : nullptr; }

    // The curve of the stock most recently requested with this grain. Grain
    // objects are shared; a caller that must not see another caller's stock
    // takes the curve from GrainLibrary::getGrainCurve instead.
    const GrainCurve* curve() const { return m_curve.load(std::memory_order_acquire); }
    void setCurve(const GrainCurve* curve) { m_curve.store(curve, std::memory_order_release); }

    // The byte level of "no grain" in the stored maps, and the levels that make
    // one unit of texture value (the stored maps' standard deviation of 28
    // levels becomes 0.25).
    static constexpr float kNeutralLevel = 128.0f;
    static constexpr float kLevelsPerUnit = 112.0f;

    // Normalises 4-byte-per-pixel map bytes into `out` (pixelCount * 3 floats):
    // value = 0.5 + (v - kNeutralLevel) / kLevelsPerUnit.
    static void normalise(const std::uint8_t* rgba, std::size_t pixelCount, float* out);

private:
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    const GrainImage* m_raw = nullptr;
    std::unique_ptr<GrainImage> m_scaled;
    std::unique_ptr<float[]> m_textureData;
    std::atomic<bool> m_prepared { false };
    std::atomic<const GrainCurve*> m_curve { nullptr };
    QMutex m_prepareMutex;
};

} // namespace Emulsa
