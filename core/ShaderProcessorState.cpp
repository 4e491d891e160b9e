#include "core/ShaderProcessor.h"

#include "core/AnnotatedMutexLocker.h"
#include "core/grade/FrameSeed.h"

#include <algorithm>
#include <cmath>

// The processor's state for owners and tests, and its pure helpers.

namespace Emulsa {

// ---- State ----

bool ShaderProcessor::bypass() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_bypass;
}

bool ShaderProcessor::gradeIsNeutral() const
{
    if (m_histogram.hasTarget())
        return false;
    AnnotatedMutexLocker lock(&m_dataMutex);
    if (m_bypass || m_isBlackAndWhite || m_stockAmount != 0.f || m_grainAmount != 0.f || m_blurAmount > 0.f
        || m_halationAmount > 0.f || m_bloomAmount > 0.f || m_weaveAmount != 0.f || m_flickerAmount != 0.f)
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

GlowParams ShaderProcessor::halation() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_bypass ? GlowParams() : Glow::halation(m_halationAmount, m_gauge, m_sourceWidth);
}

GlowParams ShaderProcessor::bloom() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_bypass ? GlowParams() : Glow::bloom(m_bloomAmount, m_gauge, m_sourceWidth);
}

bool ShaderProcessor::readsLinearPicture() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_blurAmount > 0.f;
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
    return m_grain.grain();
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

FilmMotion::Frame ShaderProcessor::filmMotion() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return motionLocked();
}

FilmMotion::Frame ShaderProcessor::motionLocked() const
{
    // A function of the clip, the frame and the two amounts: worked out
    // where it is used, never kept.
    return FilmMotion::at(m_clipSeed, std::max<qint64>(m_frame, 0), m_weaveAmount, m_flickerAmount);
}

std::pair<quint32, qint64> ShaderProcessor::frameIdentity() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return { m_clipSeed, m_frame };
}

bool ShaderProcessor::weaves() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_weaveAmount != 0.f && !m_bypass;
}

void ShaderProcessor::setFrameIdentity(quint32 clipSeed, qint64 frame)
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    m_clipSeed = clipSeed;
    m_frame = frame < 0 ? -1 : frame;
}

std::array<float, 2> ShaderProcessor::seededGrainOffset(
    quint32 clipSeed, qint64 frame, unsigned int width, unsigned int height)
{
    // Whole pixels, so that the grain's texels stay on the picture's.
    return { { float(FrameSeed::hash(clipSeed, frame, 0) % std::max(1u, width)),
        float(FrameSeed::hash(clipSeed, frame, 1) % std::max(1u, height)) } };
}

unsigned ShaderProcessor::pendingUploads() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_tables.dirtyTables() | m_textures.staleFilm();
}

unsigned ShaderProcessor::uploadCount(Upload table) const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_textures.uploadCount(GradeTextures::Upload(table));
}

int ShaderProcessor::grainChoices() const
{
    AnnotatedMutexLocker lock(&m_dataMutex);
    return m_grain.choices();
}

bool ShaderProcessor::hasHistogramTarget() const
{
    return m_histogram.hasTarget();
}

QImage ShaderProcessor::currentFrameImage() const
{
    return m_histogram.currentFrameImage();
}

// ---- Pure helpers ----

std::array<float, 2> ShaderProcessor::movedGrainOffset(
    const std::array<float, 2>& offset, unsigned int width, unsigned int height, quint32 randomX, quint32 randomY)
{
    if (width < 2 || height < 2)
        return offset;
    const quint32 x = (width / 4 + randomX % (width / 2) + quint32(std::trunc(offset[0]))) % width;
    const quint32 y = (height / 4 + randomY % (height / 2) + quint32(std::trunc(offset[1]))) % height;
    return { { float(x), float(y) } };
}

} // namespace Emulsa
