#include "run/command_line.h"

#include <array>
#include <cmath>
#include <cstdlib>

#include "core/paths.h"

namespace vux {
bool IsHelpWord(std::string_view arg) {
    static constexpr std::array<std::string_view, 7> kHelpWords = {
        "help", "HELP", "-- help", "--help", "-h", "-help", "-H"};
    for (std::string_view word : kHelpWords) {
        if (arg == word) return true;
    }
    return false;
}

bool IsVersionWord(std::string_view arg) { return arg == "--version" || arg == "-V"; }

bool IsAcceptedArgumentCount(size_t count) {
    return count == 0 || count == 1 || count == 2 || count == 5;
}

const char* ArgumentKey(size_t index) {
    static constexpr std::array<const char*, 5> kKeys = {"DATA_FILE", "OUTPUT_FILE", "THETA_X", "THETA_Y",
                                                         "THETA_Z"};
    return index < kKeys.size() ? kKeys[index] : "";
}

bool IsDecimalNumber(std::string_view text) {
    size_t i = 0;
    const auto digits = [&] {
        const size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        return i - start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    return i == text.size();
}

namespace {

std::optional<ArgumentFault> PathFault(std::string_view path) {
    if (path.empty()) return ArgumentFault::Empty;
    if (path.find(' ') != std::string_view::npos) return ArgumentFault::Blank;
    if (path.find('%') != std::string_view::npos) return ArgumentFault::Percent;
    if (FileNameStart(path) == path.size()) return ArgumentFault::NoFileName;
    if (path.front() == '-') return ArgumentFault::LeadingDash;
    return std::nullopt;
}

std::optional<ArgumentFault> AngleFault(const std::string& angle) {
    if (!IsDecimalNumber(angle)) return ArgumentFault::NotANumber;
    if (!std::isfinite(std::strtod(angle.c_str(), nullptr))) return ArgumentFault::NotFinite;
    return std::nullopt;
}

}  // namespace

std::optional<ArgumentRefusal> FindRefusedArgument(const std::vector<std::string>& args) {
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& arg = args[k];
        std::optional<ArgumentFault> fault;
        if (arg.find_first_of("\r\n") != std::string::npos) {
            fault = ArgumentFault::LineBreak;
        } else if (k < 2) {
            fault = PathFault(arg);
        } else {
            fault = AngleFault(arg);
        }
        if (fault) return ArgumentRefusal{k, ArgumentKey(k), *fault};
    }
    return std::nullopt;
}
}  // namespace vux
