#include "output/output_set.h"

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
}  // namespace vux
