// The fourteen tools behind "tools/call": each reads its arguments, calls one
// engine operation and returns its record as pretty JSON.
#include <cmath>
#include <limits>

#include "Cleaner.hpp"
#include "Config.hpp"
#include "Destinations.hpp"
#include "Localization.hpp"
#include "MCPServer.hpp"
#include "ScanStore.hpp"
#include "ScanView.hpp"
#include "Scanner.hpp"
#include "Service.hpp"
#include "Suggestions.hpp"
#include "backup/Backup.hpp"
#include "base/JSONCoding.hpp"
#include "platform/Trash.hpp"

namespace {

/// Reads a tool's arguments; a member of the wrong JSON type counts as absent.
class ToolArguments {
public:
    explicit ToolArguments(const json& arguments) : arguments(arguments) {}

    std::optional<std::string> string(const char* name) const {
        const json* value = member(name);
        if (!value || !value->is_string() || value->get_ref<const std::string&>().empty()) return std::nullopt;
        return value->get<std::string>();
    }

    std::string require(const char* name) const {
        if (auto value = string(name)) return *value;
        throw OstrevaneError(L("缺少参数 %@", name));
    }

    std::optional<double> number(const char* name) const {
        const json* value = member(name);
        if (!value) return std::nullopt;
        if (value->is_boolean()) return value->get<bool>() ? 1.0 : 0.0;
        if (!value->is_number()) return std::nullopt;
        return value->get<double>();
    }

    /// Fractions truncated toward zero; huge values saturate to the 64-bit range
    /// instead of overflowing the conversion.
    std::optional<int64_t> integer(const char* name) const {
        const json* value = member(name);
        if (!value) return std::nullopt;
        if (value->is_number_integer()) {
            if (value->is_number_unsigned() && value->get<uint64_t>() > static_cast<uint64_t>(INT64_MAX))
                return INT64_MAX;
            return value->get<int64_t>();
        }
        auto real = number(name);
        if (!real || std::isnan(*real)) return std::nullopt;
        if (*real >= 9.2e18) return INT64_MAX;
        if (*real <= -9.2e18) return INT64_MIN;
        return static_cast<int64_t>(*real);
    }

    int64_t clamped(const char* name, int64_t low, int64_t high, int64_t fallback) const {
        auto value = integer(name);
        return value ? std::clamp(*value, low, high) : fallback;
    }

    bool flag(const char* name) const {
        const json* value = member(name);
        return value && value->is_boolean() && value->get<bool>();
    }

    /// Megabytes of 1,000,000 bytes; a size with no valid byte count is an error.
    int64_t megabytes(const char* name, double fallback) const {
        double bytes = number(name).value_or(fallback) * 1'000'000.0;
        if (!std::isfinite(bytes) || bytes >= 9.2e18 || bytes <= -9.2e18)
            throw OstrevaneError(std::string("Parameter ") + name + " is out of range");
        return static_cast<int64_t>(bytes);
    }

    std::optional<std::vector<std::string>> strings(const char* name) const {
        const json* value = member(name);
        if (!value || !value->is_array()) return std::nullopt;
        std::vector<std::string> list;
        for (const auto& element : *value) {
            if (!element.is_string()) return std::nullopt;
            list.push_back(element.get<std::string>());
        }
        return list;
    }

private:
    const json* member(const char* name) const {
        auto found = arguments.find(name);
        return found == arguments.end() ? nullptr : &*found;
    }
    const json& arguments;
};

std::string pretty(const json& value) { return JSONOut::encode(value, true); }

/// A JSON text literal with the escapes JSON needs, slashes left alone.
std::string jsonText(const std::string& text) { return json(text).dump(-1, ' ', false, json::error_handler_t::replace); }

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
std::optional<std::string> configurationWarning() {
    if (!ConfigStore::unreadable()) return std::nullopt;
    return L("配置文件 %@ 无法读取,已忽略。", Paths::abbreviate(ConfigStore::filePath().string()));
}

}  // namespace

std::string MCPServer::call(const std::string& name, const json& argumentObject,
                            const std::optional<json>& progressToken) {
    if (!offers(name)) throw OstrevaneError("Unknown tool: " + name);
    const ToolArguments arguments(argumentObject);
    auto folderLookup = [&] {
        std::string path = arguments.string("path").value_or(Paths::home());
        return Service::tree(path, arguments.flag("refresh"), nullptr, scanProgress(progressToken));
    };
    auto resolveDestination = [&] { return Destinations::resolve(arguments.require("destination")); };

    if (name == "disk_status") return pretty(Service::status());

    if (name == "scan_directory") {
        auto lookup = folderLookup();
        int64_t depth = arguments.clamped("depth", 1, 6, 2);
        int64_t top = arguments.clamped("top", 1, 50, 10);
        return pretty(ScanView::make(lookup.result, &lookup.node, static_cast<int>(depth), static_cast<int>(top),
                                     lookup.cached));
    }

    if (name == "largest_files") {
        auto lookup = folderLookup();
        int64_t limit = arguments.clamped("limit", 1, 200, 25);
        int64_t minSize = arguments.megabytes("min_size_mb", 100);
        return pretty(Service::largestFiles(lookup.node, limit, minSize, arguments.integer("older_than_days")));
    }

    if (name == "get_suggestions")
        return pretty(Service::suggestions(arguments.flag("quick"), arguments.flag("refresh"), nullptr,
                                           scanProgress(progressToken)));

    if (name == "apply_suggestion") {
        std::string id = arguments.require("id");
        auto destinations = Destinations::discover(true);
        const std::string home = Paths::home();
        auto scan = ScanStore::cached(home, Service::scanMaxAge);
        if (!scan) {
            scan = Scanner::scan(home, ScanOptions(), nullptr, scanProgress(progressToken));
            ScanStore::store(*scan, home);
        }
        auto report = SuggestionEngine::analyze(scan, destinations, std::chrono::system_clock::now());
        for (const auto& suggestion : report.suggestions)
            if (suggestion.id == id) return pretty(Cleaner::apply(suggestion, !arguments.flag("confirm")));
        std::string available;
        for (const auto& suggestion : report.suggestions)
            available += (available.empty() ? "" : ", ") + suggestion.id;
        throw OstrevaneError(L("没有 id 为 %@ 的建议。当前可用: %@", id, available));
    }

    if (name == "move_to_trash") {
        auto paths = arguments.strings("paths");
        if (!paths || paths->empty()) throw OstrevaneError(L("缺少参数 paths"));
        return pretty(Cleaner::trash(*paths, !arguments.flag("confirm")));
    }

    if (name == "empty_trash") {
        if (arguments.flag("confirm")) return pretty(Cleaner::emptyTrash());
        int64_t bytes = Trash::allocatedSize();
        std::string size = Fmt::bytes(bytes);
        return pretty(CleanResult(
            true, {}, {}, bytes,
            L("废纸篓当前约 %@(没有读取权限的部分算不进来)。清倒不可恢复,需用户明确同意后以 confirm=true 再次调用。",
              size)));
    }

    if (name == "list_backup_destinations")
        return pretty(Listing{Destinations::discover(true), ConfigStore::load().plans,
                              L("destination 参数可以用上面的 id,也可以直接给一个文件夹路径(外置硬盘、NAS、任意网盘的同步目录)。"),
                              configurationWarning()});

    if (name == "backup_to_cloud") {
        BackupDestination destination = resolveDestination();
        std::vector<std::string> excludes = BackupOptions::defaultExcludes;
        if (auto extra = arguments.strings("exclude")) excludes.insert(excludes.end(), extra->begin(), extra->end());
        bool dryRun = arguments.flag("dry_run");
        std::string source = arguments.require("source");
        return pretty(BackupEngine::run(source, destination, BackupOptions(dryRun, excludes), nullptr,
                                        backupProgress(progressToken)));
    }

    if (name == "offload_to_cloud") {
        BackupDestination destination = resolveDestination();
        std::string source = arguments.require("source");
        return pretty(BackupEngine::offload(source, destination, !arguments.flag("confirm"), nullptr,
                                            backupProgress(progressToken)));
    }

    if (name == "backup_history") {
        auto reading = BackupHistory::read();
        // An empty list would tell the agent there were no backups.
        if (reading.unreadable) throw OstrevaneError(BackupHistory::unreadableNotice());
        auto& history = reading.reports;
        for (auto& report : history) report.summary = summaryText(report);
        auto limit = static_cast<size_t>(arguments.clamped("limit", 1, 100, 10));
        if (history.size() > limit) history.resize(limit);
        return pretty(history);
    }

    if (name == "evict_local_copies") return pretty(BackupEngine::evict(arguments.require("path")));

    if (name == "find_duplicates") {
        auto lookup = folderLookup();
        int64_t minSize = arguments.megabytes("min_size_mb", 50);
        return pretty(Service::duplicates(lookup.node, minSize, arguments.flag("verify"), 50));
    }

    if (name == "reveal_in_finder") {
        std::string path = Paths::expandGiven(arguments.require("path"));
        Cleaner::revealInFinder(path);
        return "{\"revealed\": " + jsonText(path) + "}";
    }

    throw OstrevaneError("Unknown tool: " + name);
}
