#include "config/config_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "core/error.h"

namespace vux {
namespace {

// flock failures that only say the file system keeps no such locks.
bool LocksUnsupported(int err) { return err == ENOLCK || err == EOPNOTSUPP || err == EINVAL; }

}  // namespace

ConfigLock::ConfigLock() {
    UniqueFd fd(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) Fail(ErrorKind::LockDirectoryOpen, ".", {errno});
    int rc;
    do {
        rc = ::flock(fd.get(), LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        if (LocksUnsupported(err)) return;  // `fd` closes
        Fail(ErrorKind::LockDirectory, ".", {err});
    }
    fd_ = std::move(fd);
}

ConfigLock::~ConfigLock() = default;

// Closing the only descriptor drops the lock.
void ConfigLock::Release() { fd_.reset(); }
}  // namespace vux
