#pragma once

#include "core/ClipSettings.h"

#include <QMetaType>

#include <array>
#include <variant>

namespace Emulsa {

// The values of a grade that the user sets with a continuous control (a
// slider, a wheel, the levels handles). A drag is one undo step: the
// control sends an about-to-change before the first value, and the command
// for it keeps the value from before the drag. The order is that of their
// about-to-change commands.
enum class GradeField : int
{
    Exposure,
    Kelvin,
    StockAmount,
    CurveAmount,
    GrainAmount,
    LowWheel,
    MidWheel,
    HighWheel,
    Lift,
    Gamma,
    Gain,
    Saturation,
    Levels,
    // The film effects, each off at 0 so that a grade made before them looks
    // as it did; files carry them after the older values.
    HalationAmount,
    BloomAmount,
    WeaveAmount,
    FlickerAmount,
    ColourGrainAmount,
};
constexpr int GradeFieldCount = 18;
// The first field that files written before the film effects lack.
constexpr GradeField FirstFilmEffectField = GradeField::HalationAmount;

// One value of a field: float (exposure, kelvin, lift, gamma, gain,
// saturation), int percent (the stock, curve and grain amounts and the film
// effects), a wheel or the levels.
using GradeValue = std::variant<float, int, ColorWheelData, HistogramSliderData>;

// How a value sits on a slider: position = value * positionsPerUnit, and the
// number box beside it shows position / displayScale.
struct SliderScale
{
    int minimum = 0;
    int maximum = 0;
    double positionsPerUnit = 0.0; // 0: no slider (the wheels and the levels)
    double displayScale = 1.0;
};

struct GradeFieldInfo
{
    GradeField field;
    // The element that holds it in project and preset files (the wheels sit
    // in "ColorWheels").
    const char* name;
    // What the grading panel calls it.
    const char* label;
    GradeValue defaultValue;
    // The range a number read from a file is clamped to (float and int
    // fields only; the wheels and the levels check their own parts).
    double minimum;
    double maximum;
    SliderScale slider;
    // A setter that carries the present value is dropped: it changes
    // nothing and leaves no undo step (the levels, whose handles send their
    // values on every press).
    bool dropsUnchanged;
    GradeValue (*get)(const ClipSettings&);
    void (*set)(ClipSettings&, const GradeValue&);

    // The slider position of a float or int value, and back.
    int position(const GradeValue& value) const;
    GradeValue fromPosition(int position) const;
};

// The description of every field, in GradeField order.
const std::array<GradeFieldInfo, GradeFieldCount>& gradeFields();
const GradeFieldInfo& gradeField(GradeField field);

// Registers GradeField and GradeValue for queued signals. Safe to call more
// than once.
void registerGradeFieldMetaTypes();

} // namespace Emulsa

Q_DECLARE_METATYPE(Emulsa::GradeField)
Q_DECLARE_METATYPE(Emulsa::GradeValue)
