#include "SeenPlaces.hpp"

#include <filesystem>

#include "CleanupRules.hpp"
#include "platform/HomeFolder.hpp"
#include "platform/Trash.hpp"

namespace SeenPlaces {

namespace {

/// The folders a rule's "*" may match are listed, but only this many: a
/// folder of thousands of entries keeps the record small, and a place past
/// the limit is then held as if no link had been seen on its way.
constexpr size_t matchesPerPattern = 1000;

void recordPattern(const std::string& home, const std::string& pattern, SeenFolders& seen) {
    const auto star = pattern.find("/*/");
    if (star == std::string::npos) return SeenWay::record(home, pattern, seen);
    const std::string folder = pattern.substr(0, star);
    const std::string rest = pattern.substr(star + 3);
    SeenWay::record(home, folder, seen);
    std::error_code error;
    std::filesystem::directory_iterator entry(folder, error), end;
    for (size_t count = 0; !error && entry != end && count < matchesPerPattern; entry.increment(error), ++count)
        SeenWay::record(home, Paths::joined(entry->path().string(), rest), seen);
}

std::vector<std::string> trashHalves() { return {Trash::filesFolder(), Trash::infoFolder()}; }

}  // namespace

SeenFolders record(const std::string& home, bool allPlaces) {
    SeenFolders seen;
    SeenWay::record(home, Paths::cacheFolder().string(), seen);
    if (!allPlaces) return seen;
    for (const auto& half : trashHalves()) SeenWay::record(home, half, seen);
    for (const auto& rule : SuggestionEngine::known())
        SeenWay::record(home, SuggestionEngine::location(rule, home), seen);
    for (const auto& rule : SuggestionEngine::linuxRules())
        for (const auto& place : rule.places) recordPattern(home, SuggestionEngine::expandBase(place, home), seen);
    return seen;
}

SeenFolders wayOf(const SeenFolders& seen, const std::vector<std::string>& paths) {
    SeenFolders way;
    for (const auto& path : paths) SeenWay::copyWay(seen, path, way);
    for (const auto& half : trashHalves()) SeenWay::copyWay(seen, half, way);
    return way;
}

}  // namespace SeenPlaces
