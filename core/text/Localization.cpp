#include "text/Localization.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>

namespace {
// A count picks the singular or plural half: a non-empty value made only of
// numeric characters and commas.
bool isCount(const std::string& value) {
    if (value.empty()) return false;
    const auto* bytes = reinterpret_cast<const uint8_t*>(value.data());
    int32_t length = static_cast<int32_t>(value.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) return false;
        if (c == ',') continue;
        if (u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) == U_NT_NONE) return false;
    }
    return true;
}
}  // namespace

std::string Localized::fill(std::string_view format, const std::vector<std::string>& values) {
    if (size_t split = format.find("||"); split != std::string_view::npos) {
        auto count = std::find_if(values.begin(), values.end(), isCount);
        bool singular = count != values.end() && *count == "1";
        format = singular ? format.substr(0, split) : format.substr(split + 2);
    }

    std::string result;
    result.reserve(format.size() + 16 * values.size());
    size_t sequential = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            result += c;
            continue;
        }
        char next = format[i + 1];
        if (next == '%') {
            result += '%';
            ++i;
        } else if (next == '@') {
            if (sequential < values.size()) result += values[sequential];
            ++sequential;
            ++i;
        } else if (next >= '0' && next <= '9' && i + 3 < format.size() && format[i + 2] == '$' &&
                   format[i + 3] == '@') {
            size_t position = static_cast<size_t>(next - '0');
            if (position >= 1 && position <= values.size()) result += values[position - 1];
            i += 3;
        } else {
            result += c;
        }
    }
    return result;
}

std::string L(const Localized& text) {
    if (Langs::current() == Lang::en)
        if (const std::string* english = English::lookup(text.key)) return Localized::fill(*english, text.args);
    return Localized::fill(text.key, text.args);
}
