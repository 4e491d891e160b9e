#include "common/RenderQueueSupport.h"
#include "common/TestEnvironment.h"
#include "common/TestMedia.h"

#include "CommandRunner.h"
#include "app/RenderManager.h"
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

#include <memory>

using namespace Emulsa;
using Emulsa::Test::CommandRunner;
using Emulsa::Test::RenderQueueSupport;
using Emulsa::Test::TestMedia;

// The render worker on its own thread: output names kept apart within one
// render, and a render that goes on to the end while the sequence it came
// from is changed under it.
class RenderManagerTest : public QObject
{
    Q_OBJECT

private:
    QString m_clip;

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
        m_clip = TestMedia::instance().path(TestMedia::NoAudio);
        QVERIFY2(!m_clip.isEmpty(), "ffmpeg could not make the test clip");
    }

    void suffixedName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        QTest::newRow("extension") << "A001.MP4" << 2 << "A001_2.MP4";
        QTest::newRow("two dots") << "a.b.mov" << 3 << "a.b_3.mov";
        QTest::newRow("no extension") << "clip" << 2 << "clip_2";
        QTest::newRow("leading dot") << ".hidden" << 2 << ".hidden_2";
    }

    void suffixedName()
    {
        QFETCH(QString, name);
        QFETCH(int, n);
        QFETCH(QString, expected);
        QCOMPARE(RenderManager::suffixedName(name, n), expected);
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
