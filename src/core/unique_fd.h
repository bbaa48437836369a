#pragma once
// Owners of open files: a file descriptor and a stdio stream, each closed
// when its owner ends. Move-only.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <utility>

namespace vux {
// One open file descriptor (-1 when none).
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes the descriptor held (if any) and holds `fd` instead.
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Gives up the descriptor without closing it.
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_ = -1;
};

// Puts a file's written bytes on disk; a file system that cannot sync is no
// failure (false with errno set otherwise).
inline bool SyncToDisk(int fd) { return ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP; }

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// One open stdio stream, closed (unchecked) when the owner ends. Close it
// yourself with std::fclose(file.release()) where the result matters.
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;
}  // namespace vux
