#pragma once
// Writing command-line values into the configuration file.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_file.h"

// Copies the open configuration up to and including its "#ENDCFG" line into
// "recfg", replacing the values of DATA_FILE and OUTPUT_FILE (#STRINGS) and
// THETA_X, THETA_Y, THETA_Z (#CONSTANTS) by args[0..4] as far as given, then
// gives "recfg" the old file's permission bits and renames it over
// vux_reader.cfg in one step. Consumes and closes `cfg`;
// returns vux_reader.cfg open for reading at its start. Prints "Writing custom
// settings......\n". A file that cannot be written or replaced stops the run
// with a message naming it and status -1.
std::FILE* RewriteConfig(std::FILE* cfg, const std::vector<std::string>& args);

// One line of the configuration (with its line end, LF or CR LF, if it has
// one) as the rewrite writes it: unchanged, or with the value of a key the
// arguments replace. `section` is the section before the line and becomes the
// section after it (a marker spelled by the line's first characters switches
// it, also when more characters follow).
std::string RewriteConfigLine(std::string_view line, ConfigSection& section,
                              const std::vector<std::string>& args);
