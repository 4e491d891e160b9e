#pragma once

#include <QList>
#include <QObject>

class QMutex;
class QWaitCondition;

namespace Emulsa {

class Model;
struct BaseTask;

// The worker that runs the user's commands: on its own thread it takes the
// commands off the controller's queue one at a time, first in first out, and
// hands each to Model::runCommands. A null entry is taken off and skipped.
//
// The queue, its mutex and its condition belong to the controller, which
// fills them in with setQueue(), moves this object to the task thread and
// connects the thread's started() to run(). post() appends and wakes under
// the mutex. stop() clears the running flag and wakes the worker under the
// mutex, so that a wake-up can never fall between the worker's check and its
// wait, and asks the thread to interrupt, which ends a command's wait for
// other threads (adding a clip waits for its description). The command that
// is running finishes; commands still queued stay in the queue, owned by the
// controller (discardQueued() deletes them). When run() ends it quits its
// thread's event loop, so the owner only waits for the thread. A command taken
// off the queue belongs to the model.
class TaskManager : public QObject
{
    Q_OBJECT

public:
    explicit TaskManager(Model* model, QObject* parent = nullptr);

    void setQueue(QList<BaseTask*>* queue, QMutex* mutex, QWaitCondition* condition);

    // Appends a command (null is allowed and skipped) and wakes the worker.
    // Any thread.
    void post(BaseTask* command);
    // Ends run() after the command in progress. Any thread; also before run().
    void stop();
    bool isRunning() const;
    // Deletes the commands left in the queue. Call after the thread ended.
    void discardQueued();

public slots:
    void run();

private:
    QList<BaseTask*>* m_queue = nullptr;
    QMutex* m_mutex = nullptr;
    QWaitCondition* m_condition = nullptr;
    Model* m_model = nullptr;
    // Guarded by m_mutex.
    bool m_running = true;
};

} // namespace Emulsa
