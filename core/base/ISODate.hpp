// Points in time, and the one text form the engine writes and reads them in.
#pragma once

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

using Date = std::chrono::system_clock::time_point;

namespace ISODate {
/// "2026-12-08T22:01:16Z": UTC, whole seconds.
std::string format(Date date);
/// Strict: the form `format` writes, or the same with a ±hh:mm offset.
std::optional<Date> parse(const std::string& text);
}  // namespace ISODate

namespace nlohmann {
template <>
struct adl_serializer<Date> {
    static void to_json(json& j, const Date& date) { j = ISODate::format(date); }
    static void from_json(const json& j, Date& date) {
        auto parsed = ISODate::parse(j.get<std::string>());
        if (!parsed) throw std::invalid_argument("invalid date: " + j.get<std::string>());
        date = *parsed;
    }
};
}  // namespace nlohmann
