#include "PresetsManagerFixture.h"
#include "common/TestEnvironment.h"
#include "model/ThumbnailImages.h"

using namespace Emulsa;
using namespace Emulsa::Test;

// Preset files from outside: exported groups imported once or twice, damaged
// grades, fresh uuids, and the limits on thumbnails and hostile documents.
class PresetsManagerImportTest : public PresetsManagerFixture
{
    Q_OBJECT

private slots:
    // An exported group imported twice gives presets and thumbnails of their
    // own: no two presets share a uuid, and each has its thumbnail file.
    void importTwiceGivesDistinctUuids()
    {
        const QString exported = Test::makeTempFolder(QStringLiteral("export")) + QStringLiteral("/looks");
        PresetsManager store(m_folder);
        const int group = store.createNewGroup(QStringLiteral("Looks")).id;
        const Preset preset = store.createPreset(gradeWithSaturation(0.5f), group).value();
        QVERIFY(store.setNewThumbnailForId(testImage(32, 18, qRgb(200, 10, 10)), preset.id(), false));
        QVERIFY(store.exportPresetGroup(group, exported));
        // Exports carry the store's suffix.
        QVERIFY(QFile::exists(exported + QStringLiteral(".empreset")));

        const int first = store.importPresetGroup(exported + QStringLiteral(".empreset"));
        const int second = store.importPresetGroup(exported + QStringLiteral(".empreset"));
        QVERIFY(first >= 0 && second >= 0 && first != second && first != group);
        const QList<QUuid> uuids = allUuids(store);
        QCOMPARE(uuids.size(), 3);
        QCOMPARE(QSet<QUuid>(uuids.begin(), uuids.end()).size(), 3);
        for (const QUuid& uuid : uuids) {
            QVERIFY(QFile::exists(store.thumbnailPath(uuid)));
            QCOMPARE(store.thumbnailForId(uuid.toByteArray()).pixel(0, 0), qRgb(200, 10, 10));
        }
        // The copies keep name, number and grade.
        for (int id : { first, second }) {
            const Preset copy = store.presetsOfGroup(id).constFirst();
            QCOMPARE(copy.number, preset.number);
            QCOMPARE(copy.settings.getSaturation(), 0.5f);
        }
    }

    // Into a store that does not hold them, an exported group comes back
    // whole: uuids, names, numbers, grades and thumbnails. An empty group
    // comes back empty.
    void exportedGroupRoundTrip()
    {
        const QString folder = Test::makeTempFolder(QStringLiteral("roundtrip"));
        PresetsManager source(Test::makeTempFolder(QStringLiteral("source")));
        const int group = source.createNewGroup(QStringLiteral("Trip")).id;
        const int empty = source.createNewGroup(QStringLiteral("Nothing")).id;
        ClipSettings grade = gradeWithSaturation(1.5f);
        grade.setStockName(QStringLiteral("5213"));
        grade.setMid(ColorWheelData { 0.25, -1.0 });
        const Preset preset = source.createPreset(grade, group).value();
        source.renamePreset(preset.id(), QStringLiteral("Night"));
        QVERIFY(source.setNewThumbnailForId(testImage(20, 10, qRgb(0, 90, 200)), preset.id(), false));
        QVERIFY(source.exportPresetGroup(group, folder + QStringLiteral("/trip.empreset")));
        QVERIFY(source.exportPresetGroup(empty, folder + QStringLiteral("/nothing.empreset")));
        QVERIFY(fileBytes(folder + QStringLiteral("/nothing.empreset"), QByteArray()).contains("total-items=\"0\""));

        PresetsManager store(m_folder);
        const int imported = store.importPresetGroup(folder + QStringLiteral("/trip.empreset"));
        const QVector<Preset> presets = store.presetsOfGroup(imported);
        QCOMPARE(presets.size(), 1);
        QCOMPARE(presets.first().uuid, preset.uuid);
        QCOMPARE(presets.first().name, QStringLiteral("Night"));
        QCOMPARE(presets.first().number, preset.number);
        QCOMPARE(presets.first().settings.getStockName(), QStringLiteral("5213"));
        QCOMPARE(presets.first().settings.getSaturation(), 1.5f);
        QCOMPARE(presets.first().settings.getMid().radius, 0.25);
        QVERIFY(QFile::exists(store.thumbnailPath(preset.uuid)));
        QCOMPARE(store.thumbnailForId(preset.id()).pixel(5, 5), qRgb(0, 90, 200));
        bool found = false;
        const int nothing = store.importPresetGroup(folder + QStringLiteral("/nothing.empreset"));
        QVERIFY(store.presetsOfGroup(nothing, &found).isEmpty());
        QVERIFY(found);
        QCOMPARE(store.group(nothing)->name, QStringLiteral("Nothing"));
    }

    // A preset whose grade is damaged loads with defaults there and names
    // the fields; the names survive the store writing its files again (as
    // every preset command does) and a restart, and go with a copy; the
    // other presets of the file are untouched.
    void damagedGradeStaysMarked_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<float>("saturation");
        QTest::newRow("misspelled element")
            << QByteArray("<Kelvin>5600.000000</Kelvin>") << QByteArray("<Kelvn>5600.000000</Kelvn>")
            << QStringList { "Kelvin" } << 1.0f;
        QTest::newRow("value not a number")
            << QByteArray("<Kelvin>5600.000000</Kelvin>") << QByteArray("<Kelvin>x300.000000</Kelvin>")
            << QStringList { "Kelvin" } << 1.0f;
        // A wheel's default leaves the rest of the grade in use.
        QTest::newRow("wheel radius") << QByteArray("<Radius>0.000000</Radius>") << QByteArray("<Radius>r</Radius>")
                                      << QStringList { "ColorWheels/Low/Radius" } << 0.5f;
    }

    void damagedGradeStaysMarked()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QStringList, fields);
        QFETCH(float, saturation);
        PresetsManager source(Test::makeTempFolder(QStringLiteral("source")));
        const int group = source.createNewGroup(QStringLiteral("Damaged")).id;
        const QByteArray damaged = source.createPreset(gradeWithSaturation(0.5f), group)->id();
        const QByteArray whole = source.createPreset(gradeWithSaturation(0.25f), group)->id();
        QVERIFY(source.writePresetsToDisk());
        const QString file = source.presetsFolder() + source.groupFileNames().value(group);
        QByteArray text = fileBytes(file, QByteArray());
        // The first occurrence belongs to the first preset.
        const int at = text.indexOf(from);
        QVERIFY(at >= 0 && at < text.indexOf(whole));
        text.replace(at, from.size(), to);
        QVERIFY(writeAll(m_folder + QStringLiteral("damaged.empreset"), text));

        for (int start = 0; start < 2; ++start) {
            PresetsManager store(m_folder);
            const std::optional<Preset> preset = store.findPreset(damaged);
            QVERIFY(preset);
            QCOMPARE(preset->unreadFields, fields);
            QCOMPARE(preset->settings.getSaturation(), saturation);
            QVERIFY(!preset->unreadFieldsWarning().isEmpty());
            QVERIFY(store.findPreset(whole)->unreadFields.isEmpty());
            QCOMPARE(store.findPreset(whole)->settings.getSaturation(), 0.25f);
            QVERIFY(store.findPreset(whole)->unreadFieldsWarning().isEmpty());
            // A rename rewrites the file with the defaults in place.
            QVERIFY(store.renamePreset(damaged, QStringLiteral("Night %1").arg(start)));
            QVERIFY(store.writePresetsToDisk());
        }
        PresetsManager store(m_folder);
        const int other = store.createNewGroup(QStringLiteral("Copies")).id;
        QCOMPARE(store.copyPreset(damaged, other)->unreadFields, fields);
        // A preset made from the grade in use is whole.
        QVERIFY(store.createPreset(store.findPreset(damaged)->settings, other)->unreadFields.isEmpty());
    }

    // Files named ".empresets" (older exports) are imported too.
    void importAcceptsBothSuffixes()
    {
        const QString folder = Test::makeTempFolder(QStringLiteral("suffix"));
        PresetsManager store(m_folder);
        const int group = store.createNewGroup(QStringLiteral("Old")).id;
        store.createPreset(gradeWithSaturation(0.5f), group);
        QVERIFY(store.exportPresetGroup(group, folder + QStringLiteral("/old.empresets")));
        QVERIFY(QFile::exists(folder + QStringLiteral("/old.empresets")));
        QVERIFY(store.importPresetGroup(folder + QStringLiteral("/old.empresets")) >= 0);
    }

    // A preset whose uuid text is no uuid, or the null uuid, gets a fresh id
    // and never takes over the placeholder's thumbnail file.
    void invalidUuidGetsFreshOne_data()
    {
        QTest::addColumn<QString>("uuidText");
        QTest::newRow("garbage") << "not-a-uuid";
        QTest::newRow("null") << "{00000000-0000-0000-0000-000000000000}";
    }

    void invalidUuidGetsFreshOne()
    {
        QFETCH(QString, uuidText);
        PresetsManager source(Test::makeTempFolder(QStringLiteral("source")));
        const int group = source.createNewGroup(QStringLiteral("Bad")).id;
        const Preset preset = source.createPreset(gradeWithSaturation(0.5f), group).value();
        QVERIFY(source.setNewThumbnailForId(testImage(8, 8, qRgb(1, 2, 3)), preset.id(), false));
        const QString exported = Test::makeTempFolder(QStringLiteral("bad")) + QStringLiteral("/bad.empreset");
        QVERIFY(source.exportPresetGroup(group, exported));
        QByteArray text = fileBytes(exported, QByteArray());
        text.replace(preset.uuid.toString().toLatin1(), uuidText.toLatin1());
        QVERIFY(writeAll(exported, text));

        const QByteArray placeholder = "placeholder bytes";
        PresetsManager store(m_folder);
        QVERIFY(writeAll(store.thumbnailPath(QUuid()), placeholder));
        const int imported = store.importPresetGroup(exported);
        QVERIFY(imported >= 0);
        const Preset loaded = store.presetsOfGroup(imported).constFirst();
        QVERIFY(!loaded.uuid.isNull());
        QCOMPARE(fileBytes(store.thumbnailPath(QUuid()), QByteArray()), placeholder);
    }

    // A thumbnail whose picture is too large is refused before it is decoded,
    // and so is an over-long ThumbnailDATA text; the import fails as a whole.
    void oversizedThumbnailRefused_data()
    {
        QTest::addColumn<QByteArray>("data");
        QImage huge(ThumbnailImages::maxSide + 1, 8, QImage::Format_Mono);
        huge.fill(0);
        QTest::newRow("too wide") << PresetsFileWriter::encodeThumbnail(huge);
        QImage bomb(3500, 3500, QImage::Format_Mono); // 12 megapixels, a few kilobytes of PNG
        bomb.fill(1);
        QTest::newRow("too many pixels") << PresetsFileWriter::encodeThumbnail(bomb);
        QTest::newRow("too long") << QByteArray(ThumbnailImages::maxDataLength + 4, 'A');
        QTest::newRow("not an image") << QByteArray("AAAAAQ==");
    }

    void oversizedThumbnailRefused()
    {
        QFETCH(QByteArray, data);
        QVERIFY(ThumbnailImages::decode(data).isNull());
        // A well-formed thumbnail decodes.
        QCOMPARE(ThumbnailImages::decode(PresetsFileWriter::encodeThumbnail(testImage(16, 9, qRgb(9, 9, 9)))).size(),
            QSize(16, 9));

        PresetsManager source(Test::makeTempFolder(QStringLiteral("source")));
        const int group = source.createNewGroup(QStringLiteral("Big")).id;
        const Preset preset = source.createPreset(gradeWithSaturation(0.5f), group).value();
        QVERIFY(source.setNewThumbnailForId(testImage(8, 8, qRgb(1, 2, 3)), preset.id(), false));
        const QString exported = Test::makeTempFolder(QStringLiteral("big")) + QStringLiteral("/big.empreset");
        QVERIFY(source.exportPresetGroup(group, exported));
        QByteArray text = fileBytes(exported, QByteArray());
        const int start = text.indexOf("<ThumbnailDATA>") + int(qstrlen("<ThumbnailDATA>"));
        const int end = text.indexOf("</ThumbnailDATA>");
        QVERIFY(start > 20 && end > start);
        text.replace(start, end - start, data);
        QVERIFY(writeAll(exported, text));

        PresetsManager store(m_folder);
        QCOMPARE(store.importPresetGroup(exported), -1);
        QVERIFY(store.groups().isEmpty());
    }

    // Entities declared in a document type definition and referred to many
    // times would grow a small file into gigabytes: any document type
    // definition is refused, and so is a text longer than the longest field
    // a preset file holds (a thumbnail's data). Nothing is imported.
    void hostileDocumentsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QByteArray references;
        for (int i = 0; i < 10000; ++i)
            references += "&e;";
        QTest::newRow("entity referred to many times")
            << QByteArray("<PresetName>Look 0</PresetName>") << "<PresetName>" + references + "</PresetName>";
        QTest::newRow("plain document type")
            << QByteArray("<PresetGroup") << QByteArray("<!DOCTYPE PresetGroup>\n<PresetGroup");
        QTest::newRow("over-long name") << QByteArray("<PresetName>Look 0</PresetName>")
                                        << "<PresetName>" + QByteArray(BoundedXml::maxTextLength + 1, 'n')
                + "</PresetName>";
        QTest::newRow("over-long text between elements")
            << QByteArray("<Presets ") << QByteArray(BoundedXml::maxTextLength + 1, 't') + "<Presets ";
    }

    void hostileDocumentsAreRefused()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QVector<Preset> presets;
        QByteArray text = exportedGroup(1, &presets);
        QVERIFY(text.contains(from));
        text.replace(from, to);
        // The entity's declaration goes with its references.
        if (to.contains("&e;"))
            text.replace(
                "<PresetGroup", "<!DOCTYPE PresetGroup [<!ENTITY e \"" + QByteArray(4000, 'y') + "\">]>\n<PresetGroup");
        const QString path = Test::makeTempFolder(QStringLiteral("hostile")) + QStringLiteral("/hostile.empreset");
        QVERIFY(writeAll(path, text));
        PresetsManager store(m_folder);
        QCOMPARE(store.importPresetGroup(path), -1);
        QVERIFY(store.groups().isEmpty());
    }

    // At most one thumbnail per preset of the file is decoded, and only up to
    // a pixel budget for the whole file: what lies beyond is dropped unread,
    // and the presets themselves still load.
    void thumbnailsBeyondOnePerPresetAreDropped_data()
    {
        QTest::addColumn<QString>("extra");
        QTest::newRow("a second one for a preset") << "second";
        QTest::newRow("one of no preset") << "stranger";
        QTest::newRow("sixty large ones of no preset") << "strangers";
    }

    void thumbnailsBeyondOnePerPresetAreDropped()
    {
        QFETCH(QString, extra);
        QVector<Preset> presets;
        const QByteArray group = exportedGroup(2, &presets);
        QByteArray elements
            = thumbnailElement(presets[0].uuid, PresetsFileWriter::encodeThumbnail(testImage(8, 8, qRgb(0, 0, 0))))
            + thumbnailElement(presets[1].uuid, PresetsFileWriter::encodeThumbnail(testImage(8, 8, qRgb(10, 0, 0))));
        const QUuid stranger = QUuid::createUuid();
        if (extra == QLatin1String("second")) {
            elements += thumbnailElement(
                presets[0].uuid, PresetsFileWriter::encodeThumbnail(testImage(8, 8, qRgb(0, 0, 255))));
        } else if (extra == QLatin1String("stranger")) {
            elements
                += thumbnailElement(stranger, PresetsFileWriter::encodeThumbnail(testImage(8, 8, qRgb(0, 255, 0))));
        } else {
            QImage blank(ThumbnailImages::maxSide, 2160, QImage::Format_Mono);
            blank.fill(0);
            const QByteArray data = PresetsFileWriter::encodeThumbnail(blank);
            for (int i = 0; i < 60; ++i)
                elements += thumbnailElement(QUuid::createUuid(), data);
        }
        const int count = elements.count("<Thumbnail>");
        QByteArray text = withThumbnails(group, elements, count);
        QVERIFY(!text.isEmpty());
        QBuffer buffer(&text);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        PresetsFileReader reader;
        QVERIFY(reader.read(&buffer));
        QCOMPARE(reader.presets().size(), 2);
        QCOMPARE(reader.thumbnails().size(), 2);
        QCOMPARE(reader.thumbnails().value(presets[0].id()).pixel(1, 1), qRgb(0, 0, 0));
        QCOMPARE(reader.thumbnails().value(presets[1].id()).pixel(1, 1), qRgb(10, 0, 0));
    }

    // Large pictures for many presets: once a file's pictures add up to the
    // budget the remaining thumbnails are dropped; every preset loads, with
    // the placeholder where its thumbnail was dropped.
    void thumbnailsBeyondTheFileBudgetAreDropped()
    {
        const int count = 12;
        QVector<Preset> presets;
        const QByteArray group = exportedGroup(count, &presets);
        QImage large(ThumbnailImages::maxSide, 2160, QImage::Format_Mono);
        large.fill(1);
        const QByteArray data = PresetsFileWriter::encodeThumbnail(large);
        QByteArray elements;
        for (const Preset& preset : presets)
            elements += thumbnailElement(preset.uuid, data);
        const QString path = Test::makeTempFolder(QStringLiteral("budget")) + QStringLiteral("/large.empreset");
        QVERIFY(writeAll(path, withThumbnails(group, elements, count)));

        PresetsManager store(m_folder);
        const int imported = store.importPresetGroup(path);
        QVERIFY(imported >= 0);
        QCOMPARE(store.presetsOfGroup(imported).size(), count);
        qint64 pixels = 0;
        int large4k = 0;
        for (const Preset& preset : presets) {
            const QImage thumbnail = store.thumbnailForId(preset.id());
            if (thumbnail.width() == ThumbnailImages::maxSide) {
                ++large4k;
                pixels += qint64(thumbnail.width()) * thumbnail.height();
            }
        }
        QVERIFY2(large4k >= 1 && large4k < count, qPrintable(QString::number(large4k)));
        QVERIFY(pixels <= ThumbnailImages::maxPixelsPerFile);
    }
};

EMULSA_TEST_MAIN(PresetsManagerImportTest)
#include "tst_presetsmanagerimport.moc"
