// The facade of engine operations for callers that want one query per call
// and a record they can print: the command-line tool and the MCP tools.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "backup/Backup.hpp"
#include "clean/SuggestionTypes.hpp"
#include "scan/Scanner.hpp"
#include "scan/Volumes.hpp"
#include "service/Duplicates.hpp"

namespace Service {

/// How old a cached scan may be and still answer `tree` and `suggestions`.
inline constexpr double scanMaxAge = 900;

struct Status {
    struct LastScan {
        Date scannedAt;
        std::string total;
        int64_t totalBytes = 0;
        int64_t fileCount = 0;
    };
    std::vector<VolumeInfo> volumes;
    std::string home;
    bool fullDiskAccess = false;
    std::optional<LastScan> lastHomeScan;
    std::optional<std::string> advice;
};
void to_json(json& object, const Status::LastScan& scan);
void to_json(json& object, const Status& status);

struct LargeFile {
    std::string path;
    int64_t bytes = 0;
    std::string size;
    std::optional<std::string> modified;
    std::optional<int64_t> idleDays;
    const std::string& id() const { return path; }
};
void to_json(json& object, const LargeFile& file);

struct Tree {
    ScanResult result;
    FileNode node;
    bool cached = false;
};

Status status();
/// Whether the real home folder (never the override) can be listed; asked
/// afresh on every call.
bool hasFullDiskAccess();
/// The advice for the root volume's fullness, none below 80 percent.
std::optional<std::string> advice(const std::vector<VolumeInfo>& volumes);

/// The scan that answers for a folder: the young home scan for a folder
/// inside the home folder, else the folder's own young scan, else a new scan.
Tree tree(const std::string& path, bool refresh, const CancelTokenPtr& cancel = nullptr,
          const ScanProgressHandler& progress = nullptr);

std::vector<LargeFile> largestFiles(const FileNode& node, int64_t limit, int64_t minSize,
                                    std::optional<int64_t> olderThanDays);

SuggestionReport suggestions(bool quick, bool refresh, const CancelTokenPtr& cancel = nullptr,
                             const ScanProgressHandler& progress = nullptr);
/// The suggestions a clean applies (the command line's `clean`, the MCP
/// tool `apply_suggestion`): from the stored scan of the home folder, read
/// through the way its scan recorded (throws ScanStore::CacheFolderReplaced
/// where that way changed), else from a fresh scan, which is stored.
SuggestionReport suggestionsToApply(const CancelTokenPtr& cancel = nullptr,
                                    const ScanProgressHandler& progress = nullptr);

/// Never throws: failures come back inside the record.
using PlanRun = ::PlanRun;
PlanRun runPlan(const BackupPlan& plan, bool dryRun, const CancelTokenPtr& cancel = nullptr,
                const BackupProgressHandler& progress = nullptr);

}  // namespace Service
