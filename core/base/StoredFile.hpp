// The JSON files of the support folder that the application and the tool
// share: read and replaced under one lock, and never written over while they
// hold something that could not be read.
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>

#include "base/Error.hpp"
#include "base/Files.hpp"
#include "base/JSONOut.hpp"
#include "base/UniqueFd.hpp"

namespace StoredFile {

/// The process lock, then an advisory lock on "<file>.lock" beside the file,
/// so two processes cannot slip a write between each other's read and
/// write-back. The sibling carries the lock because every write replaces the
/// file itself; only an exclusive lock creates it.
class Lock {
public:
    Lock(std::mutex& processLock, const std::filesystem::path& file, bool exclusive);
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    std::lock_guard<std::mutex> guard;
    UniqueFd descriptor;  // released before the process lock
};

template <class T>
struct Reading {
    T value{};
    /// The file holds something that could not be read or decoded: it must be
    /// kept before anything is written over it.
    bool mustBeKept = false;
};

/// How deeply a stored file may nest arrays and objects; far more than the
/// programs write, far less than would exhaust the stack or the memory.
inline constexpr int depthLimit = 64;

/// A missing or blank file reads as an empty value; anything unreadable,
/// undecodable or larger than InputLimits::storedFileBytes as an empty value
/// that must be kept.
std::optional<std::string> readText(const std::filesystem::path& path, bool& mustBeKept);
/// The same, parsed as JSON under `depthLimit`: a text that is malformed or
/// nests deeper reads as none that must be kept.
std::optional<json> readDocument(const std::filesystem::path& path, bool& mustBeKept);

template <class T>
Reading<T> read(const std::filesystem::path& path) {
    Reading<T> reading;
    auto document = readDocument(path, reading.mustBeKept);
    if (!document) return reading;
    try {
        reading.value = document->template get<T>();
    } catch (...) {
        reading.mustBeKept = true;
    }
    return reading;
}

/// Renames the file to "<stem>.unreadable-<UTC time>.json" beside it, with a
/// counter when that name is taken. Call it under the lock, so the check for
/// a free name cannot race with another writer. Throws OstrevaneError when
/// the file cannot be moved.
std::filesystem::path setAside(const std::filesystem::path& path);

/// The text `write` would store: pretty JSON with sorted keys, the form
/// other programs and people read. Throws OstrevaneError when the value
/// cannot be encoded (a text that is not UTF-8: writing the failure document
/// instead would wipe every entry) or when that text is larger than
/// InputLimits::storedFileBytes, which no reader would then accept.
std::string encoded(const std::filesystem::path& path, const json& value);
/// Replaces the file atomically with `encoded(value)`; throws as it does,
/// leaving the file as it was, or when the file cannot be written.
void write(const std::filesystem::path& path, const json& value);

/// What `rewrite` left behind: the value it stored, where a file that could
/// not be read was set aside (even when the write then failed), and why it
/// stored nothing.
template <class T>
struct Rewrite {
    std::optional<T> stored;
    std::optional<std::filesystem::path> keptAs;
    std::optional<OstrevaneError> failure;
};

/// One read, change and atomic write-back of the file under the exclusive
/// lock. The changed value is encoded before anything moves, so a change that
/// cannot be stored leaves everything, an unreadable file included, where it
/// was; an unreadable file is set aside, never written over. An
/// OstrevaneError of the change, the encoding or the write comes back as the
/// failure.
template <class T, class Change>
Rewrite<T> rewrite(std::mutex& processLock, const std::filesystem::path& path, Change&& change) {
    Lock lock(processLock, path, true);
    Reading<T> reading = read<T>(path);
    Rewrite<T> result;
    try {
        change(reading.value);
        const std::string text = encoded(path, reading.value);
        if (reading.mustBeKept) result.keptAs = setAside(path);
        Files::writeAtomically(path, text);
        result.stored = std::move(reading.value);
    } catch (const OstrevaneError& error) {
        result.failure = error;
    }
    return result;
}

/// Removes the temporary files that writers of this file left when they were
/// killed before their rename ("<file>.tmp-<process id>-<counter>" of a
/// process that no longer runs). Call it under the exclusive lock.
void removeStaleTemporaries(const std::filesystem::path& path);

}  // namespace StoredFile
