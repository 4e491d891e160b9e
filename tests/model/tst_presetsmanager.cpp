#include "common/TestEnvironment.h"

#include "core/ClipSettings.h"
#include "model/PresetsFileReader.h"
#include "model/PresetsFileWriter.h"
#include "model/PresetsManager.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QSet>

#include <atomic>
#include <thread>

using namespace Emulsa;

namespace {

ClipSettings gradeWithSaturation(float saturation)
{
    ClipSettings settings;
    settings.setSaturation(saturation);
    return settings;
}

QImage testImage(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Every uuid of every group of the store.
QList<QUuid> allUuids(const PresetsManager& store)
{
    QList<QUuid> uuids;
    for (const PresetGroup& group : store.groups())
        uuids += group.presets.keys();
    return uuids;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// The text of an exported group of `count` presets named "Look 0", "Look 1"...,
// each with a small thumbnail of its own colour; the presets in *presets.
QByteArray exportedGroup(int count, QVector<Preset>* presets)
{
    PresetsManager source(Test::makeTempFolder(QStringLiteral("source")));
    const int group = source.createNewGroup(QStringLiteral("Exported")).id;
    for (int i = 0; i < count; ++i) {
        const Preset preset = source.createPreset(gradeWithSaturation(0.5f), group).value();
        source.renamePreset(preset.id(), QStringLiteral("Look %1").arg(i));
        source.setNewThumbnailForId(testImage(8, 8, qRgb(10 * i, 0, 0)), preset.id(), false);
        presets->append(source.findPreset(preset.id()).value());
    }
    const QString path = Test::makeTempFolder(QStringLiteral("exported")) + QStringLiteral("/group.empreset");
    return source.exportPresetGroup(group, path) ? readAll(path) : QByteArray();
}

// One Thumbnail element.
QByteArray thumbnailElement(const QUuid& uuid, const QByteArray& data)
{
    return "<Thumbnail><ThumbnailUUID>" + uuid.toByteArray() + "</ThumbnailUUID><ThumbnailDATA>" + data
        + "</ThumbnailDATA></Thumbnail>\n";
}

// The group's text with its Thumbnails block replaced by these elements.
QByteArray withThumbnails(const QByteArray& group, const QByteArray& elements, int count)
{
    const int start = group.indexOf("<Thumbnails");
    const int end = group.indexOf("</Thumbnails>");
    if (start < 0 || end < start)
        return QByteArray();
    QByteArray result = group;
    result.replace(start, end - start, "<Thumbnails total-items=\"" + QByteArray::number(count) + "\">\n" + elements);
    return result;
}

} // namespace

class PresetsManagerTest : public QObject
{
    Q_OBJECT

    QString m_folder;

private slots:
    void initTestCase()
    {
        // The build's film data: the grade block needs known stocks and profiles.
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
    }

    void init() { m_folder = Test::makeTempFolder(QStringLiteral("presets/")); }

    // Groups whose names map to the same plain file name each keep their
    // own file and come back after a restart, names and presets intact.
    void similarGroupNamesSurviveRestart_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("case and space") << "My Group"
                                        << "my_group";
        QTest::newRow("case only") << "Night"
                                   << "NIGHT";
        QTest::newRow("empty and its default name") << ""
                                                    << "preset_group_0";
        QTest::newRow("dots and slashes") << "../x"
                                          << "___x";
    }
    void similarGroupNamesSurviveRestart()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        {
            PresetsManager store(m_folder);
            const int a = store.createNewGroup(first).id;
            const int b = store.createNewGroup(second).id;
            QVERIFY(store.createPreset(gradeWithSaturation(0.25f), a));
            QVERIFY(store.createPreset(gradeWithSaturation(1.75f), b));
            QVERIFY(store.writePresetsToDisk());
            const QStringList files = store.groupFileNames().values();
            QCOMPARE(QSet<QString>(files.begin(), files.end()).size(), 2);
        }
        PresetsManager reloaded(m_folder);
        const QList<PresetGroup> groups = reloaded.groups();
        QCOMPARE(groups.size(), 2);
        QStringList names;
        for (const PresetGroup& group : groups) {
            names << group.name;
            QCOMPARE(group.presets.size(), 1);
            const float saturation = group.presets.begin()->settings.getSaturation();
            QCOMPARE(saturation, group.name == first ? 0.25f : 1.75f);
        }
        QCOMPARE(QSet<QString>(names.begin(), names.end()), (QSet<QString> { first, second }));
    }

    // No group name leads a file out of the presets folder.
    void groupFilesStayInsideTheFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("parent") << "../x";
        QTest::newRow("deep parent") << "../../../../tmp/evil";
        QTest::newRow("absolute") << "/etc/passwd";
        QTest::newRow("hidden") << ".hidden";
        QTest::newRow("backslashes") << "..\\..\\x";
    }
    void groupFilesStayInsideTheFolder()
    {
        QFETCH(QString, name);
        const QString outside = QDir(m_folder + QStringLiteral("..")).absolutePath();
        const QStringList before = QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        PresetsManager store(m_folder);
        store.createNewGroup(name);
        QVERIFY(store.writePresetsToDisk());
        const QString fileName = store.groupFileNames().value(0);
        QVERIFY2(QRegularExpression(QStringLiteral("^[a-z0-9_-]+\\.empreset$")).match(fileName).hasMatch(),
            qPrintable(fileName));
        QVERIFY(QFile::exists(m_folder + fileName));
        QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        PresetsManager reloaded(m_folder);
        QCOMPARE(reloaded.group(0)->name, name);
    }

    void insideFolderCheck_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("inside");
        QTest::newRow("plain") << "a.empreset" << true;
        QTest::newRow("missing subfolder") << "sub/a.empreset" << true;
        QTest::newRow("parent") << "../a.empreset" << false;
        QTest::newRow("through a subfolder") << "sub/../../a.empreset" << false;
        QTest::newRow("the folder itself") << "" << false;
        QTest::newRow("link out") << "out/a.empreset" << false;
    }
    void insideFolderCheck()
    {
        QFETCH(QString, relative);
        QFETCH(bool, inside);
        const QString target = Test::makeTempFolder(QStringLiteral("elsewhere"));
        QFile::link(target, m_folder + QStringLiteral("out"));
        QCOMPARE(PresetsManager::isInsideFolder(m_folder + relative, m_folder), inside);
    }

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
        QVERIFY(readAll(folder + QStringLiteral("/nothing.empreset")).contains("total-items=\"0\""));

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
        QByteArray text = readAll(file);
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
        QByteArray text = readAll(exported);
        text.replace(preset.uuid.toString().toLatin1(), uuidText.toLatin1());
        QVERIFY(writeAll(exported, text));

        const QByteArray placeholder = "placeholder bytes";
        PresetsManager store(m_folder);
        QVERIFY(writeAll(store.thumbnailPath(QUuid()), placeholder));
        const int imported = store.importPresetGroup(exported);
        QVERIFY(imported >= 0);
        const Preset loaded = store.presetsOfGroup(imported).constFirst();
        QVERIFY(!loaded.uuid.isNull());
        QCOMPARE(readAll(store.thumbnailPath(QUuid())), placeholder);
    }

    // A thumbnail whose picture is too large is refused before it is decoded,
    // and so is an over-long ThumbnailDATA text; the import fails as a whole.
    void oversizedThumbnailRefused_data()
    {
        QTest::addColumn<QByteArray>("data");
        QImage huge(PresetsFileReader::maxThumbnailSide + 1, 8, QImage::Format_Mono);
        huge.fill(0);
        QTest::newRow("too wide") << PresetsFileWriter::encodeThumbnail(huge);
        QImage bomb(3500, 3500, QImage::Format_Mono); // 12 megapixels, a few kilobytes of PNG
        bomb.fill(1);
        QTest::newRow("too many pixels") << PresetsFileWriter::encodeThumbnail(bomb);
        QTest::newRow("too long") << QByteArray(PresetsFileReader::maxThumbnailDataLength + 4, 'A');
        QTest::newRow("not an image") << QByteArray("AAAAAQ==");
    }
    void oversizedThumbnailRefused()
    {
        QFETCH(QByteArray, data);
        QVERIFY(PresetsFileReader::decodeThumbnail(data).isNull());
        // A well-formed thumbnail decodes.
        QCOMPARE(PresetsFileReader::decodeThumbnail(PresetsFileWriter::encodeThumbnail(testImage(16, 9, qRgb(9, 9, 9))))
                     .size(),
            QSize(16, 9));

        PresetsManager source(Test::makeTempFolder(QStringLiteral("source")));
        const int group = source.createNewGroup(QStringLiteral("Big")).id;
        const Preset preset = source.createPreset(gradeWithSaturation(0.5f), group).value();
        QVERIFY(source.setNewThumbnailForId(testImage(8, 8, qRgb(1, 2, 3)), preset.id(), false));
        const QString exported = Test::makeTempFolder(QStringLiteral("big")) + QStringLiteral("/big.empreset");
        QVERIFY(source.exportPresetGroup(group, exported));
        QByteArray text = readAll(exported);
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
                                        << "<PresetName>"
                + QByteArray(PresetsFileReader::maxThumbnailDataLength + 1, 'n') + "</PresetName>";
        QTest::newRow("over-long text between elements")
            << QByteArray("<Presets ") << QByteArray(PresetsFileReader::maxThumbnailDataLength + 1, 't') + "<Presets ";
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
            QImage blank(PresetsFileReader::maxThumbnailSide, 2160, QImage::Format_Mono);
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
        QImage large(PresetsFileReader::maxThumbnailSide, 2160, QImage::Format_Mono);
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
            if (thumbnail.width() == PresetsFileReader::maxThumbnailSide) {
                ++large4k;
                pixels += qint64(thumbnail.width()) * thumbnail.height();
            }
        }
        QVERIFY2(large4k >= 1 && large4k < count, qPrintable(QString::number(large4k)));
        QVERIFY(pixels <= PresetsFileReader::maxThumbnailPixelsPerFile);
    }

    // A move to a group that does not exist, from one that does not exist,
    // or within one group changes nothing.
    void moveToUnknownGroupKeepsPresets_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("unknown target") << 0 << 42;
        QTest::newRow("unknown source") << 42 << 0;
        QTest::newRow("same group") << 0 << 0;
    }
    void moveToUnknownGroupKeepsPresets()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        PresetsManager store(m_folder);
        QCOMPARE(store.createNewGroup(QStringLiteral("A")).id, 0);
        const Preset preset = store.createPreset(gradeWithSaturation(0.5f), 0).value();
        QVERIFY(store.movePresets(from, to, { preset.id() }).isEmpty());
        QCOMPARE(store.groupOfPreset(preset.id()), 0);
        QCOMPARE(store.presetsOfGroup(0).size(), 1);
    }

    void moveAndMoveBack()
    {
        PresetsManager store(m_folder);
        const int a = store.createNewGroup(QStringLiteral("A")).id;
        const int b = store.createNewGroup(QStringLiteral("B")).id;
        const Preset one = store.createPreset(gradeWithSaturation(0.5f), a).value();
        const Preset two = store.createPreset(gradeWithSaturation(0.6f), a).value();
        // Ids that are not in the source group are not moved.
        const QVector<QByteArray> moved = store.movePresets(a, b, { one.id(), QUuid::createUuid().toByteArray() });
        QCOMPARE(moved, QVector<QByteArray> { one.id() });
        QCOMPARE(store.groupOfPreset(one.id()), b);
        QCOMPARE(store.groupOfPreset(two.id()), a);
        QCOMPARE(store.movePresets(b, a, moved), moved);
        QCOMPARE(store.groupOfPreset(one.id()), a);
    }

    // An empty group reports -1 as its highest number; compared wide and
    // signed it never raises the counter, so numbers keep rising.
    void emptyGroupDoesNotWrapTheNumbers()
    {
        {
            PresetsManager store(m_folder);
            const int a = store.createNewGroup(QStringLiteral("Empty")).id;
            const int b = store.createNewGroup(QStringLiteral("Full")).id;
            Q_UNUSED(a);
            for (int i = 0; i < 5; ++i)
                store.createPreset(gradeWithSaturation(0.5f), b);
            QVERIFY(store.writePresetsToDisk());
        }
        PresetsManager store(m_folder);
        QCOMPARE(store.lastPresetNumber(), 5u);
        QCOMPARE(store.createPreset(gradeWithSaturation(0.5f), 0)->number, 6);
    }

    // Removing and restoring gives back uuid, name, number and grade.
    void removeAndRestore()
    {
        PresetsManager store(m_folder);
        const int group = store.createNewGroup(QStringLiteral("A")).id;
        const Preset preset = store.createPreset(gradeWithSaturation(0.3f), group).value();
        QVERIFY(store.renamePreset(preset.id(), QStringLiteral("Pale")));
        const std::optional<RemovedPreset> removed = store.removePreset(preset.id());
        QVERIFY(removed);
        QVERIFY(!store.findPreset(preset.id()));
        QVERIFY(!store.removePreset(preset.id()));
        QVERIFY(store.addPreset(*removed));
        const Preset back = store.findPreset(preset.id()).value();
        QCOMPARE(back.uuid, preset.uuid);
        QCOMPARE(back.name, QStringLiteral("Pale"));
        QCOMPARE(back.number, preset.number);
        QCOMPARE(back.settings.getSaturation(), 0.3f);
        // A second restore of the same record is refused: uuids stay unique.
        QVERIFY(!store.addPreset(*removed));
    }

    // A preset given another grade keeps its uuid, name, number and group;
    // the grade, the unread fields and (unless kept) the thumbnail are the
    // new ones, and what it had comes back. A null thumbnail drops the
    // preset's own file.
    void replaceGradeKeepsThePreset_data()
    {
        QTest::addColumn<QRgb>("before"); // 0: no thumbnail of its own
        QTest::addColumn<bool>("keepThumbnail");
        QTest::addColumn<QRgb>("given"); // 0: a null image
        QTest::addColumn<QRgb>("after"); // 0: no thumbnail of its own
        const QRgb red = qRgb(255, 0, 0);
        const QRgb blue = qRgb(0, 0, 255);
        QTest::newRow("thumbnail kept") << red << true << blue << red;
        QTest::newRow("thumbnail replaced") << red << false << blue << blue;
        QTest::newRow("thumbnail dropped") << red << false << QRgb(0) << QRgb(0);
        QTest::newRow("first thumbnail") << QRgb(0) << false << blue << blue;
        QTest::newRow("none kept") << QRgb(0) << true << blue << QRgb(0);
    }
    void replaceGradeKeepsThePreset()
    {
        QFETCH(QRgb, before);
        QFETCH(bool, keepThumbnail);
        QFETCH(QRgb, given);
        QFETCH(QRgb, after);
        const QStringList kelvin { QStringLiteral("Kelvin") };
        PresetsManager store(m_folder);
        store.createNewGroup(QStringLiteral("A"));
        const int group = store.createNewGroup(QStringLiteral("B")).id;
        const Preset preset = store.createPreset(gradeWithSaturation(0.3f), group).value();
        QVERIFY(store.renamePreset(preset.id(), QStringLiteral("Pale")));
        if (before)
            QVERIFY(store.setNewThumbnailForId(testImage(4, 4, before), preset.id(), false));

        PresetGrade grade { gradeWithSaturation(0.6f), kelvin, given ? testImage(4, 4, given) : QImage() };
        QVERIFY(!store.replacePresetGrade(QUuid::createUuid().toByteArray(), grade, keepThumbnail));
        const std::optional<PresetGrade> old = store.replacePresetGrade(preset.id(), grade, keepThumbnail);
        QVERIFY(old);
        QCOMPARE(old->settings.getSaturation(), 0.3f);
        QVERIFY(old->unreadFields.isEmpty());
        QCOMPARE(old->thumbnail.isNull(), before == 0);
        if (before)
            QCOMPARE(old->thumbnail.pixel(1, 1), before);
        QCOMPARE(QFile::exists(store.thumbnailPath(preset.uuid)), after != 0);
        QCOMPARE(store.thumbnailForId(preset.id()).isNull(), after == 0);
        if (after)
            QCOMPARE(store.thumbnailForId(preset.id()).pixel(1, 1), after);
        const Preset now = store.findPreset(preset.id()).value();
        QCOMPARE(now.name, QStringLiteral("Pale"));
        QCOMPARE(now.number, preset.number);
        QCOMPARE(store.groupOfPreset(preset.id()), group);
        QCOMPARE(now.settings.getSaturation(), 0.6f);
        QCOMPARE(now.unreadFields, kelvin);
        // Giving back what it had clears the unread fields again.
        const std::optional<PresetGrade> undone = store.replacePresetGrade(preset.id(), *old, false);
        QVERIFY(undone);
        QCOMPARE(undone->unreadFields, kelvin);
        QCOMPARE(store.findPreset(preset.id())->settings.getSaturation(), 0.3f);
        QVERIFY(store.findPreset(preset.id())->unreadFields.isEmpty());
        QCOMPARE(QFile::exists(store.thumbnailPath(preset.uuid)), before != 0);
    }

    void groupIdsAreReusedAndReinsertedGroupsMoveUp()
    {
        PresetsManager store(m_folder);
        QCOMPARE(store.createNewGroup(QStringLiteral("A")).id, 0);
        QCOMPARE(store.createNewGroup(QStringLiteral("B")).id, 1);
        std::optional<PresetGroup> taken = store.takeGroup(0);
        QVERIFY(taken);
        QVERIFY(!store.takeGroup(0));
        QCOMPARE(store.createNewGroup(QStringLiteral("C")).id, 0);
        QCOMPARE(store.reinsertGroup(*taken), 2);
        QCOMPARE(store.group(2)->name, QStringLiteral("A"));
    }

    // Stale group files go only after every group was written: a group that
    // cannot be written leaves the older files in place.
    void staleFilesKeptWhenAWriteFails()
    {
        // A file that does not parse is no group's file: never removed.
        QVERIFY(writeAll(m_folder + QStringLiteral("broken.empreset"), "<PresetGroup"));
        PresetsManager store(m_folder);
        store.createNewGroup(QStringLiteral("A"));
        store.createNewGroup(QStringLiteral("B"));
        QVERIFY(store.writePresetsToDisk());
        QVERIFY(QFile::exists(m_folder + QStringLiteral("b.empreset")));
        store.renamePresetGroup(1, QStringLiteral("C"));
        QVERIFY(QDir().mkpath(m_folder + QStringLiteral("c.empreset"))); // cannot be written
        QVERIFY(!store.writePresetsToDisk());
        QVERIFY(QFile::exists(m_folder + QStringLiteral("b.empreset")));
        QDir(m_folder + QStringLiteral("c.empreset")).removeRecursively();
        QVERIFY(store.writePresetsToDisk());
        QVERIFY(!QFile::exists(m_folder + QStringLiteral("b.empreset")));
        QVERIFY(QFile::exists(m_folder + QStringLiteral("c.empreset")));
        QVERIFY(QFile::exists(m_folder + QStringLiteral("broken.empreset")));
    }

    void thumbnailsAndPlaceholder()
    {
        PresetsManager store(m_folder);
        const int group = store.createNewGroup(QStringLiteral("A")).id;
        const Preset plain = store.createPreset(gradeWithSaturation(0.5f), group).value();
        // No placeholder file: a null image.
        QVERIFY(store.thumbnailForId(plain.id()).isNull());
        // Mirrored thumbnails are flipped top to bottom.
        QImage picture = testImage(4, 2, qRgb(0, 0, 255));
        picture.setPixel(0, 0, qRgb(255, 0, 0));
        QVERIFY(store.setNewThumbnailForId(picture, plain.id(), true));
        QCOMPARE(store.thumbnailForId(plain.id()).pixel(0, 1), qRgb(255, 0, 0));
        // Unknown presets get no file.
        const QUuid stranger = QUuid::createUuid();
        QVERIFY(!store.setNewThumbnailForId(picture, stranger.toByteArray(), false));
        QVERIFY(!QFile::exists(store.thumbnailPath(stranger)));
        // With a placeholder file, a preset without thumbnail shows it.
        QVERIFY(QDir().mkpath(QFileInfo(store.thumbnailPath(QUuid())).absolutePath()));
        QVERIFY(testImage(3, 3, qRgb(7, 7, 7)).save(store.thumbnailPath(QUuid()), "TIFF"));
        QVERIFY(store.writePresetsToDisk());
        PresetsManager reloaded(m_folder);
        const std::optional<Preset> other = reloaded.createPreset(gradeWithSaturation(0.5f), group);
        QVERIFY(other);
        QCOMPARE(reloaded.thumbnailForId(other->id()).pixel(1, 1), qRgb(7, 7, 7));
        // A copy takes the source's thumbnail.
        const std::optional<Preset> copy = reloaded.copyPreset(plain.id(), group);
        QVERIFY(copy && copy->uuid != plain.uuid);
        QCOMPARE(reloaded.thumbnailForId(copy->id()).pixel(0, 1), qRgb(255, 0, 0));
    }

    // One thread changes the store and its thumbnails while another reads
    // lists, presets and thumbnails (run under ThreadSanitizer to see races).
    void readAndWriteFromTwoThreads()
    {
        PresetsManager store(m_folder);
        const int group = store.createNewGroup(QStringLiteral("A")).id;
        const QImage picture = testImage(16, 9, qRgb(10, 20, 30));
        std::atomic<bool> finished { false };
        int made = 0;
        std::thread writer([&] {
            for (int i = 0; i < 60; ++i) {
                const std::optional<Preset> preset = store.createPreset(gradeWithSaturation(0.5f), group);
                store.setNewThumbnailForId(picture, preset->id(), i % 2 == 0);
                store.renamePreset(preset->id(), QStringLiteral("p%1").arg(i));
                if (i % 3 == 0)
                    store.removePreset(preset->id());
                else
                    ++made;
                if (i % 10 == 0)
                    store.writePresetsToDisk();
            }
            finished = true;
        });
        int reads = 0;
        int wrongThumbnails = 0;
        while (!finished || reads == 0) {
            for (const PresetGroup& g : store.groups()) {
                for (const Preset& p : g.presets) {
                    const QImage thumbnail = store.thumbnailForId(p.id());
                    if (!thumbnail.isNull() && thumbnail.width() != 16)
                        ++wrongThumbnails;
                    store.findPreset(p.id());
                }
            }
            ++reads;
        }
        writer.join();
        QCOMPARE(wrongThumbnails, 0);
        QCOMPARE(store.presetsOfGroup(group).size(), made);
        QVERIFY(store.writePresetsToDisk());
        QCOMPARE(PresetsManager(m_folder).presetsOfGroup(group).size(), made);
    }
};

EMULSA_TEST_MAIN(PresetsManagerTest)
#include "tst_presetsmanager.moc"
