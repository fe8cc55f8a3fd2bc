// The small namespaces every other component leans on: the home folder and the
// forms of a path, running outside programs, texts for sizes and times, the
// engine's error type, the cancel flag and the JSON encoder.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

using Date = std::chrono::system_clock::time_point;
using json = nlohmann::json;

namespace Ostrevane {
inline const std::string version = "0.3.1";
}

/// The engine's one error type. Its message is composed by the thrower,
/// already localised, and is shown unchanged.
struct OstrevaneError : std::exception {
    std::string message;
    explicit OstrevaneError(std::string message) : message(std::move(message)) {}
    const char* what() const noexcept override { return message.c_str(); }
    const std::string& description() const { return message; }
    const std::string& errorDescription() const { return message; }
};

/// A cooperative cancel flag shared between an operation and whoever may stop
/// it. It only ever goes from live to cancelled.
class CancelToken {
public:
    void cancel() {
        std::lock_guard guard(lock);
        cancelled = true;
    }
    bool isCancelled() const {
        std::lock_guard guard(lock);
        return cancelled;
    }

private:
    mutable std::mutex lock;
    bool cancelled = false;
};
using CancelTokenPtr = std::shared_ptr<CancelToken>;

inline bool isCancelled(const CancelTokenPtr& token) { return token && token->isCancelled(); }

namespace Paths {
/// The home folder the whole engine works in: OSTREVANE_HOME when set,
/// otherwise the user's own home. Fixed at first use.
std::string home();
/// The user's own home folder, whatever OSTREVANE_HOME says.
std::string realHome();
/// Whether OSTREVANE_HOME moves the home folder (set and not empty).
bool homeIsOverridden();
/// Absolute and standardised, "~" expanded; never fails. Blanks around the
/// path are dropped unless the path exactly as given names something.
std::string expand(const std::string& path);
/// Why a path given by a user or a client must not be acted on, else none: a
/// NUL byte (the system calls would stop at it and act on a shorter path),
/// or nothing but blanks (which `expand` would make the working folder).
std::optional<std::string> unusable(const std::string& path);
/// `expand` of a path given by a user or a client; throws OstrevaneError
/// with `unusable`'s reason first.
std::string expandGiven(const std::string& path);
std::string abbreviate(const std::string& path);
bool isInside(const std::string& path, const std::string& parent);
/// The support folder (configuration, backup history): $XDG_CONFIG_HOME/Ostrevane,
/// by default <home>/.config/Ostrevane, and always that with OSTREVANE_HOME set.
/// Created on every access; a failure to create is left to the caller's next step.
std::filesystem::path supportDir();
/// The cache folder (scan files): $XDG_CACHE_HOME/Ostrevane, by default
/// <home>/.cache/Ostrevane, and always that with OSTREVANE_HOME set. Created
/// on every access like supportDir().
std::filesystem::path cacheDir();
/// An XDG base folder: with OSTREVANE_HOME set, `relativeDefault` below that
/// home; else the variable when it holds an absolute path, else the default.
std::string baseFolder(const char* variable, const std::string& relativeDefault);
/// The last component ("/" for the root itself); trailing slashes ignored.
std::string lastComponent(const std::string& path);
/// How many components a path has: 0 for "/", 1 for "/Users".
size_t componentCount(const std::string& path);
/// Standardises an absolute path: removes "." and ".." and repeated slashes,
/// without touching the disk.
std::string standardize(const std::string& absolutePath);
}  // namespace Paths

namespace Shell {
/// `stdout` and `stderr` are macros in C++, hence the longer field names.
struct Output {
    int32_t status = 0;
    std::string stdoutText;
    std::string stderrText;
};
/// Runs a program with no shell in between. Never throws and never outlives
/// timeout + 2 seconds: at the deadline the child's process group is asked to
/// terminate, and killed after a short grace.
Output run(const std::string& executable, const std::vector<std::string>& arguments, double timeout);

struct Started {
    int pid = -1;
    /// The errno of a start that failed, else 0.
    int error = 0;
};
/// Starts a program in a process group of its own (so a caller can end it
/// together with anything it starts), standard input from the null device,
/// standard output and error onto the given descriptors (-1: the null device),
/// and SIGPIPE at its default.
Started start(const std::string& executable, const std::vector<std::string>& arguments, int outputFd, int errorFd);
/// Where a started program's standard streams, environment and working folder come from.
struct StartOptions {
    /// Descriptors for standard input, output and error; -1: the null device.
    int inputFd = -1;
    int outputFd = -1;
    int errorFd = -1;
    /// "NAME=value" entries in place of ours, when given.
    std::optional<std::vector<std::string>> environment;
    /// Ours when empty.
    std::string workingFolder;
};
/// As above, with every stream, the environment and the working folder chosen.
Started start(const std::string& executable, const std::vector<std::string>& arguments, const StartOptions& options);
std::optional<std::string> which(const std::string& name);
}  // namespace Shell

namespace Fmt {
std::string bytes(int64_t count);
double percent(int64_t part, int64_t total);
std::string day(Date date);
int daysSince(Date date, Date now);
std::string ago(Date date, Date now);
}  // namespace Fmt

namespace ISODate {
/// "2026-12-08T22:01:16Z": UTC, whole seconds.
std::string format(Date date);
/// Strict: the form `format` writes, or the same with a ±hh:mm offset.
std::optional<Date> parse(const std::string& text);
}  // namespace ISODate

namespace JSONOut {
inline const std::string failureDocument = "{\"error\":\"encoding failed\"}";
/// Sorted keys, unescaped slashes, ISO-8601 dates; never throws. Non-finite
/// numbers and invalid UTF-8 give the fixed failure document.
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

namespace Text {
bool isValidUTF8(std::string_view text);
/// Replaces every byte sequence that is not valid UTF-8 with U+FFFD.
std::string replacingInvalidUTF8(std::string_view text);
/// Trims blanks, tabs and line breaks at both ends.
std::string trim(std::string_view text);
/// Lower case by Unicode's root rules, with a fast road for ASCII.
std::string lowercased(std::string_view text);
/// Wraps a text in single quotes for a POSIX shell, escaping quotes inside it.
std::string shellQuoted(std::string_view text);
/// Eight random lower-case hexadecimal digits, like the first group of a UUID.
std::string randomIdentifier();
}  // namespace Text

namespace Files {
/// Writes through a temporary file in the same folder and renames it over the
/// target, so readers never see half a file. Throws OstrevaneError on failure.
void writeAtomically(const std::filesystem::path& path, const std::string& contents);
/// The whole contents of a regular file; none for anything else (a named
/// pipe never blocks the caller) and for a file that cannot be read.
std::optional<std::string> read(const std::filesystem::path& path);
}  // namespace Files

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
