#include "common/TestEnvironment.h"

#include "CommandRunner.h"
#include "app/TaskManager.h"
#include "core/AnnotatedMutexLocker.h"
#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "model/Model.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

using namespace Emulsa;
using Emulsa::Test::CommandRunner;

namespace {

constexpr quint32 numberedType = 0x7FFF0010;

// A numbered command; the handler sleeps for `sleepMs` and records its number.
struct NumberedTask : BaseTask
{
    NumberedTask(int number, int sleepMs = 0, std::atomic<int>* deleted = nullptr)
        : BaseTask(numberedType)
        , number(number)
        , sleepMs(sleepMs)
        , deleted(deleted)
    {
    }
    ~NumberedTask() override
    {
        if (deleted)
            ++*deleted;
    }
    int number;
    int sleepMs;
    std::atomic<int>* deleted;
};

struct RunLog
{
    QMutex mutex;
    QList<int> numbers;
    QList<Qt::HANDLE> threads;

    QList<int> take()
    {
        AnnotatedMutexLocker locker(&mutex);
        QList<int> taken;
        taken.swap(numbers);
        return taken;
    }
};

void registerNumbered(Model* model, RunLog* log)
{
    model->commands().registerHandler(numberedType, [log](Model& m, BaseTask* command, char) -> BaseTask* {
        auto* task = static_cast<NumberedTask*>(command);
        if (task->sleepMs > 0)
            QThread::msleep(task->sleepMs);
        {
            AnnotatedMutexLocker locker(&log->mutex);
            log->numbers.append(task->number);
            log->threads.append(QThread::currentThreadId());
        }
        m.disposeCommand(command);
        return nullptr;
    });
}

// A task manager with its own queue, moved to its own thread (not started),
// which runs it once started; destroyed manager first, then the thread.
struct Worker
{
    explicit Worker(Model* model)
        : manager(model)
    {
        manager.setQueue(&queue, &mutex, &condition);
        manager.moveToThread(&thread);
        QObject::connect(&thread, &QThread::started, &manager, &TaskManager::run);
    }

    QList<BaseTask*> queue;
    QMutex mutex;
    QWaitCondition condition;
    QThread thread;
    TaskManager manager;
};

} // namespace

class TaskManagerTest : public QObject
{
    Q_OBJECT

private:
    CameraListHelper m_catalogue;
    FilmLibrary m_library;

    Model* makeModel() { return new Model(nullptr, &m_catalogue, &m_library); }

private slots:
    // Commands queued while a slow one runs are run afterwards, in the order
    // they were queued, on the worker thread; null entries are skipped.
    void runsCommandsFirstInFirstOut()
    {
        QScopedPointer<Model> model(makeModel());
        RunLog log;
        registerNumbered(model.data(), &log);
        CommandRunner runner(model.data());

        runner.post(new NumberedTask(0, 300));
        QThread::msleep(50); // the slow command is running now
        QList<int> expected { 0 };
        for (int i = 1; i <= 40; ++i) {
            if (i % 7 == 0)
                runner.post(nullptr);
            runner.post(new NumberedTask(i));
            expected.append(i);
        }
        QVERIFY(runner.waitIdle());
        QCOMPARE(log.take(), expected);
        for (Qt::HANDLE thread : qAsConst(log.threads))
            QVERIFY(thread != QThread::currentThreadId());
    }

    // A wake-up with nothing queued sends the worker back to waiting; the
    // next command still runs.
    void wakeWithEmptyQueueKeepsWaiting()
    {
        QScopedPointer<Model> model(makeModel());
        RunLog log;
        registerNumbered(model.data(), &log);
        Worker worker(model.data());
        auto& [queue, mutex, condition, thread, manager] = worker;
        thread.start();
        for (int i = 0; i < 20; ++i) {
            {
                AnnotatedMutexLocker locker(&mutex);
                condition.wakeAll();
            }
            QThread::msleep(1);
        }
        QVERIFY(thread.isRunning());
        QVERIFY(manager.isRunning());
        manager.post(new NumberedTask(7));
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10000) {
            QThread::msleep(2);
            AnnotatedMutexLocker locker(&log.mutex);
            if (!log.numbers.isEmpty())
                break;
        }
        manager.stop();
        QVERIFY(thread.wait(10000));
        QCOMPARE(log.take(), QList<int> { 7 });
    }

    // Stopping lets the running command finish and leaves the rest queued,
    // owned by whoever owns the queue.
    void stopLeavesTheRestQueued()
    {
        QScopedPointer<Model> model(makeModel());
        RunLog log;
        registerNumbered(model.data(), &log);
        std::atomic<int> deleted { 0 };
        {
            CommandRunner runner(model.data());
            runner.post(new NumberedTask(1, 200, &deleted));
            runner.post(new NumberedTask(2, 0, &deleted));
            runner.post(new NumberedTask(3, 0, &deleted));
            QThread::msleep(50);
            QVERIFY(runner.stop());
            QCOMPARE(log.take(), QList<int> { 1 });
            QCOMPARE(deleted.load(), 1);
            QVERIFY(!runner.manager()->isRunning());
        } // the runner discards what is left
        QCOMPARE(deleted.load(), 3);
    }

    // The owner starts and stops the worker many times, with and without
    // commands and before the thread even started: it always ends.
    void startStopCyclesNeverHang()
    {
        QScopedPointer<Model> model(makeModel());
        RunLog log;
        registerNumbered(model.data(), &log);
        int posted = 0;
        for (int cycle = 0; cycle < 1000; ++cycle) {
            Worker worker(model.data());
            auto& [queue, mutex, condition, thread, manager] = worker;
            const int kind = cycle % 4;
            if (kind == 0)
                manager.stop(); // stopped before it runs
            thread.start();
            if (kind == 1) {
                manager.post(new NumberedTask(cycle));
                ++posted;
            }
            if (kind == 2)
                QThread::yieldCurrentThread();
            manager.stop();
            if (!thread.wait(10000))
                QFAIL(qPrintable(QStringLiteral("cycle %1 did not stop").arg(cycle)));
            manager.discardQueued();
        }
        // A command posted before the stop may or may not have run; none ran twice.
        const QList<int> ran = log.take();
        QVERIFY(ran.size() <= posted);
        QCOMPARE(QSet<int>(ran.begin(), ran.end()).size(), ran.size());
    }
};

EMULSA_TEST_MAIN(TaskManagerTest)
#include "tst_taskmanager.moc"
