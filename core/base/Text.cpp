#include "base/Text.hpp"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <random>

namespace Text {

namespace {
// Length of the valid UTF-8 sequence at the start of `text`, or 0 when invalid.
size_t validSequenceLength(std::string_view text) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    size_t length;
    uint32_t min;
    uint32_t codePoint;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, min = 0x80, codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, min = 0x800, codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (byte(i) & 0x3F);
    }
    if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
    return length;
}
}  // namespace

bool isValidUTF8(std::string_view text) {
    while (!text.empty()) {
        size_t length = validSequenceLength(text);
        if (length == 0) return false;
        text.remove_prefix(length);
    }
    return true;
}

std::string replacingInvalidUTF8(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    while (!text.empty()) {
        size_t length = validSequenceLength(text);
        if (length == 0) {
            result += "\xEF\xBF\xBD";
            text.remove_prefix(1);
        } else {
            result.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return result;
}

std::string markingStrayBytes(std::string_view text, char marker) {
    static const char hex[] = "0123456789abcdef";
    std::string result;
    result.reserve(text.size() + 8);
    while (!text.empty()) {
        size_t length = validSequenceLength(text);
        if (length == 0) {
            const auto byte = static_cast<unsigned char>(text.front());
            result += {marker, hex[byte >> 4], hex[byte & 0xF]};
            length = 1;
        } else if (text.front() == marker) {
            result += {marker, marker};
        } else {
            result.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return result;
}

std::string unmarkingStrayBytes(std::string_view text, char marker) {
    auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != marker || i + 1 >= text.size()) {
            result += text[i];
        } else if (text[i + 1] == marker) {
            result += marker;
            i += 1;
        } else if (i + 2 < text.size()) {
            result += static_cast<char>(digit(text[i + 1]) << 4 | digit(text[i + 2]));
            i += 2;
        }
    }
    return result;
}

std::string trim(std::string_view text) {
    const char* blanks = " \t\n\r\v\f";
    size_t start = text.find_first_not_of(blanks);
    if (start == std::string_view::npos) return "";
    size_t end = text.find_last_not_of(blanks);
    return std::string(text.substr(start, end - start + 1));
}

std::string lowercased(std::string_view text) {
    bool ascii = std::all_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x80; });
    if (ascii) {
        std::string lower(text);
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return lower;
    }
    std::string lower;
    icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())))
        .toLower(icu::Locale::getRoot())
        .toUTF8String(lower);
    return lower;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    // Bytes that are not UTF-8 would all read as U+FFFD and match each other.
    if (!isValidUTF8(a) || !isValidUTF8(b)) return a == b;
    auto unicode = [](std::string_view text) {
        return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    };
    return unicode(a).caseCompare(unicode(b), U_FOLD_CASE_DEFAULT) == 0;
}

std::string randomIdentifier() {
    static std::mutex lock;
    static std::random_device entropy;
    uint32_t value;
    {
        std::lock_guard guard(lock);
        value = static_cast<uint32_t>(entropy());
    }
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::string shellQuoted(std::string_view text) {
    std::string result = "'";
    for (char c : text) {
        if (c == '\'')
            result += "'\\''";
        else
            result += c;
    }
    return result + "'";
}

}  // namespace Text
