#pragma once
// The configuration file vux_reader.cfg: settling it at the start of a run,
// its built-in default content, and its section markers.

#include <cstdio>
#include <optional>
#include <string_view>

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

// Keeps vux_reader.cfg when it is longer than 1000 bytes, otherwise writes the
// default; returns the file open for reading at its first byte. Prints
// "Reading config file......\n" when a file exists and "Config file not found
// or corrupted.  Creating new file......\n" when the default is written.
// A replaced file that is not empty is first kept, byte for byte and with its
// permission bits, as vux_reader.cfg.bak (through "recfg" and one rename,
// replacing an older backup), and a warning naming both files goes to the
// error stream. A file that cannot be read or written, or a backup that
// cannot be made, stops the run (status -1) before vux_reader.cfg changes.
// Call with the directory lock held (ConfigLock).
std::FILE* OpenConfig();

// Writes kDefaultConfig into the scratch file "recfg" (mode 0666 less the
// umask) and renames that over vux_reader.cfg in one step, so a run killed meanwhile leaves the old file
// or the complete default, never a torn one; returns vux_reader.cfg open for
// reading at its start. Any failure stops the run with a message naming the
// file and the system's reason (status -1); vux_reader.cfg is then as before.
std::FILE* WriteDefaultConfig();

// The section a marker token opens ("#STRINGS" ... "#ENDCFG", exact and
// case-sensitive), or nothing when the token is no marker.
std::optional<ConfigSection> MarkerSection(std::string_view token);

// The section code of a marker token, or `current` when the token is no marker.
ConfigSection RecogniseSection(std::string_view token, ConfigSection current);

// What the evaluation prints on meeting the marker of `section` ("" for
// SectionNone and SectionEnd).
const char* SectionMessage(ConfigSection section);

}  // namespace vux
