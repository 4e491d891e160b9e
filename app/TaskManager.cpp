#include "app/TaskManager.h"

#include "core/AnnotatedMutexLocker.h"
#include "model/Model.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

namespace Emulsa {

namespace {

// Waits on the condition with the mutex the locker holds. The wait releases
// and takes the mutex again; the sanitizer is told so.
void waitOn(QWaitCondition* condition, QMutex* mutex)
{
#ifdef EMULSA_TSAN_ANNOTATIONS
    __tsan_release(mutex);
#endif
    condition->wait(mutex);
#ifdef EMULSA_TSAN_ANNOTATIONS
    __tsan_acquire(mutex);
#endif
}

} // namespace

TaskManager::TaskManager(Model* model, QObject* parent)
    : QObject(parent)
    , m_model(model)
{
}

void TaskManager::setQueue(QList<BaseTask*>* queue, QMutex* mutex, QWaitCondition* condition)
{
    m_queue = queue;
    m_mutex = mutex;
    m_condition = condition;
}

void TaskManager::post(BaseTask* command)
{
    AnnotatedMutexLocker locker(m_mutex);
    m_queue->append(command);
    m_condition->wakeAll();
}

void TaskManager::stop()
{
    {
        AnnotatedMutexLocker locker(m_mutex);
        m_running = false;
        m_condition->wakeAll();
    }
    QThread* worker = thread();
    if (worker && (!QCoreApplication::instance() || worker != QCoreApplication::instance()->thread()))
        worker->requestInterruption();
}

bool TaskManager::isRunning() const
{
    AnnotatedMutexLocker locker(m_mutex);
    return m_running;
}

void TaskManager::discardQueued()
{
    QList<BaseTask*> left;
    {
        AnnotatedMutexLocker locker(m_mutex);
        left.swap(*m_queue);
    }
    qDeleteAll(left);
}

void TaskManager::run()
{
    qDebug() << "TaskManager is running";
    AnnotatedMutexLocker locker(m_mutex);
    while (m_running) {
        if (m_queue->isEmpty()) {
            waitOn(m_condition, m_mutex);
            continue;
        }
        BaseTask* command = m_queue->takeFirst();
        if (!command)
            continue;
        locker.unlock();
        m_model->runCommands(command, NewCommand);
        locker.relock();
    }
    locker.unlock();
    // The task thread has nothing else to do: its event loop ends too, so that
    // the owner's wait for the thread returns.
    QThread* worker = QThread::currentThread();
    if (!QCoreApplication::instance() || worker != QCoreApplication::instance()->thread())
        worker->quit();
}

} // namespace Emulsa
