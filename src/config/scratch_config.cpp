#include "config/scratch_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "run/run_stop.h"

namespace {

// Whose turn it is to write through "recfg".
std::mutex& ScratchTurn() {
    static std::mutex turn;
    return turn;
}

// Puts the written bytes on disk before the rename makes them the target. A
// file system that cannot sync is no failure.
bool SyncToDisk(int fd) {
    if (::fsync(fd) == 0) return true;
    return errno == EINVAL || errno == ENOTSUP;
}

// A call that failed without naming a reason still fails.
std::string Reason(int err) { return err != 0 ? SystemReason(err) : "write failed"; }

}  // namespace

ScratchConfig::ScratchConfig(const char* target)
    : turn_(ScratchTurn()),
      target_(target),
      label_(std::strcmp(target, kConfigFileName) == 0
                 ? std::string(kScratchConfigName)
                 : std::string(kScratchConfigName) + " (for " + target + ")") {
    // A leftover of any kind goes: unlink() removes a link, never what it
    // names, and a pipe is never opened, so nothing can block or be written
    // through. remove() also takes an empty directory.
    if (std::remove(kScratchConfigName) != 0 && errno != ENOENT) {
        const int err = errno;
        StopRun(-1, "\nCannot remove the old " + label_ + ": " + Reason(err) + "\n");
    }
    const int fd = ::open(kScratchConfigName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int err = errno;
        StopRun(-1, "\nCannot create " + label_ + ": " + Reason(err) + "\n");
    }
    file_ = ::fdopen(fd, "w");
    if (file_ == nullptr) {
        // No destructor runs for an object whose constructor stops the run.
        const int err = errno;
        ::close(fd);
        ::unlink(kScratchConfigName);
        StopRun(-1, "\nCannot create " + label_ + ": " + Reason(err) + "\n");
    }
    present_ = true;
}

ScratchConfig::~ScratchConfig() {
    if (file_ != nullptr) std::fclose(file_);
    if (present_) ::unlink(kScratchConfigName);
}

void ScratchConfig::Write(const char* data, std::size_t size) {
    if (size == 0) return;
    if (std::fwrite(data, 1, size, file_) != size) Abandon("Cannot write " + label_, errno);
}

void ScratchConfig::Install() {
    const std::string cannotWrite = "Cannot write " + label_;
    if (std::fflush(file_) != 0) Abandon(cannotWrite, errno);
    const int fd = ::fileno(file_);
    if (permissions_ && ::fchmod(fd, *permissions_) != 0) Abandon(cannotWrite, errno);
    if (!SyncToDisk(fd)) Abandon(cannotWrite, errno);
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0) Abandon(cannotWrite, errno);
    // One rename replaces the target: there is never a moment without one.
    if (std::rename(kScratchConfigName, target_) != 0) {
        Abandon(std::string("Cannot replace ") + target_ + " with " + kScratchConfigName, errno);
    }
    present_ = false;
}

void ScratchConfig::Abandon(const std::string& what, int err) {
    // The destructor, run as the stop unwinds, closes and removes "recfg".
    StopRun(-1, "\n" + what + ": " + Reason(err) + "\n");
}

std::FILE* InstallScratchConfig(ScratchConfig& scratch) {
    scratch.Install();
    std::FILE* installed = std::fopen(kConfigFileName, "r");
    if (installed == nullptr) {
        const int err = errno;
        StopRun(-1, std::string("\nCannot open configuration file ") + kConfigFileName +
                        " for reading: " + SystemReason(err) + "\n");
    }
    return installed;
}

void HoldScratchConfigForExit() { ScratchTurn().lock(); }
