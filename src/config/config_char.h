#pragma once
// One character of the configuration file, as every configuration reader
// sees it.

#include <cstdio>

namespace vux {
// The next character of `file`, or EOF. A CR directly before an LF belongs to
// the line end: the pair is returned as one '\n'. A lone CR is returned as is.
inline int ReadConfigChar(std::FILE* file) {
    int c = std::getc(file);
    if (c == '\r') {
        int next = std::getc(file);
        if (next == '\n') return '\n';
        if (next != EOF) std::ungetc(next, file);
    }
    return c;
}
}  // namespace vux
