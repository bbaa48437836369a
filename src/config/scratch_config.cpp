#include "config/scratch_config.h"

#include <unistd.h>

#include <cerrno>

#include "config/config_file.h"
#include "run/run_stop.h"

namespace {

// Puts the written bytes on disk before the rename makes them the
// configuration. A file system that cannot sync is no failure.
bool SyncToDisk(std::FILE* file) {
    if (::fsync(::fileno(file)) == 0) return true;
    return errno == EINVAL || errno == ENOTSUP;
}

const std::string kCannotWrite = std::string("Cannot write ") + kScratchConfigName;

}  // namespace

std::FILE* CreateScratchConfig() {
    std::FILE* scratch = std::fopen(kScratchConfigName, "w");
    if (scratch == nullptr) {
        const int err = errno;
        StopRun(-1, std::string("\nCannot create ") + kScratchConfigName + ": " +
                        SystemReason(err) + "\n");
    }
    return scratch;
}

void WriteScratchConfig(std::FILE* scratch, const char* data, std::size_t size) {
    if (size == 0) return;
    if (std::fwrite(data, 1, size, scratch) != size) {
        AbandonScratchConfig(scratch, kCannotWrite, errno);
    }
}

std::FILE* InstallScratchConfig(std::FILE* scratch) {
    if (std::fflush(scratch) != 0 || !SyncToDisk(scratch)) {
        AbandonScratchConfig(scratch, kCannotWrite, errno);
    }
    if (std::fclose(scratch) != 0) {
        AbandonScratchConfig(nullptr, kCannotWrite, errno);
    }
    // One rename replaces the file: there is never a moment without one.
    if (std::rename(kScratchConfigName, kConfigFileName) != 0) {
        AbandonScratchConfig(nullptr,
                             std::string("Cannot replace ") + kConfigFileName + " with " +
                                 kScratchConfigName,
                             errno);
    }
    std::FILE* installed = std::fopen(kConfigFileName, "r");
    if (installed == nullptr) {
        const int err = errno;
        StopRun(-1, std::string("\nCannot open configuration file ") + kConfigFileName +
                        " for reading: " + SystemReason(err) + "\n");
    }
    return installed;
}

void AbandonScratchConfig(std::FILE* scratch, const std::string& what, int err) {
    if (scratch != nullptr) std::fclose(scratch);
    std::remove(kScratchConfigName);
    // A call that failed without naming a reason still fails.
    StopRun(-1, "\n" + what + ": " + (err != 0 ? SystemReason(err) : "write failed") + "\n");
}
