#pragma once
// Files for tests: whole-file reads and writes, directory listings, scratch
// directories that remove themselves, and a working directory for a while.

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace test_support {

// Every byte of `path`; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Makes `path` hold exactly `bytes` (created when missing, else truncated).
inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The names in directory `dir`, hidden ones too, sorted: a scratch file left
// behind shows up here.
inline std::vector<std::string> EntriesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A fresh empty directory "<prefix>_XXXXXX" under `parent` (by default the
// temporary directory); `path` stays empty when it cannot be made. The
// destructor removes it with everything in it, first giving its owner back
// full access to it (tests take that away to make writes fail).
struct ScratchDir {
    std::filesystem::path path;

    explicit ScratchDir(const std::string& prefix = "vux_test", std::filesystem::path parent = {}) {
        std::error_code ec;
        if (parent.empty()) parent = std::filesystem::temp_directory_path(ec);
        std::string pattern = (parent / (prefix + "_XXXXXX")).string();
        if (::mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~ScratchDir() {
        if (path.empty()) return;
        std::error_code ignored;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ignored);
        std::filesystem::remove_all(path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The path of `name` inside the directory.
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

// Makes `dir` the working directory while it lives; the destructor goes back
// to the one before.
struct EnterDir {
    std::filesystem::path previous;

    explicit EnterDir(const std::filesystem::path& dir) : previous(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~EnterDir() {
        std::error_code ignored;
        std::filesystem::current_path(previous, ignored);
    }
    EnterDir(const EnterDir&) = delete;
    EnterDir& operator=(const EnterDir&) = delete;
};

}  // namespace test_support
