#include "clean/DestinationGuard.hpp"

#include <algorithm>

#include "base/DisplayText.hpp"
#include "clean/CleanupRules.hpp"
#include "clean/Suggestions.hpp"
#include "config/PlaceRecords.hpp"
#include "platform/Trash.hpp"
#include "platform/UserFolders.hpp"
#include "text/Localization.hpp"

namespace DestinationGuard {

namespace {

std::vector<std::string> componentsOf(const std::string& path) {
    std::vector<std::string> components;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) components.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return components;
}

/// Whether `path` is the place a pattern names or lies inside it; a "*"
/// component stands for any one name.
bool insidePattern(const std::string& path, const std::string& pattern) {
    const auto have = componentsOf(path), want = componentsOf(pattern);
    if (want.empty() || have.size() < want.size()) return false;
    for (size_t index = 0; index < want.size(); ++index)
        if (want[index] != "*" && want[index] != have[index]) return false;
    return true;
}

bool movesOrEmpties(CleanAction action) {
    return action == CleanAction::trash || action == CleanAction::trashContents || action == CleanAction::emptyTrash;
}

/// A place some clean takes things from, and the title of that clean.
struct CleanedPlace {
    std::string pattern;
    std::string title;
};

std::vector<CleanedPlace> cleanedPlaces(const std::string& home) {
    std::vector<CleanedPlace> places;
    for (const auto* rules : {&SuggestionEngine::known(), &SuggestionEngine::linuxRules()})
        for (const auto& rule : *rules)
            if (movesOrEmpties(rule.action))
                for (const auto& place : rule.places)
                    places.push_back({SuggestionEngine::expandBase(place, home), rule.title});
    // The rules that read the scanned tree.
    const std::string downloads = UserFolders::current(home).downloads;
    places.push_back({downloads, L("下载目录里的陈旧文件")});
    places.push_back(
        {Paths::joined(home, "Library/Containers/*/Data/Library/Caches"), L("App 内置缓存(浏览器内核 / 沙盒应用)")});
    return places;
}

/// The first build artefacts' or embedded cache folder among the folders
/// of `path` below the home folder, whose rules take such folders whole
/// wherever they find them.
std::optional<std::string> artefactFolderAbove(const std::string& path, const std::string& home) {
    if (!Paths::isStrictlyInside(path, home)) return std::nullopt;
    std::string folder = home;
    const auto components = componentsOf(path.substr(home.size()));
    for (const auto& name : components) {
        folder = Paths::joined(folder, name);
        if (SuggestionEngine::artifactNames().count(name)) return folder;
    }
    return std::nullopt;
}

std::optional<std::string> refusalOfForm(const DisplayText::QuotedPath& shown, const std::string& path,
                                         const std::string& home) {
    if (Trash::isInsideTrash(path) || Paths::isInside(path, Trash::homeTrash()))
        return L("%@ 不能作为备份目的地:它在废纸篓里,清倒废纸篓会把备份一起删除。", shown);
    for (const auto& own : {Paths::supportFolder().string(), Paths::cacheFolder().string()})
        if (Paths::isInside(path, own))
            return L("%@ 不能作为备份目的地:它在本工具自己的目录 %@ 里。", shown, DisplayText::path(own));
    for (const auto& place : cleanedPlaces(home))
        if (insidePattern(path, place.pattern))
            return L("%@ 不能作为备份目的地:它在 %@ 里,清理“%@”会把备份一起移到废纸篓。", shown,
                     DisplayText::path(place.pattern), place.title);
    if (auto artefacts = artefactFolderAbove(path, home))
        return L("%@ 不能作为备份目的地:它在 %@ 里,清理“%@”会把备份一起移到废纸篓。", shown,
                 DisplayText::path(*artefacts), L("闲置项目的依赖与构建目录"));
    return std::nullopt;
}

}  // namespace

std::optional<std::string> refusal(const std::string& folder) {
    const std::string home = Paths::home();
    if (auto reason = refusalOfForm(DisplayText::path(folder), folder, home)) return reason;
    // A link may lead the backups into such a place.
    const std::string resolved = PlaceRecords::resolvedPath(folder);
    const std::string resolvedHome = PlaceRecords::resolvedPath(home);
    if (resolved != folder || resolvedHome != home)
        return refusalOfForm(DisplayText::path(folder), resolved, resolvedHome);
    return std::nullopt;
}

void check(const BackupDestination& destination) {
    if (!destination.path) return;
    if (auto reason = refusal(*destination.path)) throw OstrevaneError(*reason);
}

BackupDestination resolve(const std::string& query) {
    BackupDestination destination = Destinations::resolve(query);
    check(destination);
    return destination;
}

Cleaner::Keep keep() {
    const std::vector<BackupDestination> destinations = Destinations::discover(false);
    Cleaner::Keep kept;
    for (const auto& destination : destinations)
        if (destination.path) kept.folders.push_back(*destination.path);
    kept.contents = SuggestionEngine::archivesOf(destinations);
    return kept;
}

}  // namespace DestinationGuard
