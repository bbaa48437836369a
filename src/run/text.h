#pragma once
// Helpers of the run's texts: joining pieces and printf-style formatting
// into a string.

#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vux {
// The pieces one after the other (std::string's + draws false -Wrestrict
// warnings from GCC 12).
inline std::string Join(std::initializer_list<std::string_view> pieces) {
    std::string text;
    size_t size = 0;
    for (std::string_view piece : pieces) size += piece.size();
    text.reserve(size);
    for (std::string_view piece : pieces) text += piece;
    return text;
}

inline std::string Format(const char* format, auto... values) {
    const int length = std::snprintf(nullptr, 0, format, values...);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, values...);
    text.resize(static_cast<size_t>(length));
    return text;
}

}  // namespace vux
