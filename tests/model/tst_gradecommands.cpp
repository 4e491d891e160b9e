#include "common/TestEnvironment.h"

#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "model/GradeTasks.h"
#include "model/Model.h"
#include "model/PresetsManager.h"
#include "model/SequenceTasks.h"

#include <QSignalSpy>

using namespace Emulsa;

namespace {

// The continuous fields: their about-to-change and setter types, and how to
// read them, as float for comparing.
struct ContinuousField
{
    const char* name;
    quint32 about;
    quint32 setter;
    float (*read)(const ClipSettings&);
    BaseTask* (*make)(float value);
};

const ContinuousField continuousFields[] = {
    { "exposure", ExposureAboutToChange, SetExposure, [](const ClipSettings& s) { return s.getExposure(); },
        [](float v) -> BaseTask* { return new GradeFieldTask(SetExposure, v); } },
    { "kelvin", KelvinAboutToChange, SetKelvin, [](const ClipSettings& s) { return s.getKelvin(); },
        [](float v) -> BaseTask* { return new GradeFieldTask(SetKelvin, 5600 + v * 1000); } },
    { "stock amount", StockAmountAboutToChange, SetStockAmount,
        [](const ClipSettings& s) { return float(s.getStockLUTAmount()); },
        [](float v) -> BaseTask* { return new GradeFieldTask(SetStockAmount, int(v * 10)); } },
    { "grain", GrainAmountAboutToChange, SetGrainAmount,
        [](const ClipSettings& s) { return float(s.getGrainAmount()); },
        [](float v) -> BaseTask* { return new GradeFieldTask(SetGrainAmount, int(v * 10)); } },
    { "mid wheel", MidWheelAboutToChange, SetMidWheel, [](const ClipSettings& s) { return float(s.getMid().radius); },
        [](float v) -> BaseTask* {
            return new GradeFieldTask(SetMidWheel, ColorWheelData { v / 10, 1.0 });
        } },
    { "saturation", SaturationAboutToChange, SetSaturation, [](const ClipSettings& s) { return s.getSaturation(); },
        [](float v) -> BaseTask* { return new GradeFieldTask(SetSaturation, v / 5); } },
    { "levels", HistogramAboutToChange, SetHistogram,
        [](const ClipSettings& s) { return s.getHistogramSliderData().mid; },
        [](float v) -> BaseTask* {
            return new GradeFieldTask(SetHistogram, HistogramSliderData { 0.0f, 0.4f + v / 100, 1.0f });
        } },
    { "halation", HalationAboutToChange, SetHalation,
        [](const ClipSettings& s) { return float(s.getHalationAmount()); },
        [](float v) -> BaseTask* { return new GradeFieldTask(SetHalation, int(v * 10)); } },
    { "colour grain", ColourGrainAboutToChange, SetColourGrain,
        [](const ClipSettings& s) { return float(s.getColourGrainAmount()); },
        [](float v) -> BaseTask* { return new GradeFieldTask(SetColourGrain, int(v * 10)); } },
};

} // namespace

class GradeCommandsTest : public QObject
{
    Q_OBJECT

    CameraListHelper m_catalogue;
    FilmLibrary m_library;
    std::unique_ptr<Model> m_model;

    // A model holding `count` items; the first is current.
    void makeModel(int count)
    {
        m_model = std::make_unique<Model>(nullptr, &m_catalogue, &m_library);
        for (int i = 0; i < count; ++i) {
            auto* item = new SequenceItem(nullptr, new ClipSettings, 0, 100);
            m_model->runCommands(new SequenceItemTask(AddSequenceItem, item));
        }
    }
    void run(BaseTask* command) { m_model->runCommands(command, NewCommand); }
    void undo() { run(new BaseTask(Undo)); }
    void redo() { run(new BaseTask(Redo)); }
    ClipSettings& current() { return *m_model->current()->settings; }
    QByteArray currentId() const { return Model::itemId(m_model->current()); }

    Preset makePreset(float saturation)
    {
        PresetsManager* store = PresetsManager::instance();
        const int group = store->createNewGroup(QStringLiteral("Commands")).id;
        ClipSettings settings;
        settings.setSaturation(saturation);
        settings.setExposure(0.5f);
        return *store->createPreset(settings, group);
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
    }

    void cleanup() { m_model.reset(); }

    // A press and a drag of any control are one undo entry: undo gives the
    // value before the press, redo the value after the drag.
    void pressAndDragIsOneUndoEntry_data()
    {
        QTest::addColumn<int>("field");
        for (int i = 0; i < int(std::size(continuousFields)); ++i)
            QTest::newRow(continuousFields[i].name) << i;
    }
    void pressAndDragIsOneUndoEntry()
    {
        QFETCH(int, field);
        const ContinuousField& f = continuousFields[field];
        makeModel(1);
        const float before = f.read(current());
        run(new BaseTask(f.about));
        for (int step = 1; step <= 6; ++step)
            run(f.make(float(step)));
        const float after = f.read(current());
        QVERIFY(after != before);
        QCOMPARE(m_model->history().undoStack().size(), 1);
        QVERIFY(m_model->unsavedChanges());
        undo();
        QCOMPARE(f.read(current()), before);
        QCOMPARE(m_model->history().redoStack().size(), 1);
        redo();
        QCOMPARE(f.read(current()), after);
        QCOMPARE(m_model->history().undoStack().size(), 1);
    }

    // A setter without a press pushes nothing, so it leaves the redo stack
    // alone; the next press clears it.
    void setterAloneKeepsRedo()
    {
        makeModel(1);
        run(new BaseTask(ExposureAboutToChange));
        run(new GradeFieldTask(SetExposure, 0.5f));
        undo();
        QCOMPARE(m_model->history().redoStack().size(), 1);
        run(new GradeFieldTask(SetExposure, 0.25f));
        QCOMPARE(m_model->history().redoStack().size(), 1);
        QCOMPARE(current().getExposure(), 0.25f);
        run(new BaseTask(ExposureAboutToChange));
        QVERIFY(m_model->history().redoStack().isEmpty());
    }

    // Discrete choices swap: each is its own undo entry.
    void discreteChoicesSwap()
    {
        makeModel(1);
        const QString stock = current().getStockName();
        run(new TextGradeTask(SetStock, QStringLiteral("5213")));
        run(new TextGradeTask(SetGrainSize, QStringLiteral("16 mm")));
        run(new BoolGradeTask(SetShowOriginal, true));
        run(new UIntGradeTask(SetStartPoint, 10));
        QCOMPARE(m_model->history().undoStack().size(), 4);
        QCOMPARE(m_model->current()->startFrame, 10u);
        QVERIFY(current().getOriginal());
        undo();
        undo();
        QCOMPARE(m_model->current()->startFrame, 0u);
        QVERIFY(!current().getOriginal());
        undo();
        undo();
        QCOMPARE(current().getStockName(), stock);
        redo();
        QCOMPARE(current().getStockName(), QStringLiteral("5213"));
    }

    void sameLevelsChangeNothing()
    {
        makeModel(1);
        run(new GradeFieldTask(SetHistogram, current().getHistogramSliderData()));
        QVERIFY(m_model->history().undoStack().isEmpty());
        QVERIFY(!m_model->unsavedChanges());
    }

    void noCurrentItemNoEffect()
    {
        makeModel(0);
        run(new BaseTask(ExposureAboutToChange));
        run(new GradeFieldTask(SetExposure, 1.0f));
        run(new TextGradeTask(SetStock, QStringLiteral("5213")));
        run(new BaseTask(ResetSettings));
        QVERIFY(m_model->history().undoStack().isEmpty());
        QVERIFY(!m_model->unsavedChanges());
    }

    // The profile of every item is one group: one undo gives all three back,
    // inside one long operation.
    void profileForAllIsOneGroup()
    {
        makeModel(3);
        const quint32 profile = ClipSettings::DefaultSourceType + 1;
        QList<quint32> before;
        for (SequenceItem* item : m_model->sequence())
            before << item->settings->getSourceType();
        run(new UIntGradeTask(SetProfileForAll, profile));
        for (SequenceItem* item : m_model->sequence())
            QCOMPARE(item->settings->getSourceType(), profile);
        QSignalSpy begin(m_model.get(), &Model::longOperationBegin);
        QSignalSpy ended(m_model.get(), &Model::longOperationEnded);
        undo();
        QCOMPARE(begin.size(), 1);
        QCOMPARE(ended.size(), 1);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(m_model->sequence().at(i)->settings->getSourceType(), before.at(i));
        QVERIFY(m_model->history().undoStack().isEmpty());
        redo();
        for (SequenceItem* item : m_model->sequence())
            QCOMPARE(item->settings->getSourceType(), profile);
    }

    // A reset after an undo clears the redo stack (a stale redo would be
    // applied over the reset later) and marks the project unsaved.
    void resetAfterUndoClearsRedo()
    {
        makeModel(1);
        run(new BaseTask(SaturationAboutToChange));
        run(new GradeFieldTask(SetSaturation, 0.3f));
        run(new BaseTask(KelvinAboutToChange));
        run(new GradeFieldTask(SetKelvin, 7000.0f));
        undo();
        QCOMPARE(m_model->history().redoStack().size(), 1);
        m_model->setUnsavedChanges(false);
        QSignalSpy reset(m_model.get(), &Model::currentSettingsReset);
        run(new BaseTask(ResetSettings));
        QCOMPARE(reset.size(), 1);
        QVERIFY(m_model->history().redoStack().isEmpty());
        QVERIFY(m_model->unsavedChanges());
        QCOMPARE(current().getSaturation(), 1.0f);
        undo();
        QCOMPARE(current().getSaturation(), 0.3f);
        QCOMPARE(current().getKelvin(), 5600.0f);
    }

    // The first own edit unlinks a clip from its preset; its undo gives back
    // the exact grade and link from before, even after the preset was removed.
    void detachAndItsUndo_data()
    {
        QTest::addColumn<bool>("presetRemoved");
        QTest::newRow("preset kept") << false;
        QTest::newRow("preset removed meanwhile") << true;
    }
    void detachAndItsUndo()
    {
        QFETCH(bool, presetRemoved);
        makeModel(1);
        const Preset preset = makePreset(0.2f);
        run(new ApplyPresetTask(preset.id(), {}));
        QCOMPARE(m_model->current()->presetUuid(), preset.id());
        QCOMPARE(current().getSaturation(), 0.2f);
        const int entries = m_model->history().undoStack().size();
        undo();
        QCOMPARE(current().getSaturation(), 1.0f);
        QVERIFY(m_model->current()->presetUuid().isEmpty());
        redo();
        QCOMPARE(current().getSaturation(), 0.2f);
        QCOMPARE(m_model->current()->presetUuid(), preset.id());

        QSignalSpy links(m_model.get(), &Model::sequenceItemGotPreset);
        run(new BaseTask(ExposureAboutToChange));
        run(new GradeFieldTask(SetExposure, -0.4f));
        run(new GradeFieldTask(SetExposure, -0.8f));
        QCOMPARE(links.size(), 1);
        QCOMPARE(links.at(0).at(0).toByteArray(), QByteArray());
        QCOMPARE(links.at(0).at(1).toByteArray(), currentId());
        QVERIFY(m_model->current()->presetUuid().isEmpty());
        QCOMPARE(m_model->history().undoStack().size(), entries + 1);
        QVERIFY(m_model->history().redoStack().isEmpty());

        if (presetRemoved)
            QVERIFY(PresetsManager::instance()->removePreset(preset.id()));
        undo();
        QCOMPARE(m_model->current()->presetUuid(), preset.id());
        QCOMPARE(current().getExposure(), 0.5f);
        QCOMPARE(current().getSaturation(), 0.2f);
        redo();
        QVERIFY(m_model->current()->presetUuid().isEmpty());
        QCOMPARE(current().getExposure(), -0.8f);
    }

    // A preset applied to several clips is one undo entry; the current clip's
    // views hear of it, the project is unsaved and the redo stack cleared.
    void applyPresetToSeveralClips()
    {
        makeModel(3);
        const Preset preset = makePreset(1.4f);
        run(new BaseTask(GainAboutToChange));
        run(new GradeFieldTask(SetGain, 1.2f));
        undo();
        m_model->setUnsavedChanges(false);
        const QList<SequenceItem*> items = m_model->sequence();
        items.at(1)->settings->setSourceType(ClipSettings::DefaultSourceType + 7);
        QSignalSpy reset(m_model.get(), &Model::currentSettingsReset);
        run(new ApplyPresetTask(preset.id(), { Model::itemId(items.at(0)), Model::itemId(items.at(1)) }));
        QCOMPARE(reset.size(), 1);
        QVERIFY(m_model->unsavedChanges());
        QVERIFY(m_model->history().redoStack().isEmpty());
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(items.at(i)->settings->getSaturation(), 1.4f);
            QCOMPARE(items.at(i)->presetUuid(), preset.id());
        }
        // A clip keeps its own camera profile.
        QCOMPARE(items.at(1)->settings->getSourceType(), ClipSettings::DefaultSourceType + 7);
        QCOMPARE(items.at(2)->settings->getSaturation(), 1.0f);
        undo();
        for (SequenceItem* item : items) {
            QCOMPARE(item->settings->getSaturation(), 1.0f);
            QVERIFY(item->presetUuid().isEmpty());
        }
        QVERIFY(m_model->history().undoStack().isEmpty());
        redo();
        QCOMPARE(items.at(1)->settings->getSaturation(), 1.4f);
    }

    // An unknown preset changes nothing but still clears a stale redo.
    void unknownPresetChangesNothing()
    {
        makeModel(1);
        run(new BaseTask(LiftAboutToChange));
        run(new GradeFieldTask(SetLift, 1.2f));
        undo();
        run(new ApplyPresetTask(QUuid::createUuid().toByteArray(), {}));
        QVERIFY(m_model->history().redoStack().isEmpty());
        QVERIFY(m_model->history().undoStack().isEmpty());
        QCOMPARE(current().getLift(), 1.0f);
    }
};

EMULSA_TEST_MAIN(GradeCommandsTest)
#include "tst_gradecommands.moc"
