#include "config/line_reader.h"

#include <algorithm>
#include <cerrno>

#include "core/error.h"

namespace vux {
namespace {

// Whether the evaluation reads the rest of the line as a value after `token`
// in `section`: a key (ended by '='), or field number `field` (ended by ',').
bool TakesValue(ConfigSection section, char separator, std::string_view token, int field) {
    if (separator == ',') return field == 3 && (section == SectionColumns || section == SectionMatlab);
    switch (section) {
        case SectionStrings: return token == "DATA_FILE" || token == "OUTPUT_FILE";
        case SectionConstants:
        case SectionWindowFunction:
        case SectionEquations: return true;
        default: return false;
    }
}

}  // namespace

bool ConfigLineReader::NextLine() {
    while (!ended_) NextEvent();
    if (section_ == SectionEnd) return false;
    line_.clear();
    int c;
    while ((c = std::getc(file_)) != EOF) {
        line_.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    if (std::ferror(file_)) Fail(ErrorKind::ConfigReadFailed, kConfigFileName, {errno});
    if (line_.empty()) return false;
    textEnd_ = line_.size();
    if (line_.back() == '\n') textEnd_ -= textEnd_ > 1 && line_[textEnd_ - 2] == '\r' ? 2 : 1;
    pos_ = 0;
    fields_ = 0;
    ended_ = false;
    ++number_;
    return true;
}

ConfigEvent ConfigLineReader::NextEvent() {
    ConfigEvent event;
    if (ended_) return event;
    while (pos_ < textEnd_ && line_[pos_] != '%') {
        const char c = line_[pos_++];
        if (c == ' ' || c == '\0') continue;
        if (c != ',' && c != '=') {
            event.token.push_back(c);
            continue;
        }
        if (!TakesValue(section_, c, event.token, fields_)) {
            if (c == '=') {  // a key nothing reads is passed over
                event.token.clear();
                continue;
            }
            event.kind = ConfigEventKind::Field;
            event.field = fields_++;
            return event;
        }
        event.kind = ConfigEventKind::Value;
        event.valueBegin = pos_;
        event.valueEnd = std::min(line_.find('%', pos_), textEnd_);
        const bool title = section_ == SectionMatlab;
        for (std::size_t i = event.valueBegin; i < event.valueEnd; ++i) {
            const char v = line_[i];
            if (v == '\0' || (v == ' ' && (!title || event.value.empty()))) continue;
            event.value.push_back(v);
        }
        ended_ = true;
        return event;
    }
    ended_ = true;
    if (auto marker = MarkerSection(event.token)) {
        section_ = *marker;
        if (observer_ != nullptr && *observer_) (*observer_)({ConfigStep::Section, section_});
    }
    return event;
}
}  // namespace vux
