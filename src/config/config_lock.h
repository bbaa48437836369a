#pragma once
// Serialises the runs that settle, rewrite and read vux_reader.cfg in one
// working directory.

#include "core/unique_fd.h"

namespace vux {

// An exclusive advisory lock (flock) on the working directory itself, held
// while the object lives. No lock file is created; the kernel drops the lock
// with the descriptor, so a run that is killed never leaves it held.
class ConfigLock {
public:
    // Waits until no other run holds the lock, then takes it. Where the file
    // system offers no such locks (flock fails with ENOLCK, EOPNOTSUPP or
    // EINVAL) the run goes on without one and held() is false. Any other
    // failure (the working directory cannot be opened) stops the run with a
    // message naming it and the system's reason (status -1).
    ConfigLock();
    ~ConfigLock();
    ConfigLock(const ConfigLock&) = delete;
    ConfigLock& operator=(const ConfigLock&) = delete;

    // True while the lock is held.
    bool held() const { return static_cast<bool>(fd_); }

    // Releases the lock before the object ends (nothing when not held).
    void Release();

private:
    UniqueFd fd_;  // the working directory, open while the lock is held
};
}  // namespace vux
