#include "core/ShaderProcessor.h"

#include "core/AnnotatedMutexLocker.h"
#include "core/FilmLibrary.h"
#include "core/Grain.h"
#include "core/grade/DyeGrain.h"
#include "core/grade/GLSupport.h"

#include <QDebug>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

namespace Emulsa {

ShaderProcessor::ShaderProcessor(QOpenGLContext* context, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_targetFormats { GL_RGB32F, GL_RGBA32F, GL_RGBA16F, GL_RGBA8 }
    , m_tables(nullptr)
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
    {
        AnnotatedMutexLocker lock(&m_dataMutex);
        m_stockTable.reset();
        m_textures.destroy();
    }
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
    {
        AnnotatedMutexLocker lock(&m_dataMutex);
        m_stockAmount = float(settings->getStockLUTAmount()) / 100.f;
        m_curveAmount = float(settings->getStockCurveAmount()) / 100.f;
        m_grainAmount = float(settings->getGrainAmount()) / 100.f;
        m_halationAmount = float(settings->getHalationAmount()) / 100.f;
        m_bloomAmount = float(settings->getBloomAmount()) / 100.f;
        m_gauge = settings->getGrainScaleName();
        m_weaveAmount = float(settings->getWeaveAmount()) / 100.f;
        m_flickerAmount = float(settings->getFlickerAmount()) / 100.f;
        m_colourGrainAmount = float(settings->getColourGrainAmount()) / 100.f;
        m_tables.applySettings(*settings);
        m_bypass = settings->getOriginal();
        m_gradeEdited = true;
    }
    setGradeOutcome(true, true);
    return true;
}

void ShaderProcessor::setGradeOutcome(bool stockApplied, bool wholeGrade)
{
    bool before;
    bool after;
    {
        AnnotatedMutexLocker lock(&m_dataMutex);
        before = m_hasGrade && !m_stockFailed;
        m_stockFailed = !stockApplied;
        if (stockApplied && wholeGrade)
            m_hasGrade = true;
        after = m_hasGrade && !m_stockFailed;
    }
    if (before != after)
        emit gradeAppliedChanged(after);
}

bool ShaderProcessor::gradeApplied() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_hasGrade && !m_stockFailed;
}

bool ShaderProcessor::setStock(const QString& stock, quint32 sourceType, double grainScale)
{
    // The table is replaced only for another stock or camera profile; taken
    // from the film library's cache outside the lock, swapped under it.
    bool sameTable;
    {
        AnnotatedMutexLocker lock(&m_dataMutex);
        sameTable = m_stockTable && stock == m_stockName && sourceType == m_stockProfile;
    }
    StockTableData table;
    if (!sameTable) {
        table = FilmLibrary::instance()->loadStockTable(stock, sourceType);
        if (!table) {
            qWarning().noquote() << "ShaderProcessor: No stock table for" << stock << "and profile" << sourceType;
            setGradeOutcome(false, false);
            return false;
        }
    }
    AnnotatedMutexLocker lock(&m_dataMutex);
    m_gradeEdited = true;
    if (!sameTable) {
        m_stockTable.swap(table);
        m_stockName = stock;
        m_stockProfile = sourceType;
        m_isBlackAndWhite = GradeTables::isBlackAndWhiteStock(stock);
        m_textures.markStale(GradeTextures::StockTableUpload);
    }

    if (grainScale == -1.0)
        grainScale = m_grainScale;
    else
        m_grainScale = grainScale;
    m_blurAmount = BlurPass::amountForScale(grainScale, m_blurAmount);
    m_blurWeights = BlurPass::weightsFor(m_outputWidth, m_blurAmount);
    // The grain follows the stock (its curve), the gauge and the output size.
    if (!m_grain.isChosenFor(stock, grainScale, m_outputWidth, m_outputHeight) && m_outputWidth != 0
        && m_outputHeight != 0)
        chooseGrainLocked(stock, grainScale);
    lock.unlock();
    // The previous table is let go outside the lock.
    table.reset();
    setGradeOutcome(true, false);
    return true;
}

void ShaderProcessor::setExposureAndKelvin(float exposure, float kelvin)
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    m_gradeEdited = true;
    m_tables.setExposureAndKelvin(exposure, kelvin);
}

void ShaderProcessor::setStockAmount(float amount)
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    m_gradeEdited = true;
    m_stockAmount = amount;
}

void ShaderProcessor::setCurveAmount(float amount)
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    m_gradeEdited = true;
    m_curveAmount = amount;
}

void ShaderProcessor::setGrainAmount(float amount)
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    m_gradeEdited = true;
    m_grainAmount = amount;
}

void ShaderProcessor::setColorWheels(const ColorWheelData& low, const ColorWheelData& mid, const ColorWheelData& high)
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    m_gradeEdited = true;
    m_tables.setColorWheels(low, mid, high);
}

void ShaderProcessor::setLiftGammaGain(float lift, float gamma, float gain)
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    m_gradeEdited = true;
    m_tables.setLiftGammaGain(lift, gamma, gain);
}

void ShaderProcessor::setSaturation(float saturation)
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    m_gradeEdited = true;
    m_tables.setSaturation(saturation);
}

void ShaderProcessor::setLevels(const HistogramSliderData& levels)
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    m_gradeEdited = true;
    m_tables.setLevels(levels);
}

void ShaderProcessor::setBypass(bool bypass)
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    m_gradeEdited = true;
    m_bypass = bypass;
    m_tables.markDirty(GradeTables::ExposureTable | GradeTables::LiftGammaGainTable | GradeTables::WheelsTable
        | GradeTables::LevelsTable);
}

// ---- Frame passes ----

ShaderProcessor::GradeSnapshot ShaderProcessor::snapshot()
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    GradeSnapshot grade;
    // A frame drawn after an edit of the grade (since set-up or the last pass).
    m_editedFrame = m_gradeEdited;
    m_gradeEdited = false;
    grade.bypass = m_bypass;
    grade.blurAmount = m_blurAmount;
    grade.blurWeights = m_blurWeights;
    if (!m_bypass) {
        grade.glow[GlowPass::Halation] = Glow::halation(m_halationAmount, m_gauge, m_sourceWidth);
        grade.glow[GlowPass::Bloom] = Glow::bloom(m_bloomAmount, m_gauge, m_sourceWidth);
    }
    // One move per frame, shared by the histogram passes and the picture.
    if (m_frame >= 0) {
        m_grainOffset = seededGrainOffset(m_clipSeed, m_frame, m_outputWidth, m_outputHeight);
    } else if (!m_bypass && m_grainAmount > 0.f && (animateGrain.load() || resetGrainOffset.load())) {
        QRandomGenerator* random = QRandomGenerator::global();
        m_grainOffset
            = movedGrainOffset(m_grainOffset, m_outputWidth, m_outputHeight, random->generate(), random->generate());
        resetGrainOffset = false;
    }
    return grade;
}

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

    const GradeSnapshot grade = snapshot();
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

unsigned ShaderProcessor::gradeStagesLocked(bool bypass, bool levelsApart, bool foldLevels) const
{
    // Showing the original, the saturation is neutral and the levels are
    // skipped, unless the histogram passes ask for them.
    const bool finish = levelsApart || (!bypass && !foldLevels);
    if (bypass)
        return finish ? unsigned(FinishStage) : 0u;
    const bool stock = m_stockAmount != 0.f;
    const bool stockMix = stock && (m_stockAmount != 1.f || m_curveAmount != 1.f);
    const bool tone = !m_tables.isToneNeutral(foldLevels);
    return (stock ? unsigned(StockStage) : 0u) | (stockMix ? unsigned(StockMixStage) : 0u)
        | (m_grainAmount != 0.f ? unsigned(GrainStage) : 0u) | (m_isBlackAndWhite ? unsigned(MonoStage) : 0u)
        | (tone ? unsigned(ToneStage) : 0u) | (finish ? unsigned(FinishStage) : 0u)
        | (m_weaveAmount != 0.f ? unsigned(WeaveStage) : 0u) | (m_flickerAmount != 0.f ? unsigned(FlickerStage) : 0u)
        | (m_grainAmount != 0.f && m_colourGrainAmount != 0.f ? unsigned(DyeGrainStage) : 0u)
        | (m_halationAmount > 0.f ? unsigned(HalationStage) : 0u) | (m_bloomAmount > 0.f ? unsigned(BloomStage) : 0u);
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

bool ShaderProcessor::foldsLevelsLocked(bool bypass, bool levelsApart) const
{
    return !bypass && !levelsApart && m_tables.saturationMatrix() == GradeTables::identityMatrix();
}

bool ShaderProcessor::setGradeSource(GradeSource source, GradeOutput output)
{
    if (source == m_gradeSource && output == m_gradeOutput)
        return true;
    if (output != PictureOutput && hasHistogramTarget())
        return false;
    // The blur reads the linear picture on unit 0.
    if (source != LinearSource && readsLinearPicture())
        return false;
    // The whole program for this source and output is the one every grade
    // can fall back on: it must exist before they are taken up (built once;
    // a program current or parked is not switched to).
    const unsigned whole = GradingPrograms::wholeKey(source, output);
    if (whole != AllGradeStages && !m_programs.holds(whole) && !m_programs.use(whole))
        return false;
    m_gradeSource = source;
    m_gradeOutput = output;
    return true;
}

void ShaderProcessor::drawOutOfSight(GradingPrograms::Target target)
{
    m_programs.bind();
    m_textures.bind();
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
    unsigned stages;
    bool foldLevels;
    {
        AnnotatedMutexLocker lock(&m_dataMutex);
        foldLevels = foldsLevelsLocked(bypass, levelsApart);
        stages = gradeStagesLocked(bypass, levelsApart, foldLevels);
    }
    const unsigned whole = GradingPrograms::wholeKey(m_gradeSource, m_gradeOutput);
    const unsigned variant = whole & ~unsigned(AllGradeStages);
    const auto target = histogramPass ? GradingPrograms::HistogramTarget : GradingPrograms::OwnerTarget;
    // The whole program for the source and output exists (built at set-up,
    // or when they were chosen) and grades every case. A driver may finish a
    // program for the state it is drawn in only when it first draws with it
    // (a software rasteriser then generates its code, a tenth of a second
    // and more): the whole program is drawn once, clipped away, in the state
    // of the first pass, so that an edit can switch to it at no cost.
    if (stages != AllGradeStages && !m_programs.drawn(whole, target) && m_programs.use(whole))
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
    if (m_programs.key() & FinishStage)
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
    {
        AnnotatedMutexLocker lock(&m_dataMutex);
        setGradingUniformsLocked(bypass, histogramNeeded);
        m_textures.upload(m_tables, filmLocked(), bypass, foldLevels);
    }
    m_textures.bind();
    bindGlow();
    m_programs.markDrawn(target);
}

void ShaderProcessor::setGradingUniformsLocked(bool bypass, int histogramNeeded)
{
    QOpenGLShaderProgram* p = m_programs.program();
    const GradingPrograms::Locations& at = m_programs.locations();
    p->setUniformValue(at.stockLUTAmount, bypass ? 0.f : m_stockAmount);
    p->setUniformValue(at.stockCurveAmount, bypass ? 0.f : m_curveAmount);
    p->setUniformValue(at.grainAmount, bypass ? 0.f : m_grainAmount);
    p->setUniformValue(at.grainColorfulness, 0.6f);
    glUniform2f(at.grainOffset, m_grainOffset[0], m_grainOffset[1]);
    glUniform1iv(at.grainSize, 2, m_grain.size().data());
    const FilmMotion::Frame motion = bypass ? FilmMotion::Frame() : motionLocked();
    glUniform2f(at.weaveOffset, motion.offset[0], motion.offset[1]);
    glUniform3f(at.flickerGain, motion.gain[0], motion.gain[1], motion.gain[2]);
    if (at.dyeGrainMix >= 0) {
        // The colour grain as strong as the map's for a stock of the
        // reference granularity, its cells sized on the film.
        const Grain* grain = m_grain.grain();
        if (grain != m_dyeRmsGrain) {
            m_dyeRmsGrain = grain;
            m_dyeMapRms
                = grain ? DyeGrain::mapRms(grain->textureBytes(), size_t(grain->width()) * grain->height()) : 0.f;
        }
        const auto cells = DyeGrain::cellPixels(m_grainScale, m_sourceWidth);
        glUniform1f(at.dyeGrainMix, bypass ? 0.f : m_colourGrainAmount);
        glUniform1f(at.dyeGrainScale, m_dyeMapRms * DyeGrain::stockStrength(m_stockName));
        glUniform3f(at.dyeGrainCell, cells[0], cells[1], cells[2]);
        glUniform2ui(at.dyeGrainSeed, m_clipSeed, quint32(quint64(std::max<qint64>(m_frame, 0))));
    }
    // Row-major tables, the colour multiplied as a row vector: transpose on upload.
    const GradeTables::Matrix& saturation = bypass ? GradeTables::identityMatrix() : m_tables.saturationMatrix();
    const GradeTables::Matrix& blackAndWhite
        = (!bypass && m_isBlackAndWhite) ? GradeTables::blackAndWhiteMatrix() : GradeTables::identityMatrix();
    glUniformMatrix4fv(at.saturation, 1, GL_TRUE, saturation.data());
    glUniformMatrix4fv(at.blackAndWhite, 1, GL_TRUE, blackAndWhite.data());
    p->setUniformValue(at.histogramNeeded, histogramNeeded);
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
