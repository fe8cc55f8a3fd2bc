#include "base/JSONOut.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "base/DisplayText.hpp"

namespace JSONOut {

namespace {
constexpr std::string_view markerEscape = "\\u0001";

bool isHex(char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }

/// The code unit of the "\uXXXX" escape at the start of `text`, or -1.
long escapedUnit(std::string_view text) {
    if (text.size() < 6 || text[0] != '\\' || text[1] != 'u') return -1;
    for (size_t i = 2; i < 6; ++i)
        if (!isHex(text[i])) return -1;
    return std::stol(std::string(text.substr(2, 4)), nullptr, 16);
}
}  // namespace

namespace detail {

bool needsMarking(const std::string& text) {
    return text.find(strayMarker) != std::string::npos || !Text::isValidUTF8(text);
}

std::string escapingMarkedBytes(std::string_view dumped) {
    std::string result;
    result.reserve(dumped.size() + 16);
    while (!dumped.empty()) {
        if (dumped.substr(0, 2) == "\\\\") {
            result += dumped.substr(0, 2);
            dumped.remove_prefix(2);
        } else if (dumped.substr(0, markerEscape.size()) == markerEscape) {
            dumped.remove_prefix(markerEscape.size());
            if (dumped.substr(0, markerEscape.size()) == markerEscape) {
                result += markerEscape;
                dumped.remove_prefix(markerEscape.size());
            } else {
                result += "\\udc";
                result += dumped.substr(0, 2);
                dumped.remove_prefix(std::min<size_t>(2, dumped.size()));
            }
        } else {
            result += dumped.front();
            dumped.remove_prefix(1);
        }
    }
    return result;
}

}  // namespace detail

std::optional<std::string> markingStrayByteEscapes(std::string_view text) {
    auto strayByteEscape = [](std::string_view rest) {
        long unit = escapedUnit(rest);
        return unit >= 0xDC80 && unit <= 0xDCFF;
    };
    // Most texts have none, and are only searched.
    bool any = false;
    for (size_t at = text.find("\\u"); at != std::string_view::npos && !any; at = text.find("\\u", at + 1))
        any = strayByteEscape(text.substr(at));
    if (!any) return std::nullopt;
    std::string result;
    result.reserve(text.size());
    while (!text.empty()) {
        const long unit = escapedUnit(text);
        if (unit >= 0xD800 && unit <= 0xDBFF && escapedUnit(text.substr(6)) >= 0xDC00 &&
            escapedUnit(text.substr(6)) <= 0xDFFF) {
            // A pair stands for one character above U+FFFF, not for bytes.
            result += text.substr(0, 12);
            text.remove_prefix(12);
        } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
            result += markerEscape;
            result += {static_cast<char>(std::tolower(text[4])), static_cast<char>(std::tolower(text[5]))};
            text.remove_prefix(6);
        } else if (unit == detail::strayMarker) {
            result += markerEscape;
            result += markerEscape;
            text.remove_prefix(6);
        } else if (text.front() == '\\' && text.size() >= 2) {
            result += text.substr(0, 2);
            text.remove_prefix(2);
        } else {
            result += text.front();
            text.remove_prefix(1);
        }
    }
    return result;
}

void unmarkStrayBytes(json& value) {
    detail::visitStrings(
        value, +[](const std::string& text) { return Text::unmarkingStrayBytes(text, detail::strayMarker); },
        +[](const std::string& text) { return text.find(detail::strayMarker) != std::string::npos; });
}

json parse(std::string_view text) {
    auto marked = markingStrayByteEscapes(text);
    if (!marked) return json::parse(text);
    json value = json::parse(*marked);
    unmarkStrayBytes(value);
    return value;
}

static bool allNumbersFinite(const json& value) {
    switch (value.type()) {
    case json::value_t::number_float: return std::isfinite(value.get<double>());
    case json::value_t::array:
    case json::value_t::object:
        for (const auto& element : value)
            if (!allNumbersFinite(element)) return false;
        return true;
    default: return true;
    }
}

std::string encode(const json& value, bool pretty) {
    if (!allNumbersFinite(value)) return failureDocument;
    try {
        return DisplayText::escapingJSONControls(dump(value, pretty ? 2 : -1));
    } catch (...) {
        return failureDocument;
    }
}

}  // namespace JSONOut
