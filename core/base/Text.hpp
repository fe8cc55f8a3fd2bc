// Small operations on UTF-8 texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Text {
bool isValidUTF8(std::string_view text);
/// Replaces every byte sequence that is not valid UTF-8 with U+FFFD.
std::string replacingInvalidUTF8(std::string_view text);
/// Stray bytes are those no valid UTF-8 sequence holds (always 0x80-0xFF): a
/// name on disk may have any, and must keep them to name its file. Here each
/// one is written as `marker` and its two lower-case hexadecimal digits, and
/// each `marker` already in the text is doubled, so `unmarkingStrayBytes`
/// gets the bytes back whatever the text held.
std::string markingStrayBytes(std::string_view text, char marker);
/// The inverse of `markingStrayBytes`.
std::string unmarkingStrayBytes(std::string_view text, char marker);
/// Trims blanks, tabs and line breaks at both ends.
std::string trim(std::string_view text);
/// Lower case by Unicode's root rules, with a fast road for ASCII.
std::string lowercased(std::string_view text);
/// Whether two texts are equal with case folded by Unicode's default rules
/// ("Mon-Drive" and "mon-drive"), as ids typed by hand are compared; texts
/// that are not UTF-8 only when they are the same bytes.
bool equalIgnoringCase(std::string_view a, std::string_view b);
/// Wraps a text in single quotes for a POSIX shell, escaping quotes inside it.
std::string shellQuoted(std::string_view text);
/// 64-bit FNV-1a over the bytes of `text`, from `basis`: the same on every
/// build and machine, for names and seeds that are stored or must repeat.
constexpr uint64_t fnv1a(std::string_view text, uint64_t basis = 0xcbf29ce484222325u) {
    uint64_t hash = basis;
    for (unsigned char byte : text) {
        hash ^= byte;
        hash *= 0x100000001b3u;
    }
    return hash;
}
/// Eight random lower-case hexadecimal digits, like the first group of a UUID.
std::string randomIdentifier();
}  // namespace Text
