#include "ExamplePresets.h"

#include "Artwork.h"
#include "DataWriter.h"
#include "core/ExposureConversion.h"
#include "core/GradeTables.h"
#include "core/ReferenceGrade.h"
#include "core/filmdata/CameraEncoding.h"
#include "core/filmdata/FilmModel.h"
#include "core/filmdata/TableBuilder.h"

#include <QXmlStreamWriter>
#include <cmath>

namespace Emulsa {
namespace FilmData {

namespace {

ColorWheelData wheel(double radius, double theta)
{
    ColorWheelData w;
    w.radius = radius;
    w.theta = theta;
    return w;
}

quint32 profileNumber(const char* id)
{
    return quint32(quint8(id[0])) | quint32(quint8(id[1])) << 8 | quint32(quint8(id[2])) << 16
        | quint32(quint8(id[3])) << 24;
}

QString six(double value)
{
    return QString::number(value, 'f', 6);
}

} // namespace

std::vector<ExamplePresets::Example> ExamplePresets::examples()
{
    std::vector<Example> list;
    auto add = [&](const char* uuid, const char* name, const char* stock) -> ClipSettings& {
        list.push_back({ uuid, name, ClipSettings() });
        ClipSettings& s = list.back().settings;
        s.setStockName(stock);
        s.setSourceType(profileNumber("OT01"));
        return s;
    };
    {
        ClipSettings& s = add("7328380B-3977-4743-B4FD-AD6856EDFBD1", "Daylight Negative", "5207");
        s.setGrainScaleName("Super 35");
        s.setGrainAmount(60);
    }
    {
        ClipSettings& s = add("914367A7-0D14-498F-B590-9E3400D5D0EE", "Tungsten Night", "5213");
        s.setKelvin(4300.0f);
        s.setExposure(-0.08f);
        s.setMid(wheel(0.25, -2.2));
        s.setGrainScaleName("Super 35");
        s.setGrainAmount(80);
    }
    {
        ClipSettings& s = add("94E9BC6C-623A-4D78-8215-7EE8E8FF626D", "Vivid Slide", "FujiVelvia100");
        s.setSaturation(1.08f);
        s.setGrainAmount(40);
    }
    {
        ClipSettings& s = add("9ADBBE10-46BC-4F98-87C6-8005385BDDBC", "Gritty Monochrome", "KodakTriX");
        s.setGrainScaleName("16 mm");
        s.setGrainAmount(140);
        s.setGamma(0.92f);
        s.setGain(1.05f);
    }
    {
        ClipSettings& s = add("9D7DDC7C-E682-497B-9DBE-8B235862CFA8", "Soft Portrait", "KodakPortra");
        s.setStockCurveAmount(75);
        s.setLift(1.03f);
        s.setKelvin(6000.0f);
        s.setSaturation(0.92f);
    }
    {
        ClipSettings& s = add("9EBD8443-B412-4C8E-975C-3321FBC86421", "Faded Instant", "Polaroid");
        s.setKelvin(6600.0f);
        HistogramSliderData levels;
        levels.black = 0.0f;
        levels.mid = 0.47f;
        levels.white = 1.0f;
        s.setHistogramSliderData(levels);
        s.setGrainScaleName("8 mm");
        s.setGrainAmount(70);
    }
    {
        ClipSettings& s = add("9F54C556-2459-41C1-BCE5-6FD467B71763", "Teal and Warm", "FujiProH");
        s.setLow(wheel(0.35, -1.9));
        s.setHigh(wheel(0.30, 1.25));
        s.setSaturation(1.05f);
        s.setGrainAmount(50);
    }
    return list;
}

QByteArray ExamplePresets::groupFile()
{
    const CameraProfile* standard = CameraEncoding::find("OT01");
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement("PresetGroup");
    xml.writeAttribute("name", kGroupName);
    xml.writeAttribute("id", "0");
    xml.writeStartElement("General");
    xml.writeTextElement("FileVersion", "1.0");
    xml.writeTextElement("StandaloneVersion", "1.02.30");
    xml.writeTextElement("HostOS", "Emulsa film data");
    xml.writeEndElement();
    const std::vector<Example> list = examples();
    xml.writeStartElement("Presets");
    xml.writeAttribute("total-items", QString::number(list.size()));
    int number = 0;
    for (const Example& e : list) {
        const ClipSettings& s = e.settings;
        xml.writeStartElement("Preset");
        xml.writeTextElement("PresetUUID", QStringLiteral("{%1}").arg(QString::fromLatin1(e.uuid).toLower()));
        xml.writeTextElement("PresetName", e.name);
        xml.writeTextElement("PresetNumber", QString::number(++number));
        xml.writeStartElement("ClipSettings");
        xml.writeTextElement("StockName", s.getStockName());
        xml.writeTextElement("ProfileID", QString::number(s.getSourceType()));
        xml.writeTextElement("CameraModel", QStringLiteral("%1 %2").arg(standard->manufacturer, standard->model));
        xml.writeTextElement("CameraID", standard->modelId);
        xml.writeTextElement("StockAmount", QString::number(s.getStockLUTAmount()));
        xml.writeTextElement("CurveAmount", QString::number(s.getStockCurveAmount()));
        xml.writeTextElement("GrainAmount", QString::number(s.getGrainAmount()));
        xml.writeTextElement("GrainScale", s.getGrainScaleName());
        xml.writeTextElement("Exposure", six(s.getExposure()));
        xml.writeTextElement("Kelvin", six(s.getKelvin()));
        xml.writeStartElement("ColorWheels");
        const ColorWheelData wheels[3] = { s.getLow(), s.getMid(), s.getHigh() };
        const char* names[3] = { "Low", "Mid", "High" };
        for (int i = 0; i < 3; ++i) {
            xml.writeStartElement(names[i]);
            xml.writeTextElement("Radius", six(wheels[i].radius));
            xml.writeTextElement("Theta", six(wheels[i].theta));
            xml.writeEndElement();
        }
        xml.writeEndElement();
        xml.writeTextElement("Lift", six(s.getLift()));
        xml.writeTextElement("Gamma", six(s.getGamma()));
        xml.writeTextElement("Gain", six(s.getGain()));
        xml.writeTextElement("Saturation", six(s.getSaturation()));
        xml.writeStartElement("Histogram");
        const HistogramSliderData levels = s.getHistogramSliderData();
        xml.writeTextElement("Black", six(levels.black));
        xml.writeTextElement("Mid", six(levels.mid));
        xml.writeTextElement("White", six(levels.white));
        xml.writeEndElement();
        xml.writeTextElement("Original", s.getOriginal() ? "1" : "0");
        xml.writeEndElement(); // ClipSettings
        xml.writeEndElement(); // Preset
    }
    xml.writeEndElement(); // Presets
    xml.writeEndElement(); // PresetGroup
    xml.writeEndDocument();
    return bytes;
}

QString ExamplePresets::thumbnailPath(const QString& uuid)
{
    const QString lower = uuid.toLower();
    return QStringLiteral("thumbnails/%1/%2/%3/%4.emthumb")
        .arg(lower[0])
        .arg(lower[1])
        .arg(lower[2])
        .arg(uuid.toUpper());
}

QImage ExamplePresets::thumbnail(const ClipSettings& settings, const ExposureConversion* conversion)
{
    const CameraProfile* standard = CameraEncoding::find("OT01");
    const FilmStock* stock = FilmStocks::find(settings.getStockName().toLatin1().constData());
    if (!standard || !stock)
        return QImage();
    const QImage sample = Artwork::samplePicture(kThumbnailWidth, kThumbnailHeight, *standard);
    const std::vector<float> table = TableBuilder::profileTable(FilmModel(*standard, *stock));
    GradeTables tables(conversion);
    tables.applySettings(settings);
    ReferenceGradeInputs inputs = ReferenceGradeInputs::fromTables(tables, settings);
    inputs.stockTable = table.data();
    inputs.grainAmount = 0.0f;
    return ReferenceGrade::gradeImage(sample, inputs);
}

bool ExamplePresets::write(const QString& presetsFolder, const QString& resourcesFolder)
{
    ExposureConversion conversion;
    if (!conversion.load(resourcesFolder))
        return false;
    if (!DataWriter::writeFile(presetsFolder + kGroupFile, groupFile()))
        return false;
    const QByteArray placeholder = Artwork::tiffBytes(Artwork::placeholderThumbnail(kThumbnailWidth, kThumbnailHeight));
    if (placeholder.isEmpty() || !DataWriter::writeFile(presetsFolder + thumbnailPath(kNullUuid), placeholder))
        return false;
    for (const Example& e : examples()) {
        const QByteArray tiff = Artwork::tiffBytes(thumbnail(e.settings, &conversion));
        if (tiff.isEmpty() || !DataWriter::writeFile(presetsFolder + thumbnailPath(e.uuid), tiff))
            return false;
    }
    return true;
}

} // namespace FilmData
} // namespace Emulsa
