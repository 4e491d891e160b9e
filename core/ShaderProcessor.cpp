#include "core/ShaderProcessor.h"

#include "core/FilmLibrary.h"
#include "core/grade/GLSupport.h"

#include <QDebug>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>

namespace Emulsa {

ShaderProcessor::ShaderProcessor(QOpenGLContext* context, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_targetFormats { GL_RGB32F, GL_RGBA32F, GL_RGBA16F, GL_RGBA8 }
{
    m_defaultMatrix.ortho(-1.f, 1.f, -1.f, 1.f, -1.f, 1.f);
}

ShaderProcessor::~ShaderProcessor()
{
    if (!m_glResolved)
        return;
    if (QOpenGLContext::currentContext() != m_context) {
        qWarning().noquote() << "ShaderProcessor: context not current at destruction, GL objects left to it";
        return;
    }
    destroyGLObjects();
}

void ShaderProcessor::destroyGLObjects()
{
    glFinish();
    m_programs.destroy();
    m_conversion.destroy();
    glGetError();
    m_blur.destroy();
    m_glow.destroy();
    m_histogram.destroy();
    m_grade.destroyTextures();
    glFinish();
    m_initialized = false;
}

// ---- Grade ----

bool ShaderProcessor::applySettings(const ClipSettings* settings)
{
    if (!settings)
        return false;
    if (!setStock(settings->getStockName(), settings->getSourceType(), double(settings->getGrainScale())))
        return false;
    m_grade.applyAmounts(*settings);
    setGradeOutcome(true, true);
    return true;
}

void ShaderProcessor::setGradeOutcome(bool stockApplied, bool wholeGrade)
{
    if (m_grade.recordOutcome(stockApplied, wholeGrade))
        emit gradeAppliedChanged(m_grade.applied());
}

bool ShaderProcessor::setStock(const QString& stock, quint32 sourceType, double grainScale)
{
    // The table is replaced only for another stock or camera profile; taken
    // from the film library's cache outside the grade's lock.
    StockTableData table;
    if (!m_grade.holdsStock(stock, sourceType)) {
        table = FilmLibrary::instance()->loadStockTable(stock, sourceType);
        if (!table) {
            qWarning().noquote() << "ShaderProcessor: No stock table for" << stock << "and profile" << sourceType;
            setGradeOutcome(false, false);
            return false;
        }
    }
    m_grade.setStock(stock, sourceType, table, grainScale);
    // The previous table is let go outside the lock.
    table.reset();
    setGradeOutcome(true, false);
    return true;
}

// ---- Frame passes ----

void ShaderProcessor::prepareFrame(unsigned int mode, unsigned int colourOrder, const QMatrix4x4* matrix)
{
    m_preparedMode = NoPass;
    if (!m_initialized || mode == NoPass || mode > RgbToFullYuy2Pass)
        return;
    const QMatrix4x4& projection = matrix ? *matrix : m_defaultMatrix;

    if (mode != GradePass) {
        m_conversion.prepare(ConversionPass::Conversion(mode - LimitedYuy2ToRgbPass), projection);
        m_preparedMode = mode;
        return;
    }

    const GradeState::Frame grade = m_grade.beginFrame(animateGrain.load(), resetGrainOffset);
    // A frame drawn after an edit of the grade (since set-up or the last pass).
    m_editedFrame = grade.edited;
    const bool hasHistogram = m_histogram.hasTarget();
    const bool wantsHistogram = hasHistogram && histogramThisFrame.load();
    const bool blur = grade.blurAmount > 0.f && !grade.bypass;
    const bool glow = !grade.glow[GlowPass::Halation].isOff() || !grade.glow[GlowPass::Bloom].isOff();
    if (blur || glow || wantsHistogram) {
        // The owner's target is bound; the processor's own passes put it back.
        GLint drawFbo = 0;
        GLint readFbo = 0;
        GLint viewport[4] = { 0, 0, 0, 0 };
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFbo);
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFbo);
        glGetIntegerv(GL_VIEWPORT, viewport);
        if (blur) {
            m_blur.run(grade.blurWeights, m_defaultMatrix);
            m_blur.run(grade.blurWeights, m_defaultMatrix);
        }
        if (glow)
            m_glow.run(grade.glow, glowSource(), m_sourceWidth, m_sourceHeight, m_defaultMatrix);
        if (wantsHistogram)
            runHistogramPasses(projection, grade.bypass);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(drawFbo));
        glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFbo));
        glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    }

    if (!glow)
        m_glow.forget();
    bindGrading(projection, grade.bypass, grade.bypass ? -1 : 1, hasHistogram, false);
    selectColourOrder(colourOrder, grade.bypass);
    m_preparedMode = GradePass;
}

void ShaderProcessor::finishFrame()
{
    if (m_preparedMode == GradePass)
        m_programs.release();
    else if (m_preparedMode != NoPass)
        m_conversion.finish();
    m_preparedMode = NoPass;
}

void ShaderProcessor::runHistogramPasses(const QMatrix4x4& matrix, bool bypass)
{
    const bool beforeLevels = histogramBeforeLevels.load();
    m_histogram.bindTarget();
    bindGrading(matrix, bypass, beforeLevels ? -1 : 1, true, true);
    m_programs.selectOrder(OrderRGBA);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    m_histogram.readPicture();
    if (beforeLevels) {
        m_programs.program()->setUniformValue(m_programs.locations().histogramNeeded, bypass ? -1 : 1);
        glDrawArrays(GL_TRIANGLES, 0, 6);
        m_histogram.readLevelsPass();
    }
    m_programs.release();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (m_histogram.publish(beforeLevels))
        emit histogramDataReady();
}

GlowPass::Source ShaderProcessor::glowSource() const
{
    switch (m_gradeSource) {
    case PackedLimitedSource:
    case PackedLimitedFilteredSource:
        return GlowPass::PackedLimitedSource;
    case PackedFullSource:
    case PackedFullFilteredSource:
        return GlowPass::PackedFullSource;
    case LinearSource:
        break;
    }
    return GlowPass::RgbSource;
}

void ShaderProcessor::bindGlow()
{
    const GradingPrograms::Locations& at = m_programs.locations();
    for (int e = 0; e < GlowPass::EffectCount; ++e) {
        if (at.glowLevel[e] < 0)
            continue;
        // An effect that did not run adds nothing: no light taken, and its
        // unit holds no texture, which reads as black.
        const GlowPass::Composite& glow = m_glow.composite(GlowPass::Effect(e));
        glActiveTexture(GLenum(GL_TEXTURE0 + GradingPrograms::kGlowUnits[e]));
        glBindTexture(GL_TEXTURE_2D, glow.level);
        glUniform1f(at.glowThreshold[e], glow.threshold);
        glUniform3f(at.glowStrength[e], glow.strength[0], glow.strength[1], glow.strength[2]);
        glUniform2f(at.glowScale[e], glow.scale[0], glow.scale[1]);
    }
    glActiveTexture(GL_TEXTURE0);
}

bool ShaderProcessor::setGradeSource(GradeSource source, GradeOutput output)
{
    if (source == m_gradeSource && output == m_gradeOutput)
        return true;
    if (output != PictureOutput && m_histogram.hasTarget())
        return false;
    // The blur reads the linear picture on unit 0.
    if (source != LinearSource && m_grade.readsLinearPicture())
        return false;
    // The whole program for this source and output is the one every grade
    // can fall back on: it must exist before they are taken up (built once;
    // a program current or parked is not switched to).
    const unsigned whole = ProgramKey::whole(source, output);
    if (whole != GradingPrograms::AllStages && !m_programs.holds(whole) && !m_programs.use(whole))
        return false;
    m_gradeSource = source;
    m_gradeOutput = output;
    return true;
}

void ShaderProcessor::drawOutOfSight(GradingPrograms::Target target)
{
    m_programs.bind();
    m_grade.bindTextures();
    m_programs.selectOrder(OrderRGBA);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    GLint box[4] = { 0, 0, 0, 0 };
    glGetIntegerv(GL_SCISSOR_BOX, box);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 0, 0);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glScissor(box[0], box[1], box[2], box[3]);
    if (!scissor)
        glDisable(GL_SCISSOR_TEST);
    m_programs.markDrawn(target);
    m_programs.countWarmUp();
}

void ShaderProcessor::bindGrading(
    const QMatrix4x4& matrix, bool bypass, int histogramNeeded, bool levelsApart, bool histogramPass)
{
    auto [stages, foldLevels] = m_grade.stages(bypass, levelsApart);
    const unsigned whole = ProgramKey::whole(m_gradeSource, m_gradeOutput);
    const unsigned variant = whole & ~unsigned(GradingPrograms::AllStages);
    const auto target = histogramPass ? GradingPrograms::HistogramTarget : GradingPrograms::OwnerTarget;
    // The whole program for the source and output exists (built at set-up,
    // or when they were chosen) and grades every case. A driver may finish a
    // program for the state it is drawn in only when it first draws with it
    // (a software rasteriser then generates its code, a tenth of a second
    // and more): the whole program is drawn once, clipped away, in the state
    // of the first pass, so that an edit can switch to it at no cost.
    if (stages != GradingPrograms::AllStages && !m_programs.drawn(whole, target) && m_programs.use(whole))
        drawOutOfSight(target);
    // While the grade is edited no program is built or first drawn: a set of
    // stages not drawn with yet is graded by the whole program until a frame
    // comes with no edit before it (playback, a redraw).
    unsigned key = stages | variant;
    if (m_editedFrame && !m_programs.drawn(key, target))
        key = whole;
    if (!m_programs.use(key))
        m_programs.use(whole);
    // The whole program applies the levels itself: they are not folded then.
    if (m_programs.key() & GradingPrograms::FinishStage)
        foldLevels = false;
    m_programs.bind();
    const GradingPrograms::Locations& at = m_programs.locations();
    m_programs.program()->setUniformValue(at.matrix, matrix);
    if (m_gradeOutput != PictureOutput) {
        // The vertex array spans the target with the picture's coordinates
        // running s .. 1 - s across and t .. 1 - t down (row 0 at the top).
        const float s = m_programs.textureCoordinates()[2];
        const float t = m_programs.textureCoordinates()[3];
        glUniform4f(at.outputMapping, s, t, 1.f - 2.f * s, 1.f - 2.f * t);
        glUniform2i(at.outputSize, GLint(m_outputWidth), GLint(m_outputHeight));
    }
    m_grade.applyToProgram(functions(), m_programs, bypass, histogramNeeded, foldLevels);
    m_grade.bindTextures();
    bindGlow();
    m_programs.markDrawn(target);
}

void ShaderProcessor::selectColourOrder(unsigned int order, bool bypass)
{
    unsigned int effective;
    if (order <= OrderBGRA) {
        effective = order;
        m_lastOrder = order;
    } else {
        // No preference: RGBA, except that show-original keeps the last order.
        effective = bypass ? m_lastOrder : unsigned(OrderRGBA);
    }
    m_programs.selectOrder(effective);
}

} // namespace Emulsa
