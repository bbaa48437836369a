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
// remain either way. When the run would take the arguments, the rewritten
// file is then evaluated: each written value must be what the evaluation
// reads for its key (the paths exactly, the angles as numbers).

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
#include "config/evaluate.h"
#include "config/rewrite.h"
#include "config/scratch_config.h"
#include "fuzz_util.h"
#include "core/error.h"
#include "run/command_line.h"
#include "run/messages.h"

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

enum class Section { None, Strings, Constants, WindowFunction, Equations, Columns, Matlab, End };

// The line's text: before its comment or its line end (an LF, or a CR
// directly before one).
std::string_view LineText(std::string_view line) {
    std::string_view text = line.substr(0, line.find('%'));
    if (text.size() < line.size()) return text;
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r' && line.back() == '\n') text.remove_suffix(1);
    return text;
}

// `text` without spaces and NUL bytes.
std::string Squeezed(std::string_view text) {
    std::string kept;
    for (char c : text) {
        if (c != ' ' && c != '\0') kept += c;
    }
    return kept;
}

// How the evaluation reads a line: the key (or fourth field) whose value is
// the rest of the line and where that rest starts, or, when no such key
// ends a piece of the line, its last piece (a marker when it is one).
struct LineReading {
    std::string key;          // empty when no value is taken
    size_t valueStart = 0;    // index in the line after the key's separator
    std::string lastPiece;
};

LineReading ReadLine(std::string_view line, Section section) {
    const std::string_view text = LineText(line);
    LineReading reading;
    int commas = 0;
    size_t pieceStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != ',' && text[i] != '=') continue;
        const std::string piece = Squeezed(text.substr(pieceStart, i - pieceStart));
        pieceStart = i + 1;
        bool takes = false;
        if (text[i] == ',') {
            takes = ++commas == 4 && (section == Section::Columns || section == Section::Matlab);
        } else if (section == Section::Strings) {
            takes = piece == "DATA_FILE" || piece == "OUTPUT_FILE";
        } else {
            takes = section == Section::Constants || section == Section::WindowFunction ||
                    section == Section::Equations;
        }
        if (takes) {
            reading.key = piece;
            reading.valueStart = i + 1;
            return reading;
        }
    }
    reading.lastPiece = Squeezed(text.substr(pieceStart));
    return reading;
}

std::optional<Section> MarkerOf(const std::string& piece) {
    static constexpr std::array<std::pair<std::string_view, Section>, 7> kMarkers{{
        {"#STRINGS", Section::Strings},
        {"#CONSTANTS", Section::Constants},
        {"#WINDOW_FUNCTION", Section::WindowFunction},
        {"#EQUATIONS", Section::Equations},
        {"#COLUMNS", Section::Columns},
        {"#MATLAB", Section::Matlab},
        {"#ENDCFG", Section::End},
    }};
    for (const auto& [marker, section] : kMarkers) {
        if (piece == marker) return section;
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

// The line as the rewritten file must hold it; follows the markers in
// `section`. `refused` becomes true when it is a key line of an argument
// whose old value has no occurrence before the line's comment.
std::string ExpectedLine(std::string_view line, Section& section, const std::vector<std::string>& args,
                         int& argument, bool& refused) {
    argument = -1;
    refused = false;
    const LineReading reading = ReadLine(line, section);
    if (reading.key.empty()) {
        if (auto opened = MarkerOf(reading.lastPiece)) section = *opened;
        return std::string(line);
    }
    argument = ArgumentFor(section, reading.key, args);
    if (argument < 0) return std::string(line);

    const std::string_view tail = line.substr(reading.valueStart);
    const size_t valueEnd = LineText(line).size() - reading.valueStart;
    const std::string oldValue = Squeezed(tail.substr(0, valueEnd));
    for (size_t at = 0; at + oldValue.size() <= valueEnd; ++at) {
        if (tail.substr(at, oldValue.size()) == oldValue) {
            return std::string(line.substr(0, reading.valueStart + at)) + args[static_cast<size_t>(argument)] +
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
        int argument;
        bool refused;
        expected.file += ExpectedLine(config.substr(start, end - start), section, args, argument, refused);
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

// Evaluates the rewritten file and checks that it reads each written value
// back as given. Only for arguments the run takes (a command line holds no
// NUL byte); a file whose evaluation stops for another reason reads nothing.
void CheckReadBack(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg.find('\0') != std::string::npos) return;
    }
    if (FindRefusedArgument(args)) return;
    RunConfig config;
    try {
        config = EvaluateConfig(UniqueFile(std::fopen(kConfigFileName, "r")));
    } catch (const Error&) {
        return;
    }
    const RunSettings& s = config.settings;
    FUZZ_CHECK(s.inputPath == args[0], "DATA_FILE reads back as %s, not %s", s.inputPath.value_or("<none>").c_str(),
               args[0].c_str());
    if (args.size() >= 2) {
        FUZZ_CHECK(s.outputPath == args[1], "OUTPUT_FILE reads back as %s, not %s",
                   s.outputPath.value_or("<none>").c_str(), args[1].c_str());
    }
    if (args.size() == 5) {
        const double angles[] = {s.thetaX, s.thetaY, s.thetaZ};
        for (size_t a = 2; a < 5; ++a) {
            FUZZ_CHECK(angles[a - 2] == std::strtod(args[a].c_str(), nullptr), "%s reads back as %.17g, not %s",
                       kKeys[a], angles[a - 2], args[a].c_str());
        }
    }
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
    CheckReadBack(input.args);
    return 0;
}
