// Marks a hand-over of data from one thread to another through Qt's event
// queue (a queued call). Qt is not built with ThreadSanitizer, so the locking
// inside its queue is invisible to it: the posting thread calls
// handOffRelease(token) before it posts, the receiving thread handOffAcquire(token)
// first thing in the call, on the same token. Empty outside ThreadSanitizer builds.
#pragma once

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);

inline void handOffRelease(const void *token)
{
    __tsan_release(const_cast<void *>(token));
}

inline void handOffAcquire(const void *token)
{
    __tsan_acquire(const_cast<void *>(token));
}
#else
inline void handOffRelease(const void *)
{
}

inline void handOffAcquire(const void *)
{
}
#endif
