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
        if (std::string reason = RenameScratchFile(p.file); !reason.empty()) {
            Fail(p.renameKind, p.file.finalPath, std::move(reason));
        }
    }
    pending_.clear();
}

void AddWholeFile(OutputSet& outputs, const std::string& path, std::string_view bytes, const OutputErrors& errors) {
    ScratchFile file;
    if (const ScratchRefusal refusal = OpenScratchFile(path, file); !refusal.reason.empty()) {
        FailToOpen(refusal, errors.create, errors.directory, path);
    }
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.stream) != bytes.size()) {
        DiscardAndFail(file, errors.write, path, FailureReason(errno));
    }
    if (const std::string reason = CompleteScratchFile(file); !reason.empty()) {
        DiscardAndFail(file, errors.write, path, reason);
    }
    outputs.Add(std::move(file), errors.write);
}
}  // namespace vux
