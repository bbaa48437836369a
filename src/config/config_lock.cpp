#include "config/config_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "core/error.h"

namespace vux {

namespace {

// flock failures that only say the file system keeps no such locks.
bool LocksUnsupported(int err) { return err == ENOLCK || err == EOPNOTSUPP || err == EINVAL; }

}  // namespace

ConfigLock::ConfigLock() {
    const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        Fail(ErrorKind::LockDirectoryOpen, ".", SystemReason(err));
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        if (LocksUnsupported(err)) return;
        Fail(ErrorKind::LockDirectory, ".", SystemReason(err));
    }
    fd_ = fd;
}

ConfigLock::~ConfigLock() { Release(); }

void ConfigLock::Release() {
    if (fd_ < 0) return;
    ::close(fd_);  // closing the only descriptor drops the lock
    fd_ = -1;
}

}  // namespace vux
