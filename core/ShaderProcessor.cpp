#include "core/ShaderProcessor.h"

#include "core/AnnotatedMutexLocker.h"
#include "core/FilmLibrary.h"
#include "core/Grain.h"
#include "core/GrainCurve.h"

#include <QDebug>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <QRandomGenerator>

#include <cmath>
#include <cstring>

namespace Emulsa {

namespace {

// Index of an upload flag in the counters.
int uploadSlot(unsigned flag)
{
    int slot = 0;
    while (flag > 1) {
        flag >>= 1;
        ++slot;
    }
    return slot;
}

} // namespace

ShaderProcessor::ShaderProcessor(QOpenGLContext* context, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_targetFormats { GL_RGB32F, GL_RGBA32F, GL_RGBA16F, GL_RGBA8 }
    , m_tables(nullptr)
{
    m_defaultMatrix.ortho(-1.f, 1.f, -1.f, 1.f, -1.f, 1.f);
    std::memset(m_histogramA, 0, sizeof(m_histogramA));
    std::memset(m_histogramB, 0, sizeof(m_histogramB));
    std::memset(m_bins, 0, sizeof(m_bins));
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
    m_emVao.destroy();
    m_ccVao.destroy();
    m_blurVao.destroy();
    for (QOpenGLBuffer* buffer : { &m_emVertexBuffer, &m_emTextureBuffer, &m_ccVertexBuffer, &m_ccTextureBuffer,
             &m_blurVertexBuffer, &m_blurTextureBuffer })
        buffer->destroy();
    if (m_emProgram)
        m_emProgram->release();
    m_emProgram.reset();
    m_emPrograms.clear();
    m_ccProgram.reset();
    m_blurProgram.reset();

    glGetError();
    for (GLuint* fbo : { &m_blurFbos[0], &m_blurFbos[1], &m_histogramFbo }) {
        if (*fbo == 0)
            continue;
        glDeleteFramebuffers(1, fbo);
        const GLenum error = glGetError();
        if (error != GL_NO_ERROR)
            qWarning().noquote() << "ShaderProcessor: Can't delete FBO" << error;
        *fbo = 0;
    }
    {
        AnnotatedMutexLocker lock(&m_dataMutex);
        m_stockTable.reset();
    }
    GLuint textures[] = { m_grainMapTexture, m_grainCurveTexture, m_stockTexture, m_levelsTexture, m_exposureTexture,
        m_wheelsTexture, m_blurTextures[0], m_blurTextures[1], m_histogramTexture };
    for (GLuint texture : textures)
        if (texture)
            glDeleteTextures(1, &texture);
    m_grainMapTexture = m_grainCurveTexture = m_stockTexture = m_levelsTexture = m_exposureTexture = 0;
    m_wheelsTexture = m_blurTextures[0] = m_blurTextures[1] = m_histogramTexture = 0;
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
    // The table is replaced only for another stock or camera profile; read
    // outside the lock (disk, or the library's cache), swapped under it.
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
        m_filmUploads |= StockTableUpload;
    }

    if (grainScale == -1.0)
        grainScale = m_grainScale;
    else
        m_grainScale = grainScale;
    m_blurAmount = blurAmountForScale(grainScale, m_blurAmount);
    m_blurWeights = blurWeightsFor(m_outputWidth, m_blurAmount);
    // The grain follows the stock (its curve), the gauge and the output size.
    const bool grainChosen = m_grain && stock == m_grainStock && grainScale == m_grainChoiceScale
        && m_outputWidth == m_grainChoiceSize[0] && m_outputHeight == m_grainChoiceSize[1];
    if (!grainChosen && m_outputWidth != 0 && m_outputHeight != 0)
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

// ---- State ----

bool ShaderProcessor::bypass() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_bypass;
}

bool ShaderProcessor::gradeIsNeutral() const
{
    {
        AnnotatedMutexLocker lock(&m_histogramMutex);
        if (m_histogramTarget)
            return false;
    }
    AnnotatedMutexLocker lock(&m_dataMutex);
    if (m_bypass || m_isBlackAndWhite || m_stockAmount != 0.f || m_grainAmount != 0.f || m_blurAmount > 0.f)
        return false;
    return m_tables.saturationMatrix() == GradeTables::identityMatrix()
        && m_tables.exposure() == m_tables.bypassExposure()
        && m_tables.liftGammaGain() == m_tables.bypassLiftGammaGain() && m_tables.wheels() == m_tables.bypassWheels()
        && m_tables.levels() == m_tables.bypassLevels();
}

bool ShaderProcessor::isBlackAndWhite() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_isBlackAndWhite;
}

float ShaderProcessor::blurAmount() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_blurAmount;
}

std::array<float, 3> ShaderProcessor::blurWeights() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_blurWeights;
}

double ShaderProcessor::grainScale() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_grainScale;
}

const Grain* ShaderProcessor::grain() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_grain;
}

std::array<float, 2> ShaderProcessor::grainOffset() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_grainOffset;
}

void ShaderProcessor::setGrainOffset(float x, float y)
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    m_grainOffset = { { x, y } };
}

unsigned ShaderProcessor::pendingUploads() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_tables.dirtyTables() | m_filmUploads;
}

unsigned ShaderProcessor::uploadCount(Upload table) const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_uploadCounts[size_t(uploadSlot(table))];
}

int ShaderProcessor::grainChoices() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_grainChoices;
}

// ---- Pure helpers ----

float ShaderProcessor::blurAmountForScale(double scale, float previous)
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

std::array<float, 3> ShaderProcessor::blurWeightsFor(unsigned int outputWidth, float amount)
{
    // A variance growing with the output width and the amount; 1/(2 pi) at 0.
    const double variance = 0.8408450484275818 * (double(outputWidth) / 1920.0 * double(amount)) + 0.15915493667125702;
    double w[3];
    for (int i = 0; i < 3; ++i)
        w[i] = std::exp(-double(i * i) / (2.0 * variance)) / std::sqrt(2.0 * M_PI * variance);
    const double sum = w[0] + 2.0 * w[1] + 2.0 * w[2];
    return { { float(w[0] / sum), float(w[1] / sum), float(w[2] / sum) } };
}

std::array<float, 2> ShaderProcessor::movedGrainOffset(
    const std::array<float, 2>& offset, unsigned int width, unsigned int height, quint32 randomX, quint32 randomY)
{
    if (width < 2 || height < 2)
        return offset;
    const quint32 x = (width / 4 + randomX % (width / 2) + quint32(std::trunc(offset[0]))) % width;
    const quint32 y = (height / 4 + randomY % (height / 2) + quint32(std::trunc(offset[1]))) % height;
    return { { float(x), float(y) } };
}

void ShaderProcessor::computeHistogram(const uchar* picture, const uchar* levelsPass, bool beforeLevels,
    quint32 (*bins)[HistogramBins], quint32* const* target)
{
    std::memset(bins, 0, sizeof(quint32) * 3 * HistogramBins);
    for (int i = 0; i < HistogramPixels; ++i) {
        const uchar* pixel = picture + 4 * i;
        ++bins[0][pixel[0]];
        ++bins[1][pixel[1]];
        ++bins[2][pixel[2]];
    }
    if (beforeLevels && levelsPass) {
        // The ends show what the levels clip: the pixels the levels pass
        // sends to 0 and to 255.
        for (int c = 0; c < 3; ++c) {
            bins[c][0] = 0;
            bins[c][255] = 0;
        }
        for (int i = 0; i < HistogramPixels; ++i) {
            const uchar* pixel = levelsPass + 4 * i;
            for (int c = 0; c < 3; ++c) {
                if (pixel[c] == 0)
                    ++bins[c][0];
                else if (pixel[c] == 255)
                    ++bins[c][255];
            }
        }
    }
    // Scaled so that a full 512 x 256 picture sums to about 3,000,000.
    const double scale = 22.888184;
    for (int c = 0; c < 3; ++c) {
        if (!target[c])
            continue;
        for (int i = 0; i < 256; ++i) {
            const quint32 value = quint32(std::trunc(double(bins[c][i]) * scale));
            target[c][2 * i] = value;
            target[c][2 * i + 1] = value;
        }
    }
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
    grade.blurOffsets[0] = m_blurOffsets[0];
    grade.blurOffsets[1] = m_blurOffsets[1];
    for (int i = 0; i < 3; ++i)
        grade.blurWeights[i] = m_blurWeights[size_t(i)];
    // One move per frame, shared by the histogram passes and the picture.
    if (!m_bypass && m_grainAmount > 0.f && (animateGrain.load() || resetGrainOffset.load())) {
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
        m_ccProgram->bind();
        m_ccVao.bind();
        m_ccProgram->setUniformValue(m_cc.matrix, projection);
        useSubroutine(m_ccIndices[mode - LimitedYuy2ToRgbPass], m_ccSubroutineCount);
        m_preparedMode = mode;
        return;
    }

    const GradeSnapshot grade = snapshot();
    bool hasHistogram;
    {
        AnnotatedMutexLocker lock(&m_histogramMutex);
        hasHistogram = m_histogramTarget != nullptr;
    }
    const bool wantsHistogram = hasHistogram && histogramThisFrame.load();
    const bool blur = grade.blurAmount > 0.f && !grade.bypass;
    if (blur || wantsHistogram) {
        // The owner's target is bound; the processor's own passes put it back.
        GLint drawFbo = 0;
        GLint readFbo = 0;
        GLint viewport[4] = { 0, 0, 0, 0 };
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFbo);
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFbo);
        glGetIntegerv(GL_VIEWPORT, viewport);
        if (blur) {
            blurFrame(grade);
            blurFrame(grade);
        }
        if (wantsHistogram)
            runHistogramPasses(projection, grade.bypass);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(drawFbo));
        glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFbo));
        glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    }

    bindGrading(projection, grade.bypass, grade.bypass ? -1 : 1, hasHistogram, false);
    selectColourOrder(colourOrder, grade.bypass);
    m_preparedMode = GradePass;
}

void ShaderProcessor::finishFrame()
{
    if (m_preparedMode == GradePass) {
        m_emVao.release();
        m_emProgram->release();
    } else if (m_preparedMode != NoPass) {
        m_ccVao.release();
        m_ccProgram->release();
    }
    m_preparedMode = NoPass;
}

void ShaderProcessor::allocateBlurStorage()
{
    // Unit 0 holds the frame the first blur step reads: keep its binding.
    GLint bound = 0;
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    for (GLuint texture : m_blurTextures) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(m_blurFormat), GLsizei(m_sourceWidth), GLsizei(m_sourceHeight), 0, GL_RGBA,
            GL_FLOAT, nullptr);
    }
    glBindTexture(GL_TEXTURE_2D, GLuint(bound));
    m_blurStorageAllocated = true;
}

void ShaderProcessor::blurFrame(const GradeSnapshot& grade)
{
    if (!m_blurStorageAllocated)
        allocateBlurStorage();
    // Horizontal into A reading unit 0 (the frame, or B on the second call),
    // then vertical into B reading A: each step draws into a framebuffer that
    // does not hold the texture it samples.
    m_blurProgram->bind();
    m_blurVao.bind();
    glViewport(0, 0, GLsizei(m_sourceWidth), GLsizei(m_sourceHeight));
    for (int direction = 0; direction < 2; ++direction) {
        glBindFramebuffer(GL_FRAMEBUFFER, m_blurFbos[direction]);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
        m_blurProgram->setUniformValue(m_blur.matrix, m_defaultMatrix);
        glUniform1fv(m_blur.blurOffset, 2, grade.blurOffsets);
        glUniform1fv(m_blur.blurWeight, 3, grade.blurWeights);
        useSubroutine(m_blurIndices[direction], m_blurSubroutineCount);
        if (direction == 1) {
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, m_blurTextures[0]);
        }
        glDrawArrays(GL_TRIANGLES, 0, 6);
    }
    m_blurVao.release();
    m_blurProgram->release();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, m_blurTextures[1]);
}

void ShaderProcessor::runHistogramPasses(const QMatrix4x4& matrix, bool bypass)
{
    const bool beforeLevels = histogramBeforeLevels.load();
    glBindFramebuffer(GL_FRAMEBUFFER, m_histogramFbo);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glViewport(0, 0, HistogramWidth, HistogramHeight);
    bindGrading(matrix, bypass, beforeLevels ? -1 : 1, true, true);
    useSubroutine(m_emOrderIndices[OrderRGBA], m_emSubroutineCount);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    {
        // currentFrameImage() copies buffer A under the same lock.
        AnnotatedMutexLocker lock(&m_histogramMutex);
        glReadPixels(0, 0, HistogramWidth, HistogramHeight, GL_RGBA, GL_UNSIGNED_BYTE, m_histogramA);
        m_histogramDrawn = true;
    }
    if (beforeLevels) {
        m_emProgram->setUniformValue(m_em.histogramNeeded, bypass ? -1 : 1);
        glDrawArrays(GL_TRIANGLES, 0, 6);
        glReadPixels(0, 0, HistogramWidth, HistogramHeight, GL_RGBA, GL_UNSIGNED_BYTE, m_histogramB);
    }
    m_emVao.release();
    m_emProgram->release();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    {
        AnnotatedMutexLocker lock(&m_histogramMutex);
        if (!m_histogramTarget)
            return;
        computeHistogram(m_histogramA, m_histogramB, beforeLevels, m_bins, m_histogramTarget);
    }
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
        | (tone ? unsigned(ToneStage) : 0u) | (finish ? unsigned(FinishStage) : 0u);
}

bool ShaderProcessor::foldsLevelsLocked(bool bypass, bool levelsApart) const
{
    return !bypass && !levelsApart && m_tables.saturationMatrix() == GradeTables::identityMatrix();
}

bool ShaderProcessor::useEMProgram(unsigned key)
{
    if (key == m_emKey)
        return true;
    EMProgram& wanted = m_emPrograms[key];
    if (!wanted.program && wanted.failed)
        return false;
    // Park the current program, then take the wanted one or build it.
    const unsigned previous = m_emKey;
    EMProgram& parked = m_emPrograms[previous];
    parked.program = std::move(m_emProgram);
    parked.locations = m_em;
    std::copy(std::begin(m_emOrderIndices), std::end(m_emOrderIndices), std::begin(parked.orderIndices));
    parked.subroutineCount = m_emSubroutineCount;
    parked.drawn[0] = m_emDrawn[0];
    parked.drawn[1] = m_emDrawn[1];
    if (!wanted.program) {
        m_em = EMLocations();
        m_emDrawn[0] = m_emDrawn[1] = false;
        if (initializeEMShaderPrograms(key) && resolveEMShaderLocations(key) && initializeEMSubroutines()) {
            m_emKey = key;
            return true;
        }
        qWarning().noquote() << "ShaderProcessor: grading program" << key << "could not be built";
        wanted.failed = true;
        m_emProgram.reset();
        key = previous;
    }
    EMProgram& taken = m_emPrograms[key];
    m_emProgram = std::move(taken.program);
    m_em = taken.locations;
    std::copy(std::begin(taken.orderIndices), std::end(taken.orderIndices), std::begin(m_emOrderIndices));
    m_emSubroutineCount = taken.subroutineCount;
    m_emDrawn[0] = taken.drawn[0];
    m_emDrawn[1] = taken.drawn[1];
    m_emKey = key;
    return key != previous;
}

bool ShaderProcessor::hasHistogramTarget() const
{
    AnnotatedMutexLocker lock(&m_histogramMutex);
    return m_histogramTarget != nullptr;
}

bool ShaderProcessor::setGradeSource(GradeSource source, GradeOutput output)
{
    if (source == m_gradeSource && output == m_gradeOutput)
        return true;
    if (output != PictureOutput && hasHistogramTarget())
        return false;
    // The whole program for this source and output is the one every grade
    // can fall back on: it must exist before they are taken up (built once;
    // a program current or parked is not switched to).
    const unsigned whole = AllGradeStages | (unsigned(source) << kEMSourceShift) | (unsigned(output) << kEMOutputShift);
    if (whole != AllGradeStages && whole != m_emKey && !m_emPrograms[whole].program && !useEMProgram(whole))
        return false;
    m_gradeSource = source;
    m_gradeOutput = output;
    return true;
}

bool ShaderProcessor::programDrawn(unsigned key, int target) const
{
    if (key == m_emKey)
        return m_emDrawn[target];
    const auto found = m_emPrograms.find(key);
    return found != m_emPrograms.end() && found->second.program && found->second.drawn[target];
}

void ShaderProcessor::drawOutOfSight(int target)
{
    m_emProgram->bind();
    m_emVao.bind();
    bindGradingTextures();
    useSubroutine(m_emOrderIndices[OrderRGBA], m_emSubroutineCount);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    GLint box[4] = { 0, 0, 0, 0 };
    glGetIntegerv(GL_SCISSOR_BOX, box);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 0, 0);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glScissor(box[0], box[1], box[2], box[3]);
    if (!scissor)
        glDisable(GL_SCISSOR_TEST);
    m_emDrawn[target] = true;
    ++m_emWarmUps;
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
    const unsigned variant = (unsigned(m_gradeSource) << kEMSourceShift) | (unsigned(m_gradeOutput) << kEMOutputShift);
    const unsigned whole = AllGradeStages | variant;
    const int target = histogramPass ? 1 : 0;
    // The whole program for the source and output exists (built at set-up,
    // or when they were chosen) and grades every case. A driver may finish a
    // program for the state it is drawn in only when it first draws with it
    // (a software rasteriser then generates its code, a tenth of a second
    // and more): the whole program is drawn once, clipped away, in the state
    // of the first pass, so that an edit can switch to it at no cost.
    if (stages != AllGradeStages && !programDrawn(whole, target) && useEMProgram(whole))
        drawOutOfSight(target);
    // While the grade is edited no program is built or first drawn: a set of
    // stages not drawn with yet is graded by the whole program until a frame
    // comes with no edit before it (playback, a redraw).
    unsigned key = stages | variant;
    if (m_editedFrame && !programDrawn(key, target))
        key = whole;
    if (!useEMProgram(key))
        useEMProgram(whole);
    // The whole program applies the levels itself: they are not folded then.
    if (m_emKey & FinishStage)
        foldLevels = false;
    m_emProgram->bind();
    m_emVao.bind();
    m_emProgram->setUniformValue(m_em.matrix, matrix);
    if (m_gradeOutput != PictureOutput) {
        // The vertex array spans the target with the picture's coordinates
        // running s .. 1 - s across and t .. 1 - t down (row 0 at the top).
        const float s = m_emTextureCoordinates[2];
        const float t = m_emTextureCoordinates[3];
        glUniform4f(m_em.outputMapping, s, t, 1.f - 2.f * s, 1.f - 2.f * t);
        glUniform2i(m_em.outputSize, GLint(m_outputWidth), GLint(m_outputHeight));
    }
    {
        AnnotatedMutexLocker lock(&m_dataMutex);
        setGradingUniformsLocked(bypass, histogramNeeded);
        uploadTexturesLocked(bypass, foldLevels);
    }
    bindGradingTextures();
    m_emDrawn[target] = true;
}

void ShaderProcessor::setGradingUniformsLocked(bool bypass, int histogramNeeded)
{
    QOpenGLShaderProgram* p = m_emProgram.get();
    p->setUniformValue(m_em.stockLUTAmount, bypass ? 0.f : m_stockAmount);
    p->setUniformValue(m_em.stockCurveAmount, bypass ? 0.f : m_curveAmount);
    p->setUniformValue(m_em.grainAmount, bypass ? 0.f : m_grainAmount);
    p->setUniformValue(m_em.grainColorfulness, 0.6f);
    glUniform2f(m_em.grainOffset, m_grainOffset[0], m_grainOffset[1]);
    glUniform1iv(m_em.grainSize, 2, m_grainSize.data());
    // Row-major tables, the colour multiplied as a row vector: transpose on upload.
    const GradeTables::Matrix& saturation = bypass ? GradeTables::identityMatrix() : m_tables.saturationMatrix();
    const GradeTables::Matrix& blackAndWhite
        = (!bypass && m_isBlackAndWhite) ? GradeTables::blackAndWhiteMatrix() : GradeTables::identityMatrix();
    glUniformMatrix4fv(m_em.saturation, 1, GL_TRUE, saturation.data());
    glUniformMatrix4fv(m_em.blackAndWhite, 1, GL_TRUE, blackAndWhite.data());
    p->setUniformValue(m_em.histogramNeeded, histogramNeeded);
}

void ShaderProcessor::uploadToneLocked(bool bypass, bool foldLevels, bool allocate)
{
    GradeTables::composeTone(bypass ? m_tables.bypassLiftGammaGain() : m_tables.liftGammaGain(),
        bypass ? m_tables.bypassWheels() : m_tables.wheels(), foldLevels ? &m_tables.levels() : nullptr, m_toneTable);
    glActiveTexture(GL_TEXTURE8);
    glBindTexture(GL_TEXTURE_1D_ARRAY, m_wheelsTexture);
    uploadChannelTable(m_toneTable.data(), GradeTables::TableSize, allocate);
    m_toneHoldsLevels = foldLevels;
}

void ShaderProcessor::uploadTexturesLocked(bool bypass, bool foldLevels)
{
    if (bypass != m_texturesHoldBypass) {
        m_tables.markDirty(GradeTables::AllTables);
        m_texturesHoldBypass = bypass;
    }
    const unsigned tables = m_tables.dirtyTables();
    auto count = [this](Upload flag) { ++m_uploadCounts[size_t(uploadSlot(flag))]; };
    if (tables & GradeTables::ExposureTable) {
        glActiveTexture(GL_TEXTURE5);
        glBindTexture(GL_TEXTURE_1D_ARRAY, m_exposureTexture);
        uploadChannelTable(
            (bypass ? m_tables.bypassExposure() : m_tables.exposure()).data(), GradeTables::TableSize, false);
        count(ExposureUpload);
    }
    const unsigned toneTables = GradeTables::LiftGammaGainTable | GradeTables::WheelsTable;
    if ((tables & toneTables) || foldLevels != m_toneHoldsLevels
        || (foldLevels && (tables & GradeTables::LevelsTable))) {
        uploadToneLocked(bypass, foldLevels);
        if (tables & GradeTables::LiftGammaGainTable)
            count(LiftGammaGainUpload);
        if (tables & GradeTables::WheelsTable)
            count(WheelsUpload);
    }
    if (tables & GradeTables::LevelsTable) {
        glActiveTexture(GL_TEXTURE4);
        glBindTexture(GL_TEXTURE_1D, m_levelsTexture);
        glTexSubImage1D(GL_TEXTURE_1D, 0, 0, GradeTables::TableSize, GL_RED, GL_FLOAT,
            (bypass ? m_tables.bypassLevels() : m_tables.levels()).data());
        count(LevelsUpload);
    }
    m_tables.clearDirty(tables);

    if ((m_filmUploads & GrainMapUpload) && m_grain && m_grain->textureBytes()) {
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_RECTANGLE, m_grainMapTexture);
        if (m_grainMapTextureSize != m_grainSize) {
            glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, m_grainSize[0], m_grainSize[1], 0, GL_RGBA,
                GL_UNSIGNED_BYTE, m_grain->textureBytes());
            m_grainMapTextureSize = m_grainSize;
        } else {
            glTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, 0, 0, m_grainSize[0], m_grainSize[1], GL_RGBA, GL_UNSIGNED_BYTE,
                m_grain->textureBytes());
        }
        count(GrainMapUpload);
    }
    if ((m_filmUploads & GrainCurveUpload) && m_grainCurve) {
        glActiveTexture(GL_TEXTURE2);
        glBindTexture(GL_TEXTURE_1D_ARRAY, m_grainCurveTexture);
        uploadChannelTable(m_grainCurve->values, GrainCurve::kEntries, false);
        count(GrainCurveUpload);
    }
    if ((m_filmUploads & StockTableUpload) && m_stockTable) {
        glActiveTexture(GL_TEXTURE3);
        glBindTexture(GL_TEXTURE_3D, m_stockTexture);
        glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, StockTable::kSize, StockTable::kSize, StockTable::kSize, GL_RGB,
            GL_FLOAT, m_stockTable.get());
        count(StockTableUpload);
    }
    m_filmUploads = 0;
    glActiveTexture(GL_TEXTURE0);
}

void ShaderProcessor::bindGradingTextures()
{
    const struct
    {
        GLenum unit;
        GLenum target;
        GLuint texture;
    } bindings[] = {
        { GL_TEXTURE1, GL_TEXTURE_RECTANGLE, m_grainMapTexture },
        { GL_TEXTURE2, GL_TEXTURE_1D_ARRAY, m_grainCurveTexture },
        { GL_TEXTURE3, GL_TEXTURE_3D, m_stockTexture },
        { GL_TEXTURE4, GL_TEXTURE_1D, m_levelsTexture },
        { GL_TEXTURE5, GL_TEXTURE_1D_ARRAY, m_exposureTexture },
        { GL_TEXTURE8, GL_TEXTURE_1D_ARRAY, m_wheelsTexture },
    };
    for (const auto& binding : bindings) {
        glActiveTexture(binding.unit);
        glBindTexture(binding.target, binding.texture);
    }
    glActiveTexture(GL_TEXTURE0);
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
    useSubroutine(m_emOrderIndices[effective], m_emSubroutineCount);
}

void ShaderProcessor::useSubroutine(GLuint index, GLint locations)
{
    // The set-up refuses programs with more locations than this.
    GLuint indices[4];
    for (GLint i = 0; i < locations; ++i)
        indices[i] = index;
    glUniformSubroutinesuiv(GL_FRAGMENT_SHADER, locations, indices);
}

QImage ShaderProcessor::currentFrameImage() const
{
    AnnotatedMutexLocker lock(&m_histogramMutex);
    if (!m_histogramDrawn)
        return QImage();
    // copy(): the QImage over the buffer would follow the next read-back.
    return QImage(m_histogramA, HistogramWidth, HistogramHeight, QImage::Format_RGBA8888).copy();
}

} // namespace Emulsa
