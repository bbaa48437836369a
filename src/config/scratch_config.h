#pragma once
// The scratch file "recfg": every new content of vux_reader.cfg (the default
// or a rewrite) is written there first and then renamed over the
// configuration in one step, so the configuration is always either the old
// or the new complete file. A "recfg" left by a killed run is never read;
// the next write simply truncates it.

#include <cstdio>
#include <string>

inline constexpr const char* kScratchConfigName = "recfg";

// Creates or truncates "recfg" for writing. Stops the run with
// "\nCannot create recfg: <reason>\n" (status -1) when it cannot.
std::FILE* CreateScratchConfig();

// Writes `size` bytes into the scratch file; on failure abandons it (see
// AbandonScratchConfig) with "Cannot write recfg".
void WriteScratchConfig(std::FILE* scratch, const char* data, std::size_t size);

// Flushes `scratch`, puts it on disk, closes it and renames "recfg" over
// vux_reader.cfg in one step (never removing the old file first); returns
// vux_reader.cfg open for reading at its start. Any failure before the rename
// abandons the scratch file and leaves vux_reader.cfg as it was; every
// failure stops the run with a message naming the file and the system's
// reason (status -1).
std::FILE* InstallScratchConfig(std::FILE* scratch);

// Closes `scratch` (when not null), removes "recfg" and stops the run with
// "\n<what>: <reason of err>\n" (status -1).
[[noreturn]] void AbandonScratchConfig(std::FILE* scratch, const std::string& what, int err);
