#include "output/output_set.h"

#include <cerrno>
#include <cstdio>
#include <utility>

namespace vux {

void OutputSet::Add(ScratchFile&& file, ErrorKind renameKind) {
    pending_.push_back(Pending{std::move(file), renameKind});
}

void OutputSet::Commit() {
    for (Pending& p : pending_) {
        if (const std::optional<Cause> cause = RenameScratchFile(p.file)) {
            Fail(p.renameKind, p.file.finalPath, *cause);
        }
    }
    pending_.clear();
}

void AddWholeFile(OutputSet& outputs, const std::string& path, std::string_view bytes, const OutputErrors& errors) {
    ScratchFile file;
    if (const ScratchRefusal refusal = OpenScratchFile(path, file); refusal.refused) {
        FailToOpen(refusal, errors.create, errors.directory, path);
    }
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.stream) != bytes.size()) {
        DiscardAndFail(file, errors.write, path, {errno});
    }
    if (const std::optional<Cause> cause = CompleteScratchFile(file)) {
        DiscardAndFail(file, errors.write, path, *cause);
    }
    outputs.Add(std::move(file), errors.write);
}
}  // namespace vux
