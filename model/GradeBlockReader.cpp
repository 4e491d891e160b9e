#include "model/GradeBlockReader.h"

#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "core/GradeFields.h"
#include "model/BoundedXml.h"

#include <QDebug>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Emulsa {

namespace {

const QString defaultStock = QStringLiteral("5207");
constexpr float maxRadius = 1.05f;
constexpr float pi = 3.14159265358979323846f;

template<typename T> T clampTo(T value, T low, T high)
{
    return std::min(std::max(value, low), high);
}

// A float field of the grade: false (with the message) when it is missing or
// does not convert.
// A number of the grade in its element, with the message that reports it
// missing or malformed.
struct NumberField
{
    GradeField field;
    const char* message;
};

} // namespace

const QString GradeBlockReader::profileDownloadPage
    = QStringLiteral("https://www.quillmoor.com/download/camera-profile");

const QString GradeBlockReader::unreadFieldsElement = QStringLiteral("UnreadGradeFields");

QStringList GradeBlockReader::readStoredUnreadFields()
{
    if (!m_xml->isStartElement() || m_xml->name() != unreadFieldsElement)
        return QStringList();
    static const QRegularExpression fieldName(QStringLiteral("^[A-Za-z][A-Za-z/]{0,63}$"));
    const QString text = BoundedXml::readElementText(m_xml, QXmlStreamReader::SkipChildElements);
    QStringList fields;
    const QStringList words = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    for (const QString& word : words) {
        if (fields.size() == maxStoredUnreadFields)
            break;
        if (fieldName.match(word).hasMatch() && !fields.contains(word))
            fields << word;
    }
    return fields;
}

bool GradeBlockReader::wholeGradeLost(const QStringList& unreadFields)
{
    return std::any_of(unreadFields.cbegin(), unreadFields.cend(),
        [](const QString& field) { return !field.contains(QLatin1Char('/')); });
}

QStringList GradeBlockReader::mergeFields(QStringList fields, const QStringList& more)
{
    for (const QString& field : more) {
        if (!fields.contains(field))
            fields << field;
    }
    return fields;
}

GradeBlockReader::GradeBlockReader(QXmlStreamReader* xml, const FilmLibrary* library, CameraListHelper* catalogue)
    : m_xml(xml)
    , m_library(library ? library : FilmLibrary::instance())
    , m_catalogue(catalogue ? catalogue : CameraListHelper::instance())
{
}

bool GradeBlockReader::toFiniteFloat(const QString& text, float* value)
{
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number) || std::fabs(number) > double(std::numeric_limits<float>::max()))
        return false;
    *value = float(number);
    return true;
}

bool GradeBlockReader::toInt(const QString& text, int* value)
{
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    if (ok)
        *value = number;
    return ok;
}

void GradeBlockReader::skipToEndOf(QXmlStreamReader* xml, const QString& name)
{
    while (!(xml->isEndElement() && xml->name() == name)) {
        if (xml->atEnd() || xml->hasError())
            return;
        BoundedXml::readNext(xml);
    }
}

bool GradeBlockReader::readLeaf(const QString& name, QString* text)
{
    if (!BoundedXml::readNextStartElement(m_xml) || m_xml->name() != name)
        return false;
    *text = BoundedXml::readElementText(m_xml, QXmlStreamReader::SkipChildElements);
    return !m_xml->hasError();
}

bool GradeBlockReader::readGeneral(GeneralInfo* info)
{
    static const QString general = QStringLiteral("General");
    if (!m_xml->isStartElement() || m_xml->name() != general) {
        qDebug() << Q_FUNC_INFO << "Error while parsing General group";
        return false;
    }
    QString text;
    float version = 0.0f;
    if (!readLeaf(QStringLiteral("FileVersion"), &text) || !toFiniteFloat(text, &version)) {
        qDebug() << Q_FUNC_INFO << "File Version reading error!";
        return false;
    }
    info->fileVersion = version;
    if (!readLeaf(QStringLiteral("StandaloneVersion"), &text)) {
        qDebug() << Q_FUNC_INFO << "Standalone Version reading error!";
        return false;
    }
    info->standaloneVersion = text;
    if (!readLeaf(QStringLiteral("HostOS"), &text) || m_xml->hasError()) {
        qDebug() << Q_FUNC_INFO << "Host OS reading error!";
        return false;
    }
    info->hostOS = text;
    skipToEndOf(m_xml, general);
    return !m_xml->hasError();
}

std::unique_ptr<ClipSettings> GradeBlockReader::parseClipSettings()
{
    m_unreadFields.clear();
    auto settings = std::make_unique<ClipSettings>();
    const bool ok = readClipSettingsFields(settings.get());
    skipToEndOf(m_xml, QStringLiteral("ClipSettings"));
    if (!ok)
        return nullptr;
    return settings;
}

bool GradeBlockReader::readClipSettingsFields(ClipSettings* settings)
{
    // Records the field that ends the grade; the fields after it are not
    // read at all.
    auto fail = [this](const char* message, const QString& field) {
        qDebug() << message;
        m_unreadFields << field;
        return false;
    };
    QString text;

    if (!readLeaf(QStringLiteral("StockName"), &text))
        return fail("StockName reading error!", QStringLiteral("StockName"));
    const QList<QString> knownStocks = m_library->stockCatalogue().values();
    if (knownStocks.contains(text)) {
        settings->setStockName(text);
    } else {
        qDebug() << Q_FUNC_INFO << "Stock" << text << "is not installed, using" << defaultStock;
        settings->setStockName(defaultStock);
        ++m_replacedStocks;
    }

    if (!readLeaf(QStringLiteral("ProfileID"), &text))
        return fail("ProfileID reading error!", QStringLiteral("ProfileID"));
    bool ok = false;
    const qlonglong profileNumber = text.trimmed().toLongLong(&ok);
    if (!ok || profileNumber < std::numeric_limits<qint32>::min()
        || profileNumber > qlonglong(std::numeric_limits<quint32>::max()))
        return fail("ProfileID reading to integer error!", QStringLiteral("ProfileID"));
    const quint32 profile = quint32(profileNumber);
    settings->setSourceType(profile);

    if (!readLeaf(QStringLiteral("CameraModel"), &text))
        return fail("CameraModel reading error!", QStringLiteral("CameraModel"));
    m_catalogue->load();
    if (!m_catalogue->getProfile(profile))
        reportMissingProfile(profile, text);
    if (!readLeaf(QStringLiteral("CameraID"), &text))
        return fail("CameraID reading error!", QStringLiteral("CameraID"));

    // Each number is clamped to its field's range.
    auto readNumbers = [&](std::initializer_list<NumberField> fields) {
        for (const NumberField& entry : fields) {
            const GradeFieldInfo& info = gradeField(entry.field);
            const QLatin1String element(info.name);
            if (!readLeaf(element, &text))
                return fail(entry.message, element);
            if (std::holds_alternative<int>(info.defaultValue)) {
                int value = 0;
                if (!toInt(text, &value))
                    return fail(entry.message, element);
                info.set(*settings, clampTo(value, int(info.minimum), int(info.maximum)));
            } else {
                float value = 0.0f;
                if (!toFiniteFloat(text, &value))
                    return fail(entry.message, element);
                info.set(*settings, clampTo(value, float(info.minimum), float(info.maximum)));
            }
        }
        return true;
    };
    if (!readNumbers({ { GradeField::StockAmount, "StockAmount reading error!" },
            { GradeField::CurveAmount, "CurveAmount reading error!" },
            { GradeField::GrainAmount, "Grain Amount reading error!" } }))
        return false;

    if (!readLeaf(QStringLiteral("GrainScale"), &text))
        return fail("GrainScale reading error!", QStringLiteral("GrainScale"));
    settings->setGrainScaleName(text);

    if (!readNumbers(
            { { GradeField::Exposure, "Exposure reading error!" }, { GradeField::Kelvin, "Kelvin reading error!" } }))
        return false;

    if (!BoundedXml::readNextStartElement(m_xml) || m_xml->name() != QLatin1String("ColorWheels"))
        return fail("ColorWheels reading error!", QStringLiteral("ColorWheels"));
    const ColorWheelsInfo wheels = parseColorWheels();
    settings->setLow(wheels.low);
    settings->setMid(wheels.mid);
    settings->setHigh(wheels.high);

    if (!readNumbers({ { GradeField::Lift, "Lift reading error!" }, { GradeField::Gamma, "Gamma reading error!" },
            { GradeField::Gain, "Gain reading error!" }, { GradeField::Saturation, "Saturation reading error!" } }))
        return false;

    if (!BoundedXml::readNextStartElement(m_xml) || m_xml->name() != QLatin1String("Histogram"))
        return fail("Histogram reading error!", QStringLiteral("Histogram"));
    settings->setHistogramSliderData(parseHistogram());

    if (!readLeaf(QStringLiteral("Original"), &text))
        return fail("Original value reading error!", QStringLiteral("Original"));
    const uint original = text.trimmed().toUInt(&ok);
    if (!ok)
        return fail("Original value reading error!", QStringLiteral("Original"));
    settings->setOriginal(original != 0);
    readFilmEffects(settings);
    return true;
}

void GradeBlockReader::readFilmEffects(ClipSettings* settings)
{
    // Optional, in any order, each at most once; files of version 1.0 have
    // none (they stay off). An unreadable one stays off and is reported as
    // unread, without losing the rest of the grade; unknown elements (from a
    // newer version) are skipped.
    while (BoundedXml::readNextStartElement(m_xml)) {
        const GradeFieldInfo* effect = nullptr;
        for (int i = int(FirstFilmEffectField); i < GradeFieldCount; ++i) {
            if (m_xml->name() == QLatin1String(gradeFields()[size_t(i)].name))
                effect = &gradeFields()[size_t(i)];
        }
        const QString element = m_xml->name().toString();
        const QString text = BoundedXml::readElementText(m_xml, QXmlStreamReader::SkipChildElements);
        if (!effect || m_xml->hasError())
            continue;
        int value = 0;
        if (!toInt(text, &value)) {
            qDebug().noquote() << element << "reading error!";
            m_unreadFields << QStringLiteral("FilmEffects/%1").arg(element);
            continue;
        }
        effect->set(*settings, clampTo(value, int(effect->minimum), int(effect->maximum)));
    }
}

void GradeBlockReader::reportMissingProfile(quint32 profile, const QString& cameraModel)
{
    if (m_reportedProfiles.contains(profile))
        return;
    m_reportedProfiles.insert(profile);
    qCritical().noquote() << QStringLiteral(
        "The %1 profile is not installed on your system.<br /><br />Please download "
        "it from the application or by clicking <a href='%2'>here.</a>")
                                 .arg(cameraModel, profileDownloadPage);
}

ColorWheelsInfo GradeBlockReader::parseColorWheels()
{
    static const QString wheelsName = QStringLiteral("ColorWheels");
    ColorWheelsInfo wheels;
    const struct
    {
        const char* element;
        ColorWheelData* wheel;
    } order[] = {
        { "Low", &wheels.low },
        { "Mid", &wheels.mid },
        { "High", &wheels.high },
    };
    bool lost = false;
    for (const auto& entry : order) {
        const QLatin1String name(entry.element);
        if (lost) {
            m_unreadFields << QStringLiteral("ColorWheels/%1").arg(name);
            continue;
        }
        if (!BoundedXml::readNextStartElement(m_xml) || m_xml->name() != name) {
            if (name == QLatin1String("Low")) {
                qDebug() << "Low wheel reading error!";
            } else {
                qDebug().noquote() << m_wheelMismatchWord + QStringLiteral(" %1 Element, got:").arg(name)
                                   << m_xml->name();
                qDebug().noquote() << QStringLiteral("%1 wheel reading error!").arg(name);
            }
            // This wheel and the ones after it stay zero.
            m_unreadFields << QStringLiteral("ColorWheels/%1").arg(name);
            lost = true;
            continue;
        }
        *entry.wheel = parseSingleColorWheel();
    }
    skipToEndOf(m_xml, wheelsName);
    return wheels;
}

ColorWheelData GradeBlockReader::parseSingleColorWheel()
{
    const QString wheelName = m_xml->name().toString();
    const QString field = QStringLiteral("ColorWheels/%1/%2").arg(wheelName);
    ColorWheelData wheel;
    QString text;
    float value = 0.0f;
    if (!readLeaf(QStringLiteral("Radius"), &text)) {
        qDebug() << "Radius reading error!";
        m_unreadFields << field.arg(QLatin1String("Radius")) << field.arg(QLatin1String("Theta"));
    } else {
        if (toFiniteFloat(text, &value)) {
            wheel.radius = double(clampTo(value, 0.0f, maxRadius));
        } else {
            qDebug() << "Radius reading error!";
            m_unreadFields << field.arg(QLatin1String("Radius"));
        }
        if (!readLeaf(QStringLiteral("Theta"), &text)) {
            qDebug() << "Theta reading error!";
            m_unreadFields << field.arg(QLatin1String("Theta"));
        } else if (toFiniteFloat(text, &value)) {
            wheel.theta = double(clampTo(value, -pi, pi));
        } else {
            qDebug() << "Theta reading error!";
            m_unreadFields << field.arg(QLatin1String("Theta"));
        }
    }
    skipToEndOf(m_xml, wheelName);
    return wheel;
}

HistogramSliderData GradeBlockReader::parseHistogram()
{
    HistogramSliderData levels;
    const struct
    {
        const char* element;
        const char* message;
        float* value;
    } order[] = {
        { "Black", "Black histogram reading error!", &levels.black },
        { "Mid", "Mid histogram reading error!", &levels.mid },
        { "White", "White histogram reading error!", &levels.white },
    };
    QString text;
    bool lost = false;
    for (const auto& entry : order) {
        const QString field = QStringLiteral("Histogram/%1").arg(QLatin1String(entry.element));
        if (lost) {
            m_unreadFields << field;
            continue;
        }
        if (!readLeaf(QLatin1String(entry.element), &text)) {
            qDebug() << entry.message;
            // This level and the ones after it keep their defaults.
            m_unreadFields << field;
            lost = true;
            continue;
        }
        float value = 0.0f;
        if (toFiniteFloat(text, &value)) {
            *entry.value = clampTo(value, 0.0f, 1.0f);
        } else {
            qDebug() << entry.message;
            *entry.value = 0.0f;
            m_unreadFields << field;
        }
    }
    skipToEndOf(m_xml, QStringLiteral("Histogram"));
    return levels;
}

} // namespace Emulsa
