#pragma once

#include "core/ClipSettings.h"
#include "core/GradeTables.h"

namespace Emulsa::Test {

// Every colour correction of a grade at once, for fixtures that set them all.
using Corrections = GradeTables::Corrections;

inline void setCorrections(ClipSettings& settings, const Corrections& c)
{
    settings.setExposure(c.exposure);
    settings.setKelvin(c.kelvin);
    settings.setLow(c.low);
    settings.setMid(c.mid);
    settings.setHigh(c.high);
    settings.setLift(c.lift);
    settings.setGamma(c.gamma);
    settings.setGain(c.gain);
    settings.setSaturation(c.saturation);
    settings.setHistogramSliderData(c.levels);
}

} // namespace Emulsa::Test
