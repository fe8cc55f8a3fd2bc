// `backup`, `offload`, `evict`, `history`, and the running of plans.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "Command.hpp"
#include "PlanRun.hpp"
#include "Service.hpp"
#include "backup/Backup.hpp"
#include "clean/DestinationGuard.hpp"
#include "config/Config.hpp"
#include "config/Destinations.hpp"

namespace cli {
namespace {

BackupProgressHandler progressFor(const Arguments& arguments) {
    if (!showsProgress(arguments)) return nullptr;
    return [](const BackupProgress& progress) {
        int64_t percent = static_cast<int64_t>(progress.fraction() * 100);
        printProgress(L("\r\x1b[K备份中… %@%%  %@/%@ 个文件", percent, progress.filesDone, progress.filesTotal));
    };
}

void printPlace(const std::string& source, const std::string& destinationName, const std::string& target) {
    printLine(L("  来源   %@", shownPath(source)));
    printLine(L("  目的地 %@ → %@", shownName(destinationName), shownPath(target)));
}

/// On standard error, so a JSON reader of standard output still gets one document.
void printNotice(const std::string& text) {
    endProgress();
    std::fputs((shown(text) + "\n").c_str(), stderr);
}

void reportKeptHistory(const BackupReport& report) {
    if (auto notice = historyNotice(report)) printNotice(*notice);
}

/// Each summary in the reader's language, from the stored counts.
std::vector<BackupReport> inReadingLanguage(std::vector<BackupReport> reports) {
    for (auto& report : reports) report.summary = summaryText(report);
    return reports;
}

void printReport(const BackupReport& report) {
    printPlace(report.source, report.destinationName, report.target);
    printLine(report.summary);
    for (const auto& error : report.errors) printLine("  " + shown(error));
    if (report.filesFailed > static_cast<int64_t>(report.errors.size()))
        printLine(L("  … 另有 %@ 项", report.filesFailed - static_cast<int64_t>(report.errors.size())));
}

int runBackup(const Arguments& arguments) {
    auto destinationQuery = arguments.value("--to");
    if (arguments.positionals.size() != 1 || !destinationQuery) {
        printUsage(L("用法: ostrevane backup <路径> --to <目的地> [--dry-run]"));
        return usageError;
    }
    BackupDestination destination = DestinationGuard::resolve(*destinationQuery);
    std::vector<std::string> excludes = BackupOptions::defaultExcludes;
    for (const auto& name : arguments.values("--exclude")) excludes.push_back(name);
    BackupOptions options(arguments.has("--dry-run"), excludes);

    BackupReport report = BackupEngine::run(arguments.positionals[0], destination, options, nullptr,
                                            progressFor(arguments));
    endProgress();
    reportKeptHistory(report);
    if (arguments.json)
        printJSON(report);
    else
        printReport(report);
    return report.status == BackupStatus::ok ? success : failure;
}

int runOffload(const Arguments& arguments) {
    auto destinationQuery = arguments.value("--to");
    if (arguments.positionals.size() != 1 || !destinationQuery) {
        printUsage(L("用法: ostrevane offload <路径> --to <目的地> [--execute]"));
        return usageError;
    }
    BackupDestination destination = DestinationGuard::resolve(*destinationQuery);
    const bool dryRun = !arguments.has("--execute");
    OffloadReport report = BackupEngine::offload(arguments.positionals[0], destination, dryRun, nullptr,
                                                 progressFor(arguments));
    endProgress();
    reportKeptHistory(report.backup);
    if (arguments.json) {
        printJSON(report);
    } else {
        printPlace(report.backup.source, report.backup.destinationName, report.backup.target);
        if (!dryRun) printLine(report.backup.summary);
        printLine(shown(report.message));
        if (dryRun) printLine(L("\n这是试运行。确认后加 --execute 执行。"));
    }
    return dryRun || (report.sourceTrashed && report.verified) ? success : failure;
}

int runEvict(const Arguments& arguments) {
    if (arguments.positionals.size() != 1) {
        printUsage(L("用法: ostrevane evict <路径>"));
        return usageError;
    }
    EvictReport report = BackupEngine::evict(arguments.positionals[0]);
    if (arguments.json)
        printJSON(report);
    else
        printLine(shown(report.message));
    return success;
}

int runHistory(const Arguments& arguments) {
    int64_t limit = std::max<int64_t>(1, arguments.integer("-n").value_or(10));
    BackupHistory::Reading history = BackupHistory::read();
    // A file that cannot be read holds no reports; standard error says why
    // the list is empty.
    if (history.unreadable) printNotice(BackupHistory::unreadableNotice());
    std::vector<BackupReport> reports = inReadingLanguage(std::move(history.reports));
    if (reports.size() > static_cast<uint64_t>(limit)) reports.resize(static_cast<size_t>(limit));
    if (arguments.json) {
        printJSON(json(reports));
        return success;
    }
    if (reports.empty()) {
        printLine(L("还没有备份记录。"));
        return success;
    }
    const Date now = std::chrono::system_clock::now();
    for (const auto& report : reports) {
        printLine(Fmt::ago(report.finishedAt, now) + "  " + BackupStatuses::rawValue(report.status) + "  " +
                  shownPath(report.source) + " → " + shownName(report.destinationName));
        printLine("    " + report.summary);
    }
    return success;
}

RegisterCommand backupCommand({"backup", {"--to", "--exclude"}, runBackup, {"--dry-run"}});
RegisterCommand offloadCommand({"offload", {"--to"}, runOffload, {"--execute"}});
RegisterCommand evictCommand({"evict", {}, runEvict});
RegisterCommand historyCommand({.name = "history", .valueOptions = {"-n"}, .run = runHistory, .maxPositionals = 0});

}  // namespace

int runPlansCommand(const Arguments& arguments) {
    std::optional<std::string> id;
    // "plans run" has no usage line of its own; the help shows its form.
    if (arguments.positionals.size() > 2) unexpectedArgument(arguments.positionals[2]);
    if (arguments.positionals.size() == 2) id = arguments.positionals[1];
    const bool dryRun = arguments.has("--dry-run");

    // A scheduled run must not pass for done when it could not even read the plans.
    const bool unreadable = reportUnreadableConfiguration();
    std::vector<BackupPlan> plans = ConfigStore::load().plans;
    if (id) std::erase_if(plans, [&](const BackupPlan& plan) { return !Text::equalIgnoringCase(plan.id, *id); });
    if (plans.empty()) {
        if (id) {
            printError(L("没有 id 为 %@ 的备份计划。运行 ostrevane plans 查看。", *id));
            return failure;
        }
        if (arguments.json)
            printJSON(json::array());
        else
            printLine(L("没有可运行的备份计划。"));
        return unreadable ? failure : success;
    }

    std::vector<PlanRun> runs;
    bool allSucceeded = true;
    for (const auto& plan : plans) {
        Service::PlanRun run = Service::runPlan(plan, dryRun, nullptr, progressFor(arguments));
        endProgress();
        if (run.report) reportKeptHistory(*run.report);
        allSucceeded = allSucceeded && run.report && run.report->status == BackupStatus::ok;
        if (!arguments.json) {
            if (run.report) {
                printReport(*run.report);
            } else {
                printLine(L("  来源   %@", shownPath(Paths::expand(plan.source))));
                printError(run.error.value_or(""));
            }
            if (plans.size() > 1) printLine("");
        }
        runs.push_back(std::move(run));
    }
    if (arguments.json) {
        if (id)
            printJSON(runs.front());
        else
            printJSON(json(runs));
    }
    return allSucceeded ? success : failure;
}

}  // namespace cli
