#pragma once
// Output files committed together. Each is written whole under its scratch
// name (output/scratch_file.h) and synced to disk; only when every one is
// complete are they renamed over their paths, one after the other. A run that
// stops before the commit (a file it cannot write, an interrupt) keeps every
// previous file; an interrupt during the commit leaves each path its previous
// file or its new one.

#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "output/scratch_file.h"

namespace vux {
class OutputSet {
public:
    OutputSet() = default;
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    // Takes `file`, complete (CompleteScratchFile), to be renamed at the
    // commit. A failing rename stops the run with an error of `renameKind`
    // naming the file's final path and the reason.
    void Add(ScratchFile&& file, ErrorKind renameKind);

    // Renames every file over its path in the order they were added. A
    // failure stops the run (the remaining scratch files removed; the files
    // renamed before it stay new).
    void Commit();

    // The destructor removes the scratch files not committed.

private:
    struct Pending {
        ScratchFile file;
        ErrorKind renameKind;
    };
    std::vector<Pending> pending_;
};

// How the failures of one output are told: its scratch file cannot be
// created, its directory refuses it, it cannot be written (or renamed).
struct OutputErrors {
    ErrorKind create;
    ErrorKind directory;
    ErrorKind write;
};

// Writes `bytes` whole into a scratch file for `path` and adds it to
// `outputs` to be renamed at the commit. A failure stops the run with an
// error of `errors` naming the path and the cause; nothing is left behind.
void AddWholeFile(OutputSet& outputs, const std::string& path, std::string_view bytes, const OutputErrors& errors);
}  // namespace vux
