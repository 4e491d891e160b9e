#pragma once

#include <QMutex>

#if defined(__SANITIZE_THREAD__)
#define EMULSA_TSAN_ANNOTATIONS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define EMULSA_TSAN_ANNOTATIONS 1
#endif
#endif

#ifdef EMULSA_TSAN_ANNOTATIONS
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace Emulsa {

// QMutexLocker that also tells ThreadSanitizer about the lock. Qt's mutexes
// wait on futexes the sanitizer does not see, so without the annotations it
// reports every access the mutex orders as a race. Outside sanitizer builds
// it is a plain QMutexLocker.
class AnnotatedMutexLocker
{
public:
    explicit AnnotatedMutexLocker(QMutex* mutex)
        : m_mutex(mutex)
    {
        relock();
    }
    ~AnnotatedMutexLocker() { unlock(); }

    AnnotatedMutexLocker(const AnnotatedMutexLocker&) = delete;
    AnnotatedMutexLocker& operator=(const AnnotatedMutexLocker&) = delete;

    void unlock()
    {
        if (!m_locked)
            return;
#ifdef EMULSA_TSAN_ANNOTATIONS
        __tsan_release(m_mutex);
#endif
        m_mutex->unlock();
        m_locked = false;
    }

    void relock()
    {
        if (m_locked)
            return;
        m_mutex->lock();
#ifdef EMULSA_TSAN_ANNOTATIONS
        __tsan_acquire(m_mutex);
#endif
        m_locked = true;
    }

private:
    QMutex* m_mutex;
    bool m_locked = false;
};

} // namespace Emulsa
