#include "config/token_reader.h"

#include "config/config_char.h"

namespace vux {
namespace {

ConfigEvent LineEnd(ConfigTokenReader& reader, std::string& token) {
    if (!token.empty() && token.front() == '#') {
        if (auto section = MarkerSection(token)) {
            reader.section = *section;
            if (reader.observer != nullptr && *reader.observer) (*reader.observer)({ConfigStep::Section, *section});
        }
    }
    return {ConfigEventKind::LineEnd, std::move(token)};
}

}  // namespace

ConfigEvent NextConfigEvent(ConfigTokenReader& reader) {
    std::string token;
    for (;;) {
        if (reader.section == SectionEnd) return {ConfigEventKind::End, {}};
        int c = ReadConfigChar(reader.file);
        if (c == EOF) {
            if (reader.fileEnded) {
                reader.section = SectionEnd;
                continue;
            }
            reader.fileEnded = true;
            c = '\n';
        } else if (c == '%') {
            do {
                c = ReadConfigChar(reader.file);
            } while (c != EOF && c != '\n');
            if (c == EOF) reader.fileEnded = true;
            c = '\n';
        }
        switch (c) {
            case ' ':
            case '\0': break;
            case '\n': return LineEnd(reader, token);
            case ',': return {ConfigEventKind::FieldEnd, std::move(token)};
            case '=': return {ConfigEventKind::KeyEnd, std::move(token)};
            default: token.push_back(static_cast<char>(c));
        }
    }
}
}  // namespace vux
