#pragma once

#include "core/ClipSettings.h"
#include "core/GradeCurves.h"

#include <array>

namespace Emulsa {

class ExposureConversion;

// The lookup tables and matrices a grade is expressed in, as fixed-size arrays
// rebuilt in place (no allocation), plus the neutral bypass copies taken at
// construction and one upload flag per table.
//
// Memory layouts and the shader variables they feed:
//   exposure()      RgbTable, 4096 x (R, G, B) interleaved. Uploaded channel
//                   by channel as a 1D array texture, R32F, 3 layers
//                   (layer 0 red) -> uniExposureArray.
//                   Entry i is the output for input i / 4095.
//   liftGammaGain() ScalarTable, 4096 floats. Entry i is the output for
//                   input i / 4096.
//   wheels()        RgbTable. Entry i: input i / 4095. The shader reads the
//                   two composed (composeTone(), lift/gamma/gain first) ->
//                   uniBallsArray (3 layers, as exposure).
//   levels()        ScalarTable -> uniHistogramArray (GL_RED), or composed
//                   into uniBallsArray after the wheels. Entry i covers
//                   inputs [i / 4096, (i + 1) / 4096).
//   Matrix          16 floats, ROW-major: m[row * 4 + col], rows as the
//                   builders document. The shader multiplies the colour as a
//                   row vector: out[col] = sum over row of in[row] * m[row*4+col].
//                   Upload with glUniformMatrix4fv(location, 1, GL_TRUE, m), or
//                   QMatrix4x4(m.data()) (which takes row-major values) and
//                   setUniformValue. saturationMatrix() -> uniSaturation;
//                   blackAndWhiteMatrix() or identityMatrix() -> uniBlackAndWhite.
//
// No locking here: the owner (the shader processor) holds its data mutex
// around every call that rebuilds or reads the tables.
class GradeTables
{
public:
    static constexpr int TableSize = GradeCurves::TableSize;
    using RgbTable = GradeCurves::RgbTable;
    using ScalarTable = GradeCurves::ScalarTable;
    using Matrix = GradeCurves::Matrix;

    // Upload flags.
    enum Table : unsigned
    {
        ExposureTable = 0x1,
        LiftGammaGainTable = 0x2,
        WheelsTable = 0x4,
        LevelsTable = 0x8,
        AllTables = 0xF
    };

    // Builds every table from default settings through the given conversion
    // (ExposureConversion::shared() when null) and takes the bypass copies
    // from these first results. All tables start flagged for upload.
    // Every colour correction of a grade, in the order the grading panel
    // shows them.
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

    explicit GradeTables(const ExposureConversion* conversion = nullptr);

    // Takes up a whole grade, in this order: exposure and temperature,
    // wheels, lift/gamma/gain, saturation matrix, levels. Each table is
    // rebuilt, and flagged, only when its own inputs differ from those it was
    // built from: a grade applied again after one edit rebuilds that edit's
    // table alone. Returns the tables flagged (Table values; the saturation
    // matrix has no flag). (The amounts, the stock and the show-original flag
    // are the owner's.)
    unsigned applySettings(const ClipSettings& settings);

    // The single edits. Each rebuilds its table and flags it, unless the
    // inputs are those the table holds already; true when it rebuilt.
    // Exposure exactly 0 with kelvin exactly 5600 marks the exposure table
    // neutral.
    bool setExposureAndKelvin(float exposure, float kelvin);
    bool setColorWheels(const ColorWheelData& low, const ColorWheelData& mid, const ColorWheelData& high);
    bool setLiftGammaGain(float lift, float gamma, float gain);
    bool setSaturation(float saturation);
    bool setLevels(const HistogramSliderData& levels);

    const RgbTable& exposure() const { return m_exposure; }
    const ScalarTable& liftGammaGain() const { return m_liftGammaGain; }
    const RgbTable& wheels() const { return m_wheels; }
    const ScalarTable& levels() const { return m_levels; }
    const Matrix& saturationMatrix() const { return m_saturation; }
    bool isExposureNeutral() const { return m_neutral.exposure; }
    // Lift/gamma/gain and the wheels at their neutral settings, and the levels
    // too when `withLevels`: what they compose (composeTone()) is then the
    // identity to within the tables' sampling, under a tenth of an 8-bit step.
    bool isToneNeutral(bool withLevels) const
    {
        return m_neutral.liftGammaGain && m_neutral.wheels && (m_neutral.levels || !withLevels);
    }

    // The neutral copies used in show-original mode.
    const RgbTable& bypassExposure() const { return m_bypass.exposure; }
    const ScalarTable& bypassLiftGammaGain() const { return m_bypass.liftGammaGain; }
    const RgbTable& bypassWheels() const { return m_bypass.wheels; }
    const ScalarTable& bypassLevels() const { return m_bypass.levels; }

    // Upload flags (a combination of Table values).
    unsigned dirtyTables() const { return m_dirty; }
    bool isDirty(Table table) const { return (m_dirty & table) != 0; }
    void markDirty(unsigned tables) { m_dirty |= tables; }
    void clearDirty(unsigned tables) { m_dirty &= ~tables; }

    // The stocks graded with the black-and-white matrix ("FujiNeopan",
    // "IlfordDelta400", "IlfordDelta3200", "IlfordFP4", "KodakT-max", "KodakTriX").
    static bool isBlackAndWhiteStock(const QString& stockCode);

private:
    const ExposureConversion* m_conversion;
    RgbTable m_exposure;
    ScalarTable m_liftGammaGain;
    RgbTable m_wheels;
    ScalarTable m_levels;
    Matrix m_saturation;

    // The neutral tables, taken at construction.
    struct
    {
        RgbTable exposure;
        ScalarTable liftGammaGain;
        RgbTable wheels;
        ScalarTable levels;
    } m_bypass;

    // The corrections the tables were built from; NaN until first built.
    Corrections m_built;
    // Which tables are neutral now.
    struct
    {
        bool exposure = false;
        bool liftGammaGain = true;
        bool wheels = true;
        bool levels = true;
    } m_neutral;
    unsigned m_dirty = AllTables;
};

} // namespace Emulsa
