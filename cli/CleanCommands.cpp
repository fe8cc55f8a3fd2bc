// `trash` moves chosen paths to the Trash (a dry run unless --execute is
// given); `empty-trash` empties it, and only with --confirm, since that is the
// one step that cannot be undone.
#include <algorithm>

#include "CleanOutput.hpp"
#include "Command.hpp"
#include "clean/Cleaner.hpp"

namespace cli {

void printCleanResult(const CleanResult& result) {
    constexpr size_t shownTrashed = 20;
    printLine(result.message);
    for (size_t index = 0; index < std::min(shownTrashed, result.trashed.size()); ++index)
        printLine("  " + shownPath(result.trashed[index]));
    if (result.trashed.size() > shownTrashed) printLine(L("  … 另有 %@ 项", result.trashed.size() - shownTrashed));
    for (const auto& failure : result.failed) printLine("  " + shownPath(failure.path) + ": " + shown(failure.reason));
}

namespace {

int runTrash(const Arguments& arguments) {
    if (arguments.positionals.empty()) {
        printUsage(L("用法: ostrevane trash <路径>... [--execute]"));
        return usageError;
    }
    const bool dryRun = !arguments.has("--execute");
    CleanResult result = Cleaner::trash(arguments.positionals, dryRun);
    if (arguments.json) {
        printJSON(result);
    } else {
        printCleanResult(result);
        if (dryRun) printLine(L("\n这是试运行,没有改动任何文件。确认无误后加 --execute 执行。"));
    }
    return result.failed.empty() ? success : failure;
}

int runEmptyTrash(const Arguments& arguments) {
    if (!arguments.has("--confirm")) {
        printError(L("清倒废纸篓不可恢复。确认后请加 --confirm。"));
        return usageError;
    }
    CleanResult result = Cleaner::emptyTrash();
    if (arguments.json)
        printJSON(result);
    else
        printCleanResult(result);
    return result.failed.empty() ? success : failure;
}

RegisterCommand trashCommand({"trash", {}, runTrash, {"--execute"}});
RegisterCommand emptyTrashCommand(
    {.name = "empty-trash", .run = runEmptyTrash, .flags = {"--confirm"}, .maxPositionals = 0});

}  // namespace
}  // namespace cli
