#include "core/error.h"

#include <cstring>
#include <utility>

namespace vux {
void Fail(Error error) {
    error.status = error.kind == ErrorKind::InputMissing ? 0 : -1;
    throw error;
}

void Fail(ErrorKind kind, std::string path, std::string reason) {
    Error error;
    error.kind = kind;
    error.path = std::move(path);
    error.reason = std::move(reason);
    Fail(std::move(error));
}

std::string SystemReason(int err) { return std::strerror(err); }

std::string FailureReason(int err) { return err != 0 ? SystemReason(err) : std::string("write failed"); }
}  // namespace vux
