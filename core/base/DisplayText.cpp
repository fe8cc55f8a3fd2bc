#include "base/DisplayText.hpp"

#include <cstdio>

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
