#include "PresetsManagerFixture.h"
#include "common/TestEnvironment.h"

using namespace Emulsa;
using namespace Emulsa::Test;

// The presets store itself: group files and their names, moves, removal and
// restore, grade replacement, group ids, thumbnails, and two threads at once.
class PresetsManagerTest : public PresetsManagerFixture
{
    Q_OBJECT

private slots:
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
