#pragma once

#include "core/grade/GLSupport.h"
#include "core/grade/Glow.h"

#include <QMatrix4x4>

#include <vector>

namespace Emulsa {

// Halation and bloom on the GPU, before grading: each effect that is on reads
// what texture unit 0 holds (the linear picture, or the previous effect's
// result) and draws four steps (the level, its two blurs, the picture with
// the glow) into framebuffers of its own; unit 0 then holds the result. An
// effect that is off draws nothing. The program and the targets are made by
// the first frame with an effect on. GL thread only.
class GlowPass
{
public:
    enum Effect
    {
        Halation = 0,
        Bloom = 1,
        EffectCount = 2
    };

    GlowPass() = default;
    GlowPass(const GlowPass&) = delete;
    GlowPass& operator=(const GlowPass&) = delete;

    // The functions and the render target formats to try, in order.
    void setUp(QOpenGLFunctions_4_0_Core* gl, const std::vector<GLenum>& formats);

    // Runs the effects that are on, for a picture of `width` x `height` on
    // unit 0. Changes the framebuffer binding and viewport. False (logged once)
    // when the program or a target cannot be made; unit 0 is then unchanged.
    bool run(
        const GlowParams (&effects)[EffectCount], unsigned int width, unsigned int height, const QMatrix4x4& matrix);

    // How many effect runs were drawn (for tests: an effect that is off costs none).
    int runs() const { return m_runs; }
    GLenum format() const { return m_format; }

    void destroy();

private:
    struct Target
    {
        GLuint texture = 0;
        GLuint fbo = 0;
        int width = 0;
        int height = 0;
    };

    bool build();
    bool size(Target& target, int width, int height);
    void draw(Target& target, int step);
    void runEffect(const GlowParams& params, Target (&targets)[3]);

    QOpenGLFunctions_4_0_Core* m_gl = nullptr;
    std::vector<GLenum> m_formats;
    GLSupport::PassProgram m_pass { { "inVertexPos", "inTextCoordinate", "uniMatrix" } };
    bool m_built = false;
    bool m_failed = false;
    GLenum m_format = 0;
    int m_runs = 0;
    struct
    {
        int picture = -1;
        int level = -1;
        int step = -1;
        int factor = -1;
        int radius = -1;
        int threshold = -1;
        int strength = -1;
        int mix = -1;
        int weights = -1;
    } m_at;
    // Per effect: the level, the level blurred across, the result.
    Target m_targets[EffectCount][3];
};

} // namespace Emulsa
