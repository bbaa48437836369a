#include "output/mat_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>


namespace vux {
namespace {

constexpr uint32_t kMiInt8 = 1;
constexpr uint32_t kMiInt32 = 5;
constexpr uint32_t kMiUInt32 = 6;
constexpr uint32_t kMiSingle = 7;
constexpr uint32_t kMiDouble = 9;
constexpr uint32_t kMiMatrix = 14;
constexpr uint32_t kMxDoubleClass = 6;
constexpr uint32_t kMxSingleClass = 7;

constexpr size_t kHeaderTextBytes = 116;

[[noreturn]] void StopForWrite(MatFile& mat, int err) {
    DiscardAndFail(mat.out, ErrorKind::MatWrite, mat.path, {err});
}

void PutU16(std::vector<unsigned char>& out, uint32_t value) {
    out.push_back(static_cast<unsigned char>(value & 0xFFu));
    out.push_back(static_cast<unsigned char>((value >> 8) & 0xFFu));
}

void PutU32(std::vector<unsigned char>& out, uint32_t value) {
    PutU16(out, value & 0xFFFFu);
    PutU16(out, value >> 16);
}

void WriteBytes(MatFile& mat, const void* data, size_t size) {
    if (size == 0) {
        return;
    }
    errno = 0;
    if (std::fwrite(data, 1, size, mat.out.stream) != size) {
        StopForWrite(mat, errno);
    }
    mat.digest.Update(data, size);
}

void Flush(MatFile& mat) {
    errno = 0;
    if (std::fflush(mat.out.stream) != 0) {
        StopForWrite(mat, errno);
    }
}

// The values as little-endian binary64, index 0 first.
void WriteValues(MatFile& mat, const double* values, size_t count) {
    if constexpr (std::endian::native == std::endian::little) {
        WriteBytes(mat, values, count * sizeof(double));
    } else {
        constexpr size_t kChunk = 4096;
        std::vector<unsigned char> buffer;
        buffer.reserve(kChunk * 8);
        for (size_t start = 0; start < count; start += kChunk) {
            buffer.clear();
            const size_t end = std::min(count, start + kChunk);
            for (size_t i = start; i < end; ++i) {
                const uint64_t bits = std::bit_cast<uint64_t>(values[i]);
                for (int b = 0; b < 8; ++b) {
                    buffer.push_back(static_cast<unsigned char>((bits >> (8 * b)) & 0xFFu));
                }
            }
            WriteBytes(mat, buffer.data(), buffer.size());
        }
    }
}

// The header's descriptive text: prefix, local time without newlines, blanks.
std::string HeaderText() {
    std::string text = "MATLAB 5.0 MAT-file, Platform: PCWIN64, Created on: ";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char stamp[64] = {};
    if (localtime_r(&now, &local) != nullptr && asctime_r(&local, stamp) != nullptr) {
        for (const char* c = stamp; *c != '\0' && text.size() < kHeaderTextBytes; ++c) {
            if (*c != '\n') {
                text.push_back(*c);
            }
        }
    }
    text.resize(kHeaderTextBytes, ' ');
    return text;
}


uint64_t ValueBytes(MatClass matClass) { return matClass == MatClass::Single ? 4 : 8; }

uint64_t PaddedTo8(uint64_t bytes) { return (bytes + 7) / 8 * 8; }

// The element's tag, array flags, dimensions, name and the values' tag.
void WriteElementHead(MatFile& mat, const char* name, MatClass matClass, int32_t rows, int32_t cols,
                      uint64_t byteCount) {
    const size_t nameLength = std::strlen(name);
    const uint64_t valueBytes = static_cast<uint64_t>(rows) * static_cast<uint64_t>(cols) * ValueBytes(matClass);
    std::vector<unsigned char> head;
    head.reserve(56 + nameLength + 8);
    PutU32(head, kMiMatrix);
    PutU32(head, static_cast<uint32_t>(byteCount));
    PutU32(head, kMiUInt32);  // array flags
    PutU32(head, 8);
    PutU32(head, matClass == MatClass::Single ? kMxSingleClass : kMxDoubleClass);
    PutU32(head, 0);
    PutU32(head, kMiInt32);  // dimensions rows x cols
    PutU32(head, 8);
    PutU32(head, static_cast<uint32_t>(rows));
    PutU32(head, static_cast<uint32_t>(cols));
    if (nameLength <= 4) {
        PutU16(head, kMiInt8);
        PutU16(head, static_cast<uint32_t>(nameLength));
        head.insert(head.end(), name, name + nameLength);
        head.resize(head.size() + (4 - nameLength), 0);
    } else {
        PutU32(head, kMiInt8);
        PutU32(head, static_cast<uint32_t>(nameLength));
        head.insert(head.end(), name, name + nameLength);
        head.resize(head.size() + (MatNameBytes(nameLength) - 8 - nameLength), 0);
    }
    PutU32(head, matClass == MatClass::Single ? kMiSingle : kMiDouble);
    PutU32(head, static_cast<uint32_t>(valueBytes));
    WriteBytes(mat, head.data(), head.size());
}

// Stops the run before anything of a matrix element is written that the file
// is not open for, or that the format cannot hold.
void CheckMatrix(MatFile& mat, const char* name, MatClass matClass, int32_t rows, int32_t cols) {
    if (mat.out.stream == nullptr) {
        DiscardAndFail(mat.out, ErrorKind::MatWrite, mat.path, Cause{0, FileFault::NotOpen});
    }
    const bool negative = rows < 0 || cols < 0;
    if (negative || MatMatrixByteCount(std::strlen(name), static_cast<uint64_t>(rows), static_cast<uint64_t>(cols),
                                       matClass) > kMatLargestMatrix) {
        DiscardScratchFile(mat.out);
        Error error;
        error.kind = ErrorKind::MatMatrixSize;
        error.path = mat.path;
        error.name = name;
        error.number = rows;
        error.needed = cols;
        Fail(std::move(error));
    }
}

// Appends the first `count` bytes of the file `source` to the MAT-file: in
// the kernel (copy_file_range) where the file systems allow, else through a
// buffer.
void CopyFrom(MatFile& mat, int source, uint64_t count) {
    Flush(mat);
    const int target = ::fileno(mat.out.stream);
    uint64_t done = 0;
    bool inKernel = true;
    std::vector<unsigned char> buffer;
    while (done < count) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(count - done, uint64_t{1} << 30));
        if (inKernel) {
            loff_t from = static_cast<loff_t>(done);
            const ssize_t copied = ::copy_file_range(source, &from, target, nullptr, chunk, 0);
            if (copied > 0) {
                done += static_cast<uint64_t>(copied);
                continue;
            }
            if (copied < 0 && errno == EINTR) continue;
            if (copied < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
                inKernel = false;  // these file systems copy through user space
                continue;
            }
            if (copied == 0) DiscardAndFail(mat.out, ErrorKind::MatWrite, mat.path, Cause{0, FileFault::ScratchShort});
            StopForWrite(mat, errno);
        }
        buffer.resize(size_t{1} << 20);
        const ssize_t got = ::pread(source, buffer.data(), std::min(chunk, buffer.size()), static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) StopForWrite(mat, errno);
        if (got == 0) DiscardAndFail(mat.out, ErrorKind::MatWrite, mat.path, Cause{0, FileFault::ScratchShort});
        for (size_t put = 0; put < static_cast<size_t>(got);) {
            const ssize_t wrote = ::write(target, buffer.data() + put, static_cast<size_t>(got) - put);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote <= 0) StopForWrite(mat, wrote < 0 ? errno : 0);
            put += static_cast<size_t>(wrote);
        }
        done += static_cast<uint64_t>(got);
    }
    // The stream writes on at the descriptor's new end.
    errno = 0;
    if (std::fseek(mat.out.stream, 0, SEEK_END) != 0) StopForWrite(mat, errno);
}

}  // namespace

uint64_t MatNameBytes(uint64_t nameLength) {
    if (nameLength <= 4) {
        return 8;
    }
    return 8 + (nameLength + 7) / 8 * 8;
}

uint64_t MatElementByteCount(uint64_t nameLength, uint64_t valueCount) {
    return 40 + MatNameBytes(nameLength) + 8 * valueCount;
}

uint64_t MatMatrixByteCount(uint64_t nameLength, uint64_t rows, uint64_t cols, MatClass matClass) {
    // Kept from overflowing: a dimension fits 31 bits.
    return 40 + MatNameBytes(nameLength) + PaddedTo8(rows * cols * ValueBytes(matClass));
}

MatFile MatCreate(const std::string& path) {
    MatFile mat;
    mat.path = path;
    mat.digest.Start();
    if (const ScratchRefusal refusal = OpenScratchFile(path, mat.out); refusal.refused) {
        FailToOpen(refusal, ErrorKind::MatCreate, ErrorKind::MatDirectory, mat.path);
    }

    std::vector<unsigned char> header;
    const std::string text = HeaderText();
    header.assign(text.begin(), text.end());
    header.resize(header.size() + 8, 0);  // no subsystem data
    PutU16(header, 0x0100);               // version
    header.push_back('I');                // endian indicator
    header.push_back('M');

    WriteBytes(mat, header.data(), header.size());
    Flush(mat);
    return mat;
}

void MatWriteVector(MatFile& mat, const double* values, const char* name, int32_t n) {
    if (mat.out.stream == nullptr) {
        DiscardAndFail(mat.out, ErrorKind::MatWrite, mat.path, {0, FileFault::NotOpen});
    }
    const size_t nameLength = std::strlen(name);
    const uint64_t byteCount = MatElementByteCount(nameLength, static_cast<uint64_t>(n < 0 ? 0 : n));
    if (n < 0 || byteCount > 0xFFFFFFFFu) {
        DiscardScratchFile(mat.out);
        Error error;
        error.kind = ErrorKind::MatVectorSize;
        error.path = mat.path;
        error.name = name;
        error.number = n;
        Fail(std::move(error));
    }
    WriteElementHead(mat, name, MatClass::Double, n, 1, byteCount);
    WriteValues(mat, values, static_cast<size_t>(n));
    Flush(mat);
}

void MatWriteMatrix(MatFile& mat, const char* name, int32_t rows, int32_t cols, const double* values) {
    CheckMatrix(mat, name, MatClass::Double, rows, cols);
    WriteElementHead(mat, name, MatClass::Double, rows, cols,
                     MatMatrixByteCount(std::strlen(name), static_cast<uint64_t>(rows), static_cast<uint64_t>(cols),
                                        MatClass::Double));
    WriteValues(mat, values, static_cast<size_t>(rows) * static_cast<size_t>(cols));
    Flush(mat);
}

void MatCopyMatrix(MatFile& mat, const char* name, MatClass matClass, int32_t rows, int32_t cols,
                   const UniqueFd& source) {
    CheckMatrix(mat, name, matClass, rows, cols);
    const uint64_t count = static_cast<uint64_t>(rows) * static_cast<uint64_t>(cols);
    WriteElementHead(mat, name, matClass, rows, cols,
                     MatMatrixByteCount(std::strlen(name), static_cast<uint64_t>(rows), static_cast<uint64_t>(cols),
                                        matClass));
    const uint64_t bytes = count * ValueBytes(matClass);
    CopyFrom(mat, source.get(), bytes);
    static constexpr unsigned char kZeros[8] = {};
    WriteBytes(mat, kZeros, static_cast<size_t>(PaddedTo8(bytes) - bytes));
    Flush(mat);
}

void MatComplete(MatFile& mat) {
    if (const std::optional<Cause> cause = CompleteScratchFile(mat.out)) {
        DiscardAndFail(mat.out, ErrorKind::MatWrite, mat.path, *cause);
    }
}

void MatClose(MatFile& mat) {
    if (mat.out.stream == nullptr) {
        return;
    }
    MatComplete(mat);
    if (const std::optional<Cause> cause = RenameScratchFile(mat.out)) {
        DiscardAndFail(mat.out, ErrorKind::MatWrite, mat.path, *cause);
    }
}
}  // namespace vux
