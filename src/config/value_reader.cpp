#include "config/value_reader.h"

#include "config/config_char.h"

namespace vux {
namespace {

std::string ReadRestOfLine(std::FILE* file, bool keepInnerSpaces) {
    std::string value;
    for (;;) {
        int c = ReadConfigChar(file);
        if (c == EOF || c == '\n') return value;
        if (c == '%') {
            do {
                c = ReadConfigChar(file);
            } while (c != EOF && c != '\n');
            return value;
        }
        if (c == '\0') continue;
        if (c == ' ' && (!keepInnerSpaces || value.empty())) continue;
        value.push_back(static_cast<char>(c));
    }
}

}  // namespace

std::string ReadValue(std::FILE* file) { return ReadRestOfLine(file, false); }

std::string ReadTitle(std::FILE* file) { return ReadRestOfLine(file, true); }
}  // namespace vux
