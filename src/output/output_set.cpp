#include "output/output_set.h"

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
}  // namespace vux
