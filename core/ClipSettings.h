#pragma once

#include <QDebug>
#include <QMetaType>
#include <QPair>
#include <QString>
#include <QVector>

namespace Emulsa {

// One colour-balance wheel. radius 0 is neutral and 1.0 the rim of the control
// (the control can deliver slightly more, about 1.02); theta is the hue
// direction in radians, in (-pi, pi] (see GradeCurves::hueRGB).
struct ColorWheelData
{
    double radius = 0.0;
    double theta = 0.0;

    friend bool operator==(const ColorWheelData& a, const ColorWheelData& b)
    {
        return a.radius == b.radius && a.theta == b.theta;
    }
    friend bool operator!=(const ColorWheelData& a, const ColorWheelData& b) { return !(a == b); }
};

// The output levels: three positions on the input axis 0..1. black maps to
// output 0, mid to 0.5 and white to 1.
struct HistogramSliderData
{
    float black = 0.0f;
    float mid = 0.5f;
    float white = 1.0f;

    friend bool operator==(const HistogramSliderData& a, const HistogramSliderData& b)
    {
        return a.black == b.black && a.mid == b.mid && a.white == b.white;
    }
    friend bool operator!=(const HistogramSliderData& a, const HistogramSliderData& b) { return !(a == b); }
};

// The complete grade of one clip. A plain value type: construction, copying,
// the grain-scale lookup and a log dump.
//
// sourceType is the camera profile id: the four characters of the profile's id
// packed little-endian, first character in the lowest byte ("OT01" packs to
// 0x3130544F). The three integer amounts are percentages.
class ClipSettings
{
public:
    // One row of the grain-scale table: gauge name and the magnification of
    // its grain relative to the reference gauge (single precision on purpose:
    // callers compare against these exact float constants).
    using GrainScaleEntry = QPair<float, QString>;

    static constexpr quint32 DefaultSourceType = 0x3130544F; // "OT01"

    ClipSettings();
    ClipSettings(const ClipSettings& other);
    ClipSettings& operator=(const ClipSettings& other);
    // Whether every value of the grade is the same (the grain scale table is
    // the gauge's, and follows from its name).
    bool sameGrade(const ClipSettings& other) const;
    ~ClipSettings() = default;

    // Copies every field except sourceType; a null pointer changes nothing.
    void copyFrom(const ClipSettings* other);

    QString getStockName() const { return m_stockName; }
    void setStockName(const QString& stockName) { m_stockName = stockName; }
    quint32 getSourceType() const { return m_sourceType; }
    void setSourceType(quint32 sourceType) { m_sourceType = sourceType; }
    int getStockLUTAmount() const { return m_stockLUTAmount; }
    void setStockLUTAmount(int amount) { m_stockLUTAmount = amount; }
    int getStockCurveAmount() const { return m_stockCurveAmount; }
    void setStockCurveAmount(int amount) { m_stockCurveAmount = amount; }
    int getGrainAmount() const { return m_grainAmount; }
    void setGrainAmount(int amount) { m_grainAmount = amount; }
    QString getGrainScaleName() const { return m_grainScaleName; }
    void setGrainScaleName(const QString& name) { m_grainScaleName = name; }
    float getExposure() const { return m_exposure; }
    void setExposure(float exposure) { m_exposure = exposure; }
    float getKelvin() const { return m_kelvin; }
    void setKelvin(float kelvin) { m_kelvin = kelvin; }
    ColorWheelData getLow() const { return m_low; }
    void setLow(const ColorWheelData& wheel) { m_low = wheel; }
    ColorWheelData getMid() const { return m_mid; }
    void setMid(const ColorWheelData& wheel) { m_mid = wheel; }
    ColorWheelData getHigh() const { return m_high; }
    void setHigh(const ColorWheelData& wheel) { m_high = wheel; }
    float getLift() const { return m_lift; }
    void setLift(float lift) { m_lift = lift; }
    float getGamma() const { return m_gamma; }
    void setGamma(float gamma) { m_gamma = gamma; }
    float getGain() const { return m_gain; }
    void setGain(float gain) { m_gain = gain; }
    float getSaturation() const { return m_saturation; }
    void setSaturation(float saturation) { m_saturation = saturation; }
    // The film effects, percent; 0 is off.
    int getHalationAmount() const { return m_halationAmount; }
    void setHalationAmount(int amount) { m_halationAmount = amount; }
    int getBloomAmount() const { return m_bloomAmount; }
    void setBloomAmount(int amount) { m_bloomAmount = amount; }
    int getWeaveAmount() const { return m_weaveAmount; }
    void setWeaveAmount(int amount) { m_weaveAmount = amount; }
    int getFlickerAmount() const { return m_flickerAmount; }
    void setFlickerAmount(int amount) { m_flickerAmount = amount; }
    // How much of the grain is dye grain, one field per colour layer,
    // rather than the one monochrome map.
    int getColourGrainAmount() const { return m_colourGrainAmount; }
    void setColourGrainAmount(int amount) { m_colourGrainAmount = amount; }
    HistogramSliderData getHistogramSliderData() const { return m_histogramSliderData; }
    void setHistogramSliderData(const HistogramSliderData& data) { m_histogramSliderData = data; }
    bool getOriginal() const { return m_original; }
    void setOriginal(bool original) { m_original = original; }

    // Factor of grainScaleName in the grain-scale table; 1.0 for a name that
    // is not in the table.
    float getGrainScale() const;
    // This object's grain-scale table, in table order.
    const QVector<GrainScaleEntry>& grainScaleTable() const { return m_grainScales; }

    // The eight gauges, in table order ("8 mm" .. "35 mm Full Frame").
    static QVector<GrainScaleEntry> defaultGrainScaleTable();
    static QStringList grainScaleNames();
    // Factor for a gauge name; 1.0 when the name is unknown.
    static float grainScaleForName(const QString& name);
    // Camera aperture width of a gauge in millimetres (that of 35 mm 3 Perf
    // for a name not in the table).
    static float frameWidthMillimetres(const QString& gauge);
    // A length on the film of a gauge, in pixels of a picture `width` wide
    // spanning the frame.
    static double filmToPixels(double micrometres, const QString& gauge, unsigned int width);

private:
    QString m_stockName;
    quint32 m_sourceType;
    int m_stockLUTAmount;
    int m_stockCurveAmount;
    int m_grainAmount;
    QString m_grainScaleName;
    QVector<GrainScaleEntry> m_grainScales;
    float m_exposure;
    float m_kelvin;
    ColorWheelData m_low;
    ColorWheelData m_mid;
    ColorWheelData m_high;
    float m_lift;
    float m_gamma;
    float m_gain;
    float m_saturation;
    HistogramSliderData m_histogramSliderData;
    int m_halationAmount = 0;
    int m_bloomAmount = 0;
    int m_weaveAmount = 0;
    int m_flickerAmount = 0;
    int m_colourGrainAmount = 0;
    bool m_original;
};

// Writes every field on one QDebug statement (the renderer logs it per clip).
QDebug operator<<(QDebug debug, const ClipSettings& settings);

// Registers ClipSettings, ClipSettings*, ColorWheelData and
// HistogramSliderData with Qt's meta-type system under exactly these names,
// so they can travel in queued signals. Safe to call more than once.
void registerClipSettingsMetaTypes();

} // namespace Emulsa

Q_DECLARE_METATYPE(Emulsa::ColorWheelData)
Q_DECLARE_METATYPE(Emulsa::HistogramSliderData)
Q_DECLARE_METATYPE(Emulsa::ClipSettings)
Q_DECLARE_METATYPE(Emulsa::ClipSettings*)
