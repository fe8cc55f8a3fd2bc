// Every text the system shows is written in Simplified Chinese in the code and
// rendered through L(): Chinese texts are the keys with their values filled
// in, English texts come from the fixed table in English.cpp.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "Support.hpp"
#include "base/DisplayText.hpp"
#include "platform/Language.hpp"

/// A text to show: the Chinese key ("%@" per value, "%%" for a literal percent
/// sign) and the values as texts.
struct Localized {
    std::string key;
    std::vector<std::string> args;

    Localized() = default;
    Localized(std::string key, std::vector<std::string> args = {}) : key(std::move(key)), args(std::move(args)) {}
    Localized(const char* key) : key(key) {}

    /// Fills a format: the "||" singular/plural pick, then "%@", "%N$@" and "%%".
    static std::string fill(std::string_view format, const std::vector<std::string>& values);

    /// A value's plain description: texts unchanged, whole numbers in decimal
    /// digits without grouping, an error by its message.
    static std::string text(const std::string& value) { return value; }
    static std::string text(std::string_view value) { return std::string(value); }
    static std::string text(const char* value) { return value; }
    static std::string text(const DisplayText::QuotedPath& value) { return value.text(); }
    /// A path is shown quoted: DisplayText::path.
    static std::string text(const std::filesystem::path& value) = delete;
    static std::string text(const OstrevaneError& error) { return error.message; }
    template <class N, std::enable_if_t<std::is_integral_v<N>, int> = 0>
    static std::string text(N value) {
        return std::to_string(value);
    }
};

std::string L(const Localized& text);

/// Renders a key with its values: L("已扫描 %@ 个文件", count).
template <class... Values>
std::string L(std::string_view key, const Values&... values) {
    return L(Localized(std::string(key), {Localized::text(values)...}));
}

namespace English {
struct Row {
    std::string_view chinese;
    std::string_view english;
};
/// Every row of the table, in table order.
const std::vector<Row>& rows();
/// Texts of this build that the table has no row for.
const std::vector<Row>& addedRows();
/// Chinese key -> English format, built on first use.
const std::string* lookup(const std::string& key);
}  // namespace English
