#include "core/json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vux {
namespace {

// Length of the valid UTF-8 sequence at the start of `s` (shortest forms, no
// surrogates, at most U+10FFFF), 0 when there is none.
size_t Utf8Length(std::string_view s) {
    const auto byte = [&s](size_t i) { return static_cast<unsigned char>(s[i]); };
    const auto tail = [&](size_t i) { return i < s.size() && (byte(i) & 0xC0) == 0x80; };
    const unsigned char b0 = byte(0);
    if (b0 < 0x80) return 1;
    if (b0 >= 0xC2 && b0 <= 0xDF) return tail(1) ? 2 : 0;
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (!tail(1) || !tail(2)) return 0;
        if (b0 == 0xE0 && byte(1) < 0xA0) return 0;   // overlong
        if (b0 == 0xED && byte(1) >= 0xA0) return 0;  // a surrogate
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (!tail(1) || !tail(2) || !tail(3)) return 0;
        if (b0 == 0xF0 && byte(1) < 0x90) return 0;  // overlong
        if (b0 == 0xF4 && byte(1) >= 0x90) return 0;  // above U+10FFFF
        return 4;
    }
    return 0;
}

void AppendEscaped(std::string& out, std::string_view bytes) {
    char escape[8];
    out += '"';
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        const size_t length = Utf8Length(bytes.substr(i));
        if (length == 0) {
            std::snprintf(escape, sizeof escape, "\\udc%02x", static_cast<unsigned>(c));
            out += escape;
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out.append(bytes.substr(i, length));
        }
        i += length;
    }
    out += '"';
}

}  // namespace

void JsonWriter::NewLine() {
    text_ += '\n';
    text_.append(2 * empty_.size(), ' ');
}

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (empty_.empty()) return;
    if (!empty_.back()) text_ += ',';
    empty_.back() = false;
    NewLine();
}

JsonWriter& JsonWriter::BeginObject() {
    BeforeValue();
    text_ += '{';
    empty_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::BeginArray() {
    BeforeValue();
    text_ += '[';
    empty_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    const bool wasEmpty = empty_.back();
    empty_.pop_back();
    if (!wasEmpty) NewLine();
    text_ += '}';
    if (empty_.empty()) text_ += '\n';
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    const bool wasEmpty = empty_.back();
    empty_.pop_back();
    if (!wasEmpty) NewLine();
    text_ += ']';
    if (empty_.empty()) text_ += '\n';
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
    BeforeValue();
    AppendEscaped(text_, name);
    text_ += ": ";
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view bytes) {
    BeforeValue();
    AppendEscaped(text_, bytes);
    return *this;
}

JsonWriter& JsonWriter::Number(double value) {
    if (std::isnan(value)) return String("NaN");
    if (std::isinf(value)) return String(value > 0 ? "Infinity" : "-Infinity");
    BeforeValue();
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    text_.append(digits, result.ptr);
    return *this;
}

JsonWriter& JsonWriter::Integer(int64_t value) {
    BeforeValue();
    text_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Unsigned(uint64_t value) {
    BeforeValue();
    text_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    BeforeValue();
    text_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null() {
    BeforeValue();
    text_ += "null";
    return *this;
}
}  // namespace vux
