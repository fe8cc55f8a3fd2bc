// `destinations` and `plans`: the places backups can go and the saved backups.
// Every change goes through the configuration store in one locked
// read-change-write, and the list is printed again afterwards.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "Command.hpp"
#include "PlanRun.hpp"
#include "base/DisplayText.hpp"
#include "clean/DestinationGuard.hpp"
#include "config/Config.hpp"
#include "config/Destinations.hpp"
#include "config/PlaceRecords.hpp"

namespace cli {
namespace {

/// The application may be writing the same file, and a file neither program
/// can read is kept aside rather than overwritten; the user should know where.
void announceKeptConfiguration() {
    ConfigStore::Hooks::active().setAside = [](const std::filesystem::path& keptAs) {
        endProgress();
        std::fputs((L("配置文件无法读取,原内容已保留在 %@。", shownPath(keptAs.string())) + "\n").c_str(), stderr);
    };
}

}  // namespace

bool reportUnreadableConfiguration() {
    auto notice = ConfigStore::unreadableNotice();
    if (!notice) return false;
    endProgress();
    std::fputs((*notice + "\n").c_str(), stderr);
    return true;
}

namespace {

// destinations

void printDestinations(const std::vector<BackupDestination>& destinations, const Arguments& arguments) {
    if (arguments.json) {
        printJSON(destinations);
        return;
    }
    if (destinations.empty()) {
        printLine(L(
            "没有检测到网盘。可以用网盘客户端同步一个文件夹、在桌面的在线账户里添加 Google 账户、配置 rclone、接上外置硬盘,或用 destinations add 添加一个目录。"));
        return;
    }
    for (const auto& destination : destinations) {
        std::string line = std::string(destination.available ? "✓ " : "✗ ") + shownName(destination.id) + "  " +
                           shownName(destination.name);
        if (destination.path)
            line += "  " + shownPath(*destination.path);
        else if (destination.rcloneRemote)
            line += "  " + *destination.rcloneRemote;
        printLine(line);
        if (destination.note) printLine("    " + *destination.note);
    }
}

int addDestination(const Arguments& arguments) {
    const auto& words = arguments.positionals;
    std::string name = words.size() == 3 ? Text::trim(words[1]) : "";
    if (name.empty()) {
        printUsage(L("用法: ostrevane destinations add <名称> <目录>"));
        return usageError;
    }
    const std::string folder = Paths::expandGiven(words[2]);
    if (!Files::isFolder(folder)) {
        printError(L("目录不存在: %@", DisplayText::path(folder)));
        return failure;
    }
    if (auto reason = DestinationGuard::refusal(folder)) {
        printError(*reason);
        return failure;
    }
    // Discovery shows one destination per folder: a second name for a folder
    // already there would be saved and never shown.
    if (auto existing = Destinations::atFolder(folder, Destinations::discover(false));
        existing && existing->id != CustomDestination{name, folder}.id()) {
        printError(L("%@ 已经是备份目的地“%@”,没有以新名称再添加。", DisplayText::path(folder), existing->name));
        return failure;
    }
    // Recorded first: a destination without it would stay available on the
    // bare mount-point folder once its drive is unplugged.
    PlaceRecords::rememberDestination(folder);
    announceKeptConfiguration();
    ConfigStore::updateOrThrow([&](AppConfig& config) {
        // The name is the destination's identity: adding it again moves it
        // to the new folder instead of leaving a second entry nobody sees.
        auto& entries = config.customDestinations;
        auto existing = std::find_if(entries.begin(), entries.end(), [&](auto& entry) { return entry.name == name; });
        if (existing != entries.end())
            existing->path = folder;
        else
            entries.push_back({name, folder});
    });
    printDestinations(Destinations::discover(true), arguments);
    return success;
}

int removeDestination(const Arguments& arguments) {
    const auto& words = arguments.positionals;
    if (words.size() != 2) {
        printUsage(L("用法: ostrevane destinations remove <名称>"));
        return usageError;
    }
    const std::string& name = words[1];
    size_t removed = 0;
    announceKeptConfiguration();
    ConfigStore::updateOrThrow([&](AppConfig& config) {
        // The listing shows ids ("folder:Name"), so those are accepted too.
        removed = std::erase_if(config.customDestinations, [&](const CustomDestination& entry) {
            return entry.name == name || entry.id() == name || entry.id() == DisplayText::unquoted(name);
        });
    });
    if (removed == 0) {
        printError(L("没有名为“%@”的自定义目的地。", name));
        return failure;
    }
    printDestinations(Destinations::discover(true), arguments);
    return success;
}

int runDestinations(const Arguments& arguments) {
    const auto& words = arguments.positionals;
    if (words.empty()) {
        reportUnreadableConfiguration();
        printDestinations(Destinations::discover(true), arguments);
        return success;
    }
    if (words[0] == "add") return addDestination(arguments);
    if (words[0] == "remove") return removeDestination(arguments);
    printUsage(L("用法: ostrevane destinations add <名称> <目录>"));
    printUsage(L("用法: ostrevane destinations remove <名称>"));
    return usageError;
}

RegisterCommand destinationsCommand({"destinations", {}, runDestinations});

// plans

void printPlans(const std::vector<BackupPlan>& plans, const Arguments& arguments) {
    if (arguments.json) {
        printJSON(plans);
        return;
    }
    if (plans.empty()) {
        printLine(L("还没有备份计划。用 ostrevane plans add <路径> --to <目的地> 添加。"));
        return;
    }
    const Date now = std::chrono::system_clock::now();
    for (const auto& plan : plans) {
        printLine(shown(plan.id) + "  " + shownPath(plan.source) + " → " + shownName(plan.destinationId));
        if (plan.lastRun) {
            std::string outcome = plan.lastSummary.value_or(plan.lastStatus.value_or(""));
            printLine("          " + L("上次 %@:%@", Fmt::ago(*plan.lastRun, now), shown(outcome)));
        }
    }
}

/// The id a plan stores for what the user typed: the id of the destination
/// it names (available or not, since a disk may be unplugged today), or the
/// expanded path of an existing folder. Anything else is the resolver's error.
std::string destinationIdFor(const std::string& query) {
    std::vector<BackupDestination> destinations = Destinations::discover(true);
    auto found = Destinations::match(query, destinations);
    BackupDestination destination = found ? *found : Destinations::resolve(query, destinations);
    if (destination.path)
        if (auto reason = DestinationGuard::refusal(*destination.path)) throw OstrevaneError(*reason);
    // A folder named by its path is added here, as `destinations add` adds one.
    if (!found && destination.path) PlaceRecords::rememberDestination(*destination.path);
    return destination.id;
}

int addPlan(const Arguments& arguments) {
    const auto& words = arguments.positionals;
    auto destination = arguments.value("--to");
    if (words.size() != 2 || !destination) {
        printUsage(L("用法: ostrevane plans add <路径> --to <目的地>"));
        return usageError;
    }
    const std::string source = Paths::expandGiven(words[1]);
    // A pipe, device or socket has no contents a backup could copy: reading
    // one would wait for a writer, or copy a whole disk.
    std::error_code error;
    if (std::filesystem::is_other(std::filesystem::status(source, error))) {
        printError(L("只能备份文件或目录,%@ 是管道、设备或套接字。", DisplayText::path(source)));
        return usageError;
    }
    const std::string destinationId = destinationIdFor(*destination);
    announceKeptConfiguration();
    const BackupPlan plan(source, destinationId);
    PlaceRecords::rememberPlanSource(plan.id, source);
    AppConfig config = ConfigStore::updateOrThrow([&](AppConfig& stored) { stored.plans.push_back(plan); });
    printPlans(config.plans, arguments);
    return success;
}

int removePlan(const Arguments& arguments) {
    const auto& words = arguments.positionals;
    if (words.size() != 2) {
        printUsage(L("用法: ostrevane plans remove <id>"));
        return usageError;
    }
    const std::string& id = words[1];
    size_t removed = 0;
    announceKeptConfiguration();
    AppConfig config = ConfigStore::updateOrThrow([&](AppConfig& stored) {
        removed = std::erase_if(stored.plans,
                                [&](const BackupPlan& plan) { return Text::equalIgnoringCase(plan.id, id); });
    });
    if (removed == 0) {
        printError(L("没有 id 为 %@ 的备份计划。运行 ostrevane plans 查看。", id));
        return failure;
    }
    printPlans(config.plans, arguments);
    return success;
}

int runPlans(const Arguments& arguments) {
    const auto& words = arguments.positionals;
    if (words.empty()) {
        // As `history` and `destinations` do: a file that cannot be read
        // holds no plans, and standard error says why the list is empty.
        reportUnreadableConfiguration();
        printPlans(ConfigStore::load().plans, arguments);
        return success;
    }
    // Only a run has a dry run; a change asked for one must not be made anyway.
    if ((words[0] == "add" || words[0] == "remove") && arguments.has("--dry-run")) unknownOption("--dry-run");
    if (words[0] == "add") return addPlan(arguments);
    if (words[0] == "remove") return removePlan(arguments);
    // Running plans lives with the backup commands.
    if (words[0] == "run") return runPlansCommand(arguments);
    printUsage(L("用法: ostrevane plans add <路径> --to <目的地>"));
    printUsage(L("用法: ostrevane plans remove <id>"));
    return usageError;
}

RegisterCommand plansCommand({"plans", {"--to"}, runPlans, {"--dry-run"}});

}  // namespace
}  // namespace cli
