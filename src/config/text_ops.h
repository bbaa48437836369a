#pragma once
// Small text operations of the configuration readers.

#include <cstddef>
#include <string>
#include <string_view>

namespace vux {
// The characters of `source` from index `start` up to, not including, index
// `limit`, stopping early at the end of `source`; empty when `start` is not
// below `limit` or lies past the end.
std::string SubText(std::string_view source, std::size_t start, std::size_t limit);

// Index of the first occurrence of `search` in `text` (exact, case-sensitive),
// or -1. An empty `search` is found at 0; one longer than `text` never.
std::ptrdiff_t FindFirst(std::string_view search, std::string_view text);

// `text` with the first occurrence of `search` replaced by `replacement`, or
// an unchanged copy when `search` does not occur.
std::string ReplaceFirst(std::string_view text, std::string_view search,
                         std::string_view replacement);
}  // namespace vux
