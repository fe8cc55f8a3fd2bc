// One field list per record, feeding both its JSON writer and its reader, so
// a key is typed once and the two directions cannot drift apart.
//
// How strictly a record is read: every record that has a reader is read
// through a field table here, strictly. A required key that is missing, or a
// value of the wrong type (a text where a number belongs, 1.5 or a count past
// the 64-bit range where a whole number belongs), refuses the whole record;
// an optional member may be absent or null. The system reads back its own
// files (config.json, backup-history.json, the scan cache) and checks the
// demo's data against the records; a file it wrote that now reads wrong must
// be refused whole and set aside, never half-read and then written back with
// the rest lost. The tool's output records are held to the same contract by
// whoever reads them back (the tests, agents' scripts).
// nlohmann's NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT, whose reader
// quietly fills missing keys with defaults, is only for records that are
// written and never read back (the demo's shapes of the records). It always
// writes every member, so a record that leaves absent members out, or writes
// a member otherwise than it holds it, needs the table.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/JSONFields.hpp"

namespace JSONCoding {

/// One member under its key. A std::optional member is written only when it
/// holds a value and read as absent when its key is missing or null; any
/// other member is always written and required. `shown`, when set, gives
/// what is written in place of the member's own value.
template <class Record, class Member>
struct Field {
    const char* key;
    Member Record::*member;
    Member (*shown)(const Member&) = nullptr;
};

template <class Record, class Member>
constexpr Field<Record, Member> field(const char* key, Member Record::*member,
                                      Member (*shown)(const Member&) = nullptr) {
    return {key, member, shown};
}

/// A record's field list, in the order the members are written (the order
/// matters only to documents that keep it, such as the scan cache file).
template <class... Fields>
constexpr std::tuple<Fields...> fields(Fields... list) {
    return {list...};
}

namespace detail {

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

inline void readValue(const json& value, const char* key, std::string& target) {
    target = JSONFields::string(value, key);
}
inline void readValue(const json& value, const char* key, int64_t& target) { target = JSONFields::integer(value, key); }
inline void readValue(const json& value, const char* key, double& target) { target = JSONFields::number(value, key); }
inline void readValue(const json& value, const char* key, bool& target) { target = JSONFields::boolean(value, key); }
inline void readValue(const json& value, const char* key, Date& target) { target = JSONFields::date(value, key); }
inline void readValue(const json& value, const char* key, std::vector<std::string>& target) {
    target = JSONFields::strings(value, key);
}
/// A list of records, each by its own reader.
template <class T>
void readValue(const json& value, const char* key, std::vector<T>& target) {
    if (!value.is_array()) throw std::invalid_argument(std::string("not a list: ") + key);
    std::vector<T> list;
    list.reserve(value.size());
    for (const auto& element : value) list.push_back(element.template get<T>());
    target = std::move(list);
}
/// A nested record or an enumeration, by its own reader.
template <class T>
void readValue(const json& value, const char*, T& target) {
    target = value.template get<T>();
}

/// Dates are spelled out here rather than left to json's serializer, which
/// only the sorted document type has.
template <class Document>
void writeValue(Document& slot, const Date& value) {
    slot = ISODate::format(value);
}
template <class Document, class T>
void writeValue(Document& slot, const T& value) {
    slot = value;
}

template <class Document, class Record, class Member>
void writeField(Document& document, const Record& record, const Field<Record, Member>& field) {
    const Member& value = record.*field.member;
    if constexpr (IsOptional<Member>::value) {
        if (!value) return;
        if (field.shown)
            writeValue(document[field.key], *field.shown(value));
        else
            writeValue(document[field.key], *value);
    } else {
        if (field.shown)
            writeValue(document[field.key], field.shown(value));
        else
            writeValue(document[field.key], value);
    }
}

template <class Record, class Member>
void readField(const json& document, Record& record, const Field<Record, Member>& field) {
    Member& target = record.*field.member;
    if constexpr (IsOptional<Member>::value) {
        const json* value = JSONFields::optional(document, field.key);
        if (!value) {
            target.reset();
            return;
        }
        typename Member::value_type read{};
        readValue(*value, field.key, read);
        target = std::move(read);
    } else {
        readValue(JSONFields::require(document, field.key), field.key, target);
    }
}

}  // namespace detail

/// Replaces `document` with an object of the record's fields. Works for the
/// sorted `json` and for `nlohmann::ordered_json`, which keeps the list's order.
template <class Document, class Record, class... Fields>
void write(Document& document, const Record& record, const std::tuple<Fields...>& list) {
    document = Document::object();
    std::apply([&](const auto&... field) { (detail::writeField(document, record, field), ...); }, list);
}

/// Reads every field of the list into `record`, strictly (see the top of
/// this file); throws std::invalid_argument, or the error of a nested
/// record's reader, on the first field that is wrong. Keys outside the list
/// are ignored.
template <class Record, class... Fields>
void read(const json& document, Record& record, const std::tuple<Fields...>& list) {
    std::apply([&](const auto&... field) { (detail::readField(document, record, field), ...); }, list);
}

}  // namespace JSONCoding
