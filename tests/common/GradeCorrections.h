#pragma once

#include "core/ClipSettings.h"

namespace Emulsa::Test {

// Every colour correction of a grade at once, in the order the grading panel
// shows them, for fixtures that set them all.
struct Corrections
{
    float exposure;
    float kelvin;
    ColorWheelData low;
    ColorWheelData mid;
    ColorWheelData high;
    float lift;
    float gamma;
    float gain;
    float saturation;
    HistogramSliderData levels;
};

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
