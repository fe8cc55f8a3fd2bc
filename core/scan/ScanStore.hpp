// Finished scans, kept in memory for the life of the process and on disk in
// the cache folder that the application and the tool share.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "scan/Scanner.hpp"

namespace ScanStore {

/// A stored scan of the path at most `maxAge` seconds old. A cache file that
/// cannot be read, is malformed, or holds the scan of another folder reads as
/// nothing and is left in place.
std::optional<ScanResult> cached(const std::string& path, double maxAge);

/// The scan file of the path was read through a cache folder (or a folder on
/// its way) other than the one its scan recorded: what it says can't be
/// trusted, and a clean says what to do rather than scan again unasked.
struct CacheFolderReplaced : OstrevaneError {
    CacheFolderReplaced();
};

/// The same for a clean that acts on the scan: throws CacheFolderReplaced
/// where `cached` reads nothing because the way to the cache folder changed.
std::optional<ScanResult> cachedToActOn(const std::string& path, double maxAge);

/// Keeps the scan in memory and replaces its cache file atomically; failures
/// to write are swallowed. The file keeps the way to the cache folder it
/// was written through, and is read back only through the same.
void store(const ScanResult& result, const std::string& path);

/// From now on, for the rest of the process, scans are kept in memory only
/// and no cache file is written: for a session that has promised to change
/// nothing on the disk (the MCP server that offers only the tools that read).
void keepScansInMemoryOnly();

struct Answer {
    ScanResult result;
    bool cached = false;
};
/// A young enough stored scan unless `refresh`, else a fresh scan with
/// `options` (the caller names what it records) that is then stored. Throws
/// what the scanner throws; a failed scan stores nothing.
Answer scan(const std::string& path, const ScanOptions& options, double maxAge, bool refresh,
            const CancelTokenPtr& cancel = nullptr, const ScanProgressHandler& progress = nullptr);

/// Forgets every stored scan, in memory and on disk.
void invalidate();

/// Where this process keeps the scans in memory. Tests hold a
/// `ScopedHooks<ScanStore::Hooks>` of `emptyMemory()`, so each starts with
/// nothing in memory and leaves nothing behind.
struct Hooks {
    /// The scans by expanded path, under a lock of their own.
    struct Memory;
    std::shared_ptr<Memory> memory;

    /// A set whose memory holds nothing yet.
    static Hooks emptyMemory();
    static Hooks& active();
};

/// The cache file of an expanded path: "scan-" + a 64-bit FNV-1a hash with
/// its own start value, in lowercase hexadecimal, + ".json".
std::filesystem::path cacheFile(const std::string& key);
std::string hashText(const std::string& key);

}  // namespace ScanStore
