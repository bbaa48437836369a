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
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "run/run_stop.h"

namespace config_test {

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

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

// Runs `step`, which must stop the run; returns how it stopped.
inline RunStop ExpectStop(const std::function<void()>& step) {
    try {
        step();
    } catch (const RunStop& stop) {
        return stop;
    }
    ADD_FAILURE() << "the run was not stopped";
    return RunStop{0, ""};
}

// Runs every test in a fresh, empty working directory and restores the old
// one afterwards.
class ScratchDirTest : public testing::Test {
protected:
    void SetUp() override {
        oldDir_ = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "vux_config_test_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(oldDir_);
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }

    fs::path oldDir_;
    fs::path dir_;
};

}  // namespace config_test
