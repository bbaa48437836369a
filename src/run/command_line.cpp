#include "run/command_line.h"

#include <array>

bool IsHelpWord(std::string_view arg) {
    static constexpr std::array<std::string_view, 7> kHelpWords = {
        "help", "HELP", "-- help", "--help", "-h", "-help", "-H"};
    for (std::string_view word : kHelpWords) {
        if (arg == word) return true;
    }
    return false;
}

bool IsVersionWord(std::string_view arg) { return arg == "--version"; }

// VUX_VERSION comes from the build (the CMake project version).
const char* VersionLine() { return "vux_reader " VUX_VERSION "\n"; }

bool IsAcceptedArgumentCount(size_t count) {
    return count == 0 || count == 1 || count == 2 || count == 5;
}

std::string FileNamePart(std::string_view path) {
    const size_t separator = path.find_last_of("\\/");
    if (separator == std::string_view::npos) return std::string(path);
    return std::string(path.substr(separator + 1));
}
