#include "Localization.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <mutex>

#include "platform/Platform.hpp"

namespace {
std::mutex languageLock;
std::optional<Lang> cachedLanguage;

Lang languageOf(std::string_view tag) { return tag.starts_with("zh") ? Lang::zh : Lang::en; }

Lang decideLanguage() {
    if (auto forced = Langs::forcedByEnvironment()) return *forced;
    // The application's stored choice, so the tool follows the application.
    if (auto stored = UserDefaults::value("AppleLanguages");
        stored && stored->is_array() && !stored->empty() && stored->front().is_string())
        return languageOf(stored->front().get<std::string>());
    for (const auto& preferred : Platform::preferredLanguages()) {
        if (preferred.starts_with("zh")) return Lang::zh;
        if (preferred.starts_with("en")) return Lang::en;
    }
    return Lang::en;
}

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

namespace Langs {

std::optional<Lang> fromRaw(std::string_view raw) {
    if (raw == "zh") return Lang::zh;
    if (raw == "en") return Lang::en;
    return std::nullopt;
}

std::string_view rawValue(Lang lang) { return lang == Lang::zh ? "zh" : "en"; }

std::optional<Lang> forcedByEnvironment() {
    auto forced = Platform::environment("OSTREVANE_LANG");
    if (!forced || forced->empty()) return std::nullopt;
    std::string lowered = *forced;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return languageOf(lowered);
}

Lang current() {
    std::lock_guard guard(languageLock);
    if (!cachedLanguage) cachedLanguage = decideLanguage();
    return *cachedLanguage;
}

namespace detail {
void reset() {
    std::lock_guard guard(languageLock);
    cachedLanguage.reset();
}
}  // namespace detail

}  // namespace Langs

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
