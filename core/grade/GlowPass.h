#pragma once

#include "core/grade/GLSupport.h"
#include "core/grade/Glow.h"

#include <QMatrix4x4>

#include <array>
#include <map>
#include <memory>
#include <vector>

namespace Emulsa {

// Halation and bloom on the GPU, before grading: each effect that is on
// reads the picture on texture unit 0 (RGB floats or the packed frame, as
// uploaded) and draws its level and the level's two blurs, at the level's
// reduced size, into framebuffers of its own. The grading program then takes
// the light from the picture and adds the blurred levels (composite()), so no
// full-size picture is drawn here. Bloom, after halation, takes its light from
// the picture halation makes. An effect that is off draws nothing. Programs
// and targets are made by the first frame with an effect on. GL thread only.
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

    // What unit 0 holds.
    enum Source
    {
        RgbSource = 0,
        PackedLimitedSource = 1,
        PackedFullSource = 2
    };

    // What the grading program needs of an effect that ran: its blurred
    // level (filtered, clamped to the edge), the light taken, and the scale
    // from picture pixels to the level's texture coordinates.
    struct Composite
    {
        GLuint level = 0;
        float threshold = 1.f;
        std::array<float, 3> strength { { 0.f, 0.f, 0.f } };
        std::array<float, 2> scale { { 0.f, 0.f } };
    };

    // The functions and the render target formats to try, in order.
    void setUp(QOpenGLFunctions_4_0_Core* gl, const std::vector<GLenum>& formats);

    // Runs the effects that are on, for a picture of `width` x `height` on
    // unit 0. Changes the framebuffer binding and viewport; unit 0 keeps the
    // picture. False (logged once) when a program or a target cannot be made.
    bool run(const GlowParams (&effects)[EffectCount], Source source, unsigned int width, unsigned int height,
        const QMatrix4x4& matrix);
    // The effect's part in the grading pass since the last run() (level 0
    // when it did not run).
    const Composite& composite(Effect effect) const { return m_composites[effect]; }
    // No effect ran for the next grading pass.
    void forget()
    {
        for (Composite& composite : m_composites)
            composite = Composite();
    }

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

    // The level program's uniforms, or the blur program's (level, direction, weights).
    struct Locations
    {
        int threshold = -1;
        int strength = -1;
        int mix = -1;
        int earlierThreshold = -1;
        int earlierStrength = -1;
        int earlierScale = -1;
        int direction = -1;
        int weights = -1;
    };

    struct Program
    {
        std::unique_ptr<GLSupport::PassProgram> pass;
        Locations at;
    };

    enum Step
    {
        LevelStep,
        BlurStep
    };

    // The level program for a source, block factor and earlier glow, or the
    // blur program for a radius; built on first use, null when it cannot be.
    Program* levelProgram(Source source, int factor, bool earlier);
    Program* blurProgram(int radius);
    Program* program(int key, const QByteArray& defines, Step step, bool earlier);
    bool size(Target& target, int width, int height, GLenum filter);
    void draw(Target& target);
    bool runEffect(const GlowParams& params, Source source, const QMatrix4x4& matrix, Target (&targets)[2],
        const Composite* earlier, Composite* composite);

    QOpenGLFunctions_4_0_Core* m_gl = nullptr;
    std::vector<GLenum> m_formats;
    // The programs built, by their sizes and source.
    std::map<int, Program> m_programs;
    bool m_failed = false;
    GLenum m_format = 0;
    int m_runs = 0;
    // Per effect: the level (blurred in the end), the level blurred across.
    Target m_targets[EffectCount][2];
    Composite m_composites[EffectCount];
};

} // namespace Emulsa
