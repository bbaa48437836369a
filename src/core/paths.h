#pragma once
// The parts of a path that the run's checks and its outputs share.

#include <string>
#include <string_view>

namespace vux {
// Index just past the last directory separator ('\' or '/'); 0 when there is none.
inline size_t FileNameStart(std::string_view path) {
    const size_t separator = path.find_last_of("\\/");
    return separator == std::string_view::npos ? 0 : separator + 1;
}

// The part of `path` after its last directory separator; the whole path when
// it has none. Empty for "" and for a path ending in a separator.
inline std::string FileNamePart(std::string_view path) { return std::string(path.substr(FileNameStart(path))); }
}  // namespace vux
