// `scan` prints the size tree of a folder, `status` the volumes, the access
// state and the last home scan.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "Command.hpp"
#include "Service.hpp"
#include "scan/ScanView.hpp"

namespace cli {
namespace {

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
        printLine(indent + line + shownName(child.name) + (child.type == "dir" ? "/" : ""));
        printTree(child, level + 1);
    }
    if (node.omittedChildren) printLine(indent + L("… 另有 %@ 项", *node.omittedChildren));
}

int runScan(const Arguments& arguments) {
    std::string path = arguments.positionals.empty() ? Paths::home() : arguments.positionals.front();
    int depth = clampedOption(arguments, "--depth", 2, 1, 6);
    int top = clampedOption(arguments, "--top", 10, 1, 50);
    Service::Tree answer = Service::tree(path, arguments.has("--refresh"), nullptr, scanProgressLine(arguments));
    endProgress();
    ScanView view = ScanView::make(answer.result, &answer.node, depth, top, answer.cached);
    if (arguments.json) {
        printJSON(view);
        return success;
    }
    std::string head = L("%@  %@,%@ 个文件", shownPath(view.path), view.total, view.fileCount);
    head += answer.cached ? L("(缓存于 %@)", Fmt::ago(view.scannedAt, std::chrono::system_clock::now()))
                          : L("(耗时 %@s)", secondsText(view.durationSeconds));
    printLine(head);
    printTree(view.tree, 1);
    if (view.hint) printLine(L("\n提示: ") + *view.hint);
    return success;
}

int runStatus(const Arguments& arguments) {
    Service::Status status = Service::status();
    if (arguments.json) {
        printJSON(status);
        return success;
    }
    const auto& volumes = status.volumes;
    for (const auto& volume : volumes) {
        printLine(volume.name == volume.mountPoint ? shownPath(volume.mountPoint)
                                                   : shownName(volume.name) + "  " + shownPath(volume.mountPoint));
        std::string usage = L("  已用 %@ / 共 %@,可用 %@", volume.used, volume.total, volume.available);
        if (volume.purgeableBytes > 0) usage += L("(其中可清除 %@)", Fmt::bytes(volume.purgeableBytes));
        printLine(usage);
    }
    printLine(L("\n读取权限: ") + (status.fullDiskAccess ? L("已授予") : L("未授予(部分目录读不到,结果会偏小)")));
    if (const auto& last = status.lastHomeScan)
        printLine(L("上次扫描主目录: %@,%@,%@ 个文件", Fmt::ago(last->scannedAt, std::chrono::system_clock::now()),
                    last->total, last->fileCount));
    if (status.advice) printLine(L("\n提示: ") + *status.advice);
    return success;
}

RegisterCommand scanCommand({.name = "scan",
                             .valueOptions = {"--depth", "--top"},
                             .run = runScan,
                             .flags = {"--refresh"},
                             .maxPositionals = 1});
RegisterCommand statusCommand({.name = "status", .run = runStatus, .maxPositionals = 0});

}  // namespace
}  // namespace cli
