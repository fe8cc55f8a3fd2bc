// `suggest` lists the cleanup proposals for the home folder; `clean` applies
// some of them by id, as a dry run unless --execute is given.
#include <chrono>
#include <cstdio>
#include <set>

#include "CleanOutput.hpp"
#include "Command.hpp"
#include "Service.hpp"
#include "clean/Cleaner.hpp"
#include "clean/DestinationGuard.hpp"

namespace cli {
namespace {

std::string riskLabel(Risk risk) {
    switch (risk) {
    case Risk::safe: return L("安全");
    case Risk::caution: return L("谨慎");
    case Risk::review: return "";
    }
    return "";
}

constexpr const char* indent = "            ";
constexpr size_t shownPaths = 3;

void printSuggestion(const Suggestion& suggestion) {
    char size[32];
    std::snprintf(size, sizeof size, "%10s", suggestion.reclaimable.c_str());
    std::string head = std::string(size) + "  " + suggestion.id + "  " + shown(suggestion.title);
    if (std::string label = riskLabel(suggestion.risk); !label.empty()) head += "  [" + label + "]";
    printLine(head);
    printLine(indent + shown(suggestion.detail));
    for (size_t index = 0; index < std::min(shownPaths, suggestion.paths.size()); ++index)
        printLine(indent + shownPath(suggestion.paths[index]));
    if (suggestion.paths.size() > shownPaths)
        printLine(std::string(indent).substr(2) + L("  … 另有 %@ 项", suggestion.paths.size() - shownPaths));
    if (suggestion.command) printLine(L("            建议命令: %@", *suggestion.command));
}

int runSuggest(const Arguments& arguments) {
    SuggestionReport report = Service::suggestions(arguments.has("--quick"), false, nullptr,
                                                   scanProgressLine(arguments));
    endProgress();
    if (arguments.json) {
        printJSON(report);
        return success;
    }
    printLine(L("可释放约 %@(其中 %@ 可放心清理)\n", report.totalReclaimable, report.safeReclaimable));
    for (size_t index = 0; index < report.suggestions.size(); ++index) {
        if (index > 0) printLine("");
        printSuggestion(report.suggestions[index]);
    }
    for (const auto& note : report.notes) printLine(L("\n提示: ") + note);
    return success;
}

int runClean(const Arguments& arguments) {
    if (arguments.positionals.empty()) {
        printUsage(L("用法: ostrevane clean <建议id>... [--execute]"));
        return usageError;
    }
    const bool dryRun = !arguments.has("--execute");
    SuggestionReport report = Service::suggestionsToApply(nullptr, scanProgressLine(arguments));
    endProgress();

    // Every id is checked before anything is touched, so a mistyped or
    // refused id never leaves a clean half done.
    std::vector<Suggestion> chosen;
    std::set<std::string> named;
    for (const auto& id : arguments.positionals) {
        // A repeated id would find its paths already gone and report them as failures.
        if (!named.insert(id).second) continue;
        auto found = std::find_if(report.suggestions.begin(), report.suggestions.end(),
                                  [&](const Suggestion& suggestion) { return suggestion.id == id; });
        if (found == report.suggestions.end()) {
            printError(L("没有 id 为 %@ 的建议。运行 ostrevane suggest 查看。", id));
            return failure;
        }
        chosen.push_back(*found);
    }
    for (const auto& suggestion : chosen) {
        // The cleaner's own refusal, with its wording, before any real work.
        if (!suggestion.autoApplicable) Cleaner::apply(suggestion, true);
    }

    std::vector<CleanResult> results;
    Cleaner::ApplyLimits limits;
    limits.keep = DestinationGuard::keep();
    for (const auto& suggestion : chosen) results.push_back(Cleaner::apply(suggestion, dryRun, limits));

    bool anyFailed = std::any_of(results.begin(), results.end(),
                                 [](const CleanResult& result) { return !result.failed.empty(); });
    if (arguments.json) {
        if (results.size() == 1)
            printJSON(results.front());
        else
            printJSON(json(results));
    } else {
        for (const auto& result : results) printCleanResult(result);
        if (dryRun) printLine(L("\n这是试运行,没有改动任何文件。确认无误后加 --execute 执行。"));
    }
    return anyFailed ? failure : success;
}

RegisterCommand suggestCommand({.name = "suggest", .run = runSuggest, .flags = {"--quick"}, .maxPositionals = 0});
RegisterCommand cleanCommand({"clean", {}, runClean, {"--execute"}});

}  // namespace
}  // namespace cli
