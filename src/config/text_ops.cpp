#include "config/text_ops.h"

namespace vux {
std::string SubText(std::string_view source, std::size_t start, std::size_t limit) {
    if (start >= limit || start >= source.size()) return {};
    return std::string(source.substr(start, limit - start));
}

std::ptrdiff_t FindFirst(std::string_view search, std::string_view text) {
    std::size_t at = text.find(search);
    return at == std::string_view::npos ? -1 : static_cast<std::ptrdiff_t>(at);
}

std::string ReplaceFirst(std::string_view text, std::string_view search,
                         std::string_view replacement) {
    std::ptrdiff_t at = FindFirst(search, text);
    if (at < 0) return std::string(text);
    std::string result(text.substr(0, static_cast<std::size_t>(at)));
    result += replacement;
    result += text.substr(static_cast<std::size_t>(at) + search.size());
    return result;
}
}  // namespace vux
