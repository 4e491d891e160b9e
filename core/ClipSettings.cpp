#include "core/ClipSettings.h"

#include "core/GradeFields.h"

#include <QStringList>

namespace Emulsa {

QVector<ClipSettings::GrainScaleEntry> ClipSettings::defaultGrainScaleTable()
{
    return {
        { 5.53f, QStringLiteral("8 mm") },
        { 4.0f, QStringLiteral("Super 8") },
        { 2.43f, QStringLiteral("16 mm") },
        { 2.0f, QStringLiteral("Super 16") },
        { 1.13f, QStringLiteral("35 mm Academy") },
        { 1.0f, QStringLiteral("35 mm 3 Perf") },
        { 1.0f, QStringLiteral("Super 35") },
        { 0.69f, QStringLiteral("35 mm Full Frame") },
    };
}

QStringList ClipSettings::grainScaleNames()
{
    QStringList names;
    for (const GrainScaleEntry& entry : defaultGrainScaleTable())
        names << entry.second;
    return names;
}

float ClipSettings::grainScaleForName(const QString& name)
{
    for (const GrainScaleEntry& entry : defaultGrainScaleTable()) {
        if (entry.second == name)
            return entry.first;
    }
    return 1.0f;
}

float ClipSettings::frameWidthMillimetres(const QString& gauge)
{
    static const struct
    {
        const char* name;
        float width;
    } kWidths[] = {
        { "8 mm", 4.8f },
        { "Super 8", 5.79f },
        { "16 mm", 10.26f },
        { "Super 16", 12.52f },
        { "35 mm Academy", 21.95f },
        { "35 mm 3 Perf", 24.89f },
        { "Super 35", 24.89f },
        { "35 mm Full Frame", 36.0f },
    };
    for (const auto& entry : kWidths) {
        if (gauge == QLatin1String(entry.name))
            return entry.width;
    }
    return 24.89f;
}

double ClipSettings::filmToPixels(double micrometres, const QString& gauge, unsigned int width)
{
    return micrometres * double(width) / (1000.0 * double(frameWidthMillimetres(gauge)));
}

ClipSettings::ClipSettings()
    : m_stockName(QStringLiteral("5207"))
    , m_sourceType(DefaultSourceType)
    , m_grainScaleName(QStringLiteral("35 mm Full Frame"))
    , m_grainScales(defaultGrainScaleTable())
    , m_original(false)
{
    for (const GradeFieldInfo& field : gradeFields())
        field.set(*this, field.defaultValue);
}

ClipSettings::ClipSettings(const ClipSettings& other)
    : ClipSettings()
{
    copyFrom(&other);
    m_sourceType = other.m_sourceType;
}

ClipSettings& ClipSettings::operator=(const ClipSettings& other)
{
    if (this == &other)
        return *this;
    copyFrom(&other);
    m_sourceType = other.m_sourceType;
    return *this;
}

void ClipSettings::copyFrom(const ClipSettings* other)
{
    if (!other || other == this)
        return;
    // The grain-scale table is fixed: it is never copied, each object keeps
    // its own.
    m_stockName = other->m_stockName;
    m_stockLUTAmount = other->m_stockLUTAmount;
    m_stockCurveAmount = other->m_stockCurveAmount;
    m_grainAmount = other->m_grainAmount;
    m_grainScaleName = other->m_grainScaleName;
    m_exposure = other->m_exposure;
    m_kelvin = other->m_kelvin;
    m_low = other->m_low;
    m_mid = other->m_mid;
    m_high = other->m_high;
    m_lift = other->m_lift;
    m_gamma = other->m_gamma;
    m_gain = other->m_gain;
    m_saturation = other->m_saturation;
    m_histogramSliderData = other->m_histogramSliderData;
    m_halationAmount = other->m_halationAmount;
    m_bloomAmount = other->m_bloomAmount;
    m_weaveAmount = other->m_weaveAmount;
    m_flickerAmount = other->m_flickerAmount;
    m_colourGrainAmount = other->m_colourGrainAmount;
    m_original = other->m_original;
}

float ClipSettings::getGrainScale() const
{
    for (const GrainScaleEntry& entry : m_grainScales) {
        if (entry.second == m_grainScaleName)
            return entry.first;
    }
    return 1.0f;
}

QDebug operator<<(QDebug debug, const ClipSettings& settings)
{
    const HistogramSliderData levels = settings.getHistogramSliderData();
    debug << "\n\t\t StockName:\t" << settings.getStockName() << "\n\t\t SourceType:\t" << settings.getSourceType()
          << "\n\t\t getStockLUTAmount:\t" << settings.getStockLUTAmount() << "\n\t\t getStockCurveAmount:\t"
          << settings.getStockCurveAmount() << "\n\t\t getGrainAmount:\t" << settings.getGrainAmount()
          << "\n\t\t getGrainScaleName:\t" << settings.getGrainScaleName() << "\n\t\t getGrainScale:\t"
          << settings.getGrainScale() << "\n\t\t getExposure:\t" << settings.getExposure() << "\n\t\t getKelvin:\t"
          << settings.getKelvin() << "\n\t\t high.radius:\t" << settings.getHigh().radius << "\n\t\t high.theta:\t"
          << settings.getHigh().theta << "\n\t\t mid.radius:\t" << settings.getMid().radius << "\n\t\t mid.theta:\t"
          << settings.getMid().theta << "\n\t\t low.radius:\t" << settings.getLow().radius << "\n\t\t low.theta:\t"
          << settings.getLow().theta << "\n\t\t getLift:\t" << settings.getLift() << "\n\t\t getGamma:\t"
          << settings.getGamma() << "\n\t\t getGain:\t" << settings.getGain() << "\n\t\t getSaturation:\t"
          << settings.getSaturation() << "\n\t\t getHistogramSliderData.back:\t" << levels.black
          << "\n\t\t getHistogramSliderData.mid:\t" << levels.mid << "\n\t\t getHistogramSliderData.white:\t"
          << levels.white << "\n\t\t getOriginal:\t" << settings.getOriginal() << "\n\t\t halation:\t"
          << settings.getHalationAmount() << "\n\t\t bloom:\t" << settings.getBloomAmount() << "\n\t\t weave:\t"
          << settings.getWeaveAmount() << "\n\t\t flicker:\t" << settings.getFlickerAmount() << "\n\t\t colourGrain:\t"
          << settings.getColourGrainAmount();
    return debug;
}

void registerClipSettingsMetaTypes()
{
    qRegisterMetaType<ClipSettings>("ClipSettings");
    qRegisterMetaType<ClipSettings*>("ClipSettings*");
    qRegisterMetaType<ColorWheelData>("ColorWheelData");
    qRegisterMetaType<HistogramSliderData>("HistogramSliderData");
    registerGradeFieldMetaTypes();
}

bool ClipSettings::sameGrade(const ClipSettings& o) const
{
    for (const GradeFieldInfo& field : gradeFields()) {
        if (field.get(*this) != field.get(o))
            return false;
    }
    return m_stockName == o.m_stockName && m_sourceType == o.m_sourceType && m_grainScaleName == o.m_grainScaleName
        && m_original == o.m_original;
}

} // namespace Emulsa
