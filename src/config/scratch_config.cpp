#include "config/scratch_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/error.h"

namespace vux {
namespace {

// Whose turn it is to write through "recfg".
std::mutex& ScratchTurn() {
    static std::mutex turn;
    return turn;
}


}  // namespace

ScratchConfig::ScratchConfig(const char* target)
    : turn_(ScratchTurn()),
      target_(target) {
    // A leftover of any kind goes: unlink() removes a link, never what it
    // names, and a pipe is never opened, so nothing can block or be written
    // through. remove() also takes an empty directory.
    if (std::remove(kScratchConfigName) != 0 && errno != ENOENT) {
        const int err = errno;
        Fail(ErrorKind::ScratchConfigRemove, target_, {err});
    }
    const int fd = ::open(kScratchConfigName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int err = errno;
        Fail(ErrorKind::ScratchConfigCreate, target_, {err});
    }
    file_.reset(::fdopen(fd, "w"));
    if (!file_) {
        // No destructor runs for an object whose constructor stops the run.
        const int err = errno;
        ::close(fd);
        ::unlink(kScratchConfigName);
        Fail(ErrorKind::ScratchConfigCreate, target_, {err});
    }
    present_ = true;
}

ScratchConfig::~ScratchConfig() {
    file_.reset();
    if (present_) ::unlink(kScratchConfigName);
}

void ScratchConfig::Write(const char* data, std::size_t size) {
    if (size == 0) return;
    if (std::fwrite(data, 1, size, file_.get()) != size) Abandon(ErrorKind::ScratchConfigWrite, errno);
}

void ScratchConfig::Install() {
    constexpr ErrorKind cannotWrite = ErrorKind::ScratchConfigWrite;
    if (std::fflush(file_.get()) != 0) Abandon(cannotWrite, errno);
    const int fd = ::fileno(file_.get());
    if (permissions_ && ::fchmod(fd, *permissions_) != 0) Abandon(cannotWrite, errno);
    if (!SyncToDisk(fd)) Abandon(cannotWrite, errno);
    if (std::fclose(file_.release()) != 0) Abandon(cannotWrite, errno);
    // One rename replaces the target: there is never a moment without one.
    if (std::rename(kScratchConfigName, target_) != 0) {
        Abandon(ErrorKind::ScratchConfigReplace, errno);
    }
    present_ = false;
}

void ScratchConfig::Abandon(ErrorKind kind, int err) {
    // The destructor, run as the stop unwinds, closes and removes "recfg".
    Fail(kind, target_, {err});
}

UniqueFile InstallScratchConfig(ScratchConfig& scratch) {
    scratch.Install();
    UniqueFile installed(std::fopen(scratch.target(), "r"));
    if (!installed) Fail(ErrorKind::ConfigCannotOpen, scratch.target(), {errno});
    return installed;
}

void HoldScratchConfigForExit() { ScratchTurn().lock(); }
}  // namespace vux
