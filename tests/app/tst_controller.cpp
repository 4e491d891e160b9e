#include "app/Controller.h"
#include "common/TestEnvironment.h"
#include "model/GradeTasks.h"
#include "model/Model.h"
#include "model/PresetTasks.h"
#include "model/SequenceTasks.h"

#include <QApplication>
#include <QSignalSpy>
#include <QThread>
#include <QtTest/QtTest>

#include <functional>
#include <memory>
#include <vector>

using namespace Emulsa;

namespace {

// One row of the slot table: the slot called, the command it must post and
// what the record must carry.
struct SlotCase
{
    const char* name;
    std::function<void(Controller&)> call;
    quint32 type;
    std::function<bool(const BaseTask*)> payload;
};

template<typename T> std::function<bool(const BaseTask*)> carries(const T& expected)
{
    return [expected](const BaseTask* task) {
        const auto* record = dynamic_cast<const GradeValueTask<T>*>(task);
        return record && record->value == expected;
    };
}

std::function<bool(const BaseTask*)> carriesField(const GradeValue& expected)
{
    return [expected](const BaseTask* task) {
        const auto* record = dynamic_cast<const GradeFieldTask*>(task);
        return record && record->value == expected;
    };
}

std::function<bool(const BaseTask*)> bare()
{
    return [](const BaseTask* task) { return typeid(*task) == typeid(BaseTask); };
}

std::function<bool(const BaseTask*)> path(const QString& expected)
{
    return [expected](const BaseTask* task) {
        const auto* record = dynamic_cast<const PathTask*>(task);
        return record && record->path == expected;
    };
}

std::function<bool(const BaseTask*)> itemId(const QByteArray& expected)
{
    return [expected](const BaseTask* task) {
        const auto* record = dynamic_cast<const ItemIdTask*>(task);
        return record && record->itemId == expected;
    };
}

std::function<bool(const BaseTask*)> groupId(int expected)
{
    return [expected](const BaseTask* task) {
        const auto* record = dynamic_cast<const PresetGroupIdTask*>(task);
        return record && record->groupId == expected;
    };
}

const QByteArray idA = "{6f1c2a7e-0000-4000-8000-00000000000a}";
const QByteArray idB = "{6f1c2a7e-0000-4000-8000-00000000000b}";

ColorWheelData wheel()
{
    ColorWheelData data;
    data.radius = 0.25;
    data.theta = 1.5;
    return data;
}

HistogramSliderData levels()
{
    HistogramSliderData data;
    data.black = 0.1f;
    data.mid = 0.4f;
    data.white = 0.9f;
    return data;
}

const std::vector<SlotCase>& slotCases()
{
    static const std::vector<SlotCase> cases = {
        { "undo", [](Controller& c) { c.undoTriggered(); }, Undo, bare() },
        { "redo", [](Controller& c) { c.redoTriggered(); }, Redo, bare() },
        { "group begin", [](Controller& c) { c.groupOfCommandsTriggered(true); }, GroupBegin, bare() },
        { "group end", [](Controller& c) { c.groupOfCommandsTriggered(false); }, GroupEnd, bare() },
        { "add shot checked", [](Controller& c) { c.shotToBeAddedToShotList("/clips/a.mov", true); }, AddShot,
            path("/clips/a.mov") },
        { "add shot unchecked", [](Controller& c) { c.shotToBeAddedToShotList("/clips/b.mov", false); }, AddShotNoCheck,
            path("/clips/b.mov") },
        { "remove shot", [](Controller& c) { c.shotToBeDeletedFromShotList(idA); }, RemoveShot, itemId(idA) },
        { "select shot", [](Controller& c) { c.shotToBeSelectedForPlayback(idB); }, SelectShot, itemId(idB) },
        { "items for render",
            [](Controller& c) {
                QList<QByteArray> ids { idB, idA };
                c.rendererNeedSequenceItemsFromUuids(&ids);
            },
            ItemsForRender,
            [](const BaseTask* t) {
                const auto* r = dynamic_cast<const ItemIdListTask*>(t);
                return r && r->itemIds == QList<QByteArray> { idB, idA };
            } },
        { "default profile", [](Controller& c) { c.defaultProfileChangedFromUI(0x31304F47); }, SetDefaultProfile,
            [](const BaseTask* t) {
                const auto* r = dynamic_cast<const ProfileTask*>(t);
                return r && r->profile == 0x31304F47;
            } },
        { "new file", [](Controller& c) { c.newFileToLoad("/p/x.empf"); }, NewFileToLoad, path("/p/x.empf") },
        { "file loaded", [](Controller& c) { c.newFileLoaded(); }, NewFileLoaded, bare() },
        { "save project", [](Controller& c) { c.saveProjectToXMLFile("/p/y.empf"); }, SaveProject, path("/p/y.empf") },
        { "save preset", [](Controller& c) { c.savePresetFromUI(7); }, SaveAsPreset, groupId(7) },
        { "groups needed", [](Controller& c) { c.presetGroupsNeeded(); }, PresetGroupsNeeded, bare() },
        { "presets needed", [](Controller& c) { c.presetsListNeededForGroup(3); }, PresetsNeeded, groupId(3) },
        { "position", [](Controller& c) { c.positionChangedFromUI(42); }, PositionChanged,
            [](const BaseTask* t) {
                const auto* r = dynamic_cast<const FrameTask*>(t);
                return r && r->frame == 42;
            } },
        { "remove preset", [](Controller& c) { c.presetDeletedFromUI(idA); }, RemovePreset,
            [](const BaseTask* t) {
                const auto* r = dynamic_cast<const PresetIdTask*>(t);
                return r && r->presetId == idA;
            } },
        { "groups for dialog", [](Controller& c) { c.presetGroupsNeededByDialog(); }, PresetGroupsNeededByDialog,
            bare() },
        { "presets for dialog", [](Controller& c) { c.presetsListNeededForGroupByDialog(4); }, PresetsNeededByDialog,
            groupId(4) },
        { "create group", [](Controller& c) { c.newPresetGroupFromUI("Night"); }, CreatePresetGroup,
            [](const BaseTask* t) {
                const auto* r = dynamic_cast<const PresetTextTask*>(t);
                return r && r->text == "Night";
            } },
        { "rename group", [](Controller& c) { c.presetGroupRenamedFromUI(5, "Day"); }, RenamePresetGroup,
            [](const BaseTask* t) {
                const auto* r = dynamic_cast<const PresetGroupTextTask*>(t);
                return r && r->groupId == 5 && r->text == "Day";
            } },
        { "move presets",
            [](Controller& c) {
                c.presetsMovedFromUI({ 1, 2, { idA, idB } });
            },
            MovePresets,
            [](const BaseTask* t) {
                const auto* r = dynamic_cast<const PresetsTransferTask*>(t);
                return r && r->fromGroupId == 1 && r->toGroupId == 2
                    && r->presetIds == QVector<QByteArray> { idA, idB };
            } },
        { "copy presets",
            [](Controller& c) {
                c.presetsCopiedFromUI({ 2, 1, { idB } });
            },
            CopyPresets,
            [](const BaseTask* t) {
                const auto* r = dynamic_cast<const PresetsTransferTask*>(t);
                return r && r->fromGroupId == 2 && r->toGroupId == 1 && r->presetIds == QVector<QByteArray> { idB };
            } },
        { "presets for widget", [](Controller& c) { c.presetsListNeededForGroupByWidget(6); }, PresetsNeededByWidget,
            groupId(6) },
        { "rename preset", [](Controller& c) { c.presetNameEditedFromUI(idB, "Warm"); }, RenamePreset,
            [](const BaseTask* t) {
                const auto* r = dynamic_cast<const RenamePresetTask*>(t);
                return r && r->presetId == idB && r->name == "Warm";
            } },
        { "export group", [](Controller& c) { c.exportPresetGroupFromUI(8, "/out/g.empreset"); }, ExportPresetGroup,
            [](const BaseTask* t) {
                const auto* r = dynamic_cast<const PresetGroupTextTask*>(t);
                return r && r->groupId == 8 && r->text == "/out/g.empreset";
            } },
        { "import group", [](Controller& c) { c.importPresetGroupFromUI("/in/g.empreset"); }, ImportPresetGroup,
            [](const BaseTask* t) {
                const auto* r = dynamic_cast<const PresetTextTask*>(t);
                return r && r->text == "/in/g.empreset";
            } },
        { "profile", [](Controller& c) { c.sourceTypeChangedFromUI(0x3130544F); }, SetProfile,
            carries<quint32>(0x3130544F) },
        { "profile for all", [](Controller& c) { c.sourceTypeChangedForAllFromUI(0x32305347); }, SetProfileForAll,
            carries<quint32>(0x32305347) },
        { "stock", [](Controller& c) { c.stockTypeChangedFromUI("5207"); }, SetStock, carries(QString("5207")) },
        { "grain size", [](Controller& c) { c.grainSizeChangedFromUI("16mm"); }, SetGrainSize,
            carries(QString("16mm")) },
        { "show original", [](Controller& c) { c.showOriginalStateChangedFromUI(true); }, SetShowOriginal,
            carries(true) },
        { "start point", [](Controller& c) { c.startingPointChangedFromUI(12); }, SetStartPoint, carries<quint32>(12) },
        { "end point", [](Controller& c) { c.endingPointChangedFromUI(99); }, SetEndPoint, carries<quint32>(99) },
        { "reset", [](Controller& c) { c.resetAllSettingsFromUI(); }, ResetSettings, bare() },
        { "apply preset", [](Controller& c) { c.newPresetAppliedFromUI(idA, { idB }); }, ApplyPreset,
            [](const BaseTask* t) {
                const auto* r = dynamic_cast<const ApplyPresetTask*>(t);
                return r && r->presetId == idA && r->itemIds == QList<QByteArray> { idB };
            } },
    };
    return cases;
}

// Each continuous field posts its setter with the value, and its
// about-to-change record, whichever field it is.
struct FieldCase
{
    GradeField field;
    quint32 setter;
    quint32 aboutToChange;
    GradeValue value;
};

const FieldCase fieldCases[] = {
    { GradeField::Exposure, SetExposure, ExposureAboutToChange, 1.5f },
    { GradeField::Kelvin, SetKelvin, KelvinAboutToChange, 4300.f },
    { GradeField::StockAmount, SetStockAmount, StockAmountAboutToChange, 55 },
    { GradeField::CurveAmount, SetCurveAmount, CurveAmountAboutToChange, 66 },
    { GradeField::GrainAmount, SetGrainAmount, GrainAmountAboutToChange, 12 },
    { GradeField::LowWheel, SetLowWheel, LowWheelAboutToChange, wheel() },
    { GradeField::MidWheel, SetMidWheel, MidWheelAboutToChange, wheel() },
    { GradeField::HighWheel, SetHighWheel, HighWheelAboutToChange, wheel() },
    { GradeField::Lift, SetLift, LiftAboutToChange, 0.1f },
    { GradeField::Gamma, SetGamma, GammaAboutToChange, 0.2f },
    { GradeField::Gain, SetGain, GainAboutToChange, 0.3f },
    { GradeField::Saturation, SetSaturation, SaturationAboutToChange, 1.2f },
    { GradeField::Levels, SetHistogram, HistogramAboutToChange, levels() },
    { GradeField::HalationAmount, SetHalation, HalationAboutToChange, 40 },
    { GradeField::BloomAmount, SetBloom, BloomAboutToChange, 50 },
    { GradeField::WeaveAmount, SetWeave, WeaveAboutToChange, 60 },
    { GradeField::FlickerAmount, SetFlicker, FlickerAboutToChange, 70 },
    { GradeField::ColourGrainAmount, SetColourGrain, ColourGrainAboutToChange, 80 },
};

} // namespace

class ControllerTest : public QObject
{
    Q_OBJECT

private slots:
    void slotPostsItsCommand_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(slotCases().size()); ++i)
            QTest::newRow(slotCases()[size_t(i)].name) << i;
    }

    // Without a running task manager the records stay in the queue to be read.
    void slotPostsItsCommand()
    {
        QFETCH(int, row);
        const SlotCase& c = slotCases()[size_t(row)];
        Model model;
        Controller controller;
        controller.setModel(&model);
        c.call(controller);
        const QList<BaseTask*> posted = controller.takeQueuedTasks();
        QCOMPARE(posted.size(), 1);
        std::unique_ptr<BaseTask> task(posted.first());
        QCOMPARE(QString::number(task->type, 16), QString::number(c.type, 16));
        QVERIFY2(c.payload(task.get()), "the record does not carry the slot's arguments");
    }

    void gradeFieldPostsItsRecords_data()
    {
        QTest::addColumn<int>("row");
        QCOMPARE(int(std::size(fieldCases)), GradeFieldCount);
        for (int i = 0; i < int(std::size(fieldCases)); ++i)
            QTest::newRow(gradeField(fieldCases[i].field).name) << i;
    }

    void gradeFieldPostsItsRecords()
    {
        QFETCH(int, row);
        const FieldCase& f = fieldCases[row];
        Model model;
        Controller controller;
        controller.setModel(&model);
        controller.gradeFieldAboutToChangeFromUI(f.field);
        controller.gradeFieldChangedFromUI(f.field, f.value);
        const QList<BaseTask*> posted = controller.takeQueuedTasks();
        QCOMPARE(posted.size(), 2);
        std::unique_ptr<BaseTask> about(posted.at(0));
        std::unique_ptr<BaseTask> setter(posted.at(1));
        QCOMPARE(QString::number(about->type, 16), QString::number(f.aboutToChange, 16));
        QVERIFY(bare()(about.get()));
        QCOMPARE(QString::number(setter->type, 16), QString::number(f.setter, 16));
        QVERIFY2(carriesField(f.value)(setter.get()), "the setter does not carry the value");
    }

    void recordsBeforeTheModelAreDropped()
    {
        Controller controller;
        for (const SlotCase& c : slotCases())
            c.call(controller);
        Model model;
        controller.setModel(&model);
        QVERIFY(controller.takeQueuedTasks().isEmpty());
        controller.undoTriggered();
        controller.gradeFieldChangedFromUI(GradeField::Exposure, 0.5f);
        const QList<BaseTask*> posted = controller.takeQueuedTasks();
        QCOMPARE(posted.size(), 2);
        QCOMPARE(posted.at(0)->type, quint32(Undo));
        QCOMPARE(posted.at(1)->type, quint32(SetExposure));
        qDeleteAll(posted);
    }

    // The model's signals reach the controller's on the controller's thread,
    // with their arguments.
    void relaysModelSignals()
    {
        Model model;
        Controller controller;
        controller.setModel(&model);
        controller.startTaskManager();
        QSignalSpy saved(&controller, &Controller::saveToFileFinished);
        QSignalSpy unsaved(&controller, &Controller::newUnsavedChangesNoticed);
        QSignalSpy levels(&controller, &Controller::gradeFieldShouldRefresh);
        QSignalSpy start(&controller, &Controller::startingPointShouldRefresh);
        QThread* mainThread = QThread::currentThread();
        bool onMainThread = true;
        connect(&controller, &Controller::saveToFileFinished, this,
            [&] { onMainThread = onMainThread && QThread::currentThread() == mainThread; });

        const QString file = Test::makeTempFolder("relay") + "/relay.empf";
        controller.saveProjectToXMLFile(file);
        QVERIFY(saved.wait(10000));
        QCOMPARE(saved.first().first().toBool(), true);
        QVERIFY(onMainThread);
        QVERIFY(QFile::exists(file));

        const QUuid uuid = QUuid::createUuid();
        const HistogramSliderData moved { 0.1f, 0.4f, 0.9f };
        emit model.gradeFieldChanged(GradeField::Levels, moved);
        emit model.startPointChanged(uuid, 17);
        emit model.unsavedChangesNoticed();
        QCOMPARE(levels.size(), 1);
        QCOMPARE(levels.first().at(0).value<GradeField>(), GradeField::Levels);
        QVERIFY(levels.first().at(1).value<GradeValue>() == GradeValue(moved));
        QCOMPARE(start.first().at(0).value<QUuid>(), uuid);
        QCOMPARE(start.first().at(1).toUInt(), 17u);
        QCOMPARE(unsaved.size(), 1);
    }

    // Destroying the controller stops and waits for the task thread; a save
    // still queued is written, records after it are not run.
    void destructionWritesAQueuedSave()
    {
        Model model;
        const QString file = Test::makeTempFolder("drain") + "/drain.empf";
        const QThread* thread = nullptr;
        {
            Controller controller;
            controller.setModel(&model);
            controller.gradeFieldAboutToChangeFromUI(GradeField::Exposure);
            controller.saveProjectToXMLFile(file);
            controller.undoTriggered();
            QVERIFY(!controller.isTaskThreadRunning());
        }
        QVERIFY(QFile::exists(file));
        {
            Controller controller;
            controller.setModel(&model);
            controller.startTaskManager();
            thread = controller.taskThread();
            QVERIFY(controller.isTaskThreadRunning());
            controller.stopTaskManager();
            QVERIFY(thread->isFinished());
            controller.stopTaskManager();
        }
    }

    void renderListWithoutReceiverIsFreed()
    {
        Model model;
        Controller controller;
        controller.setModel(&model);
        auto* items = new QList<const SequenceItem*>;
        emit model.sequenceItemsReadyToBeRender(items); // leak checkers see a fault here
        QList<const SequenceItem*>* received = nullptr;
        connect(&controller, &Controller::rendererShouldStartRendering, this,
            [&](QList<const SequenceItem*>* list) { received = list; });
        auto* second = new QList<const SequenceItem*>;
        emit model.sequenceItemsReadyToBeRender(second);
        QCOMPARE(received, second);
        delete second;

        // Sent from the task thread and still queued when the controller
        // goes: freed on its way out, as the sanitizer build's leak check
        // sees.
        Model other;
        auto* late = new Controller;
        late->setModel(&other);
        QThread* sender
            = QThread::create([&other] { emit other.sequenceItemsReadyToBeRender(new QList<const SequenceItem*>); });
        sender->start();
        QVERIFY(sender->wait(10000));
        delete sender;
        delete late;
    }
};

EMULSA_TEST_MAIN(ControllerTest)
#include "tst_controller.moc"
