#include "config/config_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <thread>

#include "test_util.h"
#include "support/expect.h"

using namespace vux;

namespace {

using namespace config_test;

// Whether another open file description of the working directory could take
// the lock right now.
bool DirectoryLockFree() {
    const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

// Lets the process hold no more than `count` descriptors (use in a child).
void LimitOpenFiles(rlim_t count) {
    rlimit limit{count, count};
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

using ConfigLockTest = ScratchDirTest;

TEST_F(ConfigLockTest, HeldWhileAliveReleasedByReleaseOrScopeAndLeavesNoFile) {
    {
        ConfigLock lock;
        EXPECT_TRUE(lock.held());
        EXPECT_FALSE(DirectoryLockFree());
        lock.Release();
        EXPECT_FALSE(lock.held());
        EXPECT_TRUE(DirectoryLockFree());
        lock.Release();  // a second release does nothing
    }
    {
        ConfigLock lock;
        EXPECT_FALSE(DirectoryLockFree());
    }
    EXPECT_TRUE(DirectoryLockFree());
    EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(ConfigLockTest, ASecondLockWaitsUntilTheFirstLetsGo) {
    // Two locks of one process conflict as two runs do: each opens the
    // directory anew. (A forked child would share the first one's descriptor.)
    ConfigLock first;
    std::promise<bool> taken;
    std::future<bool> second = taken.get_future();
    std::thread waiter([&taken] {
        ConfigLock lock;
        taken.set_value(lock.held());
    });
    EXPECT_EQ(second.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout)
        << "the second lock was taken while the first was held";
    first.Release();
    EXPECT_TRUE(second.get());
    waiter.join();
}

TEST_F(ConfigLockTest, DirectoryThatCannotBeOpenedStopsTheRun) {
    // Out of descriptors, the directory cannot be opened for the lock.
    EXPECT_EXIT(
        {
            LimitOpenFiles(3);
            const Error stop = ExpectStop([] { ConfigLock lock; });
            std::_Exit(stop.kind == ErrorKind::LockDirectoryOpen && stop.cause.err == EMFILE ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
