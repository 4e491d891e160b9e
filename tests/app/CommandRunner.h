#pragma once

#include "app/TaskManager.h"
#include "model/BaseTask.h"

#include <QList>
#include <QMutex>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>

namespace Emulsa {
class Model;
}

namespace Emulsa::Test {

// Drives a model the way the application does: a task manager on its own
// thread working off a queue of commands.
class CommandRunner
{
public:
    // A command type of the tests' own family.
    static constexpr quint32 idleMarkerType = 0x7FFF0001;

    explicit CommandRunner(Model* model);
    ~CommandRunner();

    void post(BaseTask* command);
    // Waits until every command posted before has run, keeping the
    // application's event loop going unless told not to. False on time-out.
    bool waitIdle(int timeoutMs = 60000, bool processEvents = true);
    // Stops the worker and waits for its thread; false when it did not end
    // within the time.
    bool stop(int timeoutMs = 10000);

    TaskManager* manager() { return m_manager; }

private:
    QList<BaseTask*> m_queue;
    QMutex m_mutex;
    QWaitCondition m_condition;
    QThread m_thread;
    TaskManager* m_manager = nullptr;
    QMutex m_idleMutex;
    quint64 m_idleCount = 0;
    quint64 m_markerCount = 0;
};

// Records, in order and as text, the model's signals that the tests check.
// Connected directly, so it records on the worker thread as they are emitted;
// read it once the worker is idle.
class SignalLog
{
public:
    explicit SignalLog(Model* model);
    QStringList take();
    QStringList entries() const;
    int count(const QString& prefix) const;

private:
    void add(const QString& entry);
    mutable QMutex m_mutex;
    QStringList m_entries;
};

} // namespace Emulsa::Test
