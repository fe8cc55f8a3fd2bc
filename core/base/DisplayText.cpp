#include "base/DisplayText.hpp"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstdio>

#include "base/Text.hpp"

namespace DisplayText {

namespace {

std::string escapeOf(unsigned codePoint) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", codePoint);
    return buffer;
}

}  // namespace

size_t bidiControlLength(std::string_view text) {
    auto byte = [&](size_t index) { return index < text.size() ? static_cast<unsigned char>(text[index]) : 0u; };
    if (byte(0) == 0xD8 && byte(1) == 0x9C) return 2;  // U+061C
    if (byte(0) != 0xE2) return 0;
    if (byte(1) == 0x80 && (byte(2) == 0x8E || byte(2) == 0x8F || (byte(2) >= 0xAA && byte(2) <= 0xAE))) return 3;
    if (byte(1) == 0x81 && byte(2) >= 0xA6 && byte(2) <= 0xA9) return 3;
    return 0;
}

std::string escapingBidiControls(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    while (!text.empty()) {
        if (size_t length = bidiControlLength(text)) {
            const auto b = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
            unsigned codePoint = length == 2 ? ((b(0) & 0x1Fu) << 6) | (b(1) & 0x3Fu)
                                             : ((b(0) & 0x0Fu) << 12) | ((b(1) & 0x3Fu) << 6) | (b(2) & 0x3Fu);
            result += escapeOf(codePoint);
            text.remove_prefix(length);
            continue;
        }
        result += text.front();
        text.remove_prefix(1);
    }
    return result;
}

namespace {

/// The length of the character at the start of `text` when it is valid
/// UTF-8 and not a C1 control, else 0.
size_t printableLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length > text.size() || !Text::isValidUTF8(text.substr(0, length))) return 0;
    if (lead == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0) return 0;
    return length;
}

/// The code point of the valid UTF-8 character of `length` bytes at the start of `text`.
UChar32 codePointOf(std::string_view text, size_t length) {
    const auto b = [&](size_t i) { return static_cast<UChar32>(static_cast<unsigned char>(text[i])); };
    if (length == 1) return b(0);
    if (length == 2) return (b(0) & 0x1F) << 6 | (b(1) & 0x3F);
    if (length == 3) return (b(0) & 0x0F) << 12 | (b(1) & 0x3F) << 6 | (b(2) & 0x3F);
    return (b(0) & 0x07) << 18 | (b(1) & 0x3F) << 12 | (b(2) & 0x3F) << 6 | (b(3) & 0x3F);
}

/// What bash acts on in a word, or reads otherwise than as itself.
bool isShellCharacter(char c) {
    static constexpr std::string_view special = "$`\\'\";&|<>*?[]!{}#";
    return special.find(c) != std::string_view::npos;
}

/// A character that reads as something it is not: a space other than the
/// plain one, or an invisible formatting character (bidirectional controls,
/// zero-width characters).
bool isMisleading(UChar32 codePoint) {
    return u_isUWhiteSpace(codePoint) || u_charType(codePoint) == U_SPACE_SEPARATOR ||
           u_charType(codePoint) == U_FORMAT_CHAR;
}

/// The byte length of the character at the start of `text` when a name may
/// show it as it is, else 0.
size_t plainLength(std::string_view text) {
    const auto byte = static_cast<unsigned char>(text[0]);
    if (byte < 0x80) return byte >= 0x20 && byte != 0x7F && !isShellCharacter(text[0]) ? 1 : 0;
    const size_t length = printableLength(text);
    return length > 0 && !isMisleading(codePointOf(text, length)) ? length : 0;
}

bool needsQuoting(std::string_view text) {
    while (!text.empty()) {
        const size_t length = plainLength(text);
        if (length == 0) return true;
        text.remove_prefix(length);
    }
    return false;
}

/// The inside of `$'…'` for `text`. A quote is written "\x27", not "\'", so
/// that an interactive shell's history expansion, which knows no escapes in
/// quotes, sees one quoted word and leaves a "!" in it alone.
std::string quotedBody(std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    std::string result;
    result.reserve(text.size() + 8);
    while (!text.empty()) {
        const auto byte = static_cast<unsigned char>(text[0]);
        const size_t length = plainLength(text);
        if (length > 0 || (byte >= 0x20 && byte < 0x7F && byte != '\\' && byte != '\'')) {
            const size_t kept = length > 0 ? length : 1;
            result.append(text.substr(0, kept));
            text.remove_prefix(kept);
            continue;
        }
        // A misleading character is written byte by byte, as every other.
        const size_t bytes = byte >= 0x80 ? std::max<size_t>(printableLength(text), 1) : 1;
        for (size_t i = 0; i < bytes; ++i) {
            const auto each = static_cast<unsigned char>(text[i]);
            if (each == '\\')
                result += "\\\\";
            else if (each == '\n')
                result += "\\n";
            else if (each == '\t')
                result += "\\t";
            else if (each == '\r')
                result += "\\r";
            else
                result += {'\\', 'x', hex[each >> 4], hex[each & 0xF]};
        }
        text.remove_prefix(bytes);
    }
    return result;
}

}  // namespace

std::string forTerminal(std::string_view text, bool keepLineBreaks) {
    static const char hex[] = "0123456789abcdef";
    std::string result;
    result.reserve(text.size());
    while (!text.empty()) {
        const auto byte = static_cast<unsigned char>(text[0]);
        if (size_t bidi = bidiControlLength(text)) {
            result += escapingBidiControls(text.substr(0, bidi));
            text.remove_prefix(bidi);
            continue;
        }
        size_t length = byte >= 0x80 ? printableLength(text) : (byte >= 0x20 && byte != 0x7F) ? 1 : 0;
        if (byte == '\n' && keepLineBreaks) length = 1;
        if (length > 0) {
            result.append(text.substr(0, length));
            text.remove_prefix(length);
            continue;
        }
        if (byte == '\n')
            result += "\\n";
        else if (byte == '\t')
            result += "\\t";
        else if (byte == '\r')
            result += "\\r";
        else
            result += {'\\', 'x', hex[byte >> 4], hex[byte & 0xF]};
        text.remove_prefix(1);
    }
    return result;
}

std::string name(std::string_view name) {
    if (!needsQuoting(name)) return std::string(name);
    return "$'" + quotedBody(name) + "'";
}

QuotedPath path(std::string_view path) {
    if (path.starts_with("~/")) return QuotedPath("~/" + name(path.substr(2)));
    return QuotedPath(name(path));
}

std::optional<std::string> unquoted(std::string_view shown) {
    if (shown.size() < 3 || !shown.starts_with("$'") || !shown.ends_with('\'')) return std::nullopt;
    const std::string_view body = shown.substr(2, shown.size() - 3);
    const auto hexDigit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string result;
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\'') return std::nullopt;
        if (body[i] != '\\') {
            result += body[i];
            continue;
        }
        if (++i == body.size()) return std::nullopt;
        switch (body[i]) {
        case '\\': result += '\\'; break;
        case '\'': result += '\''; break;
        case 'n': result += '\n'; break;
        case 't': result += '\t'; break;
        case 'r': result += '\r'; break;
        case 'x': {
            // Bash reads one or two digits.
            int value = -1;
            for (size_t digits = 0; digits < 2 && i + 1 < body.size() && hexDigit(body[i + 1]) >= 0; ++digits)
                value = (value < 0 ? 0 : value * 16) + hexDigit(body[++i]);
            if (value < 0) return std::nullopt;
            result += static_cast<char>(value);
            break;
        }
        default: return std::nullopt;
        }
    }
    return result;
}

std::string escapingJSONControls(std::string text) {
    // Most output has neither; it is returned as it is.
    bool any = false;
    for (size_t i = 0; i < text.size() && !any; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        any = byte == 0x7F || (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0);
    }
    if (!any) return text;
    std::string result;
    result.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == 0x7F) {
            result += escapeOf(0x7F);
        } else if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            // In valid UTF-8, C2 leads a two-byte character: C2 80-9F are U+0080-U+009F.
            result += escapeOf(static_cast<unsigned char>(text[++i]));
        } else {
            result += text[i];
        }
    }
    return result;
}

}  // namespace DisplayText
