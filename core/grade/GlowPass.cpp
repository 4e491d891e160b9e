#include "core/grade/GlowPass.h"

#include <QDebug>
#include <QOpenGLShaderProgram>

namespace Emulsa {

namespace {

// Every step addresses texels by the fragment's position: the coordinates
// only keep the vertex array's layout.
const float kTextureCoordinates[12] = { 0.f, 0.f, 0.f, 1.f, 1.f, 1.f, 0.f, 0.f, 1.f, 1.f, 1.f, 0.f };

enum Step
{
    LevelStep = 0,
    AcrossStep = 1,
    DownStep = 2,
    ResultStep = 3
};

} // namespace

void GlowPass::setUp(QOpenGLFunctions_4_0_Core* gl, const std::vector<GLenum>& formats)
{
    m_gl = gl;
    m_formats = formats;
}

bool GlowPass::build()
{
    using GLSupport::resolveUniform;
    if (!m_pass.build("Glow", QStringLiteral(":/quad.v.glsl"), QStringLiteral(":/glow.f.glsl"))
        || !m_pass.resolveLocations() || !m_pass.buildVertexArray(m_gl, kTextureCoordinates, true))
        return false;
    QOpenGLShaderProgram* p = m_pass.program();
    const bool resolved = resolveUniform(p, "uniPicture", &m_at.picture) && resolveUniform(p, "uniLevel", &m_at.level)
        && resolveUniform(p, "uniStep", &m_at.step) && resolveUniform(p, "uniFactor", &m_at.factor)
        && resolveUniform(p, "uniRadius", &m_at.radius) && resolveUniform(p, "uniThreshold", &m_at.threshold)
        && resolveUniform(p, "uniStrength", &m_at.strength) && resolveUniform(p, "uniMix", &m_at.mix)
        && resolveUniform(p, "uniWeights", &m_at.weights);
    if (!resolved)
        return false;
    p->bind();
    p->setUniformValue(m_at.picture, 0);
    p->setUniformValue(m_at.level, 1);
    p->release();
    return true;
}

bool GlowPass::size(Target& target, int width, int height)
{
    if (target.texture != 0 && target.width == width && target.height == height)
        return true;
    if (target.texture == 0) {
        m_gl->glGenTextures(1, &target.texture);
        m_gl->glGenFramebuffers(1, &target.fbo);
        if (target.texture == 0 || target.fbo == 0)
            return false;
        m_gl->glBindTexture(GL_TEXTURE_2D, target.texture);
        // The result is sampled by the grading pass, filtered; the levels
        // are read texel by texel.
        const GLint filter = &target == &m_targets[0][2] || &target == &m_targets[1][2] ? GL_LINEAR : GL_NEAREST;
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    }
    const std::vector<GLenum> formats = m_format ? std::vector<GLenum> { m_format } : m_formats;
    const GLenum format = GLSupport::attachRenderableTexture(m_gl, formats, target.fbo, target.texture, width, height);
    if (format == 0) {
        qWarning().noquote() << "ShaderProcessor: Glow FBO isn't complete";
        return false;
    }
    m_format = format;
    target.width = width;
    target.height = height;
    return true;
}

void GlowPass::draw(Target& target, int step)
{
    m_gl->glBindFramebuffer(GL_FRAMEBUFFER, target.fbo);
    m_gl->glDrawBuffer(GL_COLOR_ATTACHMENT0);
    m_gl->glViewport(0, 0, target.width, target.height);
    m_gl->glUniform1i(m_at.step, step);
    m_gl->glDrawArrays(GL_TRIANGLES, 0, 6);
}

void GlowPass::runEffect(const GlowParams& params, Target (&targets)[3])
{
    const int factor = Glow::factorFor(params);
    int radius = 0;
    const auto weights = Glow::weights(params, factor, &radius);
    m_gl->glUniform1i(m_at.factor, factor);
    m_gl->glUniform1i(m_at.radius, radius);
    m_gl->glUniform1f(m_at.threshold, params.threshold);
    m_gl->glUniform3f(m_at.strength, params.strength[0], params.strength[1], params.strength[2]);
    // Row-major: transposed on upload.
    m_gl->glUniformMatrix3fv(m_at.mix, 1, GL_TRUE, params.mix[0].data());
    m_gl->glUniform3fv(m_at.weights, Glow::MaxRadius + 1, weights[0].data());

    // Unit 1 holds the level being read; nothing while the level is drawn.
    m_gl->glActiveTexture(GL_TEXTURE1);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
    draw(targets[0], LevelStep);
    m_gl->glBindTexture(GL_TEXTURE_2D, targets[0].texture);
    draw(targets[1], AcrossStep);
    m_gl->glBindTexture(GL_TEXTURE_2D, targets[1].texture);
    draw(targets[0], DownStep);
    m_gl->glBindTexture(GL_TEXTURE_2D, targets[0].texture);
    draw(targets[2], ResultStep);
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, targets[2].texture);
    ++m_runs;
}

bool GlowPass::run(
    const GlowParams (&effects)[EffectCount], unsigned int width, unsigned int height, const QMatrix4x4& matrix)
{
    if (m_failed)
        return false;
    // Unit 0 holds the picture; unit 1 is given back as it was.
    GLint picture = 0;
    GLint unit1 = 0;
    m_gl->glActiveTexture(GL_TEXTURE1);
    m_gl->glGetIntegerv(GL_TEXTURE_BINDING_2D, &unit1);
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glGetIntegerv(GL_TEXTURE_BINDING_2D, &picture);

    bool ready = m_built || (m_built = build());
    for (int e = 0; ready && e < EffectCount; ++e) {
        if (effects[e].isOff())
            continue;
        const int factor = Glow::factorFor(effects[e]);
        const int lw = Glow::levelSize(int(width), factor);
        const int lh = Glow::levelSize(int(height), factor);
        // Sized with unit 1 active, so that unit 0 keeps the picture.
        m_gl->glActiveTexture(GL_TEXTURE1);
        ready = size(m_targets[e][0], lw, lh) && size(m_targets[e][1], lw, lh)
            && size(m_targets[e][2], int(width), int(height));
    }
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, GLuint(picture));
    if (!ready) {
        m_failed = true;
        qWarning().noquote() << "ShaderProcessor: no halation or bloom: the glow pass could not be made";
        m_gl->glActiveTexture(GL_TEXTURE1);
        m_gl->glBindTexture(GL_TEXTURE_2D, GLuint(unit1));
        m_gl->glActiveTexture(GL_TEXTURE0);
        return false;
    }

    m_pass.bind(matrix);
    for (int e = 0; e < EffectCount; ++e) {
        if (!effects[e].isOff())
            runEffect(effects[e], m_targets[e]);
    }
    m_pass.release();
    m_gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
    m_gl->glActiveTexture(GL_TEXTURE1);
    m_gl->glBindTexture(GL_TEXTURE_2D, GLuint(unit1));
    m_gl->glActiveTexture(GL_TEXTURE0);
    return true;
}

void GlowPass::destroy()
{
    if (!m_gl)
        return;
    if (m_built)
        m_pass.destroy();
    m_built = false;
    for (auto& effect : m_targets)
        for (Target& target : effect) {
            GLSupport::deleteFramebuffer(m_gl, &target.fbo);
            if (target.texture)
                m_gl->glDeleteTextures(1, &target.texture);
            target = Target();
        }
}

} // namespace Emulsa
