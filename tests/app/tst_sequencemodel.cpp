#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include "CommandRunner.h"
#include "core/ApplicationPaths.h"
#include "core/CameraListHelper.h"
#include "core/ClipSettings.h"
#include "core/FilmLibrary.h"
#include "media/clip/AssetMetadata.h"
#include "media/metadata/MetadataManager.h"
#include "model/Model.h"
#include "model/SequenceCommands.h"
#include "model/SequenceTasks.h"

#include <QElapsedTimer>
#include <QFile>
#include <QIODevice>

#include <atomic>
#include <memory>

using namespace Emulsa;
using Emulsa::Test::CommandRunner;
using Emulsa::Test::SignalLog;
using Emulsa::Test::TestMedia;

namespace {

QString uuidText(const SequenceItem* item)
{
    return item->uuid.toString();
}

QStringList ids(const Model& model)
{
    QStringList list;
    for (const SequenceItem* item : model.sequence())
        list.append(uuidText(item));
    return list;
}

} // namespace

// The sequence and history commands, run as the application runs them: the
// commands queued to a task manager on its own thread, the model's signals
// recorded as they are emitted.
class SequenceModelTest : public QObject
{
    Q_OBJECT

private:
    CameraListHelper m_catalogue;
    FilmLibrary m_library;
    MetadataManager* m_metadata = nullptr;
    QStringList m_clips;

    struct Fixture
    {
        explicit Fixture(SequenceModelTest* test, MetadataManager* metadata = nullptr)
            : model(new Model(metadata ? metadata : test->m_metadata, &test->m_catalogue, &test->m_library))
            , log(model.get())
            , runner(std::make_unique<CommandRunner>(model.get()))
        {
        }
        ~Fixture() { runner.reset(); }
        bool run(BaseTask* command)
        {
            runner->post(command);
            return runner->waitIdle();
        }
        std::unique_ptr<Model> model;
        SignalLog log;
        std::unique_ptr<CommandRunner> runner;
    };

    // Adds the test clips as whole clips, checked.
    void addClips(Fixture& f, int count)
    {
        for (int i = 0; i < count; ++i)
            f.runner->post(new PathTask(AddShot, m_clips.at(i)));
        QVERIFY(f.runner->waitIdle());
        QCOMPARE(f.model->sequence().size(), count);
    }

private slots:
    void initTestCase()
    {
        m_metadata = new MetadataManager(Test::makeTempFolder(QStringLiteral("metadata-cache")));
        for (TestMedia::Clip clip : { TestMedia::NoAudio, TestMedia::H264FullRange, TestMedia::ProResMov }) {
            const QString path = TestMedia::instance().path(clip);
            QVERIFY2(!path.isEmpty(), "ffmpeg could not make the test clips");
            m_clips.append(path);
        }
    }

    void cleanupTestCase() { delete m_metadata; }

    void supportedFileTest_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("supported");
        QTest::newRow("mp4") << "/a/A001.mp4" << true;
        QTest::newRow("upper MOV") << "/a/B.MOV" << true;
        QTest::newRow("mts") << "c.mts" << true;
        QTest::newRow("mpeg") << "d.mpeg" << true;
        QTest::newRow("r3d") << "e.R3D" << true;
        QTest::newRow("3gp") << "f.3gp" << true;
        QTest::newRow("mt2s") << "g.mt2s" << true;
        QTest::newRow("text") << "h.txt" << false;
        QTest::newRow("audio") << "i.m4a" << false;
        QTest::newRow("no extension") << "mp4" << false;
        QTest::newRow("folder named like a clip") << "/x.mp4/readme" << false;
    }

    void supportedFileTest()
    {
        QFETCH(QString, path);
        QFETCH(bool, supported);
        QCOMPARE(isSupportedMediaFile(path), supported);
    }

    // Real clips become whole-clip items; the first is current; a whole clip
    // is added once only; files that are not movies are not added.
    void addingClips()
    {
        Fixture f(this);
        addClips(f, 3);
        const Model& model = *f.model;
        for (int i = 0; i < 3; ++i) {
            const SequenceItem* item = model.sequence().at(i);
            QCOMPARE(item->asset->filePath, m_clips.at(i));
            QVERIFY(item->asset->frameCount > 0);
            QCOMPARE(item->startFrame, 0u);
            QCOMPARE(item->endFrame, item->asset->frameCount);
            QVERIFY(item->settings);
            QCOMPARE(item->settings, f.model->settingsManager().settingsForID(item->uuid));
        }
        QCOMPARE(model.sequence().at(0)->asset->frameCount, 30u);
        QCOMPARE(model.current(), model.sequence().at(0));
        QCOMPARE(model.history().undoStack().size(), 3);
        QVERIFY(model.unsavedChanges());
        const QStringList log = f.log.take();
        QCOMPARE(log.count(QStringLiteral("unsavedChangesNoticed")), 1);
        QCOMPARE(log.filter(QStringLiteral("currentClipChanged")),
            QStringList { "currentClipChanged " + uuidText(model.sequence().at(0)) });
        QCOMPARE(log.filter(QStringLiteral("shotListNeedRefresh")).size(), 3);

        // The same whole clip again, checked or not: nothing changes.
        QVERIFY(f.run(new PathTask(AddShot, m_clips.at(1))));
        QVERIFY(f.run(new PathTask(AddShotNoCheck, m_clips.at(2))));
        const QString text = Test::makeTempFolder(QStringLiteral("notes")) + QStringLiteral("/notes.txt");
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a movie");
        file.close();
        QVERIFY(f.run(new PathTask(AddShot, text)));
        QCOMPARE(model.sequence().size(), 3);
        QCOMPARE(model.history().undoStack().size(), 3);
        QVERIFY(f.log.take().isEmpty());
    }

    // Removing the current last item makes the new last current; removing
    // the only item leaves none.
    void removingTheCurrentLastAndTheOnlyItem()
    {
        Fixture f(this);
        addClips(f, 3);
        const Model& model = *f.model;
        const QStringList before = ids(model);
        QVERIFY(f.run(new ItemIdTask(SelectShot, before.at(2).toLatin1())));
        QCOMPARE(model.current(), model.sequence().at(2));
        f.log.take();

        QVERIFY(f.run(new ItemIdTask(RemoveShot, before.at(2).toLatin1())));
        QCOMPARE(ids(model), before.mid(0, 2));
        QCOMPARE(model.current(), model.sequence().at(1));
        QCOMPARE(f.log.take(),
            QStringList({ "currentClipChanged " + before.at(1), "viewNeedRefresh 0",
                "shotListNeedRefresh " + before.at(2) + " 1" }));

        // A removal of another item leaves the current one alone.
        QVERIFY(f.run(new ItemIdTask(RemoveShot, before.at(0).toLatin1())));
        QCOMPARE(model.current(), model.sequence().at(0));
        QCOMPARE(f.log.take(), QStringList({ "shotListNeedRefresh " + before.at(0) + " 1" }));

        QVERIFY(f.run(new ItemIdTask(RemoveShot, before.at(1).toLatin1())));
        QVERIFY(model.sequence().isEmpty());
        QVERIFY(!model.current());
        QCOMPARE(f.log.take(),
            QStringList({ QStringLiteral("currentClipChanged none"), "shotListNeedRefresh " + before.at(1) + " 1" }));
        QCOMPARE(f.model->settingsManager().count(), 0);

        // An unknown id changes nothing and pushes nothing.
        const int undoDepth = model.history().undoStack().size();
        QVERIFY(f.run(new ItemIdTask(RemoveShot, before.at(1).toLatin1())));
        QVERIFY(f.run(new ItemIdTask(SelectShot, QByteArray("{not-an-id}"))));
        QCOMPARE(model.history().undoStack().size(), undoDepth);
        QVERIFY(f.log.take().isEmpty());
    }

    // Undo of a removal puts the same item back where it was, with its id,
    // grade, points and preset link; redo removes it again.
    void undoOfARemovalRestoresTheSameItem()
    {
        Fixture f(this);
        addClips(f, 3);
        const Model& model = *f.model;
        const QStringList before = ids(model);
        SequenceItem* middle = model.sequence().at(1);
        // The worker is idle: the test stands in for the grade commands.
        middle->settings->setExposure(1.25f);
        middle->settings->setStockName(QStringLiteral("5207"));
        middle->startFrame = 3;
        middle->endFrame = 20;
        const QByteArray preset = QUuid::createUuid().toByteArray();
        middle->setPresetUuid(preset);
        QVERIFY(f.run(new ItemIdTask(SelectShot, before.at(1).toLatin1())));

        QVERIFY(f.run(new ItemIdTask(RemoveShot, before.at(1).toLatin1())));
        QCOMPARE(model.sequence().size(), 2);
        QCOMPARE(uuidText(model.current()), before.at(2));
        f.log.take();

        QVERIFY(f.run(new BaseTask(Undo)));
        QCOMPARE(ids(model), before);
        const SequenceItem* back = model.sequence().at(1);
        QCOMPARE(back, middle);
        QCOMPARE(back->settings->getExposure(), 1.25f);
        QCOMPARE(back->settings->getStockName(), QStringLiteral("5207"));
        QCOMPARE(back->startFrame, 3u);
        QCOMPARE(back->endFrame, 20u);
        QCOMPARE(back->presetUuid(), preset);
        QVERIFY(f.model->settingsManager().isRegistered(back->uuid, back->settings));
        QCOMPARE(f.log.take(),
            QStringList({ "shotRestored " + before.at(1) + " 1",
                "sequenceItemGotPreset " + QString::fromLatin1(preset) + " " + before.at(1) }));
        QCOMPARE(model.history().redoStack().size(), 1);

        QVERIFY(f.run(new BaseTask(Redo)));
        QCOMPARE(ids(model), QStringList({ before.at(0), before.at(2) }));
        QVERIFY(f.run(new BaseTask(Undo)));
        QCOMPARE(ids(model), before);
        QCOMPARE(model.sequence().at(1)->settings->getExposure(), 1.25f);
    }

    // Each command and its inverse, through Undo and Redo.
    void undoAndRedoOfAnAddition()
    {
        Fixture f(this);
        addClips(f, 2);
        const Model& model = *f.model;
        const QStringList before = ids(model);
        f.log.take();

        QVERIFY(f.run(new BaseTask(Undo)));
        QCOMPARE(ids(model), before.mid(0, 1));
        QCOMPARE(model.history().undoStack().size(), 1);
        QCOMPARE(model.history().redoStack().size(), 1);
        QVERIFY(f.run(new BaseTask(Redo)));
        QCOMPARE(ids(model), before); // the same item, not a new one
        QCOMPARE(model.history().redoStack().size(), 0);

        // Undo everything, then a new command drops the redo entries.
        QVERIFY(f.run(new BaseTask(Undo)));
        QVERIFY(f.run(new BaseTask(Undo)));
        QVERIFY(model.sequence().isEmpty());
        QVERIFY(!model.current());
        QCOMPARE(model.history().redoStack().size(), 2);
        QVERIFY(f.run(new BaseTask(Undo))); // nothing left: no effect
        QCOMPARE(model.history().redoStack().size(), 2);
        QVERIFY(f.run(new PathTask(AddShot, m_clips.at(2))));
        QCOMPARE(model.history().redoStack().size(), 0);
        QVERIFY(f.run(new BaseTask(Redo))); // nothing to redo
        QCOMPARE(model.sequence().size(), 1);
        // The items dropped with the redo entries are released once their
        // signals have reached the application's thread.
        QTRY_COMPARE(f.model->retiredItemCount(), 0);
    }

    // The grade snapshot that resets and presets leave on the stacks swaps
    // the whole grade and the preset link, back and forth.
    void settingsSnapshotSwapsBackAndForth()
    {
        Fixture f(this);
        addClips(f, 2);
        const Model& model = *f.model;
        SequenceItem* current = model.current();
        const QString id = uuidText(current);
        current->settings->setExposure(0.75f);
        ClipSettings grade;
        grade.setExposure(-2.0f);
        grade.setStockName(QStringLiteral("5219"));
        const QByteArray preset = QUuid::createUuid().toByteArray();
        f.log.take();

        QVERIFY(f.run(new SettingsSnapshotTask(preset, grade, id.toLatin1())));
        QCOMPARE(current->settings->getExposure(), -2.0f);
        QCOMPARE(current->settings->getStockName(), QStringLiteral("5219"));
        QCOMPARE(current->presetUuid(), preset);
        QCOMPARE(f.log.take(),
            QStringList({ QStringLiteral("currentSettingsReset -2"),
                "sequenceItemGotPreset " + QString::fromLatin1(preset) + " " + id }));

        QVERIFY(f.run(new BaseTask(Undo)));
        QCOMPARE(current->settings->getExposure(), 0.75f);
        QVERIFY(current->presetUuid().isEmpty());
        QCOMPARE(
            f.log.take(), QStringList({ QStringLiteral("currentSettingsReset 0.75"), "sequenceItemGotPreset  " + id }));
        QVERIFY(f.run(new BaseTask(Redo)));
        QCOMPARE(current->settings->getExposure(), -2.0f);
        QCOMPARE(current->presetUuid(), preset);
        QCOMPARE(f.log.take().first(), QStringLiteral("currentSettingsReset -2"));

        // Another item's grade changes without telling the grading views.
        const SequenceItem* other = model.sequence().at(1);
        QVERIFY(f.run(new SettingsSnapshotTask(QByteArray(), grade, uuidText(other).toLatin1())));
        QCOMPARE(other->settings->getStockName(), QStringLiteral("5219"));
        QCOMPARE(f.log.take().filter(QStringLiteral("currentSettingsReset")).size(), 0);
    }

    // A group undoes and redoes as one step, inside longOperationBegin and
    // longOperationEnded.
    void groupIsOneStep()
    {
        Fixture f(this);
        addClips(f, 1);
        const Model& model = *f.model;
        const QString first = uuidText(model.sequence().at(0));
        f.runner->post(new BaseTask(GroupBegin));
        f.runner->post(new PathTask(AddShotNoCheck, m_clips.at(1)));
        f.runner->post(new PathTask(AddShotNoCheck, m_clips.at(2)));
        f.runner->post(new ItemIdTask(RemoveShot, first.toLatin1()));
        f.runner->post(new BaseTask(GroupEnd));
        QVERIFY(f.runner->waitIdle());
        QCOMPARE(model.sequence().size(), 2);
        const QStringList grouped = ids(model);
        QVERIFY(!model.longOperationRunning());
        f.log.take();

        QVERIFY(f.run(new BaseTask(Undo)));
        QCOMPARE(ids(model), QStringList { first });
        QStringList log = f.log.take();
        QCOMPARE(log.first(), QStringLiteral("longOperationBegin"));
        QCOMPARE(log.last(), QStringLiteral("longOperationEnded"));
        QCOMPARE(log.count(QStringLiteral("longOperationBegin")), 1);
        QVERIFY(!model.longOperationRunning());
        QCOMPARE(model.history().undoStack().size(), 1);

        QVERIFY(f.run(new BaseTask(Redo)));
        QCOMPARE(ids(model), grouped);
        log = f.log.take();
        QCOMPARE(log.first(), QStringLiteral("longOperationBegin"));
        QCOMPARE(log.last(), QStringLiteral("longOperationEnded"));
        QCOMPARE(model.history().redoStack().size(), 0);

        QVERIFY(f.run(new BaseTask(Undo)));
        QVERIFY(f.run(new BaseTask(Undo)));
        QVERIFY(model.sequence().isEmpty());
    }

    // A clip whose description never arrives is not added, after the wait
    // limit, with a message; the queue goes on.
    void metadataThatNeverArrives()
    {
        MetadataManager stalled(Test::makeTempFolder(QStringLiteral("stalled-cache")));
        stalled.shutdown(); // records are queued but never read
        Fixture f(this, &stalled);
        f.model->setMetadataWaitLimit(300);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("could not be read .* not added")));
        f.runner->post(new PathTask(AddShot, m_clips.at(0)));
        f.runner->post(new FrameTask(PositionChanged, 12));
        QVERIFY(f.runner->waitIdle());
        QVERIFY(f.model->sequence().isEmpty());
        QVERIFY(f.model->history().undoStack().isEmpty());
        QVERIFY(!f.model->unsavedChanges());
        QCOMPARE(f.log.take(), QStringList { QStringLiteral("positionChanged 12") });
    }

    // Stopping the worker ends a wait for a description at once.
    void stoppingEndsTheMetadataWait()
    {
        MetadataManager stalled(Test::makeTempFolder(QStringLiteral("stalled-cache-2")));
        stalled.shutdown();
        Fixture f(this, &stalled);
        QCOMPARE(Model::defaultMetadataWaitMs, 30000);
        f.runner->post(new PathTask(AddShot, m_clips.at(1)));
        // The worker asked for the description and is waiting for it.
        QElapsedTimer asked;
        asked.start();
        while (!stalled.metadataFor(MetadataManager::idForPath(m_clips.at(1))) && asked.elapsed() < 10000)
            QThread::msleep(2);
        QVERIFY(stalled.metadataFor(MetadataManager::idForPath(m_clips.at(1))));
        QThread::msleep(50);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(f.runner->stop(10000));
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(f.model->sequence().isEmpty());
    }

    // A command type without a handler is deleted with a warning and leaves
    // the state and the stacks alone.
    void commandWithoutHandler()
    {
        struct Unknown : BaseTask
        {
            explicit Unknown(std::atomic<bool>* deleted)
                : BaseTask(0x7FFE0003)
                , deleted(deleted)
            {
            }
            ~Unknown() override { *deleted = true; }
            std::atomic<bool>* deleted;
        };
        Fixture f(this);
        std::atomic<bool> deleted { false };
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("No handler for command type 7ffe0003")));
        QVERIFY(f.run(new Unknown(&deleted)));
        QVERIFY(deleted);
        QVERIFY(f.model->history().undoStack().isEmpty());
        QVERIFY(!f.model->unsavedChanges());
        QVERIFY(f.log.take().isEmpty());
    }

    // Opening a project: the clear retires the items; the project's items
    // are registered with their own grades; a duplicate id gets a fresh one
    // and never costs the first item its grade; loading leaves nothing unsaved.
    void loadingAProject()
    {
        Fixture f(this);
        addClips(f, 2);
        f.log.take();
        QVERIFY(f.run(new PathTask(NewFileToLoad, QStringLiteral("/projects/a.empf"))));
        QVERIFY(f.model->sequence().isEmpty());
        QVERIFY(!f.model->current());
        QVERIFY(f.model->history().undoStack().isEmpty());
        QVERIFY(!f.model->unsavedChanges());
        QCOMPARE(f.model->settingsManager().count(), 0);
        QCOMPARE(f.log.take(),
            QStringList({ QStringLiteral("currentClipChanged none"), QStringLiteral("resetListState"),
                QStringLiteral("longOperationBegin") }));
        QTRY_COMPARE(f.model->retiredItemCount(), 0);

        AssetMetadata* asset = m_metadata->getMetadata(QFileInfo(m_clips.at(0)));
        const QUuid shared = QUuid::createUuid();
        auto* firstGrade = new ClipSettings;
        firstGrade->setExposure(0.5f);
        auto* first = new SequenceItem(asset, firstGrade, 2, 10, shared);
        first->setPresetUuid(QUuid::createUuid().toByteArray());
        auto* secondGrade = new ClipSettings;
        secondGrade->setExposure(-1.0f);
        auto* second = new SequenceItem(asset, secondGrade, 0, 5, shared);
        auto* third = new SequenceItem(asset, nullptr, 0, 5);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("already in use")));
        f.runner->post(new SequenceItemTask(AddSequenceItem, first));
        f.runner->post(new SequenceItemTask(AddSequenceItem, second));
        f.runner->post(new SequenceItemTask(AddSequenceItem, third));
        f.runner->post(new BaseTask(NewFileLoaded));
        QVERIFY(f.runner->waitIdle());

        const Model& model = *f.model;
        QCOMPARE(model.sequence().size(), 3);
        QCOMPARE(model.current(), first);
        QCOMPARE(first->uuid, shared);
        QVERIFY(second->uuid != shared);
        QCOMPARE(first->settings->getExposure(), 0.5f);
        QCOMPARE(second->settings->getExposure(), -1.0f);
        QVERIFY(f.model->settingsManager().isRegistered(first->uuid, firstGrade));
        QVERIFY(f.model->settingsManager().isRegistered(second->uuid, secondGrade));
        QVERIFY(third->settings); // an item without a grade gets the default one
        QVERIFY(f.model->settingsManager().isRegistered(third->uuid, third->settings));
        QVERIFY(!model.unsavedChanges());
        QVERIFY(model.history().undoStack().isEmpty());
        const QStringList log = f.log.take();
        QCOMPARE(log.filter(QStringLiteral("shotListNeedRefresh")).size(), 3);
        QCOMPARE(log.filter(QStringLiteral("sequenceItemGotPreset")).size(), 1);
        QCOMPARE(log.last(), QStringLiteral("longOperationEnded"));
    }

    // Items that leave the model stay alive until the signals that name them
    // have been delivered on the application's thread: a view reading a
    // removed item when told of the removal reads a live item.
    void removedItemsOutliveTheirSignals()
    {
        Fixture f(this);
        addClips(f, 3);
        const QStringList all = ids(*f.model);
        struct Seen
        {
            QString uuid;
            int retired = -1;
        };
        QList<Seen> seen;
        Model* model = f.model.get();
        connect(
            model, &Model::shotListNeedRefresh, this,
            [&seen, model](SequenceItem* item, bool toDelete) {
                if (toDelete)
                    seen.append({ item->uuid.toString(), model->retiredItemCount() });
            },
            Qt::QueuedConnection);
        // The application's thread is busy while the worker removes an item
        // and a project load then drops the undo entry holding it.
        f.runner->post(new ItemIdTask(RemoveShot, all.at(1).toLatin1()));
        f.runner->post(new PathTask(NewFileToLoad, QString()));
        QVERIFY(f.runner->waitIdle(60000, false));
        QCOMPARE(f.model->retiredItemCount(), 3);
        QVERIFY(seen.isEmpty());
        QTRY_COMPARE(f.model->retiredItemCount(), 0);
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.at(0).uuid, all.at(1));
        QCOMPARE(seen.at(0).retired, 3);
    }

    // The render list holds snapshot copies in the order asked, which the
    // receiver owns and which later edits do not touch.
    void itemsForRenderAreSnapshots()
    {
        Fixture f(this);
        addClips(f, 3);
        const Model& model = *f.model;
        QList<const SequenceItem*>* received = nullptr;
        connect(
            f.model.get(), &Model::sequenceItemsReadyToBeRender, this,
            [&received](QList<const SequenceItem*>* list) { received = list; }, Qt::QueuedConnection);
        const QStringList all = ids(model);
        model.sequence().at(2)->settings->setGrainAmount(42);
        QVERIFY(f.run(new ItemIdListTask(ItemsForRender,
            { all.at(2).toLatin1(), QByteArray("{00000000-0000-0000-0000-000000000001}"), all.at(0).toLatin1() })));
        QTRY_VERIFY(received);
        QCOMPARE(received->size(), 2);
        const SequenceItem* copy = received->at(0);
        QVERIFY(copy != model.sequence().at(2));
        QCOMPARE(uuidText(copy), all.at(2));
        QCOMPARE(uuidText(received->at(1)), all.at(0));
        QVERIFY(copy->settings != model.sequence().at(2)->settings);
        QCOMPARE(copy->settings->getGrainAmount(), 42);
        model.sequence().at(2)->settings->setGrainAmount(7);
        QCOMPARE(copy->settings->getGrainAmount(), 42);
        QCOMPARE(copy->endFrame, model.sequence().at(2)->endFrame);
        SequenceItem::deleteSnapshots(received);
    }

    // Saving goes through the project writer; the autosave path neither
    // reports nor clears the unsaved flag.
    void savingAProject()
    {
        Fixture f(this);
        addClips(f, 1);
        bool writerResult = true;
        int written = 0;
        f.model->setProjectWriter(
            [&](QIODevice* file, const QList<SequenceItem*>& sequence, const SequenceItem* current, bool timeline) {
                ++written;
                file->write(QByteArray::number(sequence.size()) + (current ? " current" : "") + (timeline ? " t" : ""));
                return writerResult;
            });
        f.log.take();
        const QString folder = Test::makeTempFolder(QStringLiteral("projects"));
        const QString autosave = ApplicationPaths::instance()->autosaveFilePath();
        QDir().mkpath(QFileInfo(autosave).absolutePath());

        QVERIFY(f.run(new PathTask(SaveProject, autosave)));
        QVERIFY(f.model->unsavedChanges());
        QVERIFY(f.log.take().isEmpty());

        QVERIFY(f.run(new PathTask(SaveProject, folder + QStringLiteral("/a.empf"))));
        QVERIFY(!f.model->unsavedChanges());
        QCOMPARE(f.log.take(), QStringList { QStringLiteral("finishSaving 1") });
        QFile file(folder + QStringLiteral("/a.empf"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("1 current"));

        writerResult = false;
        QVERIFY(f.run(new PathTask(SaveProject, folder + QStringLiteral("/b.empf"))));
        QCOMPARE(f.log.take(), QStringList { QStringLiteral("finishSaving 0") });

        QTest::ignoreMessage(QtCriticalMsg, "Can't open selected file");
        QVERIFY(f.run(new PathTask(SaveProject, folder + QStringLiteral("/missing/c.empf"))));
        QVERIFY(f.log.take().isEmpty());
        QCOMPARE(written, 3);
    }

    // The relay and the default profile.
    void positionAndDefaultProfile()
    {
        Fixture f(this);
        QVERIFY(f.run(new FrameTask(PositionChanged, -3)));
        QCOMPARE(f.log.take(), QStringList { QStringLiteral("positionChanged -3") });
        QVERIFY(f.run(new ProfileTask(SetDefaultProfile, 0x32334241)));
        QCOMPARE(f.model->settingsManager().defaultProfile(), 0x32334241u);
        QVERIFY(!f.model->unsavedChanges());
    }
};

EMULSA_TEST_MAIN(SequenceModelTest)
#include "tst_sequencemodel.moc"
