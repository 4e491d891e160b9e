#include "common/TestEnvironment.h"

#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "model/GradeTasks.h"
#include "model/Model.h"
#include "model/PresetTasks.h"
#include "model/PresetsFileReader.h"
#include "model/PresetsManager.h"
#include "model/SequenceTasks.h"

#include <QSignalSpy>

using namespace Emulsa;

class PresetCommandsTest : public QObject
{
    Q_OBJECT

    CameraListHelper m_catalogue;
    FilmLibrary m_library;
    std::unique_ptr<Model> m_model;
    PresetsManager* m_store = nullptr;

    void run(BaseTask* command) { m_model->runCommands(command, NewCommand); }
    void undo() { run(new BaseTask(Undo)); }
    void redo() { run(new BaseTask(Redo)); }

    int newGroup(const QString& name)
    {
        QSignalSpy created(m_model.get(), &Model::presetGroupCreated);
        run(new PresetTextTask(CreatePresetGroup, name));
        return created.isEmpty() ? -1 : created.first().first().value<PresetGroup>().id;
    }

    QByteArray saveCurrent(int groupId)
    {
        QSignalSpy thumbnail(m_model.get(), &Model::presetNeedThumbnail);
        run(new PresetGroupIdTask(SaveAsPreset, groupId));
        return thumbnail.isEmpty() ? QByteArray() : thumbnail.first().first().toByteArray();
    }

    // The presets the store's file for the group holds, read back from disk,
    // by id.
    QHash<QByteArray, Preset> presetsOnDisk(int groupId)
    {
        QFile file(m_store->presetsFolder() + m_store->groupFileNames().value(groupId));
        PresetsFileReader reader;
        QHash<QByteArray, Preset> presets;
        if (file.open(QIODevice::ReadOnly) && reader.read(&file)) {
            for (const Preset& preset : reader.presets())
                presets.insert(preset.id(), preset);
        }
        return presets;
    }

    // The presets the store's file for the group holds, read back from disk.
    QStringList presetIdsOnDisk(int groupId)
    {
        QFile file(m_store->presetsFolder() + m_store->groupFileNames().value(groupId));
        PresetsFileReader reader;
        if (!file.open(QIODevice::ReadOnly) || !reader.read(&file))
            return { QStringLiteral("<unreadable>") };
        QStringList ids;
        for (const Preset& preset : reader.presets())
            ids << QString::fromLatin1(preset.id());
        return ids;
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
        m_store = PresetsManager::instance();
    }

    void init()
    {
        m_model = std::make_unique<Model>(nullptr, &m_catalogue, &m_library);
        auto* item = new SequenceItem(nullptr, new ClipSettings, 0, 100);
        item->settings->setSaturation(0.7f);
        run(new SequenceItemTask(AddSequenceItem, item));
    }

    void cleanup() { m_model.reset(); }

    // Saving links the clip to the new preset and writes it to disk at once;
    // undo removes it from memory and disk, redo brings it back.
    void saveRemoveRestoreAreWritten()
    {
        const int group = newGroup(QStringLiteral("Saved"));
        QVERIFY(group >= 0);
        const QByteArray id = saveCurrent(group);
        QVERIFY(!id.isEmpty());
        QCOMPARE(m_model->current()->presetUuid(), id);
        QCOMPARE(m_store->findPreset(id)->settings.getSaturation(), 0.7f);
        QCOMPARE(presetIdsOnDisk(group), QStringList { QString::fromLatin1(id) });
        undo();
        QVERIFY(!m_store->findPreset(id));
        QVERIFY(presetIdsOnDisk(group).isEmpty());
        redo();
        QCOMPARE(m_store->findPreset(id)->settings.getSaturation(), 0.7f);
        QCOMPARE(presetIdsOnDisk(group), QStringList { QString::fromLatin1(id) });
    }

    // A move to an unknown group, or within one group, changes nothing and
    // leaves no undo entry; a real move undoes with the ids unchanged.
    void movePresets()
    {
        const int a = newGroup(QStringLiteral("Move A"));
        const int b = newGroup(QStringLiteral("Move B"));
        const QByteArray id = saveCurrent(a);
        const int entries = m_model->history().undoStack().size();
        run(new PresetsTransferTask(MovePresets, a, 9999, { id }));
        run(new PresetsTransferTask(MovePresets, a, a, { id }));
        QCOMPARE(m_model->history().undoStack().size(), entries);
        QCOMPARE(m_store->groupOfPreset(id), a);
        run(new PresetsTransferTask(MovePresets, a, b, { id }));
        QCOMPARE(m_store->groupOfPreset(id), b);
        QCOMPARE(presetIdsOnDisk(b), QStringList { QString::fromLatin1(id) });
        undo();
        QCOMPARE(m_store->groupOfPreset(id), a);
    }

    // Copies of several presets are one undo entry; the copy clears redo.
    void copyPresetsIsOneUndoEntry()
    {
        const int a = newGroup(QStringLiteral("Copy A"));
        const int b = newGroup(QStringLiteral("Copy B"));
        const QVector<QByteArray> ids { saveCurrent(a), saveCurrent(a), saveCurrent(a) };
        undo(); // something to redo
        QCOMPARE(m_store->presetsOfGroup(a).size(), 2);
        const QVector<QByteArray> left { ids[0], ids[1] };
        run(new PresetsTransferTask(CopyPresets, a, b, left));
        QVERIFY(m_model->history().redoStack().isEmpty());
        QCOMPARE(m_store->presetsOfGroup(b).size(), 2);
        for (const Preset& copy : m_store->presetsOfGroup(b))
            QVERIFY(!left.contains(copy.id()));
        undo();
        QCOMPARE(m_store->presetsOfGroup(b).size(), 0);
        QCOMPARE(m_store->presetsOfGroup(a).size(), 2);
    }

    void groupsCreateRenameRemove()
    {
        const int group = newGroup(QStringLiteral("Before"));
        run(new PresetGroupTextTask(RenamePresetGroup, group, QStringLiteral("After")));
        QCOMPARE(m_store->group(group)->name, QStringLiteral("After"));
        undo();
        QCOMPARE(m_store->group(group)->name, QStringLiteral("Before"));
        undo(); // the creation
        QVERIFY(!m_store->group(group));
        redo();
        QCOMPARE(m_store->group(group)->name, QStringLiteral("Before"));
        // Unknown groups: nothing to undo.
        const int entries = m_model->history().undoStack().size();
        run(new PresetGroupTextTask(RenamePresetGroup, 9999, QStringLiteral("x")));
        run(new RenamePresetTask(QUuid::createUuid().toByteArray(), QStringLiteral("x")));
        QCOMPARE(m_model->history().undoStack().size(), entries);
    }

    void renamePresetUndoes()
    {
        const QByteArray id = saveCurrent(newGroup(QStringLiteral("Rename")));
        QSignalSpy renamed(m_model.get(), &Model::presetRenamed);
        run(new RenamePresetTask(id, QStringLiteral("Warm")));
        QCOMPARE(renamed.size(), 1);
        QCOMPARE(m_store->findPreset(id)->name, QStringLiteral("Warm"));
        undo();
        QCOMPARE(m_store->findPreset(id)->name, QString());
    }

    // A preset takes the current clip's grade: its unread fields go, a new
    // thumbnail is asked for, the file is written; name, number and group
    // stay, and a clip it was applied to keeps its own grade. Undo brings back
    // the grade, the unread fields and the thumbnail, redo the new ones.
    // Without a current clip, or for an unknown preset, nothing changes and
    // nothing goes on the stack.
    void updatePresetGrade_data()
    {
        QTest::addColumn<bool>("withCurrent");
        QTest::addColumn<bool>("knownPreset");
        QTest::newRow("current clip") << true << true;
        QTest::newRow("no current clip") << false << true;
        QTest::newRow("unknown preset") << true << false;
    }
    void updatePresetGrade()
    {
        QFETCH(bool, withCurrent);
        QFETCH(bool, knownPreset);
        const bool updates = withCurrent && knownPreset;
        const QStringList kelvin { QStringLiteral("Kelvin") };
        const QRgb red = qRgb(255, 0, 0);
        const QRgb blue = qRgb(0, 0, 255);
        const int group = newGroup(QStringLiteral("Update"));
        // A linked clip (the first, 0.7) and a current one with a grade of
        // its own (0.2).
        const QByteArray id = saveCurrent(group);
        QVERIFY(!id.isEmpty());
        auto* other = new SequenceItem(nullptr, new ClipSettings, 0, 100);
        other->settings->setSaturation(0.2f);
        run(new SequenceItemTask(AddSequenceItem, other));
        const QByteArray linked = Model::itemId(m_model->current());
        run(new ItemIdTask(SelectShot, Model::itemId(other)));
        QCOMPARE(m_model->current(), other);
        if (!withCurrent) {
            run(new ItemIdTask(RemoveShot, linked));
            run(new ItemIdTask(RemoveShot, Model::itemId(other)));
            QVERIFY(!m_model->current());
        }
        // The preset as a damaged file leaves it.
        QVERIFY(m_store->renamePreset(id, QStringLiteral("Night")));
        QVERIFY(m_store->replacePresetGrade(id, { m_store->findPreset(id)->settings, kelvin, QImage() }, true));
        QImage picture(4, 4, QImage::Format_RGB32);
        picture.fill(red);
        QVERIFY(m_store->setNewThumbnailForId(picture, id, false));
        QVERIFY(m_store->writePresetsToDisk());
        const Preset before = m_store->findPreset(id).value();

        const int entries = m_model->history().undoStack().size();
        QSignalSpy thumbnail(m_model.get(), &Model::presetNeedThumbnail);
        QSignalSpy refresh(m_model.get(), &Model::currentPresetsGroupDisplayedShouldRefresh);
        run(new UpdatePresetGradeTask(knownPreset ? id : QUuid::createUuid().toByteArray()));
        QCOMPARE(m_model->history().undoStack().size(), entries + (updates ? 1 : 0));
        QCOMPARE(thumbnail.size(), updates ? 1 : 0);
        QCOMPARE(refresh.size(), updates ? 1 : 0);
        const Preset now = m_store->findPreset(id).value();
        QCOMPARE(now.settings.getSaturation(), updates ? 0.2f : 0.7f);
        QCOMPARE(now.unreadFields, updates ? QStringList() : kelvin);
        QCOMPARE(presetsOnDisk(group).value(id).unreadFields, updates ? QStringList() : kelvin);
        QCOMPARE(now.name, before.name);
        QCOMPARE(now.number, before.number);
        QCOMPARE(m_store->groupOfPreset(id), group);
        if (!updates)
            return;
        QCOMPARE(thumbnail.first().first().toByteArray(), id);
        QCOMPARE(m_model->findItem(linked)->settings->getSaturation(), 0.7f);
        QCOMPARE(m_model->findItem(linked)->presetUuid(), id);
        QCOMPARE(presetsOnDisk(group).value(id).settings.getSaturation(), 0.2f);
        // The new thumbnail arrives from the preview.
        picture.fill(blue);
        QVERIFY(m_store->setNewThumbnailForId(picture, id, false));

        undo();
        QCOMPARE(m_store->findPreset(id)->settings.getSaturation(), 0.7f);
        QCOMPARE(m_store->findPreset(id)->unreadFields, kelvin);
        QCOMPARE(m_store->thumbnailForId(id).pixel(1, 1), red);
        QCOMPARE(presetsOnDisk(group).value(id).unreadFields, kelvin);
        QCOMPARE(presetsOnDisk(group).value(id).settings.getSaturation(), 0.7f);
        redo();
        QCOMPARE(m_store->findPreset(id)->settings.getSaturation(), 0.2f);
        QVERIFY(m_store->findPreset(id)->unreadFields.isEmpty());
        QCOMPARE(m_store->thumbnailForId(id).pixel(1, 1), blue);
        QVERIFY(presetsOnDisk(group).value(id).unreadFields.isEmpty());
        // Only the first run asks for a thumbnail.
        QCOMPARE(thumbnail.size(), 1);
        QCOMPARE(m_model->findItem(linked)->settings->getSaturation(), 0.7f);
    }

    // Export then import: the imported group is announced and selected, and
    // its presets get ids of their own.
    void exportAndImport()
    {
        const int group = newGroup(QStringLiteral("Shared"));
        const QByteArray id = saveCurrent(group);
        const QString path = Test::makeTempFolder(QStringLiteral("shared")) + QStringLiteral("/shared.empreset");
        run(new PresetGroupTextTask(ExportPresetGroup, group, path));
        QVERIFY(QFile::exists(path));
        QSignalSpy selected(m_model.get(), &Model::newPresetGroupSelected);
        QSignalSpy groups(m_model.get(), &Model::presetsGroupChanged);
        run(new PresetTextTask(ImportPresetGroup, path));
        QCOMPARE(selected.size(), 1);
        QCOMPARE(groups.size(), 1);
        const int imported = selected.first().first().toInt();
        QVERIFY(imported != group);
        QCOMPARE(m_store->presetsOfGroup(imported).size(), 1);
        QVERIFY(m_store->presetsOfGroup(imported).constFirst().id() != id);

        QTest::ignoreMessage(QtCriticalMsg, "There has been an error when trying to import your presets group.");
        run(new PresetTextTask(ImportPresetGroup, path + QStringLiteral(".missing")));
    }

    void listQueriesHandOutCopies()
    {
        const int group = newGroup(QStringLiteral("Listed"));
        saveCurrent(group);
        QSignalSpy lists(m_model.get(), &Model::presetsListChangedForWidget);
        run(new PresetGroupIdTask(PresetsNeededByWidget, group));
        QCOMPARE(lists.size(), 1);
        QCOMPARE(lists.first().at(0).toInt(), group);
        const QVector<Preset> presets = lists.first().at(1).value<QVector<Preset>>();
        QCOMPARE(presets.size(), 1);
        // The copy outlives the preset's removal.
        run(new PresetIdTask(RemovePreset, presets.first().id()));
        QCOMPARE(presets.first().settings.getSaturation(), 0.7f);
    }
};

EMULSA_TEST_MAIN(PresetCommandsTest)
#include "tst_presetcommands.moc"
