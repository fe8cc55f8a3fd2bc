#include "ScanStore.hpp"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>

#include "base/Files.hpp"
#include "base/InputLimits.hpp"
#include "base/Text.hpp"
#include "base/WriteSeal.hpp"
#include "platform/HomeFolder.hpp"

namespace ScanStore {

struct Hooks::Memory {
    std::mutex lock;
    std::map<std::string, ScanResult> scans;
};

Hooks Hooks::emptyMemory() { return Hooks{std::make_shared<Memory>()}; }

Hooks& Hooks::active() {
    static Hooks hooks = emptyMemory();
    return hooks;
}

namespace {

Hooks::Memory& memory() { return *Hooks::active().memory; }

/// A scan dated in the future (a clock set back, a planted file) is stale:
/// its age cannot be known, and it would otherwise never expire.
bool isYoungEnough(const ScanResult& result, double maxAge) {
    double age = std::chrono::duration<double>(std::chrono::system_clock::now() - result.scannedAt).count();
    return age >= 0 && maxAge >= age;
}

/// The nesting of the deepest cache the scanner writes: two levels (a node
/// and its list of children) per folder, and each folder's path at least two
/// bytes longer than its parent's, plus the record around the root.
constexpr int cacheDepthLimit = static_cast<int>(ScanOptions::defaultMaxNodePath) + 8;

/// A file too large, or nested deeper than any scan could make it, is taken
/// for damage and read as nothing; the next scan replaces it.
std::optional<ScanResult> readFile(const std::string& key) {
    InputLimits::Read outcome;
    auto contents = InputLimits::readStoredFile(cacheFile(key), outcome);
    if (!contents) return std::nullopt;
    try {
        auto document = InputLimits::parse(*contents, cacheDepthLimit);
        if (!document) return std::nullopt;
        auto result = document->get<ScanResult>();
        // The file name is only a hash of the path, so the file must also say
        // it holds the scan of this folder.
        if (result.root.path != key) return std::nullopt;
        return result;
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace

std::string hashText(const std::string& key) {
    const uint64_t hash = Text::fnv1a(key, 0x14650fb0739d0383ull);
    char text[17];
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(hash));
    return text;
}

namespace {
std::string cacheFileName(const std::string& key) { return "scan-" + hashText(key) + ".json"; }

/// Writes the cache file of `key` into the cache folder reached along the way
/// the scan saw, so that a link swapped in above that folder since the scan
/// takes nothing in; a scan that kept no way writes by path.
void writeCacheFile(const ScanResult& result, const std::string& key, const std::string& encoded) {
    const std::string home = Paths::home();
    const std::string folder = Paths::cacheFolder().string();
    WriteSeal::check(folder);
    if (!result.seen || !SeenWay::isBelow(home, folder)) {
        Paths::cacheDir();
        return Files::writeAtomically(cacheFile(key), encoded);
    }
    const UniqueFd held = SeenWay::open(home, folder, *result.seen, true);
    Files::writeAtomically(held.get(), cacheFileName(key), encoded);
}
}  // namespace

std::filesystem::path cacheFile(const std::string& key) { return Paths::cacheFolder() / cacheFileName(key); }

std::optional<ScanResult> cached(const std::string& path, double maxAge) {
    std::string key = Paths::expand(path);
    {
        std::lock_guard guard(memory().lock);
        auto found = memory().scans.find(key);
        if (found != memory().scans.end() && isYoungEnough(found->second, maxAge)) return found->second;
    }
    auto stored = readFile(key);
    if (!stored || !isYoungEnough(*stored, maxAge)) return std::nullopt;
    std::lock_guard guard(memory().lock);
    memory().scans[key] = *stored;
    return stored;
}

namespace {
std::atomic<bool> memoryOnly{false};
}  // namespace

void keepScansInMemoryOnly() { memoryOnly = true; }

void store(const ScanResult& result, const std::string& path) {
    std::string key = Paths::expand(path);
    {
        std::lock_guard guard(memory().lock);
        memory().scans[key] = result;
    }
    if (memoryOnly) return;
    std::string encoded;
    try {
        // Compact and in field order; readers accept any key order.
        encoded = compactText(result);
    } catch (...) {
        return;
    }
    try {
        writeCacheFile(result, key, encoded);
    } catch (...) {
        // The file only spares a later process a scan: without it that one
        // scans again, and this one keeps the scan in memory.
    }
}

Answer scan(const std::string& path, double maxAge, bool refresh, const CancelTokenPtr& cancel,
            const ScanProgressHandler& progress) {
    if (!refresh)
        if (auto stored = cached(path, maxAge)) return {std::move(*stored), true};
    ScanResult result = Scanner::scan(path, ScanOptions(), cancel, progress);
    store(result, path);
    return {std::move(result), false};
}

void invalidate() {
    {
        std::lock_guard guard(memory().lock);
        memory().scans.clear();
    }
    std::error_code error;
    std::filesystem::directory_iterator item(Paths::cacheFolder(), error), end;
    for (; !error && item != end; item.increment(error)) {
        if (!item->path().filename().string().starts_with("scan-")) continue;
        // A folder of that name goes too, whole; links are removed, not followed.
        std::error_code ignored;
        std::filesystem::remove_all(item->path(), ignored);
    }
}

}  // namespace ScanStore
