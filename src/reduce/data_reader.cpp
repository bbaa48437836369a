#include "reduce/data_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "core/error.h"

namespace vux {
namespace {

[[noreturn]] void StopUnreadable(const std::string& path, Cause cause) {
    Fail(ErrorKind::DataUnreadable, path, cause);
}

// Refuses anything but a regular file, telling what it is instead.
void RequireRegularFile(const std::string& path, const struct stat& info) {
    if (S_ISREG(info.st_mode)) return;
    const FileFault special = SpecialFileFault(info.st_mode);
    StopUnreadable(path, {0, S_ISDIR(info.st_mode)           ? FileFault::Directory
                             : special != FileFault::None ? special
                                                          : FileFault::NotRegular});
}

// Moves the unconsumed bytes to the front of the buffer and reads the next
// block after them, growing the buffer when one line fills all of it.
// Returns the number of bytes read; 0 marks the end of the file for good.
size_t Refill(DataReader& reader) {
    if (reader.endOfFile || !reader.fd) {
        reader.endOfFile = true;
        return 0;
    }
    if (reader.begin > 0) {
        const size_t keep = reader.end - reader.begin;
        if (keep > 0) std::memmove(reader.buffer.data(), reader.buffer.data() + reader.begin, keep);
        reader.bufferOffset += reader.begin;
        reader.end = keep;
        reader.begin = 0;
    }
    const size_t block = std::max<size_t>(reader.blockSize, 1);
    if (reader.buffer.size() < block) {
        reader.buffer.resize(block);
    } else if (reader.end == reader.buffer.size()) {
        reader.buffer.resize(2 * reader.buffer.size());
    }
    const size_t want = std::min(block, reader.buffer.size() - reader.end);
    ssize_t got;
    do {
        got = read(reader.fd.get(), reader.buffer.data() + reader.end, want);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        Fail(ErrorKind::DataReadFailed, reader.path, {errno});
    }
    if (got == 0) {
        reader.endOfFile = true;
        return 0;
    }
    reader.digest.Update(reader.buffer.data() + reader.end, static_cast<size_t>(got));
    reader.end += static_cast<size_t>(got);
    return static_cast<size_t>(got);
}

// The next complete line, without its line end (a CR before the LF belongs
// to the line end). The text stays valid until the buffer is refilled.
// Returns false when the file ends first, or (with `tooLong` set) when the
// line has more than `longest` bytes before its LF, however the reads fall.
bool NextLine(DataReader& reader, const char*& text, size_t& length, size_t longest, bool& tooLong) {
    tooLong = false;
    size_t searched = 0;  // bytes after `begin` known to hold no LF
    for (;;) {
        const size_t from = reader.begin + searched;
        if (reader.end > from) {
            const char* base = reader.buffer.data();
            const void* lf = std::memchr(base + from, '\n', reader.end - from);
            if (lf != nullptr) {
                const size_t lineEnd = static_cast<size_t>(static_cast<const char*>(lf) - base);
                size_t len = lineEnd - reader.begin;
                if (len > longest) {
                    tooLong = true;
                    return false;
                }
                if (len > 0 && base[lineEnd - 1] == '\r') --len;
                text = base + reader.begin;
                length = len;
                reader.begin = lineEnd + 1;
                return true;
            }
        }
        searched = reader.end - reader.begin;
        if (searched > longest) {
            tooLong = true;
            return false;
        }
        if (Refill(reader) == 0) return false;
    }
}

void UpdateBytesConsumed(DataReader& reader) { reader.bytesConsumed = reader.bufferOffset + reader.begin; }

}  // namespace

int32_t EstimateWindows(uint64_t fileSize, int32_t windowSize) {
    const double mebibytes = static_cast<double>(fileSize >> 20);
    const double estimate = std::ceil(mebibytes / 1024 / (windowSize * 1.03e-7));
    if (!(estimate > 0)) return 0;  // also NaN, from an empty file with no window size
    if (estimate >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(estimate);
}

DataReader OpenDataFile(const std::string& path, int32_t windowSize) {
    if (access(path.c_str(), F_OK) != 0) {
        const int err = errno;
        // Only a path that names nothing is a missing file; a name too long,
        // a loop of links or a folder that may not be searched is a failure.
        if (err != ENOENT && err != ENOTDIR) StopUnreadable(path, {err});
        Fail(ErrorKind::InputMissing, path);
    }
    // Look before opening: opening a FIFO or a device can block or act on it.
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) StopUnreadable(path, {errno});
    RequireRegularFile(path, info);

    UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) StopUnreadable(path, {errno});
    if (fstat(fd.get(), &info) != 0) StopUnreadable(path, {errno});
    RequireRegularFile(path, info);  // it may have been replaced meanwhile
    const int flags = fcntl(fd.get(), F_GETFL);
    if (flags >= 0) fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    DataReader reader;
    reader.path = path;
    reader.fd = std::move(fd);
    reader.fileSize = static_cast<uint64_t>(info.st_size);
    reader.modified = info.st_mtim;
    reader.estimatedWindows = EstimateWindows(reader.fileSize, windowSize);
    return reader;
}

void SkipHeader(DataReader& reader) {
    const size_t markerLength = std::strlen(kDataMarker);
    // Header lines are only compared with the marker, so a line longer than
    // the marker and its CR is let go of as it is read, never held whole: a
    // header line of any length (a NUL-filled stretch of gigabytes) takes no
    // more memory than one block.
    bool longLine = false;  // the current line's start was already let go of
    bool carriageReturn = false;  // a CR was seen where no LF is
    for (;;) {
        const char* base = reader.buffer.data();
        const void* lf = reader.end > reader.begin
                             ? std::memchr(base + reader.begin, '\n', reader.end - reader.begin)
                             : nullptr;
        if (lf == nullptr) {
            carriageReturn = carriageReturn || (reader.end > reader.begin &&
                                                std::memchr(base + reader.begin, '\r', reader.end - reader.begin));
            if (reader.end - reader.begin > markerLength + 1) {
                reader.begin = reader.end;
                longLine = true;
            }
            if (Refill(reader) == 0) {
                // A file of CR line ends only has no line to find the marker on.
                const bool crOnly = carriageReturn && reader.linesRead == 0;
                Fail(crOnly ? ErrorKind::DataCrLineEnds : ErrorKind::DataNoMarker, reader.path);
            }
            continue;
        }
        const size_t lineEnd = static_cast<size_t>(static_cast<const char*>(lf) - base);
        size_t length = lineEnd - reader.begin;
        if (length > 0 && base[lineEnd - 1] == '\r') --length;
        const bool marker =
            !longLine && length == markerLength && std::memcmp(base + reader.begin, kDataMarker, markerLength) == 0;
        reader.begin = lineEnd + 1;
        ++reader.linesRead;
        longLine = false;
        if (marker) break;
    }
    UpdateBytesConsumed(reader);
}

void MapHeadings(DataReader& reader, size_t columnCount, std::vector<std::string>& headings) {
    const char* line;
    size_t length;
    bool tooLong = false;
    if (!NextLine(reader, line, length, reader.longestRow, tooLong)) {
        if (tooLong) {
            Error error;
            error.kind = ErrorKind::DataHeadingsTooLong;
            error.path = reader.path;
            error.number = static_cast<int64_t>(reader.longestRow >> 20);
            Fail(std::move(error));
        }
        Fail(ErrorKind::DataHeadingsIncomplete, reader.path);
    }
    ++reader.linesRead;
    headings.clear();

    // Each comma ends a heading; the text after the last comma is not one.
    const char* p = line;
    const char* const lineEnd = line + length;
    for (size_t k = 0; k < columnCount && p < lineEnd; ++k) {
        const char* comma = static_cast<const char*>(std::memchr(p, ',', static_cast<size_t>(lineEnd - p)));
        if (comma == nullptr) break;
        headings.emplace_back(p, comma);
        p = comma + 1;
    }
    UpdateBytesConsumed(reader);
}

bool DataFileChanged(const DataReader& reader) {
    struct stat now {};
    if (!reader.fd || fstat(reader.fd.get(), &now) != 0) return true;
    return static_cast<uint64_t>(now.st_size) != reader.fileSize || now.st_mtim.tv_sec != reader.modified.tv_sec ||
           now.st_mtim.tv_nsec != reader.modified.tv_nsec;
}

void CloseDataFile(DataReader& reader) {
    reader.fd.reset();
    std::vector<char>().swap(reader.buffer);
    reader.begin = 0;
    reader.end = 0;
}
}  // namespace vux
