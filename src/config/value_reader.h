#pragma once
// Reading the rest of a configuration line as one value.

#include <cstdio>
#include <string>

namespace vux {
// The rest of the current line of `file` without its line end and without
// its comment (from "%"), every space dropped. The end of the file ends the
// value like a line end. The line end is consumed; NUL bytes are dropped.
std::string ReadValue(std::FILE* file);

// As ReadValue, but only the spaces before the first kept character are
// dropped: inner spaces and spaces before a comment or the line end stay.
std::string ReadTitle(std::FILE* file);
}  // namespace vux
