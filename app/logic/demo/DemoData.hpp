// The pieces of the demo data set, each built from the home folder path and
// one instant, through the engine's own records.
#pragma once

#include <string>
#include <vector>

#include "backup/Backup.hpp"
#include "clean/SuggestionTypes.hpp"
#include "config/Config.hpp"
#include "config/Destinations.hpp"
#include "scan/Scanner.hpp"
#include "scan/Volumes.hpp"

namespace Demo::detail {

/// Encodes a shape as JSON and decodes the engine record from the bytes, so
/// every demo record is one the engine accepts; a mismatch stops the process
/// with "demo data does not match <type>: <error>".
template <class Record, class Shape>
Record convert(const Shape& shape, const char* typeName);
[[noreturn]] void mismatch(const char* typeName, const std::string& error);

constexpr double gigabyte = 1e9;
/// GB as bytes, truncated.
inline int64_t bytesOf(double gb) { return static_cast<int64_t>(gb * gigabyte); }
/// `seconds` after `now`, negative for the past.
Date offset(Date now, double seconds);

VolumeInfo volume();
FileNode tree(const std::string& home, Date now);
ScanResult scan(const FileNode& root, Date now);
SuggestionReport report(const std::string& home, Date now);
std::vector<BackupDestination> destinations(const std::string& home);
std::vector<BackupPlan> plans(const std::string& home, Date now);
std::vector<BackupReport> history(const std::string& home, Date now);

template <class Record, class Shape>
Record convert(const Shape& shape, const char* typeName) {
    try {
        json document = shape;
        return json::parse(document.dump()).template get<Record>();
    } catch (const std::exception& error) {
        mismatch(typeName, error.what());
    }
}

}  // namespace Demo::detail
