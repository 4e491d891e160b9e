#include "core/GradeFields.h"

#include <cmath>

namespace Emulsa {

namespace {

// Reads and writes one member of ClipSettings as a GradeValue.
template<typename T, auto Get, auto Set> struct Member
{
    static GradeValue get(const ClipSettings& s) { return (s.*Get)(); }
    static void set(ClipSettings& s, const GradeValue& v) { (s.*Set)(std::get<T>(v)); }
};
template<typename T, T (ClipSettings::*Get)() const, void (ClipSettings::*Set)(T)> using Plain = Member<T, Get, Set>;
template<typename T, T (ClipSettings::*Get)() const, void (ClipSettings::*Set)(const T&)>
using ByRef = Member<T, Get, Set>;

using ExposureValue = Plain<float, &ClipSettings::getExposure, &ClipSettings::setExposure>;
using KelvinValue = Plain<float, &ClipSettings::getKelvin, &ClipSettings::setKelvin>;
using StockAmountValue = Plain<int, &ClipSettings::getStockLUTAmount, &ClipSettings::setStockLUTAmount>;
using CurveAmountValue = Plain<int, &ClipSettings::getStockCurveAmount, &ClipSettings::setStockCurveAmount>;
using GrainAmountValue = Plain<int, &ClipSettings::getGrainAmount, &ClipSettings::setGrainAmount>;
using LowValue = ByRef<ColorWheelData, &ClipSettings::getLow, &ClipSettings::setLow>;
using MidValue = ByRef<ColorWheelData, &ClipSettings::getMid, &ClipSettings::setMid>;
using HighValue = ByRef<ColorWheelData, &ClipSettings::getHigh, &ClipSettings::setHigh>;
using LiftValue = Plain<float, &ClipSettings::getLift, &ClipSettings::setLift>;
using GammaValue = Plain<float, &ClipSettings::getGamma, &ClipSettings::setGamma>;
using GainValue = Plain<float, &ClipSettings::getGain, &ClipSettings::setGain>;
using SaturationValue = Plain<float, &ClipSettings::getSaturation, &ClipSettings::setSaturation>;
using HalationValue = Plain<int, &ClipSettings::getHalationAmount, &ClipSettings::setHalationAmount>;
using BloomValue = Plain<int, &ClipSettings::getBloomAmount, &ClipSettings::setBloomAmount>;
using WeaveValue = Plain<int, &ClipSettings::getWeaveAmount, &ClipSettings::setWeaveAmount>;
using FlickerValue = Plain<int, &ClipSettings::getFlickerAmount, &ClipSettings::setFlickerAmount>;
using ColourGrainValue = Plain<int, &ClipSettings::getColourGrainAmount, &ClipSettings::setColourGrainAmount>;
using LevelsValue
    = ByRef<HistogramSliderData, &ClipSettings::getHistogramSliderData, &ClipSettings::setHistogramSliderData>;

template<typename Access>
GradeFieldInfo field(GradeField id, const char* name, const char* label, GradeValue defaultValue, double minimum,
    double maximum, SliderScale slider, bool dropsUnchanged = false)
{
    return { id, name, label, defaultValue, minimum, maximum, slider, dropsUnchanged, &Access::get, &Access::set };
}

std::array<GradeFieldInfo, GradeFieldCount> describeFields()
{
    return {
        field<ExposureValue>(
            GradeField::Exposure, "Exposure", "Exposure", 0.0f, -1.5, 1.5, { -15000, 15000, 10000.0, 10000.0 }),
        field<KelvinValue>(GradeField::Kelvin, "Kelvin", "Kelvin", 5600.0f, 1700.0, 12000.0, { 1700, 12000, 1.0, 1.0 }),
        field<StockAmountValue>(
            GradeField::StockAmount, "StockAmount", "Strength", 100, 0.0, 100.0, { 0, 100, 1.0, 1.0 }),
        field<CurveAmountValue>(GradeField::CurveAmount, "CurveAmount", "Curve", 100, 0.0, 100.0, { 0, 100, 1.0, 1.0 }),
        field<GrainAmountValue>(
            GradeField::GrainAmount, "GrainAmount", "Amount", 100, 0.0, 200.0, { 0, 200, 1.0, 1.0 }),
        field<LowValue>(GradeField::LowWheel, "Low", "Shadows", ColorWheelData(), 0.0, 0.0, {}),
        field<MidValue>(GradeField::MidWheel, "Mid", "Midtones", ColorWheelData(), 0.0, 0.0, {}),
        field<HighValue>(GradeField::HighWheel, "High", "Highlights", ColorWheelData(), 0.0, 0.0, {}),
        field<LiftValue>(GradeField::Lift, "Lift", "Lift", 1.0f, 0.5, 1.5, { 50, 150, 100.0, 1.0 }),
        field<GammaValue>(GradeField::Gamma, "Gamma", "Gamma", 1.0f, 0.5, 1.5, { 50, 150, 100.0, 1.0 }),
        field<GainValue>(GradeField::Gain, "Gain", "Gain", 1.0f, 0.5, 1.5, { 50, 150, 100.0, 1.0 }),
        field<SaturationValue>(
            GradeField::Saturation, "Saturation", "Saturation", 1.0f, 0.0, 2.0, { 0, 200, 100.0, 100.0 }),
        field<LevelsValue>(GradeField::Levels, "Histogram", "Levels", HistogramSliderData(), 0.0, 1.0, {}, true),
        field<HalationValue>(
            GradeField::HalationAmount, "HalationAmount", "Halation", 0, 0.0, 100.0, { 0, 100, 1.0, 1.0 }),
        field<BloomValue>(GradeField::BloomAmount, "BloomAmount", "Bloom", 0, 0.0, 100.0, { 0, 100, 1.0, 1.0 }),
        field<WeaveValue>(
            GradeField::WeaveAmount, "GateWeaveAmount", "Gate weave", 0, 0.0, 100.0, { 0, 100, 1.0, 1.0 }),
        field<FlickerValue>(GradeField::FlickerAmount, "FlickerAmount", "Flicker", 0, 0.0, 100.0, { 0, 100, 1.0, 1.0 }),
        field<ColourGrainValue>(
            GradeField::ColourGrainAmount, "ColourGrainAmount", "Colour grain", 0, 0.0, 100.0, { 0, 100, 1.0, 1.0 }),
    };
}

} // namespace

int GradeFieldInfo::position(const GradeValue& value) const
{
    // Stored values are floats (0.9f is 0.8999999...): the position is the
    // nearest step, not the one below it.
    if (const float* f = std::get_if<float>(&value))
        return int(std::lround(double(*f) * slider.positionsPerUnit));
    if (const int* i = std::get_if<int>(&value))
        return int(std::lround(*i * slider.positionsPerUnit));
    return 0;
}

GradeValue GradeFieldInfo::fromPosition(int position) const
{
    if (std::holds_alternative<int>(defaultValue))
        return int(std::lround(position / slider.positionsPerUnit));
    return float(position / slider.positionsPerUnit);
}

const std::array<GradeFieldInfo, GradeFieldCount>& gradeFields()
{
    // Built on first use: a ClipSettings made during static initialisation
    // reads its defaults from here.
    static const std::array<GradeFieldInfo, GradeFieldCount> descriptions = describeFields();
    return descriptions;
}

const GradeFieldInfo& gradeField(GradeField field)
{
    return gradeFields()[size_t(field)];
}

void registerGradeFieldMetaTypes()
{
    qRegisterMetaType<GradeField>("Emulsa::GradeField");
    qRegisterMetaType<GradeValue>("Emulsa::GradeValue");
}

} // namespace Emulsa
