#include "Service.hpp"

#include <fcntl.h>

#include <cmath>
#include <cstdio>

#include "base/DirectoryStream.hpp"
#include "base/JSONCoding.hpp"
#include "base/Paths.hpp"
#include "base/Text.hpp"
#include "clean/DestinationGuard.hpp"
#include "clean/SeenPlaces.hpp"
#include "clean/Suggestions.hpp"
#include "config/Destinations.hpp"
#include "platform/Platform.hpp"
#include "scan/ScanStore.hpp"
#include "text/Localization.hpp"

namespace Service {

namespace {

int64_t idleDaysOf(Date date, Date now) {
    return std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::seconds>(now - date).count() / 86400);
}

/// The shortest decimal text of a one-decimal percentage, always showing the
/// decimal place: 91.0, 85.3.
std::string percentText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

}  // namespace

namespace {

constexpr auto lastScanFields = JSONCoding::fields(JSONCoding::field("scannedAt", &Status::LastScan::scannedAt),
                                                   JSONCoding::field("total", &Status::LastScan::total),
                                                   JSONCoding::field("totalBytes", &Status::LastScan::totalBytes),
                                                   JSONCoding::field("fileCount", &Status::LastScan::fileCount));

constexpr auto statusFields = JSONCoding::fields(
    JSONCoding::field("volumes", &Status::volumes), JSONCoding::field("home", &Status::home),
    JSONCoding::field("fullDiskAccess", &Status::fullDiskAccess),
    JSONCoding::field("lastHomeScan", &Status::lastHomeScan), JSONCoding::field("advice", &Status::advice));

constexpr auto largeFileFields = JSONCoding::fields(
    JSONCoding::field("path", &LargeFile::path), JSONCoding::field("bytes", &LargeFile::bytes),
    JSONCoding::field("size", &LargeFile::size), JSONCoding::field("modified", &LargeFile::modified),
    JSONCoding::field("idleDays", &LargeFile::idleDays));

}  // namespace

void to_json(json& object, const Status::LastScan& scan) { JSONCoding::write(object, scan, lastScanFields); }
void to_json(json& object, const Status& status) { JSONCoding::write(object, status, statusFields); }
void to_json(json& object, const LargeFile& file) { JSONCoding::write(object, file, largeFileFields); }

bool hasFullDiskAccess() {
    return DirectoryStream(::open(Platform::realHome().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)).valid();
}

std::optional<std::string> advice(const std::vector<VolumeInfo>& volumes) {
    auto root = std::find_if(volumes.begin(), volumes.end(), [](const VolumeInfo& v) { return v.isRoot; });
    if (root == volumes.end()) return std::nullopt;
    std::string pct = percentText(root->usedPercent);
    if (root->usedPercent >= 90)
        return L("启动磁盘已用 %@%%,仅剩 %@,建议运行 suggest 查看可释放的空间。", pct, root->available);
    if (root->usedPercent >= 80) return L("启动磁盘已用 %@%%,可以开始清理了。", pct);
    return std::nullopt;
}

Status status() {
    Status result;
    result.volumes = Volumes::list();
    result.home = Paths::home();
    if (auto scan = ScanStore::cached(result.home, 86400))
        result.lastHomeScan = Status::LastScan{scan->scannedAt, Fmt::bytes(scan->root.size), scan->root.size,
                                               scan->fileCount};
    result.advice = advice(result.volumes);
    result.fullDiskAccess = hasFullDiskAccess();
    return result;
}

Tree tree(const std::string& path, bool refresh, const CancelTokenPtr& cancel, const ScanProgressHandler& progress) {
    const std::string p = Paths::expandGiven(path);
    if (!refresh) {
        const std::string home = Paths::home();
        if (Paths::isStrictlyInside(p, home))
            if (auto homeScan = ScanStore::cached(home, scanMaxAge))
                if (const FileNode* node = homeScan->root.find(p)) {
                    FileNode answer = *node;
                    return Tree{std::move(*homeScan), std::move(answer), true};
                }
        if (auto own = ScanStore::cached(p, scanMaxAge)) {
            FileNode root = own->root;
            return Tree{std::move(*own), std::move(root), true};
        }
    }
    ScanResult result = Scanner::scan(p, SeenPlaces::scanOptions(p), cancel, progress);
    ScanStore::store(result, p);
    FileNode root = result.root;
    return Tree{std::move(result), std::move(root), false};
}

std::vector<LargeFile> largestFiles(const FileNode& node, int64_t limit, int64_t minSize,
                                    std::optional<int64_t> olderThanDays) {
    const Date now = std::chrono::system_clock::now();
    auto keep = [&](const FileNode& candidate) {
        if (!olderThanDays) return true;
        if (!candidate.modified) return false;
        return idleDaysOf(*candidate.modified, now) >= *olderThanDays;
    };
    std::vector<LargeFile> files;
    for (const FileNode& candidate : node.largestFiles(limit, minSize, keep)) {
        LargeFile file{candidate.path, candidate.size, Fmt::bytes(candidate.size), std::nullopt, std::nullopt};
        if (candidate.modified) {
            file.modified = Fmt::day(*candidate.modified);
            file.idleDays = idleDaysOf(*candidate.modified, now);
        }
        files.push_back(std::move(file));
    }
    return files;
}

SuggestionReport suggestions(bool quick, bool refresh, const CancelTokenPtr& cancel,
                             const ScanProgressHandler& progress) {
    auto destinations = Destinations::discover(true);
    const std::string home = Paths::home();
    std::optional<ScanResult> scan;
    if (!refresh) scan = ScanStore::cached(home, scanMaxAge);
    if (!quick && !scan) {
        scan = Scanner::scan(home, SeenPlaces::scanOptions(home), cancel, progress);
        ScanStore::store(*scan, home);
    }
    return SuggestionEngine::analyze(scan, destinations, std::chrono::system_clock::now());
}

SuggestionReport suggestionsToApply(const CancelTokenPtr& cancel, const ScanProgressHandler& progress) {
    auto destinations = Destinations::discover(true);
    const std::string home = Paths::home();
    std::optional<ScanResult> scan = ScanStore::cachedToActOn(home, scanMaxAge);
    if (!scan) {
        // The clean's own scan is the one it acts on: its records, not a
        // second look.
        scan = Scanner::scan(home, SeenPlaces::scanOptions(home), cancel, progress);
        ScanStore::store(*scan, home);
    }
    return SuggestionEngine::analyze(scan, destinations, std::chrono::system_clock::now());
}

PlanRun runPlan(const BackupPlan& plan, bool dryRun, const CancelTokenPtr& cancel,
                const BackupProgressHandler& progress) {
    return PlanRuns::run(plan, dryRun, DestinationGuard::resolve, cancel, progress);
}

}  // namespace Service
