#include "config/rewrite.h"

#include <sys/stat.h>

#include <iterator>
#include <optional>

#include "config/scratch_config.h"
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

LineRewrite RewriteConfigLine(ConfigLineReader& reader, const std::vector<std::string>& args) {
    LineRewrite result;
    result.text = reader.Line();
    ConfigEvent event;
    while ((event = reader.NextEvent()).kind == ConfigEventKind::Field) {
    }
    const auto arg = event.kind == ConfigEventKind::Value
                         ? ArgumentFor(reader.Section(), event.token, args.size())
                         : std::nullopt;
    if (!arg) return result;
    result.argument = static_cast<int>(*arg);
    // The value as read lost its blanks: where they stood inside it, it does
    // not occur in its text, and cannot be replaced.
    const std::string_view text =
        reader.Line().substr(event.valueBegin, event.valueEnd - event.valueBegin);
    const std::size_t at = text.find(event.value);
    if (at == std::string_view::npos) return result;
    result.text.replace(event.valueBegin + at, event.value.size(), args[*arg]);
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
    ConfigLineReader reader(cfg);
    while (reader.NextLine()) {
        const LineRewrite out = RewriteConfigLine(reader, args);
        if (out.argument >= 0) {
            keyLineSeen[static_cast<std::size_t>(out.argument)] = true;
            if (!out.landed) RefuseArgument(out.argument, static_cast<long>(reader.LineNumber()));
        }
        scratch.Write(out.text.data(), out.text.size());
    }
    for (std::size_t a = 0; a < args.size(); ++a) {
        if (IsWritten(a, args.size()) && !keyLineSeen[a]) RefuseArgument(static_cast<int>(a), 0);
    }
    source.reset();
    if (known) scratch.KeepPermissions(info.st_mode);
    return InstallScratchConfig(scratch);
}
}  // namespace vux
