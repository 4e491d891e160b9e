#pragma once

#include "core/ClipSettings.h"

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
    static constexpr int TableSize = 4096;
    using RgbTable = std::array<float, TableSize * 3>;
    using ScalarTable = std::array<float, TableSize>;
    using Matrix = std::array<float, 16>;

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
    bool isExposureNeutral() const { return m_exposureNeutral; }
    // Lift/gamma/gain and the wheels at their neutral settings, and the levels
    // too when `withLevels`: what they compose (composeTone()) is then the
    // identity to within the tables' sampling, under a tenth of an 8-bit step.
    bool isToneNeutral(bool withLevels) const
    {
        return m_liftGammaGainNeutral && m_wheelsNeutral && (m_levelsNeutral || !withLevels);
    }

    // The neutral copies used in show-original mode.
    const RgbTable& bypassExposure() const { return m_bypassExposure; }
    const ScalarTable& bypassLiftGammaGain() const { return m_bypassLiftGammaGain; }
    const RgbTable& bypassWheels() const { return m_bypassWheels; }
    const ScalarTable& bypassLevels() const { return m_bypassLevels; }

    // Upload flags (a combination of Table values).
    unsigned dirtyTables() const { return m_dirty; }
    bool isDirty(Table table) const { return (m_dirty & table) != 0; }
    void markDirty(unsigned tables) { m_dirty |= tables; }
    void clearDirty(unsigned tables) { m_dirty &= ~tables; }

    static const Matrix& identityMatrix();
    // Every channel becomes the Rec. 709 luma. Rows (0.2126 x3, 0),
    // (0.7152 x3, 0), (0.0722 x3, 0), (0, 0, 0, 1).
    static const Matrix& blackAndWhiteMatrix();
    // The stocks graded with the black-and-white matrix ("FujiNeopan",
    // "IlfordDelta400", "IlfordDelta3200", "IlfordFP4", "KodakT-max", "KodakTriX").
    static bool isBlackAndWhiteStock(const QString& stockCode);

    // A table looked up as a texture unit looks up a 1D texture of it with
    // linear filtering and clamping to the edge: entry centres at
    // (i + 0.5) / size, linear between them, the end entries beyond.
    // `stride` and `offset` pick a channel of an interleaved table.
    static float sampleLikeTexture(const float* table, int stride, int offset, float x);

    // The one table per channel that stands for lift/gamma/gain, then the
    // wheels, then (when `levels` is given) the levels, each looked up as the
    // grading program looks it up: their composition at each entry centre.
    // Looked up linearly in its turn it gives the composition exactly at the
    // centres and to within a tenth of an 8-bit step between them.
    static void composeTone(
        const ScalarTable& liftGammaGain, const RgbTable& wheels, const ScalarTable* levels, RgbTable& out);

    // ---- Builders: pure functions writing into caller-owned arrays. ----

    // Linear with slope gain up to output 1 - knee, then bending smoothly to
    // meet it with equal value and slope.
    static float softKnee(float x, float gain, float knee);

    // Exposure e in decades, kelvin 1700..12000 (5600 neutral). Single
    // precision throughout. A null conversion means identity conversions.
    static void buildExposureTable(float exposure, float kelvin, const ExposureConversion* conversion, RgbTable& out);

    // Entry i = base^(2 - gamma) clamped to [0, 1], base = (x / lift + 1 - 1 / lift) * gain,
    // x = i / 4096; 0 where base <= 0. Double precision, stored as float.
    static void buildLiftGammaGainTable(double lift, double gamma, double gain, ScalarTable& out);

    // Hue direction of a wheel angle: t = theta / pi (float), clamped to
    // +-0.99999, mapped piecewise to an RGB direction (t = 0 -> (0.5, 0, 1),
    // t = 1/2 -> red, t = -1/2 -> cyan, t = +-1 -> (0.5, 1, 0)).
    static std::array<float, 3> hueRGB(double theta);

    static void buildColorWheelsTable(
        const ColorWheelData& low, const ColorWheelData& mid, const ColorWheelData& high, RgbTable& out);

    // Rows (s + a, a, a, 0), (b, s + b, b, 0), (c, c, s + c, 0), (0, 0, 0, 1)
    // with a, b, c = (1 - s) * (0.2126, 0.7152, 0.0722).
    static void buildSaturationMatrix(double saturation, Matrix& out);

    // Puts black, mid and white in order with at least 0.001 between them.
    static HistogramSliderData orderLevels(const HistogramSliderData& levels);

    // Catmull-Rom curve through (black, 0), (mid, 0.5), (white, 1), sampled
    // into 4096 buckets. Uses a fixed-size work table on the stack.
    static void buildLevelsTable(const HistogramSliderData& levels, ScalarTable& out);

private:
    const ExposureConversion* m_conversion;
    RgbTable m_exposure;
    ScalarTable m_liftGammaGain;
    RgbTable m_wheels;
    ScalarTable m_levels;
    Matrix m_saturation;

    RgbTable m_bypassExposure;
    ScalarTable m_bypassLiftGammaGain;
    RgbTable m_bypassWheels;
    ScalarTable m_bypassLevels;

    // The inputs each table was built from; NaN until it is first built.
    float m_exposureValue;
    float m_kelvin;
    ColorWheelData m_low;
    ColorWheelData m_mid;
    ColorWheelData m_high;
    float m_lift;
    float m_gamma;
    float m_gain;
    float m_saturationValue;
    HistogramSliderData m_levelsValue;
    bool m_exposureNeutral = false;
    bool m_liftGammaGainNeutral = true;
    bool m_wheelsNeutral = true;
    bool m_levelsNeutral = true;
    unsigned m_dirty = AllTables;
};

} // namespace Emulsa
