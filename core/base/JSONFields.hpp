// Strict readers for the fields of the engine's own records. nlohmann's get<>
// quietly turns 1.5 into 1 and accepts a number where a text belongs; a file
// the engine reads back must instead be refused whole when a field is wrong.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/ISODate.hpp"
#include "base/JSONOut.hpp"

namespace JSONFields {

inline const json& require(const json& object, const char* key) {
    if (!object.is_object()) throw std::invalid_argument("expected an object");
    auto found = object.find(key);
    if (found == object.end()) throw std::invalid_argument(std::string("missing key ") + key);
    return *found;
}

/// A present, non-null value, or null when the key is missing or null.
inline const json* optional(const json& object, const char* key) {
    if (!object.is_object()) throw std::invalid_argument("expected an object");
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) return nullptr;
    return &*found;
}

inline std::string string(const json& value, const char* key) {
    if (!value.is_string()) throw std::invalid_argument(std::string("not a text: ") + key);
    return value.get<std::string>();
}

inline int64_t integer(const json& value, const char* key) {
    if (value.is_number_unsigned()) {
        auto number = value.get<uint64_t>();
        if (number > static_cast<uint64_t>(INT64_MAX)) throw std::invalid_argument(std::string("too large: ") + key);
        return static_cast<int64_t>(number);
    }
    if (!value.is_number_integer()) throw std::invalid_argument(std::string("not a whole number: ") + key);
    return value.get<int64_t>();
}

inline double number(const json& value, const char* key) {
    if (!value.is_number()) throw std::invalid_argument(std::string("not a number: ") + key);
    return value.get<double>();
}

inline bool boolean(const json& value, const char* key) {
    if (!value.is_boolean()) throw std::invalid_argument(std::string("not a boolean: ") + key);
    return value.get<bool>();
}

inline Date date(const json& value, const char* key) {
    auto parsed = ISODate::parse(string(value, key));
    if (!parsed) throw std::invalid_argument(std::string("not a date: ") + key);
    return *parsed;
}

inline std::vector<std::string> strings(const json& value, const char* key) {
    if (!value.is_array()) throw std::invalid_argument(std::string("not a list: ") + key);
    std::vector<std::string> result;
    result.reserve(value.size());
    for (const auto& element : value) result.push_back(string(element, key));
    return result;
}

}  // namespace JSONFields
