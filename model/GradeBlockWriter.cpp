#include "model/GradeBlockWriter.h"

#include "core/CameraListHelper.h"
#include "core/ClipSettings.h"
#include "core/GradeFields.h"
#include "core/ProfileInfo.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSysInfo>
#include <QXmlStreamWriter>

#include <cmath>

namespace Emulsa {

const QString GradeBlockWriter::fileVersion = QStringLiteral("1.1");

GradeBlockWriter::GradeBlockWriter(QXmlStreamWriter* xml, CameraListHelper* catalogue)
    : m_xml(xml)
    , m_catalogue(catalogue ? catalogue : CameraListHelper::instance())
{
}

QString GradeBlockWriter::sixDecimals(double value)
{
    return QString::number(value, 'f', 6);
}

bool GradeBlockWriter::writeNumber(const QString& name, double value, double fallback)
{
    if (!std::isfinite(value)) {
        qDebug() << Q_FUNC_INFO << name << "is not a number, writing" << fallback;
        value = fallback;
    }
    m_xml->writeTextElement(name, sixDecimals(value));
    return !m_xml->hasError();
}

bool GradeBlockWriter::writeGeneral()
{
    m_xml->writeStartElement(QStringLiteral("General"));
    m_xml->writeTextElement(QStringLiteral("FileVersion"), fileVersion);
    m_xml->writeTextElement(QStringLiteral("StandaloneVersion"), QCoreApplication::applicationVersion());
    m_xml->writeTextElement(QStringLiteral("HostOS"), QSysInfo::prettyProductName());
    m_xml->writeEndElement();
    return !m_xml->hasError();
}

bool GradeBlockWriter::writeSingleColorWheel(const QString& name, const ColorWheelData& wheel)
{
    m_xml->writeStartElement(name);
    writeNumber(QStringLiteral("Radius"), wheel.radius, 0.0);
    writeNumber(QStringLiteral("Theta"), wheel.theta, 0.0);
    m_xml->writeEndElement();
    return !m_xml->hasError();
}

bool GradeBlockWriter::writeColorWheels(const ClipSettings& settings)
{
    m_xml->writeStartElement(QStringLiteral("ColorWheels"));
    if (!writeSingleColorWheel(QStringLiteral("Low"), settings.getLow())) {
        qDebug() << Q_FUNC_INFO << "Error while writing Low colorWheel.";
        return false;
    }
    if (!writeSingleColorWheel(QStringLiteral("Mid"), settings.getMid())) {
        qDebug() << Q_FUNC_INFO << "Error while writing Mid colorWheel.";
        return false;
    }
    if (!writeSingleColorWheel(QStringLiteral("High"), settings.getHigh())) {
        qDebug() << Q_FUNC_INFO << "Error while writing High colorWheel.";
        return false;
    }
    m_xml->writeEndElement();
    return !m_xml->hasError();
}

bool GradeBlockWriter::writeHistogram(const HistogramSliderData& levels)
{
    const HistogramSliderData defaults;
    m_xml->writeStartElement(QStringLiteral("Histogram"));
    writeNumber(QStringLiteral("Black"), double(levels.black), double(defaults.black));
    writeNumber(QStringLiteral("Mid"), double(levels.mid), double(defaults.mid));
    writeNumber(QStringLiteral("White"), double(levels.white), double(defaults.white));
    m_xml->writeEndElement();
    return !m_xml->hasError();
}

bool GradeBlockWriter::writeUnreadFields(const QStringList& fields)
{
    if (!fields.isEmpty())
        m_xml->writeTextElement(QStringLiteral("UnreadGradeFields"), fields.join(QLatin1Char(' ')));
    return !m_xml->hasError();
}

bool GradeBlockWriter::writeClipSettings(const ClipSettings& settings)
{
    // The amounts are whole percentages; the other numbers are written
    // with the precision writeNumber keeps.
    auto writeFields = [&](std::initializer_list<GradeField> fields) {
        for (GradeField field : fields) {
            const GradeFieldInfo& info = gradeField(field);
            const GradeValue value = info.get(settings);
            if (const int* amount = std::get_if<int>(&value))
                m_xml->writeTextElement(QLatin1String(info.name), QString::number(*amount));
            else
                writeNumber(QLatin1String(info.name), double(std::get<float>(value)),
                    double(std::get<float>(info.defaultValue)));
        }
    };
    m_xml->writeStartElement(QStringLiteral("ClipSettings"));
    m_xml->writeTextElement(QStringLiteral("StockName"), settings.getStockName());
    m_xml->writeTextElement(QStringLiteral("ProfileID"), QString::number(settings.getSourceType()));

    // A profile missing from the catalogue (uninstalled, or a newer file) is
    // kept by its id; the reader never uses the two names.
    m_catalogue->load();
    const ProfileInfo* profile = m_catalogue->getProfile(settings.getSourceType());
    QString cameraModel;
    QString cameraId;
    if (profile) {
        cameraModel = QString::fromUtf8(profile->manufacturer) + QLatin1Char(' ') + QString::fromUtf8(profile->model);
        cameraId = QString::fromUtf8(profile->modelId);
    } else {
        qDebug() << Q_FUNC_INFO << "Profile" << settings.getSourceType()
                 << "is not in the camera catalogue; writing it without camera names.";
    }
    m_xml->writeTextElement(QStringLiteral("CameraModel"), cameraModel);
    m_xml->writeTextElement(QStringLiteral("CameraID"), cameraId);

    writeFields({ GradeField::StockAmount, GradeField::CurveAmount, GradeField::GrainAmount });
    m_xml->writeTextElement(QStringLiteral("GrainScale"), settings.getGrainScaleName());
    writeFields({ GradeField::Exposure, GradeField::Kelvin });
    if (!writeColorWheels(settings)) {
        qDebug() << Q_FUNC_INFO << "Error while writing ColorWheels.";
        return false;
    }
    writeFields({ GradeField::Lift, GradeField::Gamma, GradeField::Gain, GradeField::Saturation });
    if (!writeHistogram(settings.getHistogramSliderData())) {
        qDebug() << Q_FUNC_INFO << "Error while writing Histogram.";
        return false;
    }
    m_xml->writeTextElement(
        QStringLiteral("Original"), settings.getOriginal() ? QStringLiteral("1") : QStringLiteral("0"));
    writeFields({ GradeField::HalationAmount, GradeField::BloomAmount, GradeField::WeaveAmount,
        GradeField::FlickerAmount, GradeField::ColourGrainAmount });
    m_xml->writeEndElement();
    return !m_xml->hasError();
}

} // namespace Emulsa
