#pragma once
// The configuration file vux_reader.cfg: settling it at the start of a run,
// its built-in default content, and its section markers.

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "core/unique_fd.h"

namespace vux {
inline constexpr const char* kConfigFileName = "vux_reader.cfg";

// Where the bytes of a configuration replaced by the default are kept.
inline constexpr const char* kBackupConfigName = "vux_reader.cfg.bak";

// The complete default configuration, written byte for byte (LF line ends, no
// line break after the final "#ENDCFG").
extern const std::string_view kDefaultConfig;

// A file of this many bytes or fewer counts as corrupt and is replaced.
inline constexpr long long kLargestReplacedConfigSize = 1000;

enum ConfigSection : int {
    SectionEnd = -1,
    SectionNone = 0,
    SectionStrings = 1,
    SectionConstants = 2,
    SectionWindowFunction = 3,
    SectionEquations = 4,
    SectionColumns = 5,
    SectionMatlab = 6,
};

// The steps of the configuration stage, told to the run as they happen so
// that it can show them in order.
enum class ConfigStep {
    ReadingFile,       // an existing vux_reader.cfg was opened to be read
    WritingDefault,    // the default configuration is about to be written
    BackedUp,          // a replaced file's `bytes` were kept in vux_reader.cfg.bak
    WritingArguments,  // command-line values are about to be written into the file
    Evaluating,        // evaluation starts
    Section,           // a marker line opened `section` (again each time it repeats)
    Evaluated,         // evaluation reached "#ENDCFG" or the end of the file
};

struct ConfigNote {
    ConfigStep step = ConfigStep::Evaluating;
    ConfigSection section = SectionNone;
    uint64_t bytes = 0;
};

// Called once per step; may be empty.
using ConfigObserver = std::function<void(const ConfigNote&)>;

// Keeps vux_reader.cfg when it is longer than 1000 bytes, otherwise writes the
// default; returns the file open for reading at its first byte. Tells
// ReadingFile when a file exists and WritingDefault when the default is
// written. A replaced file that is not empty is first kept, byte for byte and
// with its permission bits, as vux_reader.cfg.bak (through "recfg" and one
// rename, replacing an older backup), told as BackedUp. A file that cannot be
// read or written, or a backup that cannot be made, throws (ConfigNotRegular,
// ConfigCannotOpen, ConfigCannotRead or a scratch failure) before
// vux_reader.cfg changes. Call with the directory lock held (ConfigLock).
UniqueFile OpenConfig(const ConfigObserver& observer = {});

// Writes kDefaultConfig into the scratch file "recfg" (mode 0666 less the
// umask) and renames that over vux_reader.cfg in one step, so a run killed
// meanwhile leaves the old file or the complete default, never a torn one;
// returns vux_reader.cfg open for reading at its start. Any failure throws an
// error naming the file and the system's reason; vux_reader.cfg is then as
// before.
UniqueFile WriteDefaultConfig(const ConfigObserver& observer = {});

// The section a marker token opens ("#STRINGS" ... "#ENDCFG", exact and
// case-sensitive), or nothing when the token is no marker.
std::optional<ConfigSection> MarkerSection(std::string_view token);
}  // namespace vux
