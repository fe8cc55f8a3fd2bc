// `scan` prints the size tree of a folder, `status` the volumes, the access
// state and the last home scan.
#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "Command.hpp"
#include "ScanStore.hpp"
#include "ScanView.hpp"
#include "Volumes.hpp"

namespace cli {
namespace {

/// How old a stored scan may be and still answer `scan`.
constexpr double scanMaxAge = 900;
/// How old the home scan may be and still be reported by `status`.
constexpr double statusScanMaxAge = 86400;

ScanProgressHandler progressFor(const Arguments& arguments) {
    if (!showsProgress(arguments)) return nullptr;
    // Reports come from the scanner's worker threads and may overlap.
    auto lock = std::make_shared<std::mutex>();
    return [lock](const ScanProgress& progress) {
        std::lock_guard guard(*lock);
        printProgress(L("\r\x1b[K扫描中… %@ 个文件,%@", progress.files, Fmt::bytes(progress.bytes)));
    };
}

struct TreeAnswer {
    ScanResult result;
    /// The path of the folder's node within `result`.
    std::string path;
    bool cached = false;
};

/// The scan that answers for a folder: a young home scan that holds it, else
/// a young scan of the folder itself, else a fresh scan that is stored.
TreeAnswer lookUpTree(const std::string& path, bool refresh, const ScanProgressHandler& progress) {
    std::string wanted = Paths::expand(path);
    std::string home = Paths::home();
    TreeAnswer answer;
    if (!refresh) {
        std::string homePrefix = home.ends_with('/') ? home : home + "/";
        if (wanted != home && wanted.starts_with(homePrefix)) {
            if (auto homeScan = ScanStore::cached(home, scanMaxAge); homeScan && homeScan->root.find(wanted)) {
                answer.result = std::move(*homeScan);
                answer.path = wanted;
                answer.cached = true;
                return answer;
            }
        }
        if (auto stored = ScanStore::cached(wanted, scanMaxAge)) {
            answer.result = std::move(*stored);
            answer.path = answer.result.root.path;
            answer.cached = true;
            return answer;
        }
    }
    answer.result = Scanner::scan(wanted, ScanOptions(), nullptr, progress);
    ScanStore::store(answer.result, wanted);
    answer.path = answer.result.root.path;
    return answer;
}

int clampedOption(const Arguments& arguments, const std::string& option, int fallback, int low, int high) {
    auto value = arguments.integer(option);
    if (!value) return fallback;
    return static_cast<int>(std::clamp<int64_t>(*value, low, high));
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    std::string result = text;
    while (result.back() == '0') result.pop_back();
    if (result.back() == '.') result.pop_back();
    return result;
}

void printTree(const NodeView& node, int level) {
    if (!node.children) return;
    std::string indent(static_cast<size_t>(level) * 2, ' ');
    for (const auto& child : *node.children) {
        char line[96];
        std::snprintf(line, sizeof line, "%10s  %5.1f%%  ", child.size.c_str(), child.percent);
        printLine(indent + line + child.name + (child.type == "dir" ? "/" : ""));
        printTree(child, level + 1);
    }
    if (node.omittedChildren) printLine(indent + L("… 另有 %@ 项", *node.omittedChildren));
}

int runScan(const Arguments& arguments) {
    std::string path = arguments.positionals.empty() ? Paths::home() : arguments.positionals.front();
    int depth = clampedOption(arguments, "--depth", 2, 1, 6);
    int top = clampedOption(arguments, "--top", 10, 1, 50);
    TreeAnswer answer = lookUpTree(path, arguments.has("--refresh"), progressFor(arguments));
    endProgress();
    ScanView view = ScanView::make(answer.result, answer.result.root.find(answer.path), depth, top, answer.cached);
    if (arguments.json) {
        printJSON(view);
        return success;
    }
    std::string head = L("%@  %@,%@ 个文件", Paths::abbreviate(view.path), view.total, view.fileCount);
    head += answer.cached ? L("(缓存于 %@)", Fmt::ago(view.scannedAt, std::chrono::system_clock::now()))
                          : L("(耗时 %@s)", secondsText(view.durationSeconds));
    printLine(head);
    printTree(view.tree, 1);
    if (view.hint) printLine(L("\n提示: ") + *view.hint);
    return success;
}

/// Linux has no privacy folder to probe: access is granted when the user's
/// own home folder can be listed.
bool hasFullDiskAccess() {
    DIR* folder = ::opendir(Paths::realHome().c_str());
    if (!folder) return false;
    ::closedir(folder);
    return true;
}

std::string percentText(double percent) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", percent);
    return text;
}

std::optional<std::string> adviceFor(const std::vector<VolumeInfo>& volumes) {
    auto root = std::find_if(volumes.begin(), volumes.end(), [](const VolumeInfo& v) { return v.isRoot; });
    if (root == volumes.end()) return std::nullopt;
    if (root->usedPercent >= 90)
        return L("启动磁盘已用 %@%%,仅剩 %@,建议运行 suggest 查看可释放的空间。", percentText(root->usedPercent),
                 root->available);
    if (root->usedPercent >= 80) return L("启动磁盘已用 %@%%,可以开始清理了。", percentText(root->usedPercent));
    return std::nullopt;
}

int runStatus(const Arguments& arguments) {
    std::vector<VolumeInfo> volumes = Volumes::list();
    std::string home = Paths::home();
    std::optional<ScanResult> homeScan = ScanStore::cached(home, statusScanMaxAge);
    std::optional<std::string> advice = adviceFor(volumes);
    bool fullDiskAccess = hasFullDiskAccess();

    if (arguments.json) {
        json document = {{"volumes", volumes}, {"home", home}, {"fullDiskAccess", fullDiskAccess}};
        if (homeScan)
            document["lastHomeScan"] = {{"scannedAt", ISODate::format(homeScan->scannedAt)},
                                        {"total", Fmt::bytes(homeScan->root.size)},
                                        {"totalBytes", homeScan->root.size},
                                        {"fileCount", homeScan->fileCount}};
        if (advice) document["advice"] = *advice;
        printJSON(document);
        return success;
    }
    for (const auto& volume : volumes) {
        printLine(volume.name == volume.mountPoint ? volume.name : volume.name + "  " + volume.mountPoint);
        std::string usage = L("  已用 %@ / 共 %@,可用 %@", volume.used, volume.total, volume.available);
        if (volume.purgeableBytes > 0) usage += L("(其中可清除 %@)", Fmt::bytes(volume.purgeableBytes));
        printLine(usage);
    }
    printLine(L("\n完全磁盘访问权限: ") + (fullDiskAccess ? L("已授予") : L("未授予(部分目录读不到,结果会偏小)")));
    if (homeScan)
        printLine(L("上次扫描主目录: %@,%@,%@ 个文件", Fmt::ago(homeScan->scannedAt, std::chrono::system_clock::now()),
                    Fmt::bytes(homeScan->root.size), homeScan->fileCount));
    if (advice) printLine(L("\n提示: ") + *advice);
    return success;
}

RegisterCommand scanCommand({"scan", {"--depth", "--top"}, runScan});
RegisterCommand statusCommand({"status", {}, runStatus});

}  // namespace
}  // namespace cli
