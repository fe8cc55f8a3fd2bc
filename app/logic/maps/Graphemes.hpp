// Cutting UTF-8 text by user-perceived characters (extended grapheme
// clusters), so a shortened name never splits an accented letter, an emoji
// sequence or a UTF-8 byte sequence.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Graphemes {
/// Byte offsets of every cluster boundary, 0 and text.size() included; each
/// lies at the start of a UTF-8 sequence. Ill-formed bytes count as one
/// cluster each.
std::vector<size_t> boundaries(std::string_view text);
/// How many clusters `text` holds.
size_t count(std::string_view text);
/// The first `n` clusters (all of them when there are fewer).
std::string prefix(std::string_view text, size_t n);
/// The last `n` clusters (all of them when there are fewer).
std::string suffix(std::string_view text, size_t n);
}  // namespace Graphemes
