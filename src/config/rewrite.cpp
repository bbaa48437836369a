#include "config/rewrite.h"

#include <sys/stat.h>

#include <cerrno>
#include <optional>

#include "config/scratch_config.h"
#include "config/text_ops.h"
#include "run/run_stop.h"

namespace {

// Which argument (0-based) replaces the value of `key` in `section`, if the
// arguments reach it.
std::optional<std::size_t> ArgumentFor(ConfigSection section, std::string_view key,
                                       std::size_t argCount) {
    if (section == SectionStrings) {
        if (key == "DATA_FILE" && argCount >= 1) return 0;
        if (key == "OUTPUT_FILE" && argCount >= 2) return 1;
    } else if (section == SectionConstants && argCount == 5) {
        if (key == "THETA_X") return 2;
        if (key == "THETA_Y") return 3;
        if (key == "THETA_Z") return 4;
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

// Closes the configuration being copied when the copy ends, also when the
// run stops.
struct SourceCloser {
    std::FILE* file;
    ~SourceCloser() {
        if (file != nullptr) std::fclose(file);
    }
};

}  // namespace

std::string RewriteConfigLine(std::string_view line, ConfigSection& section,
                              const std::vector<std::string>& args) {
    // The key is the line's non-blank characters up to the first separator.
    std::string key;
    std::size_t i = 0;
    for (; i < line.size(); ++i) {
        char c = line[i];
        if (AtLineEnd(line, i) || c == '%' || c == ',') return std::string(line);
        if (c == '=') break;
        if (c == ' ' || c == '\0') continue;
        key.push_back(c);
        if (key.front() == '#') section = RecogniseSection(key, section);
    }
    if (i == line.size()) return std::string(line);

    auto arg = ArgumentFor(section, key, args.size());
    if (!arg) return std::string(line);

    std::string_view afterEquals = line.substr(i + 1);
    std::string oldValue;
    std::size_t valueEnd = 0;  // where the value's text ends (a comment or the line end)
    for (; valueEnd < afterEquals.size(); ++valueEnd) {
        char c = afterEquals[valueEnd];
        if (AtLineEnd(afterEquals, valueEnd) || c == '%') break;
        if (c != ' ' && c != '\0') oldValue.push_back(c);
    }
    // An old value written with blanks does not occur in its line without
    // them: the line stays as it is (or only its comment would change), and
    // the run goes on with the configured value. Say so, so that a value
    // given on the command line is never dropped without a word.
    const std::size_t at = afterEquals.find(oldValue);
    if (at == std::string_view::npos || at + oldValue.size() > valueEnd) {
        std::fprintf(stderr,
                     "vux_reader: warning: %s in %s keeps its value: the old value is written with "
                     "blanks, so \"%s\" from the command line could not replace it\n",
                     key.c_str(), kConfigFileName, args[*arg].c_str());
    }
    std::string result(line.substr(0, i + 1));
    result += ReplaceFirst(afterEquals, oldValue, args[*arg]);
    return result;
}

std::FILE* RewriteConfig(std::FILE* cfg, const std::vector<std::string>& args) {
    SourceCloser source{cfg};
    std::printf("Writing custom settings......\n");
    struct stat info {};
    const bool known = ::fstat(::fileno(cfg), &info) == 0;
    ScratchConfig scratch;

    ConfigSection section = SectionNone;
    std::string line;
    while (ReadRawLine(cfg, line)) {
        const std::string out = RewriteConfigLine(line, section, args);
        scratch.Write(out.data(), out.size());
        if (section == SectionEnd) break;
    }
    // A read error must not pass for the end of the file: the copy would lose
    // the rest of the configuration.
    if (std::ferror(cfg)) {
        const int err = errno;
        StopRun(-1, std::string("\nCannot read ") + kConfigFileName + ": " + SystemReason(err) + "\n");
    }
    std::fclose(source.file);
    source.file = nullptr;
    if (known) scratch.KeepPermissions(info.st_mode);
    return InstallScratchConfig(scratch);
}
