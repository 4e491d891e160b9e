// ThreadSanitizer build only: makes Qt's mutexes, wait conditions, thread
// ends and thread-pool tasks visible to the sanitizer.
//
// Qt is not built with the sanitizer, and its mutexes lock with atomics and
// futex calls inside libQt5Core that the sanitizer never sees. Without help it
// reports every access that a QMutex orders as a race. This library defines
// the exported locking functions our code calls, tells the sanitizer about the
// acquire or release, and forwards to Qt's own function (found with
// RTLD_NEXT). It is linked ahead of Qt into every program of a ThreadSanitizer
// build, so calls from our code reach it; Qt's calls to itself do not.

#include <QDeadlineTimer>
#include <QFutureInterfaceBase>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);

namespace {

template<typename F> F qtFunction(const char* mangledName)
{
    void* address = dlsym(RTLD_NEXT, mangledName);
    if (!address) {
        std::fprintf(stderr, "QtSyncForTsan: %s not found in Qt\n", mangledName);
        std::abort();
    }
    return reinterpret_cast<F>(address);
}

} // namespace

void QMutex::lock() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = qtFunction<void (*)(QMutex*)>("_ZN6QMutex4lockEv");
    real(this);
    __tsan_acquire(this);
}

bool QMutex::tryLock(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = qtFunction<bool (*)(QMutex*, int)>("_ZN6QMutex7tryLockEi");
    const bool locked = real(this, timeout);
    if (locked)
        __tsan_acquire(this);
    return locked;
}

void QMutex::unlock() noexcept
{
    static const auto real = qtFunction<void (*)(QMutex*)>("_ZN6QMutex6unlockEv");
    __tsan_release(this);
    real(this);
}

// QBasicMutex::lock()/unlock() are inline: their uncontended atomics are
// compiled into our code and seen; the contended paths call these.
void QBasicMutex::lockInternal() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = qtFunction<void (*)(QBasicMutex*)>("_ZN11QBasicMutex12lockInternalEv");
    real(this);
    __tsan_acquire(this);
}

bool QBasicMutex::lockInternal(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = qtFunction<bool (*)(QBasicMutex*, int)>("_ZN11QBasicMutex12lockInternalEi");
    const bool locked = real(this, timeout);
    if (locked)
        __tsan_acquire(this);
    return locked;
}

void QBasicMutex::unlockInternal() noexcept
{
    static const auto real = qtFunction<void (*)(QBasicMutex*)>("_ZN11QBasicMutex14unlockInternalEv");
    __tsan_release(this);
    real(this);
}

// A wait unlocks the mutex and locks it again before it returns.
bool QWaitCondition::wait(QMutex* lockedMutex, QDeadlineTimer deadline)
{
    static const auto real = qtFunction<bool (*)(QWaitCondition*, QMutex*, QDeadlineTimer)>(
        "_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer");
    __tsan_release(lockedMutex);
    const bool woken = real(this, lockedMutex, deadline);
    __tsan_acquire(lockedMutex);
    return woken;
}

bool QWaitCondition::wait(QMutex* lockedMutex, unsigned long time)
{
    static const auto real
        = qtFunction<bool (*)(QWaitCondition*, QMutex*, unsigned long)>("_ZN14QWaitCondition4waitEP6QMutexm");
    __tsan_release(lockedMutex);
    const bool woken = real(this, lockedMutex, time);
    __tsan_acquire(lockedMutex);
    return woken;
}

// A thread's last work happens before a wait for it returns true. Qt signals
// the end inside libQt5Core; our threads end by calling quit() or exit() from
// their own code, which is where the release is recorded.
void QThread::exit(int returnCode)
{
    static const auto real = qtFunction<void (*)(QThread*, int)>("_ZN7QThread4exitEi");
    __tsan_release(this);
    real(this, returnCode);
}

void QThread::quit()
{
    static const auto real = qtFunction<void (*)(QThread*)>("_ZN7QThread4quitEv");
    __tsan_release(this);
    real(this);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    static const auto real = qtFunction<bool (*)(QThread*, QDeadlineTimer)>("_ZN7QThread4waitE14QDeadlineTimer");
    const bool ended = real(this, deadline);
    if (ended)
        __tsan_acquire(this);
    return ended;
}

bool QThread::wait(unsigned long time)
{
    static const auto real = qtFunction<bool (*)(QThread*, unsigned long)>("_ZN7QThread4waitEm");
    const bool ended = real(this, time);
    if (ended)
        __tsan_acquire(this);
    return ended;
}

// QtConcurrent::run: the task is built on the calling thread, then handed to
// a pool thread through the pool's queue (a QMutex inside Qt). The inline task
// code calls reportStarted() after building it and isCanceled() first thing
// on the pool thread; the result is published by reportFinished() and read
// after waitForFinished() or a true isFinished(). A future and its task are
// different objects sharing one private state; its mutex names that state.
void QFutureInterfaceBase::reportStarted()
{
    static const auto real = qtFunction<void (*)(QFutureInterfaceBase*)>("_ZN20QFutureInterfaceBase13reportStartedEv");
    __tsan_release(mutex());
    real(this);
}

bool QFutureInterfaceBase::isCanceled() const
{
    static const auto real
        = qtFunction<bool (*)(const QFutureInterfaceBase*)>("_ZNK20QFutureInterfaceBase10isCanceledEv");
    __tsan_acquire(mutex());
    return real(this);
}

void QFutureInterfaceBase::reportFinished()
{
    static const auto real = qtFunction<void (*)(QFutureInterfaceBase*)>("_ZN20QFutureInterfaceBase14reportFinishedEv");
    __tsan_release(mutex());
    real(this);
}

void QFutureInterfaceBase::waitForFinished()
{
    static const auto real
        = qtFunction<void (*)(QFutureInterfaceBase*)>("_ZN20QFutureInterfaceBase15waitForFinishedEv");
    real(this);
    __tsan_acquire(mutex());
}

bool QFutureInterfaceBase::isFinished() const
{
    static const auto real
        = qtFunction<bool (*)(const QFutureInterfaceBase*)>("_ZNK20QFutureInterfaceBase10isFinishedEv");
    const bool finished = real(this);
    if (finished)
        __tsan_acquire(mutex());
    return finished;
}
