#include "model/PresetsFileReader.h"

#include "model/GradeBlockReader.h"
#include "model/ThumbnailImages.h"

#include <QDebug>

#include <memory>

namespace Emulsa {

PresetsFileReader::PresetsFileReader(const FilmLibrary* library, CameraListHelper* catalogue)
    : m_library(library)
    , m_catalogue(catalogue)
{
}

bool PresetsFileReader::read(QIODevice* device)
{
    setDevice(device);
    while (!atEnd() && !hasError()) {
        BoundedXml::readNext(this);
        if (!isStartElement())
            continue;
        if (name() == QLatin1String("PresetGroup")) {
            if (!readRootAttributes())
                raiseError(tr("Error while reading PresetsGroup Attributes information from preset file"));
        } else if (name() == QLatin1String("General")) {
            if (!readGeneral())
                raiseError(tr("Error while reading General information from preset file"));
        } else if (name() == QLatin1String("Presets")) {
            if (!readPresets())
                raiseError(tr("Error while reading through preset file"));
            else
                GradeBlockReader::skipToEndOf(this, QStringLiteral("Presets"));
        } else if (name() == QLatin1String("Thumbnails")) {
            if (!readThumbnails())
                raiseError(tr("Error while reading through presets thumbnails"));
            else
                m_hasThumbnails = true;
        }
    }
    if (hasError()) {
        qDebug() << "Parser Error (line:" << lineNumber() << " - col:" << columnNumber() << "): " << errorString();
        return false;
    }
    return true;
}

bool PresetsFileReader::readRootAttributes()
{
    if (name() != QLatin1String("PresetGroup")) {
        qDebug() << "Error while parsing the root item";
        return false;
    }
    const QXmlStreamAttributes attributes = this->attributes();
    if (!attributes.hasAttribute(QStringLiteral("name"))) {
        qDebug() << "Preset group reading error!";
        return false;
    }
    bool ok = false;
    const int id = attributes.value(QStringLiteral("id")).toInt(&ok);
    if (!attributes.hasAttribute(QStringLiteral("id")) || !ok) {
        qDebug() << "total items number reading error!";
        return false;
    }
    m_groupName = attributes.value(QStringLiteral("name")).toString();
    m_groupId = id;
    m_hasGroup = true;
    return true;
}

bool PresetsFileReader::readGeneral()
{
    GradeBlockReader blocks(this, m_library, m_catalogue);
    GeneralInfo info;
    if (!blocks.readGeneral(&info))
        return false;
    m_fileVersion = info.fileVersion;
    m_standaloneVersion = info.standaloneVersion;
    m_hostOS = info.hostOS;
    return true;
}

bool PresetsFileReader::readListHeader(const QString& element, const char* wrongElement, int* total)
{
    if (name() != element) {
        qDebug() << wrongElement;
        return false;
    }
    bool ok = false;
    *total = attributes().value(QStringLiteral("total-items")).toInt(&ok);
    if (!ok) {
        qDebug() << "total items number reading error!";
        return false;
    }
    return true;
}

bool PresetsFileReader::readPresets()
{
    int total = 0;
    if (!readListHeader(QStringLiteral("Presets"), "Error while parsing the presets list", &total))
        return false;
    for (int i = 0; i < total; ++i) {
        if (!BoundedXml::readNextStartElement(this) || hasError())
            return false;
        if (!parsePreset())
            qDebug() << "Could not read preset item, skiping current";
        if (hasError())
            return false;
    }
    return true;
}

bool PresetsFileReader::readLeafText(const QString& elementName, QString* text)
{
    if (!BoundedXml::readNextStartElement(this) || name() != elementName)
        return false;
    *text = BoundedXml::readElementText(this, QXmlStreamReader::ErrorOnUnexpectedElement);
    return !hasError();
}

bool PresetsFileReader::parsePreset()
{
    if (name() != QLatin1String("Preset")) {
        BoundedXml::skipCurrentElement(this);
        return false;
    }
    // Whatever happens below, the reader ends on this Preset's end element.
    struct SkipRest
    {
        PresetsFileReader* reader;
        ~SkipRest() { GradeBlockReader::skipToEndOf(reader, QStringLiteral("Preset")); }
    } skipRest { this };

    QString uuidText;
    if (!readLeafText(QStringLiteral("PresetUUID"), &uuidText) || uuidText.isEmpty()) {
        qDebug() << "PresetUUID reading error!";
        return false;
    }
    QString presetName;
    if (!readLeafText(QStringLiteral("PresetName"), &presetName)) {
        qDebug() << "PresetName reading error!";
        return false;
    }
    QString numberText;
    bool ok = false;
    qint32 number = 0;
    if (readLeafText(QStringLiteral("PresetNumber"), &numberText))
        number = numberText.trimmed().toInt(&ok);
    if (!ok) {
        qDebug() << "Preset Number reading error!";
        return false;
    }
    if (number > m_highestPresetNumber)
        m_highestPresetNumber = number;
    if (!BoundedXml::readNextStartElement(this) || name() != QLatin1String("ClipSettings")) {
        qDebug() << "ClipSettings reading error!";
        return false;
    }
    GradeBlockReader blocks(this, m_library, m_catalogue);
    blocks.setWheelMismatchWord(QStringLiteral("Expecting"));
    std::unique_ptr<ClipSettings> settings = blocks.parseClipSettings();
    if (!settings) {
        qDebug() << "Couldn't load settings from file. Setting default settings";
        settings.reset(new ClipSettings());
    }
    Preset preset(QUuid(uuidText.trimmed()), presetName, number, *settings);
    // The store keeps the fields it could not read when it wrote the file
    // again, so that the preset's warning stays until the grade is replaced.
    QStringList storedFields;
    if (!hasError() && BoundedXml::readNextStartElement(this))
        storedFields = blocks.readStoredUnreadFields();
    preset.unreadFields = GradeBlockReader::mergeFields(blocks.unreadFields(), storedFields);
    m_presetIds.insert(preset.id());
    m_presets.append(preset);
    return true;
}

bool PresetsFileReader::readThumbnails()
{
    int total = 0;
    if (!readListHeader(QStringLiteral("Thumbnails"), "Error while parsing the thumbnail list group", &total))
        return false;
    for (int i = 0; i < total; ++i) {
        if (!BoundedXml::readNextStartElement(this)) {
            // Files written before total-items counted only the Thumbnail
            // elements may end the block early: that is no error.
            return !hasError() && name() == QLatin1String("Thumbnails");
        }
        if (!parseThumbnail()) {
            qDebug() << "Could not read preset thumbnail";
            return false;
        }
    }
    return true;
}

bool PresetsFileReader::parseThumbnail()
{
    if (name() != QLatin1String("Thumbnail")) {
        qDebug() << "Error while parsing the thumbnail (parser got:" << name() << ")";
        return false;
    }
    if (!BoundedXml::readNextStartElement(this) || name() != QLatin1String("ThumbnailUUID")) {
        qDebug() << "ThumbnailUUID reading error (parser got:" << name() << ")";
        return false;
    }
    const QString uuidText = BoundedXml::readElementText(this, QXmlStreamReader::ErrorOnUnexpectedElement);
    if (uuidText.isEmpty() || hasError()) {
        qDebug() << "ThumbnailUUID reading error!";
        return false;
    }
    if (!BoundedXml::readNextStartElement(this) || name() != QLatin1String("ThumbnailDATA")) {
        qDebug() << "ThumbnailDATA reading error!";
        return false;
    }
    const QString data = BoundedXml::readElementText(this, QXmlStreamReader::ErrorOnUnexpectedElement);
    if (data.isEmpty() || hasError()) {
        qDebug() << "Thumbnail data reading error!";
        return false;
    }
    GradeBlockReader::skipToEndOf(this, QStringLiteral("Thumbnail"));
    if (hasError())
        return false;
    // Only the first thumbnail met for each preset of the file is looked
    // at; its id leaves the set whether the picture is kept or not.
    const QByteArray id = QUuid(uuidText.trimmed()).toByteArray();
    if (!m_presetIds.remove(id)) {
        qWarning() << "PresetsFileReader: thumbnail" << id
                   << "dropped: no preset of the file has the id, or its preset had one already";
        return true;
    }
    bool overBudget = false;
    const QImage image
        = ThumbnailImages::decode(data.toLatin1(), ThumbnailImages::maxPixelsPerFile - m_thumbnailPixels, &overBudget);
    if (overBudget) {
        qWarning() << "PresetsFileReader: thumbnail of preset" << id << "dropped: the file's thumbnails hold more than"
                   << ThumbnailImages::maxPixelsPerFile << "pixels";
        return true;
    }
    if (image.isNull()) {
        qDebug() << "Preset Thumbnails from file could not be read.";
        return false;
    }
    m_thumbnailPixels += qint64(image.width()) * image.height();
    m_thumbnails.insert(id, image);
    return true;
}

} // namespace Emulsa
