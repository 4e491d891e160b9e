#include "model/ProjectFileReader.h"

#include "core/ClipSettings.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/metadata/MetadataManager.h"
#include "model/BoundedXml.h"

#include <QDebug>
#include <QFileInfo>

#include <algorithm>
#include <memory>

namespace Emulsa {

namespace {

const QString sequenceItemName = QStringLiteral("SequenceItem");
const QString sequenceItemsName = QStringLiteral("SequenceItems");

AssetMetadata* assetFromMetadataManager(const QByteArray& id, const QString& path)
{
    MetadataManager* manager = MetadataManager::instance();
    if (AssetMetadata* known = manager->metadataFor(id))
        return known;
    return manager->getMetadata(QFileInfo(path));
}

} // namespace

ProjectFileReader::ProjectFileReader(
    QList<SequenceItem*>* items, const FilmLibrary* library, CameraListHelper* catalogue)
    : m_grades(&m_xml, library, catalogue)
    , m_items(items)
    , m_resolveAsset(assetFromMetadataManager)
{
    m_grades.setWheelMismatchWord(QStringLiteral("Expectiog"));
}

bool ProjectFileReader::loadedCleanly() const
{
    return m_readDone && m_readOk && skippedItems() == 0 && m_defaultedGrades == 0 && m_failedGrades == 0
        && replacedStocks() == 0;
}

QString ProjectFileReader::problemSummary() const
{
    QStringList parts;
    if (m_readDone && !m_readOk)
        parts << tr("the file is damaged (%1)").arg(errorString());
    if (skippedItems() > 0)
        parts << tr("%n clip(s) could not be read", nullptr, int(std::min<qint64>(skippedItems(), INT_MAX)));
    if (m_defaultedGrades > 0)
        parts << tr("%n clip(s) lost their grade", nullptr, m_defaultedGrades);
    const int partly = m_failedGrades - m_defaultedGrades;
    if (partly > 0)
        parts << tr("%n clip(s) lost part of their grade", nullptr, partly);
    if (!m_incompleteGradeNotes.isEmpty())
        parts << tr("not read: %1").arg(m_incompleteGradeNotes.join(QStringLiteral(", ")));
    if (replacedStocks() > 0)
        parts << tr("%n clip(s) use a film stock that is not installed and now use 5207", nullptr, replacedStocks());
    return parts.join(QStringLiteral("; "));
}

bool ProjectFileReader::read(QIODevice* device)
{
    m_readDone = true;
    m_xml.setDevice(device);
    while (!m_xml.atEnd() && !m_xml.hasError()) {
        // Refuses a document type definition: entity declarations could
        // blow a small file up, and project files never carry one.
        const QXmlStreamReader::TokenType token = BoundedXml::readNext(&m_xml);
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (m_xml.name() == QLatin1String("General")) {
            if (!readGeneral()) {
                raiseErrorKeepingCause(tr("Error while reading General information from project file"));
                break;
            }
        } else if (m_xml.name() == sequenceItemsName) {
            if (!readSequenceItems()) {
                raiseErrorKeepingCause(tr("Error while reading through project file"));
                break;
            }
        }
    }
    if (m_xml.hasError()) {
        qDebug().nospace() << "Parser Error (line:" << m_xml.lineNumber() << " - col:" << m_xml.columnNumber()
                           << "): " << m_xml.errorString();
    }
    m_readOk = !m_xml.hasError();
    return m_readOk;
}

void ProjectFileReader::raiseErrorKeepingCause(const QString& message)
{
    // The reader's own error (a broken or refused document) tells the cause.
    m_xml.raiseError(m_xml.hasError() ? QStringLiteral("%1: %2").arg(message, m_xml.errorString()) : message);
}

bool ProjectFileReader::readGeneral()
{
    return m_grades.readGeneral(&m_general);
}

bool ProjectFileReader::readSequenceItems()
{
    if (m_xml.name() != sequenceItemsName) {
        qDebug() << Q_FUNC_INFO << "Error while parsing the sequenceitems list group";
        return false;
    }
    const QXmlStreamAttributes attributes = m_xml.attributes();
    if (!attributes.hasAttribute(QStringLiteral("timeline"))) {
        qDebug() << Q_FUNC_INFO << "Timeline mode reading error!";
        return false;
    }
    m_timelineMode = attributes.value(QStringLiteral("timeline")).toInt() != 0;
    bool ok = false;
    const int total = attributes.value(QStringLiteral("total-items")).toInt(&ok);
    if (!attributes.hasAttribute(QStringLiteral("total-items")) || !ok) {
        qDebug() << Q_FUNC_INFO << "total items number reading error!";
        return false;
    }
    m_declaredItems = std::max(total, 0);

    // The stated count only bounds the loop: a file may claim any number.
    const int before = m_items->size();
    for (qint64 index = 0; index < total; ++index) {
        if (!BoundedXml::readNextStartElement(&m_xml)) {
            // The list (or the document) ended before the stated count.
            m_missingItems += total - index;
            return false;
        }
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
        if (!parseSequenceItem()) {
            qDebug() << Q_FUNC_INFO << "Could not read sequence item, skiping current";
            ++m_failedItems;
        }
        if (m_xml.hasError()) {
            m_missingItems += total - index - 1;
            return false;
        }
    }
    // Items past the stated count are not read, but counted.
    while (BoundedXml::readNextStartElement(&m_xml)) {
        if (m_xml.name() == sequenceItemName)
            ++m_ignoredItems;
        BoundedXml::skipCurrentElement(&m_xml);
    }
    if (m_ignoredItems > 0)
        qDebug() << Q_FUNC_INFO << m_ignoredItems << "items past the stated count were not read";
    if (m_xml.hasError())
        return false;
    return total < 1 || m_items->size() > before;
}

bool ProjectFileReader::readLeaf(const QString& name, QString* text)
{
    if (!BoundedXml::readNextStartElement(&m_xml) || m_xml.name() != name)
        return false;
    *text = BoundedXml::readElementText(&m_xml, QXmlStreamReader::SkipChildElements);
    return !m_xml.hasError();
}

bool ProjectFileReader::parseSequenceItem()
{
    if (m_xml.name() != sequenceItemName) {
        BoundedXml::skipCurrentElement(&m_xml);
        return false;
    }
    // An item whose fields were all read counts as read even when the
    // document breaks off before its end tag.
    const bool ok = parseSequenceItemFields();
    GradeBlockReader::skipToEndOf(&m_xml, sequenceItemName);
    return ok;
}

AssetMetadata* ProjectFileReader::resolveAsset(const QByteArray& id, const QString& path)
{
    AssetMetadata* asset = m_resolveAsset ? m_resolveAsset(id, path) : nullptr;
    if (asset && asset->id != id) {
        qDebug() << Q_FUNC_INFO << "Asset reading error!";
        qDebug() << "generated one:" << asset->id.toHex() << " project one:" << id.toHex();
    }
    return asset;
}

bool ProjectFileReader::parseSequenceItemFields()
{
    auto fail = [](const char* message) {
        qDebug() << message;
        return false;
    };
    bool ok = false;
    const int position = m_xml.attributes().value(QStringLiteral("position")).toInt(&ok);
    if (!ok)
        return fail("Current item position reading error!");

    QString text;
    if (!readLeaf(QStringLiteral("AssetUUID"), &text))
        return fail("AssetUUID reading error!");
    const QByteArray assetId = QByteArray::fromHex(text.toLatin1());
    if (assetId.isEmpty())
        return fail("Asset UUID reading error!");
    if (!readLeaf(QStringLiteral("AssetPath"), &text))
        return fail("AssetPath reading error!");
    if (text.isEmpty())
        return fail("Asset path reading error!");
    const QString assetPath = text;

    QString sequenceUuid;
    if (!readLeaf(QStringLiteral("SequenceUUID"), &sequenceUuid))
        return fail("SequenceUUID reading error!");
    if (!readLeaf(QStringLiteral("StartFrame"), &text))
        return fail("StartFrame reading error!");
    const uint startFrame = text.trimmed().toUInt(&ok);
    if (!ok)
        return fail("Start frame reading error!");
    if (!readLeaf(QStringLiteral("EndFrame"), &text))
        return fail("EndFrame reading error!");
    const uint endFrame = text.trimmed().toUInt(&ok);
    if (!ok)
        return fail("End frame reading error!");
    // The model makes the first item current; the flag is only checked to be there.
    if (!readLeaf(QStringLiteral("Current"), &text))
        return fail("is Current reading error!");
    if (!readLeaf(QStringLiteral("PresetUUID"), &text))
        return fail("Preset UUID reading error!");
    const QByteArray presetUuid = QByteArray::fromHex(text.toLatin1());

    if (!BoundedXml::readNextStartElement(&m_xml) || m_xml.name() != QLatin1String("ClipSettings"))
        return fail("ClipSettings reading error!");
    std::unique_ptr<ClipSettings> settings = m_grades.parseClipSettings();
    if (m_xml.hasError())
        return false; // a cut-off document, not a damaged grade
    const QStringList failedFields = m_grades.unreadFields();
    // Fields an earlier reader could not read either, kept by an autosave:
    // the grade holds defaults there too.
    QStringList storedFields;
    if (BoundedXml::readNextStartElement(&m_xml))
        storedFields = m_grades.readStoredUnreadFields();
    const QStringList unreadFields = GradeBlockReader::mergeFields(failedFields, storedFields);
    if (!settings) {
        qDebug() << "Couldn't load settings from file. Setting default settings";
        settings = std::make_unique<ClipSettings>();
        ++m_defaultedGrades;
    }

    AssetMetadata* asset = resolveAsset(assetId, assetPath);
    if (!asset)
        return fail("Could not create item from project file - reading error!");
    // Items are keyed by their id in the grade store: two items of one file
    // must never share one.
    QUuid uuid(sequenceUuid);
    if (!uuid.isNull() && m_usedIds.contains(uuid)) {
        qDebug() << Q_FUNC_INFO << "Item id" << uuid << "is used twice; the second item gets a new one";
        uuid = QUuid();
    }
    auto* item = new SequenceItem(asset, settings.release(), startFrame, endFrame, uuid);
    item->setPresetUuid(presetUuid);
    item->unreadGradeFields = unreadFields;
    m_usedIds.insert(item->uuid);
    if (!failedFields.isEmpty())
        ++m_failedGrades;
    if (!unreadFields.isEmpty()) {
        m_incompleteGrades.insert(item->uuid, unreadFields);
        m_incompleteGradeNotes << QStringLiteral("%1: %2").arg(
            QFileInfo(assetPath).fileName(), unreadFields.join(QStringLiteral(" ")));
    }
    m_items->insert(std::clamp(position, 0, int(m_items->size())), item);
    return true;
}

} // namespace Emulsa
