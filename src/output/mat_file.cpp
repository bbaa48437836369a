#include "output/mat_file.h"

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
constexpr uint32_t kMiDouble = 9;
constexpr uint32_t kMiMatrix = 14;
constexpr uint32_t kMxDoubleClass = 6;

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

    std::vector<unsigned char> head;
    head.reserve(56 + nameLength + 8);
    PutU32(head, kMiMatrix);
    PutU32(head, static_cast<uint32_t>(byteCount));
    PutU32(head, kMiUInt32);  // array flags
    PutU32(head, 8);
    PutU32(head, kMxDoubleClass);
    PutU32(head, 0);
    PutU32(head, kMiInt32);  // dimensions n x 1
    PutU32(head, 8);
    PutU32(head, static_cast<uint32_t>(n));
    PutU32(head, 1);
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
    PutU32(head, kMiDouble);
    PutU32(head, static_cast<uint32_t>(8 * static_cast<uint64_t>(n)));

    WriteBytes(mat, head.data(), head.size());
    WriteValues(mat, values, static_cast<size_t>(n));
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
