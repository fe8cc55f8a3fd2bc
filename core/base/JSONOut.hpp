// The one way the engine writes JSON, and the small helpers its records use
// to read and write optional fields.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/ISODate.hpp"
#include "base/Text.hpp"

using json = nlohmann::json;

/// Names on disk may hold bytes that are no UTF-8 ("stray bytes"); a path
/// must keep them to name its file. JSON carries each one as the escape of a
/// lone surrogate, byte 0xff as "\udcff", as Python's surrogateescape reads
/// it; every text read here turns those escapes back into the bytes.
namespace JSONOut {

namespace detail {
/// Stands for a stray byte while the library, which refuses such bytes,
/// writes or reads the text: a raw control character never appears in a
/// string of JSON text, and one already in a value is doubled.
inline constexpr char strayMarker = '\x01';
bool needsMarking(const std::string& text);
/// The dumped text of a marked value with each marked byte as its escape.
std::string escapingMarkedBytes(std::string_view dumped);

/// Applies `change` to every string and key for which `applies` holds; by a
/// list of pending values rather than by recursion, as deep as a scan's tree.
template <class J>
void visitStrings(J& root, std::string (*change)(const std::string&), bool (*applies)(const std::string&)) {
    std::vector<J*> pending{&root};
    while (!pending.empty()) {
        J& value = *pending.back();
        pending.pop_back();
        if (value.is_string()) {
            auto& text = value.template get_ref<typename J::string_t&>();
            if (applies(text)) text = change(text);
            continue;
        }
        if (value.is_object()) {
            bool keys = false;
            for (auto entry = value.begin(); entry != value.end() && !keys; ++entry) keys = applies(entry.key());
            if (keys) {
                J rebuilt = J::object();
                for (auto entry = value.begin(); entry != value.end(); ++entry)
                    rebuilt[applies(entry.key()) ? change(entry.key()) : entry.key()] = std::move(entry.value());
                value = std::move(rebuilt);
            }
        }
        if (value.is_structured())
            for (auto& element : value) pending.push_back(&element);
    }
}
}  // namespace detail

/// The compact (`indent` -1) or indented text of `value` with its stray bytes
/// escaped; throws as the library's dump does for any other fault.
template <class J>
std::string dump(const J& value, int indent) {
    try {
        return value.dump(indent, ' ', false, json::error_handler_t::strict);
    } catch (const nlohmann::json::type_error& error) {
        if (error.id != 316) throw;  // 316: invalid UTF-8
    }
    J marked = value;
    detail::visitStrings(
        marked, +[](const std::string& text) { return Text::markingStrayBytes(text, detail::strayMarker); },
        detail::needsMarking);
    return detail::escapingMarkedBytes(marked.dump(indent, ' ', false, json::error_handler_t::strict));
}

/// JSON text with each lone-surrogate escape of a stray byte ("\udc80" to
/// "\udcff") marked so that the library parses it; none when the text has
/// no such escape and parses as it is. The parsed value then needs
/// `unmarkStrayBytes`.
std::optional<std::string> markingStrayByteEscapes(std::string_view text);
void unmarkStrayBytes(json& value);
/// `json::parse` that reads the escapes of stray bytes back as the bytes.
json parse(std::string_view text);

inline const std::string failureDocument = "{\"error\":\"encoding failed\"}";
/// Sorted keys, unescaped slashes, ISO-8601 dates, DEL and C1 controls
/// escaped, stray bytes as above; never throws. Non-finite numbers give the
/// fixed failure document.
std::string encode(const json& value, bool pretty = true);
template <class T>
std::string encode(const T& value, bool pretty = true) {
    json document;
    try {
        document = value;
    } catch (...) {
        return failureDocument;
    }
    return encode(document, pretty);
}
/// Parses text into a record; throws OstrevaneError-free std::exception on malformed input.
template <class T>
T decode(const std::string& text) {
    return JSONOut::parse(text).get<T>();
}
}  // namespace JSONOut
