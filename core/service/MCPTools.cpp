// The fourteen tools behind "tools/call", each one entry of the tool table:
// its listing, its arguments with their defaults, and a runner that reads
// them, calls one engine operation and returns its record as pretty JSON.
#include "Service.hpp"
#include "backup/Backup.hpp"
#include "base/DisplayText.hpp"
#include "base/JSONCoding.hpp"
#include "clean/Cleaner.hpp"
#include "clean/DestinationGuard.hpp"
#include "clean/Suggestions.hpp"
#include "config/Config.hpp"
#include "config/Destinations.hpp"
#include "platform/FileManager.hpp"
#include "platform/Trash.hpp"
#include "scan/ScanStore.hpp"
#include "scan/ScanView.hpp"
#include "scan/Scanner.hpp"
#include "service/MCPServer.hpp"
#include "service/MCPToolTable.hpp"
#include "text/Localization.hpp"

namespace MCPTools {

namespace {

std::string pretty(const json& value) { return JSONOut::encode(value, true); }

struct Listing {
    std::vector<BackupDestination> destinations;
    std::vector<BackupPlan> plans;
    std::string hint;
    /// Why the plans may be missing: the configuration file could not be read.
    std::optional<std::string> warning;
};
constexpr auto listingFields = JSONCoding::fields(
    JSONCoding::field("destinations", &Listing::destinations), JSONCoding::field("plans", &Listing::plans),
    JSONCoding::field("hint", &Listing::hint), JSONCoding::field("warning", &Listing::warning));
void to_json(json& object, const Listing& listing) { JSONCoding::write(object, listing, listingFields); }

/// The tool's own stderr line about an unreadable configuration, for results.
std::optional<std::string> configurationWarning() { return ConfigStore::unreadableNotice(); }

std::function<void(const ScanProgress&)> scanProgress(const ToolCall& call) {
    return call.server.scanProgress(call.progressToken);
}

std::function<void(const BackupProgress&)> backupProgress(const ToolCall& call) {
    return call.server.backupProgress(call.progressToken);
}

Service::Tree folderLookup(const ToolCall& call) {
    std::string path = call.arguments.string("path").value_or(Paths::home());
    return Service::tree(path, call.arguments.flag("refresh"), nullptr, scanProgress(call));
}

// Runners

std::string diskStatus(const ToolCall&) { return pretty(Service::status()); }

std::string scanDirectory(const ToolCall& call) {
    auto lookup = folderLookup(call);
    auto depth = static_cast<int>(call.arguments.clamped("depth"));
    auto top = static_cast<int>(call.arguments.clamped("top"));
    return pretty(ScanView::make(lookup.result, &lookup.node, depth, top, lookup.cached));
}

std::string largestFiles(const ToolCall& call) {
    auto lookup = folderLookup(call);
    const ToolArguments& arguments = call.arguments;
    return pretty(Service::largestFiles(lookup.node, arguments.clamped("limit"), arguments.megabytes("min_size_mb"),
                                        arguments.integer("older_than_days")));
}

/// Notes when a suggestion to empty the Trash that an answer shows measured
/// it: a later confirmed emptying deletes only what it measured.
void noteShown(const ToolCall& call, const Suggestion& suggestion) {
    if (suggestion.action == CleanAction::emptyTrash) call.server.session().trashShown = suggestion.measuredTrash;
}

std::string getSuggestions(const ToolCall& call) {
    const ToolArguments& arguments = call.arguments;
    SuggestionReport report = Service::suggestions(arguments.flag("quick"), arguments.flag("refresh"), nullptr,
                                                   scanProgress(call));
    for (const auto& suggestion : report.suggestions) noteShown(call, suggestion);
    return pretty(report);
}

/// Applies a suggestion of this call's analysis, held to what the session's
/// earlier answers showed of it: a confirmed emptying deletes only the items
/// the analysis behind the last answer that showed it measured, and a
/// confirmed move moves only what the last dry run of it listed, and only as
/// that dry run measured it: what a scan since measured under the same names
/// was never shown.
CleanResult applyInSession(const ToolCall& call, Suggestion suggestion) {
    MCPServer::Session& session = call.server.session();
    const bool dryRun = !call.arguments.flag("confirm");
    Cleaner::ApplyLimits limits;
    limits.keep = DestinationGuard::keep();
    if (dryRun) {
        noteShown(call, suggestion);
    } else if (suggestion.action == CleanAction::emptyTrash) {
        // Shown nothing yet, the session approved nothing to delete: this
        // call's analysis also measured whatever the session moved there.
        suggestion.measuredTrash = session.trashShown.value_or(Trash::MeasuredEntries());
    } else if (auto listed = session.dryRunListed.find(suggestion.id); listed != session.dryRunListed.end()) {
        limits.approved = listed->second;
        if (auto measured = session.dryRunSeen.find(suggestion.id); measured != session.dryRunSeen.end())
            suggestion.seen = measured->second;
    }
    CleanResult result = Cleaner::apply(suggestion, dryRun, limits);
    if (dryRun && suggestion.action != CleanAction::emptyTrash) {
        session.dryRunListed[suggestion.id] = result.trashed;
        if (suggestion.seen)
            session.dryRunSeen[suggestion.id] = *suggestion.seen;
        else
            session.dryRunSeen.erase(suggestion.id);
    }
    return result;
}

std::string applySuggestion(const ToolCall& call) {
    std::string id = call.arguments.require("id");
    auto report = Service::suggestionsToApply(nullptr, scanProgress(call));
    for (const auto& suggestion : report.suggestions)
        if (suggestion.id == id) return pretty(applyInSession(call, suggestion));
    std::string available;
    for (const auto& suggestion : report.suggestions) available += (available.empty() ? "" : ", ") + suggestion.id;
    throw OstrevaneError(L("没有 id 为 %@ 的建议。当前可用: %@", id, available));
}

std::string moveToTrash(const ToolCall& call) {
    auto paths = call.arguments.strings("paths");
    if (!paths || paths->empty()) throw OstrevaneError(L("缺少参数 paths"));
    return pretty(Cleaner::trash(*paths, !call.arguments.flag("confirm")));
}

std::string emptyTrash(const ToolCall& call) {
    if (call.arguments.flag("confirm")) return pretty(Cleaner::emptyTrash());
    int64_t bytes = Trash::allocatedSize();
    std::string size = Fmt::bytes(bytes);
    return pretty(CleanResult(
        true, {}, {}, bytes,
        L("废纸篓当前约 %@(没有读取权限的部分算不进来)。清倒不可恢复,需用户明确同意后以 confirm=true 再次调用。",
          size)));
}

std::string listBackupDestinations(const ToolCall&) {
    return pretty(
        Listing{Destinations::discover(true), ConfigStore::load().plans,
                L("destination 参数可以用上面的 id,也可以直接给一个文件夹路径(外置硬盘、NAS、任意网盘的同步目录)。"),
                configurationWarning()});
}

std::string backupToCloud(const ToolCall& call) {
    BackupDestination destination = DestinationGuard::resolve(call.arguments.require("destination"));
    std::vector<std::string> excludes = BackupOptions::defaultExcludes;
    if (auto extra = call.arguments.strings("exclude")) excludes.insert(excludes.end(), extra->begin(), extra->end());
    bool dryRun = call.arguments.flag("dry_run");
    std::string source = call.arguments.require("source");
    return pretty(
        BackupEngine::run(source, destination, BackupOptions(dryRun, excludes), nullptr, backupProgress(call)));
}

std::string offloadToCloud(const ToolCall& call) {
    BackupDestination destination = DestinationGuard::resolve(call.arguments.require("destination"));
    std::string source = call.arguments.require("source");
    return pretty(
        BackupEngine::offload(source, destination, !call.arguments.flag("confirm"), nullptr, backupProgress(call)));
}

std::string backupHistory(const ToolCall& call) {
    auto reading = BackupHistory::read();
    // An empty list would tell the agent there were no backups.
    if (reading.unreadable) throw OstrevaneError(BackupHistory::unreadableNotice());
    auto& history = reading.reports;
    for (auto& report : history) report.summary = summaryText(report);
    auto limit = static_cast<size_t>(call.arguments.clamped("limit"));
    if (history.size() > limit) history.resize(limit);
    return pretty(history);
}

std::string evictLocalCopies(const ToolCall& call) {
    return pretty(BackupEngine::evict(call.arguments.require("path")));
}

std::string findDuplicates(const ToolCall& call) {
    auto lookup = folderLookup(call);
    return pretty(
        Service::duplicates(lookup.node, call.arguments.megabytes("min_size_mb"), call.arguments.flag("verify"), 50));
}

std::string revealInFileManager(const ToolCall& call) {
    std::string path = Paths::expandGiven(call.arguments.require("path"));
    FileManager::showItem(path);
    return "{\"revealed\": " + JSONOut::encode(json(path), false) + "}";
}

// The table

/// No default: absent when absent.
Parameter plain(const char* name, ParameterType type, const char* description) {
    return {name, type, description, nullptr, false, std::nullopt};
}

Parameter text(const char* name, const char* description) { return plain(name, ParameterType::text, description); }

Parameter texts(const char* name, const char* description) { return plain(name, ParameterType::texts, description); }

/// False when absent; `stated` adds " Default false." to the listing.
Parameter flag(const char* name, const char* description, bool stated = false) {
    return {name, ParameterType::flag, description, false, stated, std::nullopt};
}

/// Clamped into [low, high], `fallback` when absent, stated in the listing.
Parameter clampedInteger(const char* name, const char* description, int64_t low, int64_t high, int64_t fallback) {
    return {name, ParameterType::integer, description, fallback, true, std::pair{low, high}};
}

/// A size in megabytes, `fallback` when absent, stated in the listing.
Parameter megabytes(const char* name, const char* description, int64_t fallback) {
    return {name, ParameterType::number, description, fallback, true, std::nullopt};
}

std::vector<Tool> buildTable() {
    const Parameter path = text("path", "Absolute path or ~ path. Defaults to the home folder.");
    const Parameter refresh = flag("refresh", "Ignore the 15-minute scan cache and rescan.");
    const Parameter confirm = flag("confirm",
                                   "false (default) = dry run that only reports what would happen. Set true only after "
                                   "the user approved the dry-run result.");
    constexpr bool reads = true, changes = false, destructive = true, harmless = false;

    std::vector<Tool> tools;
    tools.push_back({"disk_status",
                     "Disk status",
                     "Capacity, used and available space for every mounted volume, whether the home folder can be "
                     "read (fullDiskAccess), and when the home folder was last scanned. Fast; call this first.",
                     {},
                     {},
                     reads,
                     harmless,
                     diskStatus});
    tools.push_back({"scan_directory",
                     "Scan a folder",
                     "Size breakdown of a folder as a tree (largest children first). The first scan of the home "
                     "folder walks every file and can take a minute; results are cached for 15 minutes and "
                     "sub-folders are answered from that cache.",
                     {path, clampedInteger("depth", "Levels of children to return, 1-6.", 1, 6, 2),
                      clampedInteger("top", "Children per folder, 1-50.", 1, 50, 10), refresh},
                     {},
                     reads,
                     harmless,
                     scanDirectory});
    tools.push_back(
        {"largest_files",
         "Largest files",
         "The biggest individual files under a path, optionally only ones not modified for N days.",
         {path, clampedInteger("limit", "How many files.", 1, 200, 25),
          megabytes("min_size_mb", "Minimum size in MB.", 100),
          plain("older_than_days", ParameterType::integer, "Only files not modified for at least this many days."),
          refresh},
         {},
         reads,
         harmless,
         largestFiles});
    tools.push_back({"get_suggestions",
                     "Cleanup suggestions",
                     "Ranked cleanup suggestions with reclaimable size, risk (safe / review / caution), the paths "
                     "involved and \u2014 where one exists \u2014 a better command to run. Each has an id for "
                     "apply_suggestion. quick=true only checks well-known cache locations and skips the full scan.",
                     {flag("quick", "Skip the full home scan.", true), refresh},
                     {},
                     reads,
                     harmless,
                     getSuggestions});
    tools.push_back({"apply_suggestion",
                     "Apply a suggestion",
                     "Carries out one autoApplicable suggestion by moving its files to the Trash (recoverable). "
                     "Dry run unless confirm=true.",
                     {text("id", "Suggestion id from get_suggestions."), confirm},
                     {"id"},
                     changes,
                     destructive,
                     applySuggestion});
    tools.push_back({"move_to_trash",
                     "Move to Trash",
                     "Moves specific files or folders to the Trash (recoverable until the Trash is emptied). "
                     "Protected folders such as ~/Documents itself are refused. Dry run unless confirm=true.",
                     {texts("paths", "Absolute or ~ paths."), confirm},
                     {"paths"},
                     changes,
                     destructive,
                     moveToTrash});
    tools.push_back({"empty_trash",
                     "Empty the Trash",
                     "Permanently deletes everything in the Trash. This is what actually frees the space after a "
                     "cleanup. Irreversible: requires confirm=true and the user's explicit approval.",
                     {confirm},
                     {},
                     changes,
                     destructive,
                     emptyTrash});
    tools.push_back({"list_backup_destinations",
                     "Backup destinations",
                     "Cloud drives and folders that can receive backups: folders synced by a cloud drive client "
                     "(such as Nextcloud or Dropbox), Google accounts added in the desktop's online accounts, "
                     "rclone remotes, external drives and user-added folders, plus saved backup plans.",
                     {},
                     {},
                     reads,
                     harmless,
                     listBackupDestinations});
    tools.push_back(
        {"backup_to_cloud",
         "Back up a folder",
         "Incrementally copies a file or folder to a destination under 'Ostrevane Backups/<computer "
         "name>/\u2026'. Only new or changed files are copied and nothing is ever deleted at the "
         "destination, so it is safe to rerun. Use dry_run=true to preview a large backup.",
         {text("source", "File or folder to back up."),
          text("destination", "Destination id from list_backup_destinations, or a folder path."),
          flag("dry_run", "Only report what would be copied.", true),
          texts("exclude",
                "Extra file or folder names to skip (node_modules, .DS_Store etc. are skipped by default).")},
         {"source", "destination"},
         changes,
         harmless,
         backupToCloud});
    tools.push_back(
        {"offload_to_cloud",
         "Offload to cloud",
         "Frees local space without losing data: backs the path up, verifies every file arrived, then "
         "moves the local copy to the Trash. Dry run unless confirm=true.",
         {text("source", "File or folder to offload."), text("destination", "Destination id or folder path."), confirm},
         {"source", "destination"},
         changes,
         destructive,
         offloadToCloud});
    tools.push_back({"backup_history",
                     "Backup history",
                     "Most recent backup runs with their results.",
                     {clampedInteger("limit", "", 1, 100, 10)},
                     {},
                     reads,
                     harmless,
                     backupHistory});
    tools.push_back({"evict_local_copies",
                     "Release local cloud copies",
                     "Removes the local copy of files that their cloud drive reports as uploaded; they stay in the "
                     "cloud and download again on demand. Files not reported as uploaded are left alone and counted "
                     "as not handled; the cloud drive clients on Linux report no upload state, so nothing is removed.",
                     {text("path", "A file or folder inside a cloud drive's synced folder.")},
                     {"path"},
                     changes,
                     harmless,
                     evictLocalCopies});
    tools.push_back({"find_duplicates",
                     "Find duplicate files",
                     "Groups of identical files and how much space the extra copies waste.",
                     {path, megabytes("min_size_mb", "Ignore files smaller than this.", 50),
                      flag("verify", "Hash whole files instead of head and tail. Slower, certain."), refresh},
                     {},
                     reads,
                     harmless,
                     findDuplicates});
    tools.push_back({"reveal_in_finder",
                     "Show in the file manager",
                     "Opens the file manager with the item selected so the user can look at it themselves.",
                     {text("path", "Path to reveal.")},
                     {"path"},
                     changes,
                     harmless,
                     revealInFileManager});
    return tools;
}

}  // namespace

const std::vector<Tool>& table() {
    static const std::vector<Tool> tools = buildTable();
    return tools;
}

}  // namespace MCPTools

std::string MCPServer::call(const std::string& name, const json& arguments, const std::optional<json>& progressToken) {
    const MCPTools::Tool* tool = offers(name) ? MCPTools::find(name) : nullptr;
    if (!tool) throw OstrevaneError("Unknown tool: " + name);
    const json given = arguments.is_object() ? arguments : json::object();
    const MCPTools::ToolArguments reader(*tool, given);
    return tool->run({reader, *this, progressToken});
}
