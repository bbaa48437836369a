// The rewrite of vux_reader.cfg from arbitrary bytes and arguments.
//
// Input layout: byte 0 picks the argument count (1, 2 or 5); each argument
// follows as a length byte (0 to 31) and that many bytes; the rest is the
// configuration file. The target works in a private folder and checks, with
// its own reading of the file, that the rewritten file is the input up to and
// including its "#ENDCFG" line (the whole input when there is none) with only
// the values of DATA_FILE, OUTPUT_FILE (#STRINGS) and THETA_X/Y/Z (#CONSTANTS)
// replaced; or, when a given value cannot land (its key has no line in its
// section, or one of its lines holds an old value written with blanks), that
// the run stops naming that key and the file is unchanged. No "recfg" may
// remain either way.

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_file.h"
#include "config/rewrite.h"
#include "config/scratch_config.h"
#include "fuzz_util.h"
#include "core/error.h"
#include "run/console.h"

using namespace vux;

namespace {

struct Input {
    std::vector<std::string> args;
    std::string_view config;
};

Input SplitInput(const uint8_t* data, size_t size) {
    static constexpr std::array<size_t, 3> kCounts = {1, 2, 5};
    Input input;
    size_t p = 0;
    const size_t count = size > 0 ? kCounts[data[p++] % 3] : 1;
    for (size_t a = 0; a < count; ++a) {
        size_t length = p < size ? data[p++] % 32 : 0;
        if (length > size - p) length = size - p;
        input.args.emplace_back(reinterpret_cast<const char*>(data + p), length);
        p += length;
    }
    input.config = std::string_view(reinterpret_cast<const char*>(data + p), size - p);
    return input;
}

// ---- The expected file, worked out independently of the rewrite's code ----

// Characters that end the line's text: an LF, or a CR directly before one.
bool EndsText(std::string_view line, size_t i) {
    return line[i] == '\n' || (line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n');
}

// The line's text before its first `stops` character (or its line end), with
// spaces and NUL bytes dropped; `where` gets the index it stopped at.
std::string Squeezed(std::string_view line, std::string_view stops, size_t& where) {
    std::string kept;
    for (where = 0; where < line.size(); ++where) {
        if (EndsText(line, where) || stops.find(line[where]) != std::string_view::npos) break;
        if (line[where] != ' ' && line[where] != '\0') kept += line[where];
    }
    return kept;
}

enum class Section { None, Strings, Constants, Other, End };

// The section a line's leading key opens: the key (squeezed, up to '=', '%'
// or ',') starts with a marker, possibly followed by more characters.
std::optional<Section> OpenedSection(std::string_view line) {
    static constexpr std::array<std::pair<std::string_view, Section>, 7> kMarkers{{
        {"#STRINGS", Section::Strings},
        {"#CONSTANTS", Section::Constants},
        {"#WINDOW_FUNCTION", Section::Other},
        {"#EQUATIONS", Section::Other},
        {"#COLUMNS", Section::Other},
        {"#MATLAB", Section::Other},
        {"#ENDCFG", Section::End},
    }};
    size_t where;
    const std::string key = Squeezed(line, "=%,", where);
    for (const auto& [marker, section] : kMarkers) {
        if (key.compare(0, marker.size(), marker) == 0) return section;
    }
    return std::nullopt;
}

constexpr std::array<const char*, 5> kKeys = {"DATA_FILE", "OUTPUT_FILE", "THETA_X", "THETA_Y", "THETA_Z"};

// The argument (0-based) that replaces the value of a key line, or -1.
int ArgumentFor(Section section, const std::string& key, const std::vector<std::string>& args) {
    if (section == Section::Strings) {
        if (key == "DATA_FILE") return 0;
        if (key == "OUTPUT_FILE" && args.size() >= 2) return 1;
    } else if (section == Section::Constants && args.size() == 5) {
        if (key == "THETA_X") return 2;
        if (key == "THETA_Y") return 3;
        if (key == "THETA_Z") return 4;
    }
    return -1;
}

// The line as the rewritten file must hold it; `refused` becomes true when
// it is a key line of an argument whose old value has no occurrence before
// the line's comment.
std::string ExpectedLine(std::string_view line, Section section, const std::vector<std::string>& args,
                         int& argument, bool& refused) {
    argument = -1;
    refused = false;
    size_t equals;
    const std::string key = Squeezed(line, "=%,", equals);
    if (equals == line.size() || line[equals] != '=') return std::string(line);
    argument = ArgumentFor(section, key, args);
    if (argument < 0) return std::string(line);

    const std::string_view tail = line.substr(equals + 1);
    size_t valueEnd;
    const std::string oldValue = Squeezed(tail, "%", valueEnd);
    for (size_t at = 0; at + oldValue.size() <= valueEnd; ++at) {
        if (tail.substr(at, oldValue.size()) == oldValue) {
            return std::string(line.substr(0, equals + 1 + at)) + args[static_cast<size_t>(argument)] +
                   std::string(tail.substr(at + oldValue.size()));
        }
    }
    refused = true;
    return std::string(line);
}

// The rewritten file, or the key whose value cannot land (the first refused
// line, else the first given key without a line), which must stop the run.
struct Expected {
    std::string file;
    std::string refusedKey;
};

Expected ExpectedFile(std::string_view config, const std::vector<std::string>& args) {
    Expected expected;
    std::array<bool, 5> seen{};
    Section section = Section::None;
    size_t start = 0;
    while (start < config.size()) {
        const size_t lf = config.find('\n', start);
        const size_t end = lf == std::string_view::npos ? config.size() : lf + 1;
        const std::string_view line = config.substr(start, end - start);
        if (auto opened = OpenedSection(line)) section = *opened;
        int argument;
        bool refused;
        expected.file += ExpectedLine(line, section, args, argument, refused);
        if (argument >= 0) seen[static_cast<size_t>(argument)] = true;
        if (refused) {
            expected.refusedKey = kKeys[static_cast<size_t>(argument)];
            return expected;
        }
        if (section == Section::End) break;
        start = end;
    }
    for (size_t a = 0; a < args.size(); ++a) {
        if (!seen[a]) {
            expected.refusedKey = kKeys[a];
            break;
        }
    }
    return expected;
}

// Where the two texts first differ, for the failure message.
size_t FirstDifference(std::string_view a, std::string_view b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return i;
}

}  // namespace

// The rewrite works on fixed names in the working folder, so the target moves
// into a private folder before the first input. Paths given to libFuzzer
// would then resolve there: relative ones are refused.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static constexpr std::array<std::string_view, 3> kPathFlags = {"-dict=", "-artifact_prefix=",
                                                                   "-exact_artifact_path="};
    for (int i = 1; i < *argc; ++i) {
        std::string_view arg = (*argv)[i];
        bool isPath = arg.empty() || arg.front() != '-';  // a corpus folder or an input
        for (std::string_view flag : kPathFlags) {
            if (arg.substr(0, flag.size()) == flag) {
                arg.remove_prefix(flag.size());
                isPath = true;
            }
        }
        if (isPath && (arg.empty() || arg.front() != '/')) {
            std::fprintf(stderr, "config_rewrite_fuzz runs in a private folder: give absolute paths (%s)\n",
                         (*argv)[i]);
            std::exit(2);
        }
    }
    const std::string scratch = fuzz::MakeScratchDir("vux_rewrite_fuzz");
    std::fprintf(stderr, "config_rewrite_fuzz works in %s\n", scratch.c_str());
    fuzz::SilenceStdout();
    if (chdir(scratch.c_str()) != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Input input = SplitInput(data, size);
    fuzz::WriteWholeFile(kConfigFileName, input.config);
    UniqueFile cfg(std::fopen(kConfigFileName, "r"));
    FUZZ_CHECK(cfg != nullptr, "cannot open the configuration");

    const Expected expected = ExpectedFile(input.config, input.args);
    std::string rewritten;
    try {
        const UniqueFile result = RewriteConfig(std::move(cfg), input.args);
        rewritten = fuzz::ReadRest(result.get());
    } catch (const Error& error) {
        const std::string message = Message(error);
        FUZZ_CHECK(!expected.refusedKey.empty(), "the rewrite stopped: %s", message.c_str());
        const std::string named = "Cannot set " + expected.refusedKey + " from the command line";
        FUZZ_CHECK(error.status == -1 && message.find(named) != std::string::npos,
                   "refusal does not name %s: %s", expected.refusedKey.c_str(), message.c_str());
        std::FILE* kept = std::fopen(kConfigFileName, "r");
        FUZZ_CHECK(kept != nullptr && fuzz::ReadRest(kept) == input.config, "a refusal changed the configuration");
        std::fclose(kept);
        FUZZ_CHECK(access(kScratchConfigName, F_OK) != 0, "%s remains after a refusal", kScratchConfigName);
        return 0;
    }

    FUZZ_CHECK(access(kScratchConfigName, F_OK) != 0, "%s remains", kScratchConfigName);
    FUZZ_CHECK(expected.refusedKey.empty(), "%s was accepted though its value cannot land",
               expected.refusedKey.c_str());
    FUZZ_CHECK(rewritten == expected.file, "rewritten file differs at byte %zu (%zu bytes, %zu expected)",
               FirstDifference(rewritten, expected.file), rewritten.size(), expected.file.size());
    return 0;
}
