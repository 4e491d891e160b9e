#include "core/grade/BlurPass.h"

#include <QDebug>
#include <QOpenGLShaderProgram>

#include <cmath>

namespace Emulsa {

namespace {

// The blur puts texture row 0 at the top: each draw flips the picture.
const float kTextureCoordinates[12] = { 0.f, 1.f, 0.f, 0.f, 1.f, 0.f, 0.f, 1.f, 1.f, 0.f, 1.f, 1.f };

const char* const kDirectionNames[2] = { "horizontalBlur", "verticalBlur" };

} // namespace

bool BlurPass::build()
{
    return m_pass.build("Blur", QStringLiteral(":/quad.v.glsl"), QStringLiteral(":/blur.f.glsl"));
}

bool BlurPass::resolveLocations()
{
    using GLSupport::resolveUniform;
    QOpenGLShaderProgram* p = m_pass.program();
    const bool resolved = m_pass.resolveLocations() && resolveUniform(p, "uniVideoFrame", &m_videoFrame)
        && resolveUniform(p, "uniBlurOffset", &m_blurOffset) && resolveUniform(p, "uniBlurWeight", &m_blurWeight);
    if (!resolved)
        return false;
    p->bind();
    p->setUniformValue(m_videoFrame, 0);
    p->release();
    return true;
}

bool BlurPass::buildVertexArray()
{
    return m_pass.buildVertexArray(m_gl, kTextureCoordinates, true);
}

bool BlurPass::resolveSubroutines()
{
    return GLSupport::resolveSubroutines(
        m_gl, m_pass.program()->programId(), kDirectionNames, 2, "applyBlur", m_indices, &m_subroutineCount);
}

bool BlurPass::createTextures(unsigned int sourceWidth, unsigned int sourceHeight)
{
    m_width = sourceWidth;
    m_height = sourceHeight;
    m_gl->glGetError();
    m_gl->glGenTextures(2, m_textures);
    for (GLuint texture : m_textures) {
        if (texture == 0)
            return false;
        m_gl->glBindTexture(GL_TEXTURE_2D, texture);
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    }
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
    return m_gl->glGetError() == GL_NO_ERROR;
}

bool BlurPass::createFramebuffers(const std::vector<GLenum>& formats)
{
    m_gl->glGenFramebuffers(2, m_fbos);
    if (m_fbos[0] == 0 || m_fbos[1] == 0)
        return false;
    // The format is chosen on small targets; the source-sized storage (two
    // float pictures) is made by the first frame that is blurred.
    m_format = GLSupport::attachRenderableTexture(m_gl, formats, m_fbos[0], m_textures[0], 2, 2);
    const GLenum second = GLSupport::attachRenderableTexture(m_gl, formats, m_fbos[1], m_textures[1], 2, 2);
    m_storageAllocated = false;
    if (m_format == 0 || second != m_format) {
        qWarning().noquote() << "ShaderProcessor: Blur FBO aren't complete";
        return false;
    }
    return true;
}

void BlurPass::allocateStorage()
{
    // Unit 0 holds the frame the first blur step reads: keep its binding.
    GLint bound = 0;
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    for (GLuint texture : m_textures) {
        m_gl->glBindTexture(GL_TEXTURE_2D, texture);
        m_gl->glTexImage2D(
            GL_TEXTURE_2D, 0, GLint(m_format), GLsizei(m_width), GLsizei(m_height), 0, GL_RGBA, GL_FLOAT, nullptr);
    }
    m_gl->glBindTexture(GL_TEXTURE_2D, GLuint(bound));
    m_storageAllocated = true;
}

void BlurPass::run(const std::array<float, 3>& weights, const QMatrix4x4& matrix)
{
    if (!m_storageAllocated)
        allocateStorage();
    // Horizontal into A reading unit 0 (the frame, or B on the second call),
    // then vertical into B reading A.
    m_pass.bind(matrix);
    m_gl->glViewport(0, 0, GLsizei(m_width), GLsizei(m_height));
    for (int direction = 0; direction < 2; ++direction) {
        m_gl->glBindFramebuffer(GL_FRAMEBUFFER, m_fbos[direction]);
        m_gl->glDrawBuffer(GL_COLOR_ATTACHMENT0);
        m_gl->glUniform1fv(m_blurOffset, 2, kOffsets);
        m_gl->glUniform1fv(m_blurWeight, 3, weights.data());
        GLSupport::useSubroutine(m_gl, m_indices[direction], m_subroutineCount);
        if (direction == 1) {
            m_gl->glActiveTexture(GL_TEXTURE0);
            m_gl->glBindTexture(GL_TEXTURE_2D, m_textures[0]);
        }
        m_gl->glDrawArrays(GL_TRIANGLES, 0, 6);
    }
    m_pass.release();
    m_gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_textures[1]);
}

void BlurPass::destroy()
{
    m_pass.destroy();
    GLSupport::deleteFramebuffer(m_gl, &m_fbos[0]);
    GLSupport::deleteFramebuffer(m_gl, &m_fbos[1]);
    for (GLuint& texture : m_textures) {
        if (texture)
            m_gl->glDeleteTextures(1, &texture);
        texture = 0;
    }
}

float BlurPass::amountForScale(double scale, float previous)
{
    // The gauges' factors are single-precision constants; compare exactly.
    if (scale < double(2.0f))
        return 0.f;
    if (scale == double(2.0f))
        return 0.55f;
    if (scale == double(2.43f))
        return 0.67f;
    if (scale == double(4.0f))
        return 0.9f;
    if (scale == double(5.53f))
        return 1.0f;
    return previous;
}

std::array<float, 3> BlurPass::weightsFor(unsigned int outputWidth, float amount)
{
    // A variance growing with the output width and the amount; 1/(2 pi) at 0.
    const double variance = 0.8408450484275818 * (double(outputWidth) / 1920.0 * double(amount)) + 0.15915493667125702;
    double w[3];
    for (int i = 0; i < 3; ++i)
        w[i] = std::exp(-double(i * i) / (2.0 * variance)) / std::sqrt(2.0 * M_PI * variance);
    const double sum = w[0] + 2.0 * w[1] + 2.0 * w[2];
    return { { float(w[0] / sum), float(w[1] / sum), float(w[2] / sum) } };
}

} // namespace Emulsa
