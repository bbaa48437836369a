#include "output/scratch_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <utility>

#include "core/error.h"
#include "core/unique_fd.h"

namespace vux {
// One registered scratch path. Entries are kept for the life of the process
// and reused, so the interrupt watcher can walk them without any allocation.
struct ScratchEntry {
    std::atomic<char*> path{nullptr};  // null when free
    ScratchEntry* next = nullptr;
};

namespace {

constexpr size_t kLongestName = 255;

// Guards the entry list and every create, rename and removal of a scratch
// file, so the watcher sees each scratch file either registered or gone.
std::timed_mutex gLock;
std::atomic<ScratchEntry*> gEntries{nullptr};
std::atomic<bool> gEnding{false};
std::atomic<unsigned> gCounter{0};

// The process is ending by an interrupt: a new scratch file must not appear.
[[noreturn]] void WaitForTheEnd() {
    for (;;) ::pause();
}

// Publishes `path` (owned by the entry from now on); under gLock.
ScratchEntry* Register(char* path) {
    for (ScratchEntry* e = gEntries.load(); e != nullptr; e = e->next) {
        char* expected = nullptr;
        if (e->path.compare_exchange_strong(expected, path)) return e;
    }
    auto* entry = new ScratchEntry;
    entry->path.store(path);
    entry->next = gEntries.load();
    gEntries.store(entry);
    return entry;
}

// Frees the entry's path for reuse; under gLock.
void Unregister(ScratchEntry*& entry) {
    if (entry == nullptr) return;
    delete[] entry->path.exchange(nullptr);
    entry = nullptr;
}


// Why `finalPath` as it is now is refused, if it is. `replaced` holds the
// permissions of the file that will be replaced, -1 when there is none.
std::optional<Cause> CheckFinalPath(const std::string& finalPath, const std::string& name, int& replaced) {
    if (name.size() > kLongestName) return Cause{ENAMETOOLONG};
    struct stat existing {};
    if (::stat(finalPath.c_str(), &existing) != 0) {
        if (errno == ENOENT) return std::nullopt;
        return Cause{errno};
    }
    if (S_ISDIR(existing.st_mode)) return Cause{EISDIR};
    if (const FileFault special = SpecialFileFault(existing.st_mode); special != FileFault::None) {
        return Cause{0, special};
    }
    if (::access(finalPath.c_str(), W_OK) != 0) return Cause{errno};
    replaced = static_cast<int>(existing.st_mode & 0777);
    return std::nullopt;
}

ScratchRefusal Refused(Cause cause) {
    ScratchRefusal refusal;
    refusal.refused = true;
    refusal.cause = cause;
    return refusal;
}

// The directory part of `finalPath` (its first `nameStart` bytes) without
// its last '/', "/" for the root; empty for the working directory.
std::string DirectoryPart(const std::string& finalPath, size_t nameStart) {
    size_t end = nameStart;
    while (end > 1 && finalPath[end - 1] == '/') --end;
    return finalPath.substr(0, end);
}

}  // namespace

ScratchFile::ScratchFile(ScratchFile&& other) noexcept
    : stream(std::exchange(other.stream, nullptr)),
      finalPath(std::move(other.finalPath)),
      scratchPath(std::move(other.scratchPath)),
      entry(std::exchange(other.entry, nullptr)) {
    other.scratchPath.clear();
}

ScratchFile& ScratchFile::operator=(ScratchFile&& other) noexcept {
    if (this != &other) {
        DiscardScratchFile(*this);
        stream = std::exchange(other.stream, nullptr);
        finalPath = std::move(other.finalPath);
        scratchPath = std::move(other.scratchPath);
        other.scratchPath.clear();
        entry = std::exchange(other.entry, nullptr);
    }
    return *this;
}

ScratchFile::~ScratchFile() { DiscardScratchFile(*this); }

ScratchRefusal OpenScratchFile(const std::string& finalPath, ScratchFile& scratch) {
    DiscardScratchFile(scratch);
    const size_t nameStart = finalPath.rfind('/') + 1;  // 0 without a directory part
    const std::string name = finalPath.substr(nameStart);
    int replaced = -1;
    if (const std::optional<Cause> refusal = CheckFinalPath(finalPath, name, replaced)) return Refused(*refusal);

    // Built piece by piece: GCC 12 warns falsely (-Wrestrict) on "literal" + temporary string.
    std::string suffix = ".";
    suffix += std::to_string(::getpid());
    suffix += '.';
    suffix += std::to_string(gCounter++);
    suffix += ".tmp";
    const size_t room = kLongestName - 1 - suffix.size();
    const std::string path = finalPath.substr(0, nameStart) + "." + name.substr(0, room) + suffix;
    char* registered = new char[path.size() + 1];
    std::memcpy(registered, path.c_str(), path.size() + 1);

    int fd;
    int err;
    {
        std::unique_lock<std::timed_mutex> lock(gLock);
        if (gEnding.load()) {
            lock.unlock();
            WaitForTheEnd();
        }
        scratch.entry = Register(registered);
        fd = ::open(registered, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        err = errno;
        if (fd < 0) Unregister(scratch.entry);
    }
    if (fd < 0) {
        // The final path was checked: a refusal now is the directory's.
        if (err == EACCES || err == EPERM || err == EROFS) {
            ScratchRefusal refusal = Refused({err});
            refusal.byDirectory = true;
            refusal.directory = DirectoryPart(finalPath, nameStart);
            return refusal;
        }
        return Refused({err});
    }

    scratch.finalPath = finalPath;
    scratch.scratchPath = path;
    // The replaced file's permissions, which a plain rewrite would have kept.
    if (replaced >= 0) ::fchmod(fd, static_cast<mode_t>(replaced));
    scratch.stream = ::fdopen(fd, "wb");
    if (scratch.stream == nullptr) {
        err = errno;
        ::close(fd);
        DiscardScratchFile(scratch);
        return Refused({err});
    }
    return {};
}

void FailToOpen(const ScratchRefusal& refusal, ErrorKind kind, ErrorKind directoryKind, const std::string& path) {
    Error error;
    error.kind = refusal.byDirectory ? directoryKind : kind;
    error.path = path;
    error.cause = refusal.cause;
    if (refusal.byDirectory) error.other = refusal.directory;
    Fail(std::move(error));
}

std::optional<Cause> CompleteScratchFile(ScratchFile& scratch) {
    if (scratch.stream == nullptr) return Cause{0, FileFault::NotOpen};
    errno = 0;
    if (std::fflush(scratch.stream) != 0 || !SyncToDisk(::fileno(scratch.stream))) {
        const int err = errno;
        DiscardScratchFile(scratch);
        return Cause{err};
    }
    std::FILE* stream = std::exchange(scratch.stream, nullptr);
    errno = 0;
    if (std::fclose(stream) != 0) {
        const int err = errno;
        DiscardScratchFile(scratch);
        return Cause{err};
    }
    return {};
}

std::optional<Cause> InstallScratchFile(ScratchFile& scratch) {
    if (std::optional<Cause> cause = CompleteScratchFile(scratch)) return cause;
    return RenameScratchFile(scratch);
}

std::optional<Cause> RenameScratchFile(ScratchFile& scratch) {
    if (scratch.stream != nullptr || scratch.scratchPath.empty()) return Cause{0, FileFault::NotComplete};
    int err = 0;
    {
        std::lock_guard<std::timed_mutex> lock(gLock);
        // One rename: the final path holds the old file or the new one, never a part.
        if (std::rename(scratch.scratchPath.c_str(), scratch.finalPath.c_str()) == 0) {
            Unregister(scratch.entry);
            scratch.scratchPath.clear();
        } else {
            err = errno;
        }
    }
    if (err != 0) {
        DiscardScratchFile(scratch);
        return Cause{err};
    }
    return {};
}

void DiscardScratchFile(ScratchFile& scratch) {
    if (scratch.stream != nullptr) {
        std::fclose(std::exchange(scratch.stream, nullptr));
    }
    if (scratch.scratchPath.empty()) return;
    {
        std::lock_guard<std::timed_mutex> lock(gLock);
        ::unlink(scratch.scratchPath.c_str());
        Unregister(scratch.entry);
    }
    scratch.scratchPath.clear();
}

void DiscardAndFail(ScratchFile& scratch, ErrorKind kind, const std::string& path, Cause cause) {
    DiscardScratchFile(scratch);  // already failing: the first cause is the one to report
    Fail(kind, path, cause);
}

void RemoveScratchFilesForExit() {
    gEnding.store(true);
    // Held for good once taken: no scratch file is created, installed or
    // forgotten from here on. A thread stuck inside a create for longer is
    // passed over, and its path is removed all the same.
    static_cast<void>(gLock.try_lock_for(std::chrono::milliseconds(500)));
    for (ScratchEntry* e = gEntries.load(); e != nullptr; e = e->next) {
        if (const char* path = e->path.load()) ::unlink(path);
    }
}
}  // namespace vux
