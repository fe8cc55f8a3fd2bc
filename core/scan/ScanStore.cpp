#include "scan/ScanStore.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>

#include "OwnFolders.hpp"
#include "base/Files.hpp"
#include "base/InputLimits.hpp"
#include "base/Text.hpp"
#include "base/WriteSeal.hpp"
#include "platform/HomeFolder.hpp"
#include "platform/SeenWay.hpp"
#include "text/Localization.hpp"

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

std::string cacheFileName(const std::string& key) { return "scan-" + hashText(key) + ".json"; }

/// The scan cache's folder, opened from its base down as the folders are
/// now, with what each folder on the way was as it was passed.
struct CacheFolder {
    UniqueFd fd;
    SeenFolders passed;
};

std::optional<CacheFolder> openCacheFolder() {
    const std::string folder = Paths::cacheFolder().string();
    CacheFolder opened;
    SeenWay::measure(folder, opened.passed, false);
    try {
        opened.fd = SeenWay::open(folder, opened.passed);
    } catch (const HoldRefused&) {
        return std::nullopt;  // not there (yet): no stored scan
    }
    return opened;
}

/// Whether every folder the scan file was read through is the one the scan
/// recorded on the way to the cache folder.
bool sameWay(const SeenFolders& passed, const SeenFolders& recorded) {
    return std::all_of(passed.begin(), passed.end(), [&](const auto& entry) {
        auto found = recorded.find(entry.first);
        return found != recorded.end() && found->second.link == entry.second.link &&
               found->second.device == entry.second.device && found->second.inode == entry.second.inode;
    });
}

/// The scan file of `key`, read through the cache folder's descriptor. A
/// file too large, or nested deeper than any scan could make it, is taken
/// for damage and read as nothing; the next scan replaces it; so is one
/// stored without the way to its folder (an older format). A file read
/// through folders other than the ones its scan recorded is refused when
/// `strict` (CacheFolderReplaced), else read as nothing.
std::optional<ScanResult> readFile(const std::string& key, bool strict) {
    std::optional<CacheFolder> folder = openCacheFolder();
    if (!folder) return std::nullopt;
    InputLimits::Read outcome;
    auto contents = InputLimits::readStoredFile(folder->fd.get(), cacheFileName(key), outcome);
    if (!contents) return std::nullopt;
    std::optional<ScanResult> result;
    try {
        auto document = InputLimits::parse(*contents, cacheDepthLimit);
        if (!document) return std::nullopt;
        result = document->get<ScanResult>();
    } catch (...) {
        // A file of another shape (an older build's, a damaged one) is no
        // stored scan: the caller scans afresh and writes it anew.
        return std::nullopt;
    }
    // The file name is only a hash of the path, so the file must also say
    // it holds the scan of this folder.
    if (result->root.path != key || !result->seen) return std::nullopt;
    if (sameWay(folder->passed, *result->seen)) return result;
    if (strict) throw CacheFolderReplaced();
    return std::nullopt;
}

}  // namespace

std::string hashText(const std::string& key) {
    const uint64_t hash = Text::fnv1a(key, 0x14650fb0739d0383ull);
    char text[17];
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(hash));
    return text;
}

namespace {
/// Writes the cache file of `key` into the cache folder reached along the way
/// the scan saw, so that a link swapped in on that way since the scan takes
/// nothing in, and no folder is made through one. The folders made just now
/// are added to the way the file keeps, as they were made, and so is the
/// whole way for a scan that recorded none (it is read back through it).
void writeCacheFile(const ScanResult& result, const std::string& key) {
    const std::string folder = Paths::cacheFolder().string();
    WriteSeal::check(folder);
    SeenFolders way = result.seen.value_or(SeenFolders());
    const UniqueFd held = SeenWay::open(folder, way, true);
    // Checked again as made: someone may have made it first.
    if (!OwnFolders::usable(folder)) return;
    SeenWay::measure(folder, way, false);
    SeenWay::checkIdentity(held.get(), folder, way, true);
    Files::writeAtomically(held.get(), cacheFileName(key), compactText(result, &way));
}
}  // namespace

std::filesystem::path cacheFile(const std::string& key) { return Paths::cacheFolder() / cacheFileName(key); }

CacheFolderReplaced::CacheFolderReplaced()
    : OstrevaneError(L("扫描缓存目录在扫描之后被替换了;请运行 `ostrevane scan --refresh`")) {}

namespace {

std::optional<ScanResult> cachedScan(const std::string& path, double maxAge, bool strict) {
    std::string key = Paths::expand(path);
    {
        std::lock_guard guard(memory().lock);
        auto found = memory().scans.find(key);
        if (found != memory().scans.end() && isYoungEnough(found->second, maxAge)) return found->second;
    }
    // A scan in a folder others can write to may be forged, to lead a clean
    // to what its forger chose: it is never read.
    if (!OwnFolders::usable(Paths::cacheFolder().string())) return std::nullopt;
    auto stored = readFile(key, strict);
    if (!stored || !isYoungEnough(*stored, maxAge)) return std::nullopt;
    std::lock_guard guard(memory().lock);
    memory().scans[key] = *stored;
    return stored;
}

}  // namespace

std::optional<ScanResult> cached(const std::string& path, double maxAge) { return cachedScan(path, maxAge, false); }

std::optional<ScanResult> cachedToActOn(const std::string& path, double maxAge) {
    return cachedScan(path, maxAge, true);
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
    try {
        // Compact and in field order; readers accept any key order.
        if (!OwnFolders::usable(Paths::cacheFolder().string())) return;
        writeCacheFile(result, key);
    } catch (...) {
        // The file only spares a later process a scan: without it that one
        // scans again, and this one keeps the scan in memory.
    }
}

Answer scan(const std::string& path, const ScanOptions& options, double maxAge, bool refresh,
            const CancelTokenPtr& cancel, const ScanProgressHandler& progress) {
    if (!refresh)
        if (auto stored = cached(path, maxAge)) return {std::move(*stored), true};
    ScanResult result = Scanner::scan(path, options, cancel, progress);
    store(result, path);
    return {std::move(result), false};
}

void invalidate() {
    {
        std::lock_guard guard(memory().lock);
        memory().scans.clear();
    }
    if (!OwnFolders::usable(Paths::cacheFolder().string())) return;
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
