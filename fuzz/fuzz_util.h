#pragma once
// Helpers shared by the fuzz targets: silencing the tool's console, private
// scratch folders, in-memory files and a check that fails loudly.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <list>
#include <string>
#include <string_view>

#include "support/files.h"

namespace fuzz {

// Sends the tool's console output (standard output) to /dev/null for the rest
// of the process; libFuzzer reports on standard error.
inline void SilenceStdout() {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
}

// A fresh folder under $TMPDIR, else /dev/shm (memory: syncs cost nothing)
// or /tmp. It goes when the fuzzer exits (a crash leaves it for inspection).
inline std::string MakeScratchDir(const char* name) {
    static std::list<test_support::ScratchDir> dirs;  // removed at exit, in reverse order
    const char* base = std::getenv("TMPDIR");
    if (base == nullptr || *base == '\0') base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    const std::string& path = dirs.emplace_back(name, base).path.native();
    if (path.empty()) std::abort();
    return path;
}

// `bytes` as a file open for reading at its start (also when empty).
inline std::FILE* OpenBytes(std::string_view bytes) {
    if (bytes.empty()) return std::fopen("/dev/null", "r");
    return fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "r");
}

// Writes `bytes` to `path`, replacing it; aborts on failure.
inline void WriteWholeFile(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
    if (std::fclose(file) != 0) std::abort();
}

// Everything left to read in `file`.
inline std::string ReadRest(std::FILE* file) {
    std::string text;
    char block[4096];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
    return text;
}

// A property the target checks; on failure, says which and aborts, so that
// libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition, ...)                                                \
    do {                                                                          \
        if (!(condition)) {                                                       \
            std::fprintf(stderr, "\nfuzz check failed: %s\n  ", #condition);     \
            std::fprintf(stderr, __VA_ARGS__);                                    \
            std::fprintf(stderr, "\n");                                           \
            std::abort();                                                         \
        }                                                                         \
    } while (0)

}  // namespace fuzz
