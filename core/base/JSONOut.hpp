// The one way the engine writes JSON, and the small helpers its records use
// to read and write optional fields.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "base/ISODate.hpp"

using json = nlohmann::json;

namespace JSONOut {
inline const std::string failureDocument = "{\"error\":\"encoding failed\"}";
/// Sorted keys, unescaped slashes, ISO-8601 dates, DEL and C1 controls
/// escaped; never throws. Non-finite numbers and invalid UTF-8 give the fixed
/// failure document.
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
    return json::parse(text).get<T>();
}

/// Writes an optional value only when present, so absent fields are left out.
template <class T>
void putOptional(json& object, const char* key, const std::optional<T>& value) {
    if (value) object[key] = *value;
}
template <class T>
void getOptional(const json& object, const char* key, std::optional<T>& value) {
    auto found = object.find(key);
    if (found == object.end() || found->is_null())
        value.reset();
    else
        value = found->template get<T>();
}
}  // namespace JSONOut
