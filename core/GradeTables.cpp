#include "core/GradeTables.h"

#include "core/ExposureConversion.h"
#include "core/FilmLibrary.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Emulsa {

using namespace GradeCurves;

namespace {

constexpr float kUnset = std::numeric_limits<float>::quiet_NaN();

bool sameWheel(const ColorWheelData& a, const ColorWheelData& b)
{
    return a.radius == b.radius && a.theta == b.theta;
}

} // namespace

GradeTables::GradeTables(const ExposureConversion* conversion)
    : m_conversion(conversion ? conversion : ExposureConversion::shared())
    , m_built { kUnset, kUnset, { double(kUnset), double(kUnset) }, { double(kUnset), double(kUnset) },
        { double(kUnset), double(kUnset) }, kUnset, kUnset, kUnset, kUnset, { kUnset, kUnset, kUnset } }
{
    applySettings(ClipSettings());
    m_bypass.exposure = m_exposure;
    m_bypass.liftGammaGain = m_liftGammaGain;
    m_bypass.wheels = m_wheels;
    m_bypass.levels = m_levels;
    m_dirty = AllTables;
}

unsigned GradeTables::applySettings(const ClipSettings& settings)
{
    unsigned rebuilt = 0;
    if (setExposureAndKelvin(settings.getExposure(), settings.getKelvin()))
        rebuilt |= ExposureTable;
    if (setColorWheels(settings.getLow(), settings.getMid(), settings.getHigh()))
        rebuilt |= WheelsTable;
    if (setLiftGammaGain(settings.getLift(), settings.getGamma(), settings.getGain()))
        rebuilt |= LiftGammaGainTable;
    setSaturation(settings.getSaturation());
    if (setLevels(settings.getHistogramSliderData()))
        rebuilt |= LevelsTable;
    return rebuilt;
}

bool GradeTables::setExposureAndKelvin(float exposure, float kelvin)
{
    if (exposure == m_built.exposure && kelvin == m_built.kelvin)
        return false;
    m_built.exposure = exposure;
    m_built.kelvin = kelvin;
    m_neutral.exposure = exposure == 0.0f && kelvin == 5600.0f;
    buildExposureTable(exposure, kelvin, m_conversion, m_exposure);
    m_dirty |= ExposureTable;
    return true;
}

bool GradeTables::setColorWheels(const ColorWheelData& low, const ColorWheelData& mid, const ColorWheelData& high)
{
    if (sameWheel(low, m_built.low) && sameWheel(mid, m_built.mid) && sameWheel(high, m_built.high))
        return false;
    m_built.low = low;
    m_built.mid = mid;
    m_built.high = high;
    buildColorWheelsTable(m_built.low, m_built.mid, m_built.high, m_wheels);
    m_neutral.wheels = low.radius == 0.0 && mid.radius == 0.0 && high.radius == 0.0;
    m_dirty |= WheelsTable;
    return true;
}

bool GradeTables::setLiftGammaGain(float lift, float gamma, float gain)
{
    if (lift == m_built.lift && gamma == m_built.gamma && gain == m_built.gain)
        return false;
    m_built.lift = lift;
    m_built.gamma = gamma;
    m_built.gain = gain;
    buildLiftGammaGainTable(lift, gamma, gain, m_liftGammaGain);
    m_neutral.liftGammaGain = lift == 1.0f && gamma == 1.0f && gain == 1.0f;
    m_dirty |= LiftGammaGainTable;
    return true;
}

bool GradeTables::setSaturation(float saturation)
{
    if (saturation == m_built.saturation)
        return false;
    m_built.saturation = saturation;
    buildSaturationMatrix(saturation, m_saturation);
    return true;
}

bool GradeTables::setLevels(const HistogramSliderData& levels)
{
    if (levels.black == m_built.levels.black && levels.mid == m_built.levels.mid
        && levels.white == m_built.levels.white)
        return false;
    m_built.levels = levels;
    buildLevelsTable(levels, m_levels);
    const HistogramSliderData neutral;
    m_neutral.levels = levels.black == neutral.black && levels.mid == neutral.mid && levels.white == neutral.white;
    m_dirty |= LevelsTable;
    return true;
}

bool GradeTables::isBlackAndWhiteStock(const QString& stockCode)
{
    // The stock catalogue keeps the one list.
    return FilmLibrary::isBlackAndWhiteStock(stockCode);
}

} // namespace Emulsa
