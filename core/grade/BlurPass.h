#pragma once

#include "core/grade/GLSupport.h"

#include <QMatrix4x4>

#include <array>
#include <vector>

namespace Emulsa {

// The blur before grading, for the small film gauges: a separable 9-tap
// Gaussian drawn horizontally into texture A, then vertically into texture B,
// each on its own framebuffer so that no step draws into a framebuffer holding
// the texture it samples. The processor runs it twice per grading pass; unit
// 0 then holds the blurred frame. GL thread only, except the pure helpers.
class BlurPass
{
public:
    // Tap offsets in pixels: with bilinear sampling each pair covers two texels.
    static constexpr float kOffsets[2] = { 1.3846154f, 3.2307692f };

    BlurPass() = default;
    BlurPass(const BlurPass&) = delete;
    BlurPass& operator=(const BlurPass&) = delete;

    void setFunctions(QOpenGLFunctions_4_0_Core* gl) { m_gl = gl; }

    // The set-up steps. The textures are of the source size.
    bool build();
    bool resolveLocations();
    bool buildVertexArray();
    bool resolveSubroutines();
    bool createTextures(unsigned int sourceWidth, unsigned int sourceHeight);
    // The first of `formats` both targets can render into; false (logged)
    // when none.
    bool createFramebuffers(const std::vector<GLenum>& formats);

    // One horizontal and one vertical draw reading what unit 0 holds; unit 0
    // then holds the result. Changes the framebuffer binding and viewport.
    void run(const std::array<float, 3>& weights, const QMatrix4x4& matrix);

    GLenum format() const { return m_format; }
    // Whether the targets hold their source-sized storage: only once a frame
    // was blurred (at set-up they are 2 x 2, to choose the format).
    bool storageAllocated() const { return m_storageAllocated; }

    void destroy();

    // Blur amount for a grain scale (compared exactly with the gauges'
    // single-precision factors); other values keep `previous`.
    static float amountForScale(double scale, float previous);
    // Normalised 9-tap weights (w0, w1, w2) for an output width and amount.
    static std::array<float, 3> weightsFor(unsigned int outputWidth, float amount);

private:
    void allocateStorage();

    QOpenGLFunctions_4_0_Core* m_gl = nullptr;
    GLSupport::PassProgram m_pass { { "inVertexPos", "inTextCoordinate", "uniMatrix" } };
    int m_videoFrame = -1;
    int m_blurOffset = -1;
    int m_blurWeight = -1;
    // By direction (horizontal, vertical).
    GLuint m_indices[2] = { 0, 0 };
    GLint m_subroutineCount = 0;
    // Texture A on framebuffer A, texture B on framebuffer B.
    GLuint m_textures[2] = { 0, 0 };
    GLuint m_fbos[2] = { 0, 0 };
    GLenum m_format = 0;
    bool m_storageAllocated = false;
    unsigned int m_width = 0;
    unsigned int m_height = 0;
};

} // namespace Emulsa
