#include "config/rewrite.h"

#include <sys/stat.h>

#include <cerrno>
#include <iterator>
#include <optional>

#include "config/scratch_config.h"
#include "config/text_ops.h"
#include "core/error.h"

namespace vux {
namespace {

// The key each argument replaces, in argument order, and its section.
struct KeyPlace {
    const char* key;
    ConfigSection section;
    const char* marker;
};
constexpr KeyPlace kArgumentKeys[] = {
    {"DATA_FILE", SectionStrings, "#STRINGS"},     {"OUTPUT_FILE", SectionStrings, "#STRINGS"},
    {"THETA_X", SectionConstants, "#CONSTANTS"}, {"THETA_Y", SectionConstants, "#CONSTANTS"},
    {"THETA_Z", SectionConstants, "#CONSTANTS"},
};

// Whether argument `a` (0-based) of `argCount` is written into the
// configuration: the paths as far as given, the angles only all three, with
// five arguments.
bool IsWritten(std::size_t a, std::size_t argCount) {
    return a < argCount && (a < 2 || argCount == 5);
}

// Which argument (0-based) replaces the value of `key` in `section`, if the
// arguments reach it.
std::optional<std::size_t> ArgumentFor(ConfigSection section, std::string_view key,
                                       std::size_t argCount) {
    for (std::size_t a = 0; a < std::size(kArgumentKeys); ++a) {
        if (IsWritten(a, argCount) && kArgumentKeys[a].section == section &&
            key == kArgumentKeys[a].key) {
            return a;
        }
    }
    return std::nullopt;
}

// True at a line end: an LF, or a CR directly before one.
bool AtLineEnd(std::string_view line, std::size_t i) {
    return line[i] == '\n' || (line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n');
}

// Reads one line, its LF included when it has one, into `line`; false when
// the file has no more bytes.
bool ReadRawLine(std::FILE* file, std::string& line) {
    line.clear();
    int c;
    while ((c = std::getc(file)) != EOF) {
        line.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    return !line.empty();
}

// Stops the run because the value of argument `arg` cannot be written into
// the configuration: its key has no line in its section (`lineNumber` 0), or
// the line `lineNumber` holds an old value written with blanks.
[[noreturn]] void RefuseArgument(int arg, long lineNumber) {
    const KeyPlace& place = kArgumentKeys[static_cast<std::size_t>(arg)];
    Error error;
    error.kind = lineNumber == 0 ? ErrorKind::ArgumentKeyMissing : ErrorKind::ArgumentValueBlanks;
    error.path = kConfigFileName;
    error.name = place.key;
    error.other = place.marker;
    error.number = lineNumber;
    Fail(std::move(error));
}

}  // namespace

LineRewrite RewriteConfigLine(std::string_view line, ConfigSection& section,
                              const std::vector<std::string>& args) {
    LineRewrite result;
    // The key is the line's non-blank characters up to the first separator.
    std::string key;
    std::size_t i = 0;
    for (; i < line.size(); ++i) {
        char c = line[i];
        if (AtLineEnd(line, i) || c == '%' || c == ',' || c == '=') break;
        if (c == ' ' || c == '\0') continue;
        key.push_back(c);
        if (key.front() == '#') section = RecogniseSection(key, section);
    }
    const auto arg = i < line.size() && line[i] == '=' ? ArgumentFor(section, key, args.size())
                                                       : std::nullopt;
    if (!arg) {
        result.text = line;
        return result;
    }
    result.argument = static_cast<int>(*arg);

    std::string_view afterEquals = line.substr(i + 1);
    std::string oldValue;
    std::size_t valueEnd = 0;  // where the value's text ends (a comment or the line end)
    for (; valueEnd < afterEquals.size(); ++valueEnd) {
        char c = afterEquals[valueEnd];
        if (AtLineEnd(afterEquals, valueEnd) || c == '%') break;
        if (c != ' ' && c != '\0') oldValue.push_back(c);
    }
    // An old value written with blanks does not occur in its line without
    // them (or only in the comment): the value cannot be replaced.
    const std::size_t at = afterEquals.find(oldValue);
    if (at == std::string_view::npos || at + oldValue.size() > valueEnd) {
        result.text = line;
        return result;
    }
    result.text = line.substr(0, i + 1);
    result.text += ReplaceFirst(afterEquals, oldValue, args[*arg]);
    result.landed = true;
    return result;
}

UniqueFile RewriteConfig(UniqueFile source, const std::vector<std::string>& args, const ConfigObserver& observer) {
    std::FILE* const cfg = source.get();
    if (observer) observer({ConfigStep::WritingArguments});
    struct stat info {};
    const bool known = ::fstat(::fileno(cfg), &info) == 0;
    ScratchConfig scratch(kConfigFileName);

    std::vector<bool> keyLineSeen(args.size(), false);
    ConfigSection section = SectionNone;
    std::string line;
    long lineNumber = 0;
    while (ReadRawLine(cfg, line)) {
        ++lineNumber;
        const LineRewrite out = RewriteConfigLine(line, section, args);
        if (out.argument >= 0) {
            keyLineSeen[static_cast<std::size_t>(out.argument)] = true;
            if (!out.landed) RefuseArgument(out.argument, lineNumber);
        }
        scratch.Write(out.text.data(), out.text.size());
        if (section == SectionEnd) break;
    }
    // A read error must not pass for the end of the file: the copy would lose
    // the rest of the configuration.
    if (std::ferror(cfg)) {
        const int err = errno;
        Fail(ErrorKind::ConfigReadFailed, kConfigFileName, SystemReason(err));
    }
    for (std::size_t a = 0; a < args.size(); ++a) {
        if (IsWritten(a, args.size()) && !keyLineSeen[a]) RefuseArgument(static_cast<int>(a), 0);
    }
    source.reset();
    if (known) scratch.KeepPermissions(info.st_mode);
    return InstallScratchConfig(scratch);
}
}  // namespace vux
