#pragma once

#include "core/AnnotatedMutexLocker.h"

namespace Emulsa {

// An object made or changed on one thread and then read on another, its
// pointer carried by a queued signal. Qt's event queue orders the two, with a
// lock inside Qt that ThreadSanitizer does not see: the sender calls
// handOver() just before the emit, the receiving slot takeOver() before it
// reads. Changes made after the hand-over are not covered and still show as
// races. Outside sanitizer builds both do nothing.
inline void handOver(const void* object)
{
#ifdef EMULSA_TSAN_ANNOTATIONS
    __tsan_release(const_cast<void*>(object));
#else
    (void)object;
#endif
}

inline void takeOver(const void* object)
{
#ifdef EMULSA_TSAN_ANNOTATIONS
    __tsan_acquire(const_cast<void*>(object));
#else
    (void)object;
#endif
}

} // namespace Emulsa
