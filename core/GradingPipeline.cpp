#include "core/GradingPipeline.h"

#include "core/ShaderProcessor.h"

#include <QDebug>
#include <QMatrix4x4>

#include <algorithm>

namespace Emulsa {

namespace {

// The grading pass draws with the picture's top row at the top of the
// target; the conversion passes use the plain projection.
QMatrix4x4 gradeProjection()
{
    QMatrix4x4 m;
    m.ortho(-1.f, 1.f, 1.f, -1.f, -1.f, 1.f);
    return m;
}

QMatrix4x4 outputProjection()
{
    QMatrix4x4 m;
    m.ortho(-1.f, 1.f, -1.f, 1.f, -1.f, 1.f);
    return m;
}

} // namespace

GradingPipeline::GradingPipeline(QOpenGLFunctions_4_0_Core* gl)
    : m_gl(gl)
    , m_packed(gl)
{
}

GradingPipeline::~GradingPipeline()
{
    destroy();
}

void GradingPipeline::destroy()
{
    if (!m_gl)
        return;
    for (GLuint* fbo : { &m_linearFbo, &m_gradedFbo }) {
        if (*fbo)
            m_gl->glDeleteFramebuffers(1, fbo);
        *fbo = 0;
    }
    m_packed.destroy();
    for (GLuint* texture : { &m_sourceTexture, &m_linearTexture, &m_gradedTexture }) {
        if (*texture)
            m_gl->glDeleteTextures(1, texture);
        *texture = 0;
    }
}

GLuint GradingPipeline::createTexture(GLenum internalFormat, int width, int height, GLenum minFilter, GLenum magFilter)
{
    GLuint texture = 0;
    m_gl->glGenTextures(1, &texture);
    m_gl->glBindTexture(GL_TEXTURE_2D, texture);
    m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(minFilter));
    m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(magFilter));
    m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    const GLenum type = internalFormat == GL_RGBA32F ? GL_FLOAT
        : internalFormat == GL_RGBA16                ? GL_UNSIGNED_SHORT
                                                     : GL_UNSIGNED_BYTE;
    m_gl->glTexImage2D(GL_TEXTURE_2D, 0, GLint(internalFormat), width, height, 0, GL_RGBA, type, nullptr);
    m_gl->glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

bool GradingPipeline::initialize(int sourceWidth, int sourceHeight, int outputWidth, int outputHeight)
{
    destroy();
    m_gradeSkipped = false;
    m_linearFilter = GL_LINEAR;
    if (sourceWidth < 2 || sourceHeight < 2 || outputWidth < 2 || outputHeight < 2 || sourceWidth % 2 != 0
        || outputWidth % 2 != 0) {
        qWarning().noquote() << "GradingPipeline: unusable sizes" << sourceWidth << sourceHeight << outputWidth
                             << outputHeight;
        return false;
    }
    m_sourceWidth = sourceWidth;
    m_sourceHeight = sourceHeight;
    m_outputWidth = outputWidth;
    m_outputHeight = outputHeight;

    m_gl->glGetError();
    // Packed texels are read one to one: nearest magnification.
    m_sourceTexture = createTexture(GL_RGBA8, sourceWidth, sourceHeight, GL_LINEAR, GL_NEAREST);
    m_sourceBitsPerSample = 8;
    // 2 x 2 until a pass draws into them: a skipped grading pass never needs
    // the output-sized float picture, a grade from the packed source never
    // needs the linear one.
    m_linearTexture = createTexture(GL_RGBA32F, 2, 2, GL_LINEAR, GL_LINEAR);
    m_linearStorageAllocated = false;
    m_gradedTexture = createTexture(GL_RGBA32F, 2, 2, GL_LINEAR, GL_LINEAR);
    m_gradedStorageAllocated = false;
    m_gradedInOnePass = false;

    auto framebuffer = [this](GLuint* fbo, GLuint texture) {
        m_gl->glGenFramebuffers(1, fbo);
        m_gl->glBindFramebuffer(GL_FRAMEBUFFER, *fbo);
        m_gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        return m_gl->glCheckFramebufferStatus(GL_FRAMEBUFFER);
    };
    const GLenum linearStatus = framebuffer(&m_linearFbo, m_linearTexture);
    const GLenum gradedStatus = framebuffer(&m_gradedFbo, m_gradedTexture);
    m_gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
    const GLenum yuy2Status = m_packed.create(outputWidth, outputHeight);

    const GLenum error = m_gl->glGetError();
    if (linearStatus != GL_FRAMEBUFFER_COMPLETE || gradedStatus != GL_FRAMEBUFFER_COMPLETE
        || yuy2Status != GL_FRAMEBUFFER_COMPLETE || error != GL_NO_ERROR) {
        qWarning().noquote() << "GradingPipeline: framebuffers incomplete" << linearStatus << gradedStatus << yuy2Status
                             << error;
        destroy();
        return false;
    }
    return true;
}

void GradingPipeline::uploadYuy2(const void* bytes, int stride, int bitsPerSample)
{
    const bool deep = bitsPerSample > 8;
    if (deep != (m_sourceBitsPerSample > 8)) {
        // The packed texels change width: a new texture of the same size.
        // The passes read normalised texels, so they do not change.
        m_gl->glDeleteTextures(1, &m_sourceTexture);
        m_sourceTexture
            = createTexture(deep ? GL_RGBA16 : GL_RGBA8, m_sourceWidth, m_sourceHeight, GL_LINEAR, GL_NEAREST);
        m_sourceBitsPerSample = deep ? 16 : 8;
    }
    const int sampleBytes = deep ? 2 : 1;
    if (stride <= 0)
        stride = m_sourceWidth * 2 * sampleBytes;
    // Two pixels per RGBA texel; a padded stride is skipped, not drawn.
    const int texelsPerRow = stride / (4 * sampleBytes);
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_sourceTexture);
    m_gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    m_gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, texelsPerRow);
    m_gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, std::min(texelsPerRow, m_sourceWidth), m_sourceHeight, GL_RGBA,
        deep ? GL_UNSIGNED_SHORT : GL_UNSIGNED_BYTE, bytes);
    m_gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    m_gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

void GradingPipeline::allocateLinearStorage()
{
    if (m_linearStorageAllocated)
        return;
    m_gl->glBindTexture(GL_TEXTURE_2D, m_linearTexture);
    m_gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, m_sourceWidth, m_sourceHeight, 0, GL_RGBA, GL_FLOAT, nullptr);
    m_linearStorageAllocated = true;
}

void GradingPipeline::uploadRgb(const float* rgba)
{
    m_gl->glActiveTexture(GL_TEXTURE0);
    allocateLinearStorage();
    m_gl->glBindTexture(GL_TEXTURE_2D, m_linearTexture);
    m_gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    m_gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, m_sourceWidth, m_sourceHeight, GL_RGBA, GL_FLOAT, rgba);
}

void GradingPipeline::convertInputPass(ShaderProcessor* processor, ColorRange range)
{
    allocateLinearStorage();
    m_gl->glBindFramebuffer(GL_FRAMEBUFFER, m_linearFbo);
    m_gl->glDrawBuffer(GL_COLOR_ATTACHMENT0);
    processor->prepareFrame(
        range == FullRange ? ShaderProcessor::FullYuy2ToRgbPass : ShaderProcessor::LimitedYuy2ToRgbPass,
        ShaderProcessor::NoOrderPreference, nullptr);
    m_gl->glViewport(0, 0, m_sourceWidth, m_sourceHeight);
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_sourceTexture);
    m_gl->glDrawArrays(GL_TRIANGLES, 0, 6);
    processor->finishFrame();
    m_gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

bool GradingPipeline::isOneToOne(const ShaderProcessor* processor) const
{
    return m_outputWidth == m_sourceWidth && m_outputHeight == m_sourceHeight
        && processor->programs().textureCoordinates()
        == GradingPrograms::fitTextureCoordinates(StretchToFit, unsigned(m_sourceWidth), unsigned(m_sourceHeight),
            unsigned(m_outputWidth), unsigned(m_outputHeight));
}

bool GradingPipeline::passesPictureThrough(const ShaderProcessor* processor) const
{
    // Deep frames never pass through: their bytes are not the 8-bit frame.
    return m_sourceBitsPerSample == 8 && m_skipsNeutralGrade && isOneToOne(processor) && processor->gradeIsNeutral();
}

bool GradingPipeline::skipsGrade(const ShaderProcessor* processor, unsigned int colourOrder) const
{
    // A neutral grade one to one, in the source's order, would copy the
    // linear picture: use that picture instead.
    return m_skipsNeutralGrade && isOneToOne(processor)
        && (colourOrder == ShaderProcessor::NoOrderPreference || colourOrder == ShaderProcessor::OrderRGBA)
        && processor->gradeIsNeutral();
}

void GradingPipeline::gradePass(ShaderProcessor* processor, unsigned int colourOrder)
{
    m_gradeSkipped = skipsGrade(processor, colourOrder);
    if (m_gradeSkipped)
        return;
    // One to one, every sample falls on a texel centre, where nearest and
    // linear filtering agree; nearest reads one texel instead of four. The
    // blur and the gate weave sample between texels and need linear filtering.
    const GLenum filter
        = isOneToOne(processor) && !(processor->grade().blurAmount() > 0.f) && !processor->grade().weaves() ? GL_NEAREST
                                                                                                            : GL_LINEAR;
    if (filter != m_linearFilter) {
        m_gl->glBindTexture(GL_TEXTURE_2D, m_linearTexture);
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(filter));
        m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(filter));
        m_linearFilter = filter;
    }
    drawGrade(processor, colourOrder, m_linearTexture);
}

bool GradingPipeline::gradesFromSourceInOnePass(const ShaderProcessor* processor, unsigned int colourOrder) const
{
    return !(processor->grade().readsLinearPicture()) && !skipsGrade(processor, colourOrder);
}

ShaderProcessor::GradeSource GradingPipeline::packedSource(const ShaderProcessor* processor, ColorRange range) const
{
    // One to one, each output pixel is one source pixel; the histogram passes
    // draw a smaller picture and need it filtered.
    const bool nearest = isOneToOne(processor) && !processor->histogramPass().hasTarget();
    if (range == FullRange)
        return nearest ? ShaderProcessor::PackedFullSource : ShaderProcessor::PackedFullFilteredSource;
    return nearest ? ShaderProcessor::PackedLimitedSource : ShaderProcessor::PackedLimitedFilteredSource;
}

void GradingPipeline::gradeFromSource(ShaderProcessor* processor, ColorRange range, unsigned int colourOrder)
{
    m_gradedInOnePass = gradesFromSourceInOnePass(processor, colourOrder)
        && processor->setGradeSource(packedSource(processor, range));
    if (!m_gradedInOnePass) {
        convertInputPass(processor, range);
        gradePass(processor, colourOrder);
        return;
    }
    m_gradeSkipped = false;
    drawGrade(processor, colourOrder, m_sourceTexture);
    processor->setGradeSource(ShaderProcessor::LinearSource);
}

void GradingPipeline::drawGrade(ShaderProcessor* processor, unsigned int colourOrder, GLuint picture)
{
    static const QMatrix4x4 projection = gradeProjection();
    if (!m_gradedStorageAllocated) {
        m_gl->glBindTexture(GL_TEXTURE_2D, m_gradedTexture);
        m_gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, m_outputWidth, m_outputHeight, 0, GL_RGBA, GL_FLOAT, nullptr);
        m_gradedStorageAllocated = true;
    }
    m_gl->glBindFramebuffer(GL_FRAMEBUFFER, m_gradedFbo);
    m_gl->glDrawBuffer(GL_COLOR_ATTACHMENT0);
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, picture);
    processor->prepareFrame(ShaderProcessor::GradePass, colourOrder, &projection);
    m_gl->glViewport(0, 0, m_outputWidth, m_outputHeight);
    m_gl->glDrawArrays(GL_TRIANGLES, 0, 6);
    processor->finishFrame();
    m_gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void GradingPipeline::convertOutputPass(ShaderProcessor* processor, ColorRange range)
{
    static const QMatrix4x4 projection = outputProjection();
    m_gl->glBindFramebuffer(GL_FRAMEBUFFER, m_packed.framebuffer());
    m_gl->glDrawBuffer(GL_COLOR_ATTACHMENT0);
    processor->prepareFrame(
        range == FullRange ? ShaderProcessor::RgbToFullYuy2Pass : ShaderProcessor::RgbToLimitedYuy2Pass,
        ShaderProcessor::NoOrderPreference, &projection);
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, gradedTexture());
    drawPackedRows(processor);
}

void GradingPipeline::drawPackedRows(ShaderProcessor* processor)
{
    m_gl->glViewport(0, 0, m_outputWidth, m_outputHeight);
    // Only the rows the packed output reads hold the packed frame: draw just those.
    m_gl->glScissor(0, 0, m_outputWidth, (m_outputHeight + 1) / 2);
    m_gl->glEnable(GL_SCISSOR_TEST);
    m_gl->glDrawArrays(GL_TRIANGLES, 0, 6);
    m_gl->glDisable(GL_SCISSOR_TEST);
    processor->finishFrame();
    m_gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void GradingPipeline::gradeToYuy2(ShaderProcessor* processor, ColorRange inputRange, ColorRange outputRange)
{
    const auto output
        = outputRange == FullRange ? ShaderProcessor::PackedFullOutput : ShaderProcessor::PackedLimitedOutput;
    // The processor refuses a packed output while histogram passes run.
    m_packedInOnePass = gradesFromSourceInOnePass(processor)
        && processor->setGradeSource(packedSource(processor, inputRange), output);
    if (!m_packedInOnePass) {
        gradeFromSource(processor, inputRange);
        convertOutputPass(processor, outputRange);
        return;
    }
    m_gradedInOnePass = true;
    m_gradeSkipped = false;
    m_gl->glBindFramebuffer(GL_FRAMEBUFFER, m_packed.framebuffer());
    m_gl->glDrawBuffer(GL_COLOR_ATTACHMENT0);
    m_gl->glActiveTexture(GL_TEXTURE0);
    m_gl->glBindTexture(GL_TEXTURE_2D, m_sourceTexture);
    processor->prepareFrame(ShaderProcessor::GradePass, ShaderProcessor::OrderRGBA, nullptr);
    drawPackedRows(processor);
    processor->setGradeSource(ShaderProcessor::LinearSource);
}

void GradingPipeline::readGraded(float* rgba)
{
    m_gl->glBindTexture(GL_TEXTURE_2D, gradedTexture());
    m_gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    m_gl->glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, rgba);
}

void GradingPipeline::readGraded(unsigned char* rgba)
{
    m_gl->glBindTexture(GL_TEXTURE_2D, gradedTexture());
    m_gl->glPixelStorei(GL_PACK_ALIGNMENT, 1);
    m_gl->glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    m_gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
}

void GradingPipeline::readGraded(unsigned short* rgba)
{
    m_gl->glBindTexture(GL_TEXTURE_2D, gradedTexture());
    m_gl->glPixelStorei(GL_PACK_ALIGNMENT, 2);
    m_gl->glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_SHORT, rgba);
    m_gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
}

void GradingPipeline::readLinear(float* rgba)
{
    m_gl->glBindTexture(GL_TEXTURE_2D, m_linearTexture);
    m_gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    m_gl->glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, rgba);
}

} // namespace Emulsa
