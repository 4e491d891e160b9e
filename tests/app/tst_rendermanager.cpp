#include "common/RenderQueueSupport.h"
#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include "CommandRunner.h"
#include "app/RenderManager.h"
#include "app/RenderQueue.h"
#include "core/CameraListHelper.h"
#include "core/ClipSettings.h"
#include "core/FilmLibrary.h"
#include "core/OffscreenGLContext.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "model/Model.h"
#include "model/ProjectLoader.h"
#include "model/SequenceTasks.h"

#include <QApplication>
#include <QMutex>
#include <QOffscreenSurface>
#include <QSignalSpy>

#include <memory>

using namespace Emulsa;
using Emulsa::Test::CommandRunner;
using Emulsa::Test::RenderQueueSupport;
using Emulsa::Test::TestMedia;

namespace {
enum QueueState
{
    Idle,
    Rendering,
    Canceling
};
}

// The render worker on its own thread: output names kept apart within one
// render, and a render that goes on to the end while the sequence it came
// from is changed under it. The render queue around it: the thread and the
// worker's lifetime through a render, a cancel and the queue's deletion, the
// starts it refuses, and the figures it keeps.
class RenderManagerTest : public QObject
{
    Q_OBJECT

private:
    QString m_clip;
    std::unique_ptr<QOffscreenSurface> m_surface;

    // Small quick movies into `destination`; the settings copy what they
    // point to, so the locals may go once the render has started.
    static t_OutputSettings movieSettings(QString* destination, EncoderSettings* encoder, const QSize& size)
    {
        t_OutputSettings settings;
        OutputSettings::fill(&settings, H264Preview, destination, encoder, size, StretchToFit, false);
        return settings;
    }

    static QList<const SequenceItem*>* snapshots(const QList<const SequenceItem*>& items)
    {
        auto* list = new QList<const SequenceItem*>;
        for (const SequenceItem* item : items)
            list->append(item->snapshot());
        return list;
    }

    QOffscreenSurface* surface()
    {
        if (!m_surface) {
            m_surface = std::make_unique<QOffscreenSurface>();
            OffscreenGLContext::requestCoreFormat(m_surface.get());
            m_surface->create();
        }
        return m_surface.get();
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(RenderQueueSupport::useFilmDataAndClip(&m_clip, &why), qPrintable(why));
    }

    // Same names from two folders, one file twice, and names that differ
    // only in the extension the movie replaces: every output is different,
    // the first keeps its name, and the source records are not touched.
    void uniqueOutputNames_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("movies") << int(H264Preview)
                                << QStringList { "clip.mov", "clip_2.mov", "clip_3.mov", "clip_4.mov", "other.mov" };
        QTest::newRow("tiff") << int(TiffSequence) << QStringList { "clip", "clip_2", "clip_3", "clip_4", "other" };
    }

    void uniqueOutputNames()
    {
        QFETCH(int, format);
        QFETCH(QStringList, expected);
        const QString root = Test::makeTempFolder(QStringLiteral("names"));
        AssetMetadata* a = RenderQueueSupport::describe(RenderQueueSupport::copyAs(m_clip, root + "/a", "clip.mp4"));
        AssetMetadata* b = RenderQueueSupport::describe(RenderQueueSupport::copyAs(m_clip, root + "/b", "clip.mp4"));
        AssetMetadata* c = RenderQueueSupport::describe(RenderQueueSupport::copyAs(m_clip, root + "/c", "clip.MOV"));
        AssetMetadata* d = RenderQueueSupport::describe(RenderQueueSupport::copyAs(m_clip, root + "/d", "other.mp4"));
        QVERIFY(a && b && c && d);

        ClipSettings grade;
        SequenceItem itemA(a, &grade, 0, 10);
        SequenceItem itemB(b, &grade, 0, 10);
        SequenceItem itemA2(a, &grade, 5, 20);
        SequenceItem itemC(c, &grade, 0, 10);
        SequenceItem itemD(d, &grade, 0, 10);
        const QList<const SequenceItem*> order { &itemA, &itemB, &itemA2, &itemC, &itemD };
        auto* items = new QList<const SequenceItem*>;
        for (const SequenceItem* item : order)
            items->append(item->snapshot());

        QString destination = root + "/out";
        EncoderSettings encoder;
        t_OutputSettings settings;
        OutputSettings::fill(&settings, format, &destination, &encoder, QSize(320, 180), StretchToFit, false);
        RenderManager manager(items, settings, nullptr);
        QCOMPARE(manager.totalFrames(), 10 + 10 + 15 + 10 + 10);
        for (int i = 0; i < order.size(); ++i) {
            const QUuid uuid = order.at(i)->uuid;
            QCOMPARE(manager.outputName(uuid), expected.at(i));
            QCOMPARE(manager.outputPath(uuid), destination + "/" + expected.at(i));
            QCOMPARE(manager.outputRenamed(uuid), expected.at(i).contains('_'));
        }
        QCOMPARE(a->name, QStringLiteral("clip.mp4"));
        QCOMPARE(c->name, QStringLiteral("clip.MOV"));
    }

    // Two short clips from start to end: the output names come before the
    // thread starts, the total at once; at the end the thread has finished,
    // the worker is gone, and the figures hold the whole render: all frames,
    // its time (no longer growing) and the average over it. The same queue
    // then renders again.
    void queueRendersToTheEnd()
    {
        const QString root = Test::makeTempFolder(QStringLiteral("queue-end"));
        const QString second = RenderQueueSupport::copyAs(m_clip, root + "/src", "second.mp4");
        ClipSettings grade;
        SequenceItem a(RenderQueueSupport::describe(m_clip), &grade, 0, 12);
        SequenceItem b(RenderQueueSupport::describe(second), &grade, 4, 12);
        QString destination = root + "/out";
        QVERIFY(QDir().mkpath(destination));
        EncoderSettings encoder;
        RenderQueue queue;
        QSignalSpy outputs(&queue, &RenderQueue::outputAssigned);
        QSignalSpy ranges(&queue, &RenderQueue::totalRangeChanged);
        QSignalSpy finished(&queue, &RenderQueue::finished);
        QHash<QUuid, int> last;
        connect(
            &queue, &RenderQueue::itemProgressUpdated, this, [&last](QUuid uuid, int value) { last[uuid] = value; });
        QElapsedTimer measured;
        measured.start();

        QVERIFY(queue.start(snapshots({ &a, &b }), movieSettings(&destination, &encoder, QSize(320, 180)), surface()));
        QVERIFY(queue.isRendering() && queue.worker() && !queue.isCanceling());
        QCOMPARE(outputs.size(), 2);
        QCOMPARE(outputs.at(0).at(0).value<QUuid>(), a.uuid);
        QCOMPARE(outputs.at(1).at(2).toString(), destination + "/second.mov");
        QCOMPARE(ranges.size(), 1);
        QCOMPARE(ranges.first(), (QVariantList { 0, 20 }));
        QCOMPARE(queue.totalFrames(), 20);

        QVERIFY(finished.wait(300000));
        const qint64 wall = measured.elapsed();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toBool(), false);
        QVERIFY(!queue.isRendering() && !queue.worker() && !queue.wasCanceled());
        QVERIFY(queue.workerThread()->isFinished());
        QCOMPARE(last.value(a.uuid), -42);
        QCOMPARE(last.value(b.uuid), -42);
        QCOMPARE(RenderQueueSupport::movieFrameCount(outputs.at(0).at(2).toString()), 12);
        QCOMPARE(RenderQueueSupport::movieFrameCount(destination + "/second.mov"), 8);
        QCOMPARE(queue.framesDone(), 20);
        const qint64 elapsed = queue.elapsedMs();
        QVERIFY(elapsed > 0 && elapsed <= wall);
        QElapsedTimer pause;
        pause.start();
        while (!pause.hasExpired(3)) { }
        QCOMPARE(queue.elapsedMs(), elapsed);
        QCOMPARE(queue.averageFramesPerSecond(), 20 * 1000.0 / double(elapsed));

        SequenceItem again(RenderQueueSupport::describe(m_clip), &grade, 0, 4);
        QVERIFY(queue.start(snapshots({ &again }), movieSettings(&destination, &encoder, QSize(320, 180)), surface()));
        QCOMPARE(queue.framesDone(), 0);
        QVERIFY(finished.wait(300000));
        QCOMPARE(queue.framesDone(), 4);
        QCOMPARE(last.value(again.uuid), -42);
    }

    // A long clip stopped after its first frames, by a cancel or by deleting
    // the queue: the worker lives on until its thread has finished and is
    // then deleted once; the partial movie is removed and the next clip never
    // starts. A cancel is seen as canceling until finished(true).
    void queueStopsMidRender_data()
    {
        QTest::addColumn<bool>("deleteQueue");
        QTest::newRow("cancel") << false;
        QTest::newRow("queue deleted") << true;
    }

    void queueStopsMidRender()
    {
        QFETCH(bool, deleteQueue);
        const QString longClip = TestMedia::instance().path(TestMedia::H264Limited1080p25);
        QVERIFY(!longClip.isEmpty());
        ClipSettings grade;
        SequenceItem a(RenderQueueSupport::describe(longClip), &grade, 0, 50);
        SequenceItem b(RenderQueueSupport::describe(m_clip), &grade, 0, 30);
        QString destination = Test::makeTempFolder(QStringLiteral("queue-stop"));
        EncoderSettings encoder;
        auto queue = std::make_unique<RenderQueue>();
        QSignalSpy finished(queue.get(), &RenderQueue::finished);
        QVERIFY(queue->start(snapshots({ &a, &b }), movieSettings(&destination, &encoder, QSize(640, 360)), surface()));
        RenderManager* worker = queue->worker();
        const QThread* thread = queue->workerThread();
        QVERIFY(worker);
        int deletions = 0;
        bool threadFinishedAtDeletion = false;
        connect(worker, &QObject::destroyed, this, [&] {
            ++deletions;
            threadFinishedAtDeletion = thread->isFinished();
        });
        QHash<QUuid, int> last;
        bool stopped = false;
        bool cancelingSeen = false;
        bool aliveWhileCanceling = false;
        connect(queue.get(), &RenderQueue::itemProgressUpdated, this, [&](QUuid uuid, int value) {
            last[uuid] = value;
            if (stopped || value < 2)
                return;
            stopped = true;
            if (deleteQueue) {
                // Not from within the queue's own signal.
                QTimer::singleShot(0, this, [&queue] { queue.reset(); });
                return;
            }
            queue->cancel();
            cancelingSeen = queue->isCanceling();
            aliveWhileCanceling = queue->isRendering() && queue->worker() == worker;
        });

        QTRY_VERIFY_WITH_TIMEOUT(deletions == 1, 300000);
        QVERIFY(stopped);
        QVERIFY(threadFinishedAtDeletion);
        QVERIFY(!last.contains(b.uuid));
        QCOMPARE(QDir(destination).entryList({ "*.mov" }, QDir::Files), QStringList());
        if (deleteQueue) {
            QVERIFY(!queue);
            return;
        }
        QVERIFY(cancelingSeen && aliveWhileCanceling);
        QCOMPARE(last.value(a.uuid), -1);
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toBool(), true);
        QVERIFY(queue->wasCanceled() && !queue->isCanceling() && !queue->isRendering());
        QVERIFY(queue->framesDone() >= 2 && queue->framesDone() < 50);
    }

    // A start with nothing to render, or while a render runs or is being
    // canceled, is refused and changes nothing: the running render goes on
    // with the same worker and the refused clip is never rendered.
    void queueRefusesStarts_data()
    {
        QTest::addColumn<int>("running");
        QTest::addColumn<int>("items");
        enum
        {
            Idle,
            Rendering,
            Canceling
        };
        QTest::newRow("no list") << int(Idle) << -1;
        QTest::newRow("empty list") << int(Idle) << 0;
        QTest::newRow("while rendering") << int(Rendering) << 1;
        QTest::newRow("while canceling") << int(Canceling) << 1;
    }

    void queueRefusesStarts()
    {
        QFETCH(int, running);
        QFETCH(int, items);
        const QString longClip = TestMedia::instance().path(TestMedia::H264Limited1080p25);
        QVERIFY(!longClip.isEmpty());
        QString destination = Test::makeTempFolder(QStringLiteral("queue-refused"));
        const QString refusedClip = RenderQueueSupport::copyAs(m_clip, destination + "/src", "refused.mp4");
        ClipSettings grade;
        SequenceItem first(RenderQueueSupport::describe(longClip), &grade, 0, 50);
        SequenceItem refused(RenderQueueSupport::describe(refusedClip), &grade, 0, 6);
        EncoderSettings encoder;
        const t_OutputSettings settings = movieSettings(&destination, &encoder, QSize(640, 360));
        RenderQueue queue;
        QSignalSpy finished(&queue, &RenderQueue::finished);
        QSignalSpy ranges(&queue, &RenderQueue::totalRangeChanged);
        QList<QUuid> reported;
        connect(&queue, &RenderQueue::itemProgressUpdated, this, [&reported](QUuid uuid) { reported << uuid; });
        if (running != Idle)
            QVERIFY(queue.start(snapshots({ &first }), settings, surface()));
        if (running == Canceling)
            queue.cancel();
        RenderManager* worker = queue.worker();
        const int rangesBefore = ranges.size();

        QList<const SequenceItem*>* list = nullptr;
        if (items >= 0)
            list = snapshots(items > 0 ? QList<const SequenceItem*> { &refused } : QList<const SequenceItem*> {});
        QVERIFY(!queue.start(list, settings, surface()));
        QCOMPARE(queue.isRendering(), running != Idle);
        QCOMPARE(queue.isCanceling(), running == Canceling);
        QCOMPARE(queue.worker(), worker);
        QCOMPARE(ranges.size(), rangesBefore);
        if (running == Idle)
            return;
        queue.cancel();
        QVERIFY(finished.wait(300000));
        QVERIFY(!reported.contains(refused.uuid));
        QVERIFY(!QFile::exists(destination + "/refused.mov"));
    }

    // The list is made of snapshot copies: removing the items, undoing, and
    // opening a project (which clears the sequence and deletes its grades)
    // while the worker renders neither crashes nor stops the render, and every
    // movie holds all of its frames.
    void modelChangesDuringRender()
    {
        CameraListHelper catalogue;
        FilmLibrary library;
        auto model = std::make_unique<Model>(nullptr, &catalogue, &library);
        QMutex mutex;
        QList<const SequenceItem*>* received = nullptr;
        connect(
            model.get(), &Model::sequenceItemsReadyToBeRender, model.get(),
            [&](QList<const SequenceItem*>* items) {
                QMutexLocker locker(&mutex);
                received = items;
            },
            Qt::DirectConnection);
        auto runner = std::make_unique<CommandRunner>(model.get());
        const QList<TestMedia::Clip> clips { TestMedia::NoAudio, TestMedia::H264FullRange, TestMedia::ProResMov };
        for (TestMedia::Clip clip : clips)
            runner->post(new PathTask(AddShot, TestMedia::instance().path(clip)));
        QVERIFY(runner->waitIdle());
        QCOMPARE(model->sequence().size(), clips.size());
        const QString root = Test::makeTempFolder(QStringLiteral("model-changes"));
        const QString project = root + "/project.empf";
        runner->post(new PathTask(SaveProject, project));
        QList<QByteArray> ids;
        QList<qint64> lengths;
        for (const SequenceItem* item : model->sequence()) {
            ids << Model::itemId(item);
            lengths << item->lengthInFrames();
        }
        runner->post(new ItemIdListTask(ItemsForRender, ids));
        QVERIFY(runner->waitIdle());
        QVERIFY(QFile::exists(project));
        QList<const SequenceItem*>* items = nullptr;
        {
            QMutexLocker locker(&mutex);
            items = received;
        }
        QVERIFY(items);
        QCOMPARE(items->size(), clips.size());

        QOffscreenSurface surface;
        OffscreenGLContext::requestCoreFormat(&surface);
        surface.create();
        QString destination = root + "/out";
        QDir().mkpath(destination);
        EncoderSettings encoder;
        t_OutputSettings settings;
        OutputSettings::fill(&settings, H264Preview, &destination, &encoder, QSize(320, 180), StretchToFit, false);
        QThread thread;
        auto* manager = new RenderManager(items, settings, &surface);
        QHash<QUuid, int> last;
        int framesReported = 0;
        bool finished = false;
        connect(
            manager, &RenderManager::singleProgressUpdated, this,
            [&](QUuid uuid, int value) {
                last[uuid] = value;
                if (value > 0)
                    ++framesReported;
            },
            Qt::QueuedConnection);
        connect(
            manager, &RenderManager::finishedAll, this, [&] { finished = true; }, Qt::QueuedConnection);
        manager->moveToThread(&thread);
        connect(&thread, &QThread::started, manager, &RenderManager::run);
        thread.start();

        QTRY_VERIFY_WITH_TIMEOUT(framesReported > 0, 120000);
        for (const QByteArray& id : ids)
            runner->post(new ItemIdTask(RemoveShot, id));
        runner->post(new BaseTask(Undo));
        ProjectLoader loader([&](BaseTask* command) { runner->post(command); }, &library, &catalogue);
        QCOMPARE(loader.load(project), ProjectLoader::Outcome::Loaded);
        QVERIFY(runner->waitIdle());
        QVERIFY(!finished);

        QTRY_VERIFY_WITH_TIMEOUT(finished, 300000);
        thread.quit();
        QVERIFY(thread.wait(60000));
        QStringList outputs;
        QList<QUuid> uuids;
        for (const QByteArray& id : ids)
            uuids << QUuid(QString::fromLatin1(id));
        for (const QUuid& uuid : uuids)
            outputs << manager->outputPath(uuid);
        delete manager;
        runner.reset();

        for (int i = 0; i < uuids.size(); ++i) {
            QCOMPARE(last.value(uuids.at(i)), -42);
            QCOMPARE(RenderQueueSupport::movieFrameCount(outputs.at(i)), int(lengths.at(i)));
        }
    }
};

int main(int argc, char** argv)
{
    Emulsa::Test::isolateUserFolders();
    QApplication app(argc, argv);
    Emulsa::Test::setApplicationIdentity();
    Model::registerMetaTypes();
    RenderManagerTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_rendermanager.moc"
