#pragma once
// Helpers for configuration tests: scratch working directories, file
// contents, in-memory configuration files and stopped runs.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "support/expect.h"
#include "support/files.h"

using namespace vux;

namespace config_test {

namespace fs = std::filesystem;

using test_support::ReadFile;
using test_support::WriteFile;

// Everything left to read in `file`.
inline std::string ReadRest(std::FILE* file) {
    std::string text;
    int c;
    while ((c = std::getc(file)) != EOF) text.push_back(static_cast<char>(c));
    return text;
}

// An anonymous file holding `bytes`, positioned at its start.
inline std::FILE* MemoryFile(std::string_view bytes) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) return nullptr;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    return file;
}

// A file of the conformance cases, when that tree is present beside the
// project.
inline std::optional<std::string> CaseFile(const std::string& caseDir, const std::string& name) {
    const char* source = std::getenv("VUX_SOURCE_DIR");
    fs::path root = source != nullptr ? fs::path(source) : fs::path(VUX_CONFIG_TEST_SOURCE_DIR);
    fs::path path = root / ".." / "shared" / "conformance" / "cases" / caseDir / name;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return std::nullopt;
    return ReadFile(path);
}

// Makes every write that would grow a file past `bytes` fail with EFBIG
// (for the rest of the process: use in a child, such as a death test).
inline void LimitFileSize(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{bytes, bytes};
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

using test_support::ExpectStop;

// Runs every test in a fresh, empty working directory and restores the old
// one afterwards.
class ScratchDirTest : public testing::Test {
protected:
    test_support::ScratchDir scratch_{"vux_config_test"};  // removed after the old directory is back
    test_support::EnterDir enter_{scratch_.path};
    const fs::path& dir_ = scratch_.path;
};

}  // namespace config_test
