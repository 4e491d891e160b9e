#include "core/grade/GradeState.h"

#include "core/AnnotatedMutexLocker.h"
#include "core/Grain.h"
#include "core/grade/BlurPass.h"
#include "core/grade/DyeGrain.h"
#include "core/grade/FrameSeed.h"
#include "core/grade/GradingPrograms.h"

#include <QOpenGLShaderProgram>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

namespace Emulsa {

GradeState::GradeState()
    : m_tables(nullptr)
{
}

void GradeState::setSizes(unsigned int sourceWidth, unsigned int outputWidth, unsigned int outputHeight)
{
    AnnotatedMutexLocker lock(&m_mutex);
    m_sourceWidth = sourceWidth;
    m_outputWidth = outputWidth;
    m_outputHeight = outputHeight;
    // The blur weights depend on the output width.
    m_blurWeights = BlurPass::weightsFor(m_outputWidth, m_blurAmount);
}

// ---- The grade ----

template<typename Edit> void GradeState::edit(Edit change)
{
    AnnotatedMutexLocker lock(&m_mutex);
    m_edited = true;
    change();
}

bool GradeState::holdsStock(const QString& stock, quint32 profile) const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_stockTable && stock == m_stockName && profile == m_stockProfile;
}

void GradeState::setStock(const QString& stock, quint32 profile, StockTableData& table, double grainScale)
{
    AnnotatedMutexLocker lock(&m_mutex);
    m_edited = true;
    if (table) {
        m_stockTable.swap(table);
        m_stockName = stock;
        m_stockProfile = profile;
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
    if (!m_grainChoice.isChosenFor(stock, grainScale, m_outputWidth, m_outputHeight) && m_outputWidth != 0
        && m_outputHeight != 0)
        chooseGrainLocked(stock, grainScale);
}

void GradeState::applyAmounts(const ClipSettings& settings)
{
    edit([&] {
        m_amounts.stock = float(settings.getStockLUTAmount()) / 100.f;
        m_amounts.curve = float(settings.getStockCurveAmount()) / 100.f;
        m_amounts.grain = float(settings.getGrainAmount()) / 100.f;
        m_amounts.colourGrain = float(settings.getColourGrainAmount()) / 100.f;
        m_amounts.halation = float(settings.getHalationAmount()) / 100.f;
        m_amounts.bloom = float(settings.getBloomAmount()) / 100.f;
        m_amounts.weave = float(settings.getWeaveAmount()) / 100.f;
        m_amounts.flicker = float(settings.getFlickerAmount()) / 100.f;
        m_gauge = settings.getGrainScaleName();
        m_tables.applySettings(settings);
        m_bypass = settings.getOriginal();
    });
}

bool GradeState::recordOutcome(bool stockApplied, bool wholeGrade)
{
    AnnotatedMutexLocker lock(&m_mutex);
    const bool before = m_hasGrade && !m_stockFailed;
    m_stockFailed = !stockApplied;
    if (stockApplied && wholeGrade)
        m_hasGrade = true;
    return before != (m_hasGrade && !m_stockFailed);
}

bool GradeState::applied() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_hasGrade && !m_stockFailed;
}

void GradeState::setExposureAndKelvin(float exposure, float kelvin)
{
    edit([&] { m_tables.setExposureAndKelvin(exposure, kelvin); });
}

void GradeState::setStockAmount(float amount)
{
    edit([&] { m_amounts.stock = amount; });
}

void GradeState::setCurveAmount(float amount)
{
    edit([&] { m_amounts.curve = amount; });
}

void GradeState::setGrainAmount(float amount)
{
    edit([&] { m_amounts.grain = amount; });
}

void GradeState::setColorWheels(const ColorWheelData& low, const ColorWheelData& mid, const ColorWheelData& high)
{
    edit([&] { m_tables.setColorWheels(low, mid, high); });
}

void GradeState::setLiftGammaGain(float lift, float gamma, float gain)
{
    edit([&] { m_tables.setLiftGammaGain(lift, gamma, gain); });
}

void GradeState::setSaturation(float saturation)
{
    edit([&] { m_tables.setSaturation(saturation); });
}

void GradeState::setLevels(const HistogramSliderData& levels)
{
    edit([&] { m_tables.setLevels(levels); });
}

void GradeState::setBypass(bool bypass)
{
    edit([&] {
        m_bypass = bypass;
        m_tables.markDirty(GradeTables::ExposureTable | GradeTables::LiftGammaGainTable | GradeTables::WheelsTable
            | GradeTables::LevelsTable);
    });
}

bool GradeState::chooseGrain(const QString& stock, double scale)
{
    AnnotatedMutexLocker lock(&m_mutex);
    return chooseGrainLocked(stock, scale);
}

bool GradeState::chooseGrainLocked(const QString& stock, double scale)
{
    GrainChoice::Change change;
    if (!m_grainChoice.choose(stock, scale, m_outputWidth, m_outputHeight, &change))
        return false;
    m_textures.markStale((change.map ? unsigned(GradeTextures::GrainMapUpload) : 0u)
        | (change.curve ? unsigned(GradeTextures::GrainCurveUpload) : 0u));
    return true;
}

void GradeState::forgetEdit()
{
    AnnotatedMutexLocker lock(&m_mutex);
    m_edited = false;
}

// ---- Readings ----

bool GradeState::bypass() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_bypass;
}

bool GradeState::isBlackAndWhite() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_isBlackAndWhite;
}

float GradeState::blurAmount() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_blurAmount;
}

std::array<float, 3> GradeState::blurWeights() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_blurWeights;
}

GlowParams GradeState::glowLocked(GlowPass::Effect effect) const
{
    if (m_bypass)
        return GlowParams();
    return effect == GlowPass::Halation ? Glow::halation(m_amounts.halation, m_gauge, m_sourceWidth)
                                        : Glow::bloom(m_amounts.bloom, m_gauge, m_sourceWidth);
}

GlowParams GradeState::halation() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return glowLocked(GlowPass::Halation);
}

GlowParams GradeState::bloom() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return glowLocked(GlowPass::Bloom);
}

bool GradeState::readsLinearPicture() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_blurAmount > 0.f;
}

bool GradeState::weaves() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_amounts.weave != 0.f && !m_bypass;
}

bool GradeState::isNeutral() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    const Amounts& a = m_amounts;
    if (m_bypass || m_isBlackAndWhite || a.stock != 0.f || a.grain != 0.f || m_blurAmount > 0.f || a.halation > 0.f
        || a.bloom > 0.f || a.weave != 0.f || a.flicker != 0.f)
        return false;
    return m_tables.saturationMatrix() == GradeCurves::identityMatrix()
        && m_tables.exposure() == m_tables.bypassExposure()
        && m_tables.liftGammaGain() == m_tables.bypassLiftGammaGain() && m_tables.wheels() == m_tables.bypassWheels()
        && m_tables.levels() == m_tables.bypassLevels();
}

double GradeState::grainScale() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_grainScale;
}

const Grain* GradeState::grain() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_grainChoice.grain();
}

int GradeState::grainChoices() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_grainChoice.choices();
}

std::array<float, 2> GradeState::grainOffset() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_grainOffset;
}

void GradeState::setGrainOffset(float x, float y)
{
    AnnotatedMutexLocker lock(&m_mutex);
    m_grainOffset = { { x, y } };
}

void GradeState::setFrameIdentity(quint32 clipSeed, qint64 frame)
{
    AnnotatedMutexLocker lock(&m_mutex);
    m_clipSeed = clipSeed;
    m_frame = frame < 0 ? -1 : frame;
}

std::pair<quint32, qint64> GradeState::frameIdentity() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return { m_clipSeed, m_frame };
}

FilmMotion::Frame GradeState::filmMotion() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return motionLocked();
}

FilmMotion::Frame GradeState::motionLocked() const
{
    // A function of the clip, the frame and the two amounts: worked out
    // where it is used, never kept.
    return FilmMotion::at(m_clipSeed, std::max<qint64>(m_frame, 0), m_amounts.weave, m_amounts.flicker);
}

unsigned GradeState::pendingUploads() const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_tables.dirtyTables() | m_textures.staleFilm();
}

unsigned GradeState::uploadCount(GradeTextures::Upload texture) const
{
    AnnotatedMutexLocker lock(&m_mutex);
    return m_textures.uploadCount(texture);
}

std::array<float, 2> GradeState::seededGrainOffset(
    quint32 clipSeed, qint64 frame, unsigned int width, unsigned int height)
{
    // Whole pixels, so that the grain's texels stay on the picture's.
    return { { float(FrameSeed::hash(clipSeed, frame, 0) % std::max(1u, width)),
        float(FrameSeed::hash(clipSeed, frame, 1) % std::max(1u, height)) } };
}

std::array<float, 2> GradeState::movedGrainOffset(
    const std::array<float, 2>& offset, unsigned int width, unsigned int height, quint32 randomX, quint32 randomY)
{
    if (width < 2 || height < 2)
        return offset;
    const quint32 x = (width / 4 + randomX % (width / 2) + quint32(std::trunc(offset[0]))) % width;
    const quint32 y = (height / 4 + randomY % (height / 2) + quint32(std::trunc(offset[1]))) % height;
    return { { float(x), float(y) } };
}

// ---- Frames ----

GradeState::Frame GradeState::beginFrame(bool animate, std::atomic<bool>& reset)
{
    AnnotatedMutexLocker lock(&m_mutex);
    Frame frame;
    frame.edited = m_edited;
    m_edited = false;
    frame.bypass = m_bypass;
    frame.blurAmount = m_blurAmount;
    frame.blurWeights = m_blurWeights;
    for (int e = 0; e < GlowPass::EffectCount; ++e)
        frame.glow[e] = glowLocked(GlowPass::Effect(e));
    // One move per frame, shared by the histogram passes and the picture.
    if (m_frame >= 0) {
        m_grainOffset = seededGrainOffset(m_clipSeed, m_frame, m_outputWidth, m_outputHeight);
    } else if (!m_bypass && m_amounts.grain > 0.f && (animate || reset.load())) {
        QRandomGenerator* random = QRandomGenerator::global();
        m_grainOffset
            = movedGrainOffset(m_grainOffset, m_outputWidth, m_outputHeight, random->generate(), random->generate());
        reset = false;
    }
    return frame;
}

std::pair<unsigned, bool> GradeState::stages(bool bypass, bool levelsApart) const
{
    AnnotatedMutexLocker lock(&m_mutex);
    const bool foldLevels = !bypass && !levelsApart && m_tables.saturationMatrix() == GradeCurves::identityMatrix();
    // Showing the original, the saturation is neutral and the levels are
    // skipped, unless the histogram passes ask for them.
    const bool finish = levelsApart || (!bypass && !foldLevels);
    if (bypass)
        return { finish ? unsigned(GradingPrograms::FinishStage) : 0u, foldLevels };
    const Amounts& a = m_amounts;
    const bool stock = a.stock != 0.f;
    const auto stage = [](bool on, GradingPrograms::Stage s) { return on ? unsigned(s) : 0u; };
    return { stage(stock, GradingPrograms::StockStage)
            | stage(stock && (a.stock != 1.f || a.curve != 1.f), GradingPrograms::StockMixStage)
            | stage(a.grain != 0.f, GradingPrograms::GrainStage) | stage(m_isBlackAndWhite, GradingPrograms::MonoStage)
            | stage(!m_tables.isToneNeutral(foldLevels), GradingPrograms::ToneStage)
            | stage(finish, GradingPrograms::FinishStage) | stage(a.weave != 0.f, GradingPrograms::WeaveStage)
            | stage(a.flicker != 0.f, GradingPrograms::FlickerStage)
            | stage(a.grain != 0.f && a.colourGrain != 0.f, GradingPrograms::DyeGrainStage)
            | stage(a.halation > 0.f, GradingPrograms::HalationStage)
            | stage(a.bloom > 0.f, GradingPrograms::BloomStage),
        foldLevels };
}

void GradeState::applyToProgram(
    QOpenGLFunctions_4_0_Core* gl, const GradingPrograms& programs, bool bypass, int histogramNeeded, bool foldLevels)
{
    AnnotatedMutexLocker lock(&m_mutex);
    QOpenGLShaderProgram* p = programs.program();
    const GradingPrograms::Locations& at = programs.locations();
    p->setUniformValue(at.stockLUTAmount, bypass ? 0.f : m_amounts.stock);
    p->setUniformValue(at.stockCurveAmount, bypass ? 0.f : m_amounts.curve);
    p->setUniformValue(at.grainAmount, bypass ? 0.f : m_amounts.grain);
    p->setUniformValue(at.grainColorfulness, 0.6f);
    gl->glUniform2f(at.grainOffset, m_grainOffset[0], m_grainOffset[1]);
    gl->glUniform1iv(at.grainSize, 2, m_grainChoice.size().data());
    const FilmMotion::Frame motion = bypass ? FilmMotion::Frame() : motionLocked();
    gl->glUniform2f(at.weaveOffset, motion.offset[0], motion.offset[1]);
    gl->glUniform3f(at.flickerGain, motion.gain[0], motion.gain[1], motion.gain[2]);
    if (at.dyeGrainMix >= 0) {
        // The colour grain as strong as the map's for a stock of the
        // reference granularity, its cells sized on the film.
        const Grain* grain = m_grainChoice.grain();
        if (grain != m_dyeRmsGrain) {
            m_dyeRmsGrain = grain;
            m_dyeMapRms
                = grain ? DyeGrain::mapRms(grain->textureBytes(), size_t(grain->width()) * grain->height()) : 0.f;
        }
        const auto cells = DyeGrain::cellPixels(m_grainScale, m_sourceWidth);
        gl->glUniform1f(at.dyeGrainMix, bypass ? 0.f : m_amounts.colourGrain);
        gl->glUniform1f(at.dyeGrainScale, m_dyeMapRms * DyeGrain::stockStrength(m_stockName));
        gl->glUniform3f(at.dyeGrainCell, cells[0], cells[1], cells[2]);
        gl->glUniform2ui(at.dyeGrainSeed, m_clipSeed, quint32(quint64(std::max<qint64>(m_frame, 0))));
    }
    // Row-major tables, the colour multiplied as a row vector: transpose on upload.
    const GradeTables::Matrix& saturation = bypass ? GradeCurves::identityMatrix() : m_tables.saturationMatrix();
    const GradeTables::Matrix& blackAndWhite
        = (!bypass && m_isBlackAndWhite) ? GradeCurves::blackAndWhiteMatrix() : GradeCurves::identityMatrix();
    gl->glUniformMatrix4fv(at.saturation, 1, GL_TRUE, saturation.data());
    gl->glUniformMatrix4fv(at.blackAndWhite, 1, GL_TRUE, blackAndWhite.data());
    p->setUniformValue(at.histogramNeeded, histogramNeeded);
    m_textures.upload(m_tables, filmLocked(), bypass, foldLevels);
}

GradeTextures::Film GradeState::filmLocked() const
{
    GradeTextures::Film film;
    film.grain = m_grainChoice.grain();
    film.curve = m_grainChoice.curve();
    film.grainSize = m_grainChoice.size();
    film.stockTable = m_stockTable.get();
    return film;
}

void GradeState::setFunctions(QOpenGLFunctions_4_0_Core* gl)
{
    m_textures.setFunctions(gl);
}

bool GradeState::createTextures()
{
    AnnotatedMutexLocker lock(&m_mutex);
    // Without a grain the grain textures would hold no data.
    if (!m_grainChoice.grain() && !chooseGrainLocked(QStringLiteral("5207"), 1.0))
        return false;
    return m_textures.create(m_tables, filmLocked(), m_bypass);
}

void GradeState::bindTextures()
{
    m_textures.bind();
}

void GradeState::destroyTextures()
{
    AnnotatedMutexLocker lock(&m_mutex);
    m_stockTable.reset();
    m_textures.destroy();
}

} // namespace Emulsa
