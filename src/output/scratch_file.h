#pragma once
// Output files that are never seen half-written: each is written under a
// hidden scratch name in its final directory and renamed over the final
// path only when complete and on disk. Until then the final path keeps the
// previous file (or nothing); a run that stops, fails or is interrupted
// removes its scratch files.
//
// Scratch name: ".<final name>.<pid>.<n>.tmp" beside the final path (the final
// name shortened when the whole would exceed 255 bytes), created exclusively,
// never through a link. A final path that is a symbolic link is replaced by
// the file, not written through.

#include <sys/stat.h>

#include <cstdio>
#include <optional>
#include <string>

#include "core/error.h"

namespace vux {
struct ScratchEntry;  // where the scratch path is registered for removal on interrupt

// One output file being written. Move-only; the destructor closes and removes
// a scratch file that was not installed, so unwinding (a stopped run) never
// leaves one behind.
struct ScratchFile {
    std::FILE* stream = nullptr;  // open for binary writing while the file is being written
    std::string finalPath;        // the name the file gets when installed
    std::string scratchPath;      // where it is written meanwhile (empty when none)
    ScratchEntry* entry = nullptr;

    ScratchFile() = default;
    ScratchFile(ScratchFile&& other) noexcept;
    ScratchFile& operator=(ScratchFile&& other) noexcept;
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile();
};

// Why OpenScratchFile refused a file.
struct ScratchRefusal {
    bool refused = false;      // false when the file was opened
    Cause cause;               // why
    bool byDirectory = false;  // the directory would not take the new file (its
                               // permissions, a read-only file system)
    std::string directory;     // then the final path's directory part without its last
                               // '/' ("/" for the root), empty for the working directory
};

// Creates the scratch file for `finalPath` (discarding one `scratch` held
// before) and registers it for removal on interrupt. Refuses, with the errno
// a plain create would give, a final path that is a directory (EISDIR), an
// existing file that may not be written, a final name longer than 255 bytes
// (ENAMETOOLONG), and with its FileFault a FIFO, socket or device; a
// directory that refuses the new file is told apart. Returns no refusal on
// success (nothing is left behind otherwise). The new file
// gets the permissions of the file it will replace, or 0666 less the umask.
// Costs a few system calls and one small allocation.
ScratchRefusal OpenScratchFile(const std::string& finalPath, ScratchFile& scratch);

// Stops the run for `refusal` of the scratch file of `path`: an error of
// `directoryKind` naming the path, the cause and the directory (`other`)
// when the directory refused it, else of `kind` naming the path and cause.
[[noreturn]] void FailToOpen(const ScratchRefusal& refusal, ErrorKind kind, ErrorKind directoryKind,
                             const std::string& path);

// Flushes, syncs to disk and closes the scratch file, which stays under its
// scratch name (registered) until renamed. Returns nothing on success; else
// the cause (NotOpen without a file), with the scratch file removed. The cost
// is that of fsync.
std::optional<Cause> CompleteScratchFile(ScratchFile& scratch);

// Renames a complete scratch file over the final path. Returns nothing on
// success; else the cause (NotComplete for a file not completed), with the
// scratch file removed and the final path as it was.
std::optional<Cause> RenameScratchFile(ScratchFile& scratch);

// CompleteScratchFile, then RenameScratchFile.
std::optional<Cause> InstallScratchFile(ScratchFile& scratch);

// Closes and removes the scratch file; nothing to do when there is none.
void DiscardScratchFile(ScratchFile& scratch);

// Closes and removes the scratch file, then stops the run with an error of
// `kind` naming `path` and `cause`.
[[noreturn]] void DiscardAndFail(ScratchFile& scratch, ErrorKind kind, const std::string& path, Cause cause);

// For the interrupt watcher, which ends the process right after: removes every
// registered scratch file and keeps any new one from being created (a thread
// that tries waits for the end). Allocates nothing and calls only unlink on
// paths prepared when they were registered; waits at most half a second for
// a thread that is creating or installing a scratch file.
void RemoveScratchFilesForExit();
}  // namespace vux
