// `duplicates` lists groups of files with the same content in a folder, the
// home folder by default, most wasteful first.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "Command.hpp"
#include "Service.hpp"
#include "service/Duplicates.hpp"

namespace cli {
namespace {

/// Groups listed in plain text, as many as the MCP tool returns. The JSON
/// record holds every group, for a caller that acts on all of them.
constexpr int64_t shownGroups = 50;
constexpr double defaultMinSizeMB = 50;

void printGroups(const Service::DuplicateReport& report, size_t more) {
    for (size_t index = 0; index < report.groups.size(); ++index) {
        const auto& group = report.groups[index];
        if (index > 0) printLine("");
        printLine(L("%@ 份 × %@,多占 %@", group.paths.size(), group.sizeEach, group.wasted));
        for (const auto& path : group.paths) printLine("  " + shownPath(path));
    }
    if (more > 0) {
        printLine("");
        printLine(L("… 另有 %@ 项", more));
    }
}

int runDuplicates(const Arguments& arguments) {
    if (arguments.positionals.size() > 1) unexpectedArgument(arguments.positionals[1]);
    const int64_t minSize = megabytesOption(arguments, "--min-size", defaultMinSizeMB);
    const bool verify = arguments.has("--verify");

    std::string requested = arguments.positionals.empty() ? Paths::home() : arguments.positionals.front();
    Service::Tree folder = Service::tree(requested, false, nullptr, scanProgressLine(arguments));
    endProgress();

    Service::DuplicateReport report = Service::duplicates(folder.node, std::max<int64_t>(minSize, 0), verify,
                                                          INT64_MAX);
    if (arguments.json) {
        printJSON(report);
        return success;
    }
    // The listing stops at the most wasteful groups; the total still counts all.
    size_t more = 0;
    if (static_cast<int64_t>(report.groups.size()) > shownGroups) {
        more = report.groups.size() - shownGroups;
        report.groups.resize(shownGroups);
    }
    if (report.groups.empty()) {
        printLine(L("没有发现重复文件。"));
        return success;
    }
    printGroups(report, more);
    printLine(L("\n合计多占 %@。%@", report.totalWasted, report.note));
    return success;
}

RegisterCommand duplicatesCommand({"duplicates", {"--min-size"}, runDuplicates, {"--verify"}});

}  // namespace
}  // namespace cli
