#pragma once
// A mutex, its scoped lock and a thread role that Clang's thread-safety
// analysis understands (-Wthread-safety): members marked VUX_GUARDED_BY(m)
// may be touched only while `m` is held, and functions state what they need
// held (VUX_REQUIRES) or must not hold (VUX_EXCLUDES). The annotations are
// nothing to other compilers. std::mutex carries none in libstdc++, hence
// these thin wrappers.

#include <atomic>
#include <cassert>
#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define VUX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VUX_THREAD_ANNOTATION(x)
#endif

#define VUX_CAPABILITY(name) VUX_THREAD_ANNOTATION(capability(name))
#define VUX_SCOPED_CAPABILITY VUX_THREAD_ANNOTATION(scoped_lockable)
#define VUX_GUARDED_BY(x) VUX_THREAD_ANNOTATION(guarded_by(x))
#define VUX_REQUIRES(...) VUX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define VUX_EXCLUDES(...) VUX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define VUX_ACQUIRE(...) VUX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define VUX_RELEASE(...) VUX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define VUX_TRY_ACQUIRE(...) VUX_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define VUX_NO_THREAD_SAFETY_ANALYSIS VUX_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace vux {

// A std::mutex the analysis knows as a capability. Usually held through
// MutexLock; a function that REQUIRES it may let go of it and take it again.
class VUX_CAPABILITY("mutex") Mutex {
public:
    void Lock() VUX_ACQUIRE() { mutex_.lock(); }
    void Unlock() VUX_RELEASE() { mutex_.unlock(); }
    // Lets go of the mutex until `changed` is notified (or wakes spuriously),
    // then holds it again.
    void Wait(std::condition_variable& changed) VUX_REQUIRES(this) {
        std::unique_lock<std::mutex> held(mutex_, std::adopt_lock);
        changed.wait(held);
        held.release();
    }

private:
    std::mutex mutex_;
};

// Holds a Mutex for its scope; it may be let go of and taken again inside it.
class VUX_SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) VUX_ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
    ~MutexLock() VUX_RELEASE() {
        if (held_) mutex_.Unlock();
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    void Unlock() VUX_RELEASE() {
        mutex_.Unlock();
        held_ = false;
    }
    void Lock() VUX_ACQUIRE() {
        mutex_.Lock();
        held_ = true;
    }

private:
    Mutex& mutex_;
    bool held_ = true;
};

// A role that one thread at a time plays, such as the one thread that reads
// the file: the state the role owns is VUX_GUARDED_BY the role, and who takes
// it is decided under a lock. Costs nothing; debug builds check that no two
// threads hold it at once.
class VUX_CAPABILITY("role") ThreadRole {
public:
    void Take() VUX_ACQUIRE() {
#ifndef NDEBUG
        const bool wasHeld = held_.exchange(true);
        assert(!wasHeld);
#endif
    }
    void Leave() VUX_RELEASE() {
#ifndef NDEBUG
        const bool wasHeld = held_.exchange(false);
        assert(wasHeld);
#endif
    }

private:
#ifndef NDEBUG
    std::atomic<bool> held_{false};
#endif
};
}  // namespace vux
