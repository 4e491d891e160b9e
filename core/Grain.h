#pragma once

#include "core/GrainCurve.h"
#include "core/GrainImage.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace Emulsa {

// One scaled grain map, owned by GrainLibrary and shared by every processor
// that asks for the same type and size; it lives until exit.
//
// textureBytes(): width * height RGBA bytes, rows top to bottom, uploaded as
// they are: glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, width, height, 0,
// GL_RGBA, GL_UNSIGNED_BYTE, textureBytes()); alpha is never read. A byte
// stands for 0.5 + (byte - kNeutralLevel) / kLevelsPerUnit (normalised()):
// the same scale for every map and gauge, so the grain's strength follows
// the map and the stock's curve alone; 0.5 is no grain. The grading program
// applies that scale itself, so no float copy of the map is kept.
class Grain
{
public:
    // Takes the scaled map; `raw` stays owned by the library's raw cache.
    // isValid() is false unless the map has four bytes a pixel.
    Grain(const GrainImage* raw, std::unique_ptr<GrainImage> scaled);

    bool isValid() const { return m_scaled != nullptr; }
    std::uint32_t width() const { return m_width; }
    std::uint32_t height() const { return m_height; }
    const GrainImage* raw() const { return m_raw; }
    const GrainImage* scaled() const { return m_scaled.get(); }

    // Null for an invalid grain.
    const std::uint8_t* textureBytes() const { return m_scaled ? m_scaled->pixels() : nullptr; }
    // The map as the grading program reads it: width * height * 3 floats, (R,
    // G, B) per pixel. Built on each call, for reference grading and analysis.
    std::vector<float> normalised() const;

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
    std::atomic<const GrainCurve*> m_curve { nullptr };
};

} // namespace Emulsa
