#pragma once
// Writing command-line values into the configuration file.

#include <cstdio>
#include <string>
#include <vector>

// Copies the open configuration up to and including its "#ENDCFG" line into
// "recfg", replacing the values of DATA_FILE and OUTPUT_FILE (#STRINGS) and
// THETA_X, THETA_Y, THETA_Z (#CONSTANTS) by args[0..4] as far as given, then
// renames "recfg" over vux_reader.cfg in one step. Consumes and closes `cfg`;
// returns vux_reader.cfg open for reading at its start. Prints "Writing custom
// settings......\n". A file that cannot be written or replaced stops the run
// with a message naming it and status -1.
std::FILE* RewriteConfig(std::FILE* cfg, const std::vector<std::string>& args);
