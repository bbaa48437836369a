#include "core/error.h"

#include <sys/stat.h>

#include <utility>

namespace vux {
FileFault SpecialFileFault(unsigned mode) {
    if (S_ISFIFO(mode)) return FileFault::Fifo;
    if (S_ISSOCK(mode)) return FileFault::Socket;
    if (S_ISCHR(mode) || S_ISBLK(mode)) return FileFault::Device;
    return FileFault::None;
}

void Fail(Error error) {
    error.status = error.kind == ErrorKind::InputMissing ? 0 : -1;
    throw error;
}

void Fail(ErrorKind kind, std::string path, Cause cause) {
    Error error;
    error.kind = kind;
    error.path = std::move(path);
    error.cause = cause;
    Fail(std::move(error));
}
}  // namespace vux
