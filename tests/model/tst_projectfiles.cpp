#include "GradeTestSupport.h"
#include "common/TestEnvironment.h"

#include "core/CameraListHelper.h"
#include "core/ClipSettings.h"
#include "core/FilmLibrary.h"
#include "core/ProfileInfo.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/metadata/MetadataManager.h"
#include "model/PresetsFileReader.h"
#include "model/ProjectFileReader.h"
#include "model/ProjectFileWriter.h"

#include <QBuffer>
#include <QDir>
#include <QSysInfo>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using namespace Emulsa;
using Emulsa::Test::compareGrades;
using Emulsa::Test::sampleGrade;

namespace {

// A project written by hand from the file format: two clips, the second one
// current, trimmed and linked to a preset.
const char* handWrittenProject = R"(<?xml version="1.0" encoding="UTF-8"?>
<Project>
    <General>
        <FileVersion>1.0</FileVersion>
        <StandaloneVersion>1.02.30</StandaloneVersion>
        <HostOS>Some Linux</HostOS>
    </General>
    <SequenceItems timeline="1" total-items="2">
        <SequenceItem position="0">
            <AssetUUID>00112233445566778899aabbccddeeff</AssetUUID>
            <AssetPath>/footage/A001.mp4</AssetPath>
            <SequenceUUID>{6f1c1c52-5b1a-4a53-9d1e-4f3f2a0b9c11}</SequenceUUID>
            <StartFrame>0</StartFrame>
            <EndFrame>250</EndFrame>
            <Current>0</Current>
            <PresetUUID></PresetUUID>
            <ClipSettings>
                <StockName>5207</StockName>
                <ProfileID>825250895</ProfileID>
                <CameraModel>Other Generic</CameraModel>
                <CameraID>GEN0</CameraID>
                <StockAmount>100</StockAmount>
                <CurveAmount>100</CurveAmount>
                <GrainAmount>100</GrainAmount>
                <GrainScale>35 mm Full Frame</GrainScale>
                <Exposure>0.000000</Exposure>
                <Kelvin>5600.000000</Kelvin>
                <ColorWheels>
                    <Low>
                        <Radius>0.000000</Radius>
                        <Theta>0.000000</Theta>
                    </Low>
                    <Mid>
                        <Radius>0.000000</Radius>
                        <Theta>0.000000</Theta>
                    </Mid>
                    <High>
                        <Radius>0.000000</Radius>
                        <Theta>0.000000</Theta>
                    </High>
                </ColorWheels>
                <Lift>1.000000</Lift>
                <Gamma>1.000000</Gamma>
                <Gain>1.000000</Gain>
                <Saturation>1.000000</Saturation>
                <Histogram>
                    <Black>0.000000</Black>
                    <Mid>0.500000</Mid>
                    <White>1.000000</White>
                </Histogram>
                <Original>0</Original>
            </ClipSettings>
        </SequenceItem>
        <SequenceItem position="1">
            <AssetUUID>ffeeddccbbaa99887766554433221100</AssetUUID>
            <AssetPath>/footage/B002.mov</AssetPath>
            <SequenceUUID>{0a5f2e7d-1c4b-4e8a-b3a6-7d9e0f1a2b3c}</SequenceUUID>
            <StartFrame>12</StartFrame>
            <EndFrame>48</EndFrame>
            <Current>1</Current>
            <PresetUUID>7b31323334353637382d313233342d313233342d313233342d3132333435363738393031327d</PresetUUID>
            <ClipSettings>
                <StockName>FujiVelvia100</StockName>
                <ProfileID>825249363</ProfileID>
                <CameraModel>Sonar FS9</CameraModel>
                <CameraID>SNF9</CameraID>
                <StockAmount>73</StockAmount>
                <CurveAmount>12</CurveAmount>
                <GrainAmount>187</GrainAmount>
                <GrainScale>Super 16</GrainScale>
                <Exposure>-0.432100</Exposure>
                <Kelvin>4321.000000</Kelvin>
                <ColorWheels>
                    <Low>
                        <Radius>0.250000</Radius>
                        <Theta>-1.500000</Theta>
                    </Low>
                    <Mid>
                        <Radius>0.500000</Radius>
                        <Theta>0.750000</Theta>
                    </Mid>
                    <High>
                        <Radius>1.000000</Radius>
                        <Theta>3.000000</Theta>
                    </High>
                </ColorWheels>
                <Lift>0.930000</Lift>
                <Gamma>1.070000</Gamma>
                <Gain>1.210000</Gain>
                <Saturation>1.660000</Saturation>
                <Histogram>
                    <Black>0.050000</Black>
                    <Mid>0.450000</Mid>
                    <White>0.900000</White>
                </Histogram>
                <Original>1</Original>
            </ClipSettings>
        </SequenceItem>
    </SequenceItems>
</Project>
)";

// Asset records made by the test from the id and path in the file.
class Assets
{
public:
    ~Assets() { qDeleteAll(m_records); }
    // As the metadata manager: the record with the stored id, else the one
    // made from the path (whose id is the digest of the path).
    AssetMetadata* get(const QByteArray& id, const QString& path)
    {
        if (AssetMetadata* known = m_records.value(id))
            return known;
        const QByteArray pathId = MetadataManager::idForPath(path);
        AssetMetadata*& record = m_records[pathId];
        if (!record) {
            record = new AssetMetadata;
            record->id = pathId;
            record->filePath = path;
            record->frameCount = 1000;
        }
        return record;
    }

private:
    QHash<QString, AssetMetadata*> m_records;
};

// Items read from a file, deleted with their grades.
struct ReadItems
{
    QList<SequenceItem*> items;
    ~ReadItems()
    {
        for (SequenceItem* item : qAsConst(items))
            delete item->settings;
        qDeleteAll(items);
    }
};

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class ProjectFilesTest : public QObject
{
    Q_OBJECT

private:
    CameraListHelper m_catalogue;
    FilmLibrary m_library;
    Assets m_assets;
    // The sequence written by the tests: three clips with their own grades.
    QList<SequenceItem*> m_sequence;
    std::vector<std::unique_ptr<ClipSettings>> m_grades;
    QString m_folder;

    std::unique_ptr<ProjectFileReader> makeReader(ReadItems* out)
    {
        auto reader = std::make_unique<ProjectFileReader>(&out->items, &m_library, &m_catalogue);
        reader->setAssetResolver([this](const QByteArray& id, const QString& path) { return m_assets.get(id, path); });
        return reader;
    }

    bool readBytes(const QByteArray& bytes, ReadItems* out, std::unique_ptr<ProjectFileReader>* keep = nullptr)
    {
        QByteArray copy = bytes;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        auto reader = makeReader(out);
        const bool ok = reader->read(&buffer);
        if (keep)
            *keep = std::move(reader);
        return ok;
    }

    QByteArray writeBytes(const QList<SequenceItem*>& items, const SequenceItem* current)
    {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        ProjectFileWriter writer(&items, current, false, &m_catalogue);
        return writer.writeToXML(&buffer) ? bytes : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_catalogue.loadFromData(Test::twoProfileCatalogue()));
        m_folder = Test::makeTempFolder(QStringLiteral("projects"));
        const char* paths[] = { "/footage/A001.mp4", "/footage/B 002 é.mov", "/footage/A001.mp4" };
        for (int i = 0; i < 3; ++i) {
            auto grade = std::make_unique<ClipSettings>(i == 1 ? sampleGrade() : ClipSettings());
            grade->setExposure(0.1f * float(i));
            const QString path = QString::fromUtf8(paths[i]);
            auto* item = new SequenceItem(
                m_assets.get(MetadataManager::idForPath(path), path), grade.get(), quint32(i * 10), quint32(100 + i));
            if (i == 1)
                item->setPresetUuid(QUuid::createUuid().toByteArray());
            m_sequence << item;
            m_grades.push_back(std::move(grade));
        }
    }

    void cleanupTestCase() { qDeleteAll(m_sequence); }

    void roundTripKeepsEveryField()
    {
        const QByteArray bytes = writeBytes(m_sequence, m_sequence.at(1));
        QVERIFY(!bytes.isEmpty());
        ReadItems read;
        std::unique_ptr<ProjectFileReader> reader;
        QVERIFY(readBytes(bytes, &read, &reader));
        QVERIFY(reader->loadedCleanly());
        QCOMPARE(reader->fileVersion(), 1.0f);
        QCOMPARE(reader->standaloneVersion(), QStringLiteral("1.02.30"));
        QCOMPARE(reader->hostOS(), QSysInfo::prettyProductName());
        QCOMPARE(read.items.size(), m_sequence.size());
        for (int i = 0; i < m_sequence.size(); ++i) {
            const SequenceItem* item = read.items.at(i);
            const SequenceItem* original = m_sequence.at(i);
            QCOMPARE(item->asset, original->asset);
            QCOMPARE(item->uuid, original->uuid);
            QCOMPARE(item->startFrame, original->startFrame);
            QCOMPARE(item->endFrame, original->endFrame);
            QCOMPARE(item->presetUuid(), original->presetUuid());
            QVERIFY(item->settings && item->settings != original->settings);
            compareGrades(*item->settings, *original->settings);
        }
        QVERIFY(bytes.contains("<Current>1</Current>"));
        QCOMPARE(bytes.count("<Current>0</Current>"), 2);
    }

    void handWrittenFileReads()
    {
        ReadItems read;
        std::unique_ptr<ProjectFileReader> reader;
        QVERIFY(readBytes(handWrittenProject, &read, &reader));
        QVERIFY(reader->loadedCleanly());
        QVERIFY(reader->timelineMode());
        QCOMPARE(reader->hostOS(), QStringLiteral("Some Linux"));
        QCOMPARE(read.items.size(), 2);
        const SequenceItem* first = read.items.at(0);
        // Not a known asset id: the record comes from the path.
        QCOMPARE(first->asset->id, MetadataManager::idForPath(QStringLiteral("/footage/A001.mp4")));
        QCOMPARE(first->asset->filePath, QStringLiteral("/footage/A001.mp4"));
        QCOMPARE(first->uuid, QUuid(QStringLiteral("{6f1c1c52-5b1a-4a53-9d1e-4f3f2a0b9c11}")));
        QCOMPARE(first->startFrame, 0u);
        QCOMPARE(first->endFrame, 250u);
        QVERIFY(first->presetUuid().isEmpty());
        compareGrades(*first->settings, ClipSettings());
        const SequenceItem* second = read.items.at(1);
        QCOMPARE(second->asset->filePath, QStringLiteral("/footage/B002.mov"));
        QCOMPARE(second->startFrame, 12u);
        QCOMPARE(second->endFrame, 48u);
        QCOMPARE(second->presetUuid(), QByteArray("{12345678-1234-1234-1234-123456789012}"));
        compareGrades(*second->settings, sampleGrade());
    }

    void writerMatchesTheHandWrittenLayout()
    {
        // Rebuild the hand-written project and write it: the same text but
        // for the host line and the timeline flag.
        ReadItems read;
        std::unique_ptr<ProjectFileReader> reader;
        QVERIFY(readBytes(handWrittenProject, &read, &reader));
        QByteArray written = writeBytes(read.items, read.items.at(1));
        written.replace(QSysInfo::prettyProductName().toHtmlEscaped().toUtf8(), "Some Linux");
        QByteArray expected(handWrittenProject);
        expected.replace("timeline=\"1\"", "timeline=\"0\"");
        expected.replace("00112233445566778899aabbccddeeff", read.items.at(0)->asset->id.toHex());
        expected.replace("ffeeddccbbaa99887766554433221100", read.items.at(1)->asset->id.toHex());
        QCOMPARE(QString::fromUtf8(written), QString::fromUtf8(expected));
    }

    void edgeCases_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<bool>("readOk");
        QTest::addColumn<int>("items");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<int>("defaulted");
        // What the summary names: the clip and the fields its grade lost.
        QTest::addColumn<QString>("named");
        QTest::newRow("count above the items")
            << QByteArray("total-items=\"2\"") << QByteArray("total-items=\"3\"") << false << 2 << 1 << 0 << QString();
        QTest::newRow("count below the items")
            << QByteArray("total-items=\"2\"") << QByteArray("total-items=\"1\"") << true << 1 << 1 << 0 << QString();
        QTest::newRow("count zero") << QByteArray("total-items=\"2\"") << QByteArray("total-items=\"0\"") << true << 0
                                    << 2 << 0 << QString();
        QTest::newRow("count not a number") << QByteArray("total-items=\"2\"") << QByteArray("total-items=\"two\"")
                                            << false << 0 << 0 << 0 << QString();
        QTest::newRow("no timeline") << QByteArray("timeline=\"1\" ") << QByteArray() << false << 0 << 0 << 0
                                     << QString();
        QTest::newRow("misspelled grade element")
            << QByteArray("<Gamma>1.070000</Gamma>") << QByteArray("<Gama>1.07</Gama>") << true << 2 << 0 << 1
            << "B002.mov: Gamma";
        QTest::newRow("exposure not a number")
            << QByteArray("<Exposure>-0.432100</Exposure>") << QByteArray("<Exposure>nan</Exposure>") << true << 2 << 0
            << 1 << "B002.mov: Exposure";
        QTest::newRow("kelvin infinite") << QByteArray("<Kelvin>4321.000000</Kelvin>")
                                         << QByteArray("<Kelvin>inf</Kelvin>") << true << 2 << 0 << 1
                                         << "B002.mov: Kelvin";
        // Wheels and levels that keep their defaults leave the grade in use,
        // but the file did not load cleanly.
        QTest::newRow("wheel radius not a number")
            << QByteArray("<Radius>0.250000</Radius>") << QByteArray("<Radius>x</Radius>") << true << 2 << 0 << 0
            << "B002.mov: ColorWheels/Low/Radius";
        QTest::newRow("bad start frame") << QByteArray("<StartFrame>12</StartFrame>")
                                         << QByteArray("<StartFrame>-12</StartFrame>") << true << 1 << 1 << 0
                                         << QString();
        QTest::newRow("no asset id") << QByteArray("ffeeddccbbaa99887766554433221100") << QByteArray() << true << 1 << 1
                                     << 0 << QString();
        QTest::newRow("no position") << QByteArray("position=\"1\"") << QByteArray("place=\"1\"") << true << 1 << 1 << 0
                                     << QString();
        QTest::newRow("no grade") << QByteArray("<ClipSettings>\n                <StockName>FujiVelvia100")
                                  << QByteArray("<Grade>\n                <StockName>FujiVelvia100") << true << 1 << 1
                                  << 0 << QString();
        QTest::newRow("every item damaged")
            << QByteArray("Current>") << QByteArray("Curent>") << false << 0 << 2 << 0 << QString();
        QTest::newRow("foreign element between items")
            << QByteArray("</SequenceItem>\n        <SequenceItem position=\"1\">")
            << QByteArray("</SequenceItem><Note>x</Note><SequenceItem position=\"1\">") << true << 1 << 2 << 0
            << QString();
    }
    void edgeCases()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(bool, readOk);
        QFETCH(int, items);
        QFETCH(int, skipped);
        QFETCH(int, defaulted);
        QFETCH(QString, named);
        QByteArray document(handWrittenProject);
        QVERIFY(document.contains(from));
        document.replace(from, to);
        if (to.startsWith("<Grade>"))
            document.replace("</ClipSettings>\n        </SequenceItem>\n    </SequenceItems>",
                "</Grade>\n        </SequenceItem>\n    </SequenceItems>");
        ReadItems read;
        std::unique_ptr<ProjectFileReader> reader;
        QCOMPARE(readBytes(document, &read, &reader), readOk);
        QCOMPARE(read.items.size(), items);
        QCOMPARE(reader->skippedItems(), qint64(skipped));
        QCOMPARE(reader->defaultedGrades(), defaulted);
        QVERIFY(!reader->loadedCleanly());
        QVERIFY(!reader->problemSummary().isEmpty());
        QVERIFY2(reader->problemSummary().contains(named), qPrintable(reader->problemSummary()));
    }

    // The fields a grade lost stay named on the item, in the file an
    // autosave writes and in the next read of it, until the item's grade is
    // saved whole; names in the file that are no field names are dropped.
    void unreadFieldsTravelWithTheItem_data()
    {
        QTest::addColumn<QByteArray>("kelvin");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<bool>("cleanly");
        const QByteArray kelvin("<Kelvin>4321.000000</Kelvin>");
        QTest::newRow("damaged value") << QByteArray("<Kelvin>x300</Kelvin>") << QByteArray()
                                       << QStringList { "Kelvin" } << false;
        QTest::newRow("named by an autosave") << kelvin << QByteArray("Kelvin ColorWheels/Mid/Radius")
                                              << QStringList { "Kelvin", "ColorWheels/Mid/Radius" } << true;
        QTest::newRow("damaged and named")
            << QByteArray("<Kelvin>x300</Kelvin>") << QByteArray(" Histogram/White\n Kelvin ")
            << QStringList { "Kelvin", "Histogram/White" } << false;
        QTest::newRow("names that are no field names")
            << kelvin << QByteArray("Kelvin 1x Gamma;rm ../x &lt;b&gt;Lift&lt;/b&gt; ColorWheels/Low Kelvin")
            << QStringList { "Kelvin", "ColorWheels/Low" } << true;
        QStringList many;
        for (char c = 'A'; c <= 'Z'; ++c)
            many << QStringLiteral("%1a").arg(QLatin1Char(c)) << QStringLiteral("%1b").arg(QLatin1Char(c));
        QTest::newRow("more names than a grade has")
            << kelvin << many.join(' ').toLatin1() << QStringList(many.mid(0, GradeBlockReader::maxStoredUnreadFields))
            << true;
        QTest::newRow("empty element") << kelvin << QByteArray(" ") << QStringList() << true;
    }
    void unreadFieldsTravelWithTheItem()
    {
        QFETCH(QByteArray, kelvin);
        QFETCH(QByteArray, stored);
        QFETCH(QStringList, fields);
        QFETCH(bool, cleanly);
        QByteArray document(handWrittenProject);
        QVERIFY(document.contains("<Kelvin>4321.000000</Kelvin>"));
        document.replace("<Kelvin>4321.000000</Kelvin>", kelvin);
        if (!stored.isNull()) {
            const QByteArray end("</ClipSettings>\n        </SequenceItem>\n    </SequenceItems>");
            QVERIFY(document.contains(end));
            document.replace(end,
                "</ClipSettings><UnreadGradeFields>" + stored
                    + "</UnreadGradeFields>\n        </SequenceItem>\n    </SequenceItems>");
        }
        ReadItems read;
        std::unique_ptr<ProjectFileReader> reader;
        QVERIFY(readBytes(document, &read, &reader));
        QCOMPARE(read.items.size(), 2);
        QVERIFY(read.items.at(0)->unreadGradeFields.isEmpty());
        SequenceItem* item = read.items.at(1);
        QCOMPARE(item->unreadGradeFields, fields);
        QCOMPARE(reader->loadedCleanly(), cleanly);
        QCOMPARE(reader->incompleteGrades().value(item->uuid), fields);
        QCOMPARE(reader->incompleteGrades().size(), fields.isEmpty() ? 0 : 1);
        // The rest of the item is read as written.
        QCOMPARE(item->presetUuid(), QByteArray("{12345678-1234-1234-1234-123456789012}"));
        QCOMPARE(item->endFrame, 48u);

        // Written again (as an autosave does) and read back: the names stay,
        // and the fields the file now holds read without error.
        const QByteArray again = writeBytes(read.items, item);
        QCOMPARE(again.count("<UnreadGradeFields>"), fields.isEmpty() ? 0 : 1);
        ReadItems reread;
        QVERIFY(readBytes(again, &reread, &reader));
        QCOMPARE(reread.items.at(1)->unreadGradeFields, fields);
        QVERIFY(reader->loadedCleanly());

        // Once the item's grade is saved whole the file names nothing.
        reread.items.at(1)->unreadGradeFields.clear();
        QVERIFY(!writeBytes(reread.items, item).contains("UnreadGradeFields"));
    }

    void samePositionInsertsBefore()
    {
        QByteArray document(handWrittenProject);
        document.replace("position=\"1\"", "position=\"0\"");
        ReadItems read;
        QVERIFY(readBytes(document, &read));
        QCOMPARE(read.items.size(), 2);
        QCOMPARE(read.items.at(0)->asset->filePath, QStringLiteral("/footage/B002.mov"));
        QCOMPARE(read.items.at(1)->asset->filePath, QStringLiteral("/footage/A001.mp4"));
    }

    void positionsOutsideTheListAppendOrPrepend()
    {
        QByteArray document(handWrittenProject);
        document.replace("position=\"0\"", "position=\"99\"").replace("position=\"1\"", "position=\"-5\"");
        ReadItems read;
        QVERIFY(readBytes(document, &read));
        QCOMPARE(read.items.at(0)->asset->filePath, QStringLiteral("/footage/B002.mov"));
    }

    void itemIdsAreFreshWhenInvalidOrRepeated()
    {
        QByteArray document(handWrittenProject);
        document.replace("{0a5f2e7d-1c4b-4e8a-b3a6-7d9e0f1a2b3c}", "{6f1c1c52-5b1a-4a53-9d1e-4f3f2a0b9c11}");
        ReadItems repeated;
        QVERIFY(readBytes(document, &repeated));
        QCOMPARE(repeated.items.size(), 2);
        QCOMPARE(repeated.items.at(0)->uuid, QUuid(QStringLiteral("{6f1c1c52-5b1a-4a53-9d1e-4f3f2a0b9c11}")));
        QVERIFY(!repeated.items.at(1)->uuid.isNull());
        QVERIFY(repeated.items.at(1)->uuid != repeated.items.at(0)->uuid);

        document.replace("{6f1c1c52-5b1a-4a53-9d1e-4f3f2a0b9c11}", "not a uuid");
        ReadItems invalid;
        QVERIFY(readBytes(document, &invalid));
        QVERIFY(!invalid.items.at(0)->uuid.isNull());
        QVERIFY(invalid.items.at(0)->uuid != invalid.items.at(1)->uuid);
    }

    void everyPrefixLoadsAndReportsWhatItSkipped()
    {
        const QByteArray whole = writeBytes(m_sequence, m_sequence.at(0));
        QVERIFY(!whole.isEmpty());
        const int complete = whole.indexOf("</Project>") + int(qstrlen("</Project>"));
        for (int length = 0; length < whole.size(); ++length) {
            ReadItems read;
            std::unique_ptr<ProjectFileReader> reader;
            const bool ok = readBytes(whole.left(length), &read, &reader);
            QVERIFY2(ok == (length >= complete), qPrintable(QString::number(length)));
            QCOMPARE(reader->loadedCleanly(), length >= complete);
            // What loaded is whole and in order; the rest is reported.
            for (int i = 0; i < read.items.size(); ++i) {
                QCOMPARE(read.items.at(i)->uuid, m_sequence.at(i)->uuid);
                QCOMPARE(read.items.at(i)->endFrame, m_sequence.at(i)->endFrame);
                compareGrades(*read.items.at(i)->settings, *m_sequence.at(i)->settings);
            }
            if (reader->declaredItems() >= 0)
                QCOMPARE(read.items.size() + reader->skippedItems(), qint64(m_sequence.size()));
            else
                QVERIFY(read.items.isEmpty());
        }
    }

    void hugeItemCountAllocatesNothing_data()
    {
        QTest::addColumn<QByteArray>("count");
        QTest::addColumn<qint64>("missing");
        QTest::newRow("largest int") << QByteArray("2147483647") << qint64(2147483647 - 2);
        QTest::newRow("past int") << QByteArray("99999999999") << qint64(0);
    }
    void hugeItemCountAllocatesNothing()
    {
        // A list sized from this count would need 16 GiB.
        QFETCH(QByteArray, count);
        QFETCH(qint64, missing);
        QByteArray document(handWrittenProject);
        document.replace("total-items=\"2\"", "total-items=\"" + count + "\"");
        ReadItems read;
        std::unique_ptr<ProjectFileReader> reader;
        QVERIFY(!readBytes(document, &read, &reader));
        QCOMPARE(reader->skippedItems(), missing);
        QCOMPARE(read.items.size(), missing > 0 ? 2 : 0);
    }

    // Entity declarations could grow a small file into gigabytes: any
    // document type definition is refused, and so is a text longer than the
    // longest field any of the program's files holds.
    void hostileDocumentsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("reason");
        QTest::newRow("nested entities") << QByteArray("<Project>")
                                         << QByteArray("<!DOCTYPE Project [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
                                                       "\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]>\n<Project>")
                                         << "document type definition";
        QTest::newRow("plain document type")
            << QByteArray("<Project>") << QByteArray("<!DOCTYPE Project>\n<Project>") << "document type definition";
        QTest::newRow("over-long path") << QByteArray("/footage/B002.mov")
                                        << QByteArray(PresetsFileReader::maxThumbnailDataLength + 1, 'p')
                                        << "longer than";
        QTest::newRow("over-long text between items")
            << QByteArray("</SequenceItem>\n        <SequenceItem position=\"1\">")
            << "</SequenceItem>" + QByteArray(PresetsFileReader::maxThumbnailDataLength + 1, 't')
                + "<SequenceItem position=\"1\">"
            << "longer than";
        QTest::newRow("over-long comment")
            << QByteArray("<General>")
            << "<!--" + QByteArray(PresetsFileReader::maxThumbnailDataLength + 1, 'c') + "--><General>"
            << "longer than";
    }
    void hostileDocumentsAreRefused()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, reason);
        QByteArray document(handWrittenProject);
        QVERIFY(document.contains(from));
        document.replace(from, to);
        if (to.contains("ENTITY"))
            document.replace("Some Linux", "&b;");
        ReadItems read;
        std::unique_ptr<ProjectFileReader> reader;
        QVERIFY(!readBytes(document, &read, &reader));
        QVERIFY(read.items.size() < 2);
        QVERIFY2(reader->errorString().contains(reason), qPrintable(reader->errorString()));
    }

    void profileMissingFromTheCatalogueStillSaves()
    {
        ClipSettings grade;
        grade.setSourceType(ProfileInfo::packId("ZZ99"));
        SequenceItem item(m_sequence.at(0)->asset, &grade, 0, 10);
        const QList<SequenceItem*> items { &item };
        const QString path = m_folder + QStringLiteral("/missing-profile.empf");
        ProjectFileWriter writer(&items, &item, false, &m_catalogue);
        QVERIFY(writer.saveToFile(path));
        ReadItems read;
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("The  profile is not installed on your system"));
        QVERIFY(readBytes(fileBytes(path), &read));
        QCOMPARE(read.items.size(), 1);
        QCOMPARE(read.items.at(0)->settings->getSourceType(), ProfileInfo::packId("ZZ99"));
    }

    void failedSaveLeavesTheOldFile_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("item without media") << "item";
        QTest::newRow("disk full") << "full";
    }
    void failedSaveLeavesTheOldFile()
    {
        QFETCH(QString, how);
        const QString path = m_folder + QStringLiteral("/keep-") + how + QStringLiteral(".empf");
        const QByteArray old("old project bytes\n");
        QVERIFY(writeFile(path, old));

        SequenceItem broken(nullptr, nullptr, 0, 0);
        QList<SequenceItem*> items = m_sequence;
        if (how == QLatin1String("item"))
            items << &broken;
        else
            for (int i = 0; i < 8; ++i)
                items += m_sequence; // well past the size limit below

        ProjectFileWriter writer(&items, nullptr, false, &m_catalogue);
        QString error;
        bool saved = false;
        if (how == QLatin1String("full")) {
            // Writes past 4 KiB fail as on a full disk (also for root).
            struct rlimit previous;
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
            const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit small = previous;
            small.rlim_cur = 4096;
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
            saved = writer.saveToFile(path, &error);
            setrlimit(RLIMIT_FSIZE, &previous);
            std::signal(SIGXFSZ, previousHandler);
        } else {
            saved = writer.saveToFile(path, &error);
        }
        QVERIFY(!saved);
        QVERIFY(!error.isEmpty());
        QCOMPARE(fileBytes(path), old);
        QCOMPARE(QDir(m_folder).entryList({ QStringLiteral("keep-") + how + QStringLiteral("*") }, QDir::Files),
            QStringList { QFileInfo(path).fileName() });
    }

    void saveIntoAFolderThatCannotBeMade()
    {
        const QString notAFolder = m_folder + QStringLiteral("/plain-file");
        QVERIFY(writeFile(notAFolder, "x"));
        ProjectFileWriter writer(&m_sequence, nullptr, false, &m_catalogue);
        QString error;
        QVERIFY(!writer.saveToFile(notAFolder + QStringLiteral("/project.empf"), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(fileBytes(notAFolder), QByteArray("x"));
    }

    void saveReplacesAndBackupKeepsTheOldFile()
    {
        const QString path = m_folder + QStringLiteral("/replace.empf");
        QVERIFY(writeFile(path, "first version"));
        QVERIFY(ProjectFileWriter::keepBackup(path));
        ProjectFileWriter writer(&m_sequence, nullptr, false, &m_catalogue);
        QVERIFY(writer.saveToFile(path));
        QCOMPARE(fileBytes(path + QStringLiteral(".bak")), QByteArray("first version"));
        QCOMPARE(fileBytes(path), writeBytes(m_sequence, nullptr));
        QVERIFY(ProjectFileWriter::keepBackup(m_folder + QStringLiteral("/no-such.empf")));
    }
};

EMULSA_TEST_MAIN(ProjectFilesTest)
#include "tst_projectfiles.moc"
