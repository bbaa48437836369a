#include "run/command_line.h"

#include <array>

namespace vux {
bool IsHelpWord(std::string_view arg) {
    static constexpr std::array<std::string_view, 7> kHelpWords = {
        "help", "HELP", "-- help", "--help", "-h", "-help", "-H"};
    for (std::string_view word : kHelpWords) {
        if (arg == word) return true;
    }
    return false;
}

bool IsVersionWord(std::string_view arg) { return arg == "--version"; }

bool IsAcceptedArgumentCount(size_t count) {
    return count == 0 || count == 1 || count == 2 || count == 5;
}
}  // namespace vux
