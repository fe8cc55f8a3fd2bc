#include "clean/SeenPlaces.hpp"

#include "clean/CleanupRules.hpp"
#include "clean/Suggestions.hpp"
#include "platform/HomeFolder.hpp"
#include "platform/Trash.hpp"
#include "platform/UserFolders.hpp"
#include "scan/ScanRecord.hpp"

namespace SeenPlaces {

namespace {

std::vector<std::string> trashHalves() { return {Trash::filesFolder(), Trash::infoFolder()}; }

}  // namespace

ScanOptions::Recorded places(const std::string& home, bool allPlaces) {
    ScanOptions::Recorded recorded;
    recorded.folders.push_back(Paths::cacheFolder().string());
    if (!allPlaces) return recorded;
    for (const auto& half : trashHalves()) recorded.folders.push_back(half);
    for (const auto& rule : SuggestionEngine::known()) recorded.items.push_back(SuggestionEngine::location(rule, home));
    for (const auto& rule : SuggestionEngine::linuxRules())
        for (const auto& place : rule.places) recorded.items.push_back(SuggestionEngine::expandBase(place, home));
    // What the rules reading the tree pick: the downloads rules the entries
    // of Downloads and of its folders, the build artefacts rule its folders
    // by name.
    const std::string downloads = UserFolders::current(home).downloads;
    recorded.met = {Paths::joined(downloads, "*"), Paths::joined(downloads, "*/*")};
    const auto& artifacts = SuggestionEngine::artifactNames();
    recorded.named.assign(artifacts.begin(), artifacts.end());
    return recorded;
}

ScanOptions scanOptions(const std::string& path) {
    ScanOptions options;
    const std::string home = Paths::home();
    options.recorded = places(home, Paths::isInside(home, Paths::expand(path)));
    return options;
}

SeenFolders measureNow(const std::string& home) {
    const ScanOptions::Recorded recorded = places(home, true);
    ScanRecord::Record record;
    record.measureRest(recorded.folders, recorded.items);
    return record.take();
}

void measureItems(const std::vector<std::string>& paths, SeenFolders& seen) {
    for (const auto& path : paths) SeenWay::measure(Paths::expand(path), seen, true);
}

void measureWays(const std::vector<std::string>& paths, SeenFolders& seen) {
    for (const auto& path : paths) SeenWay::measure(Paths::parentFolder(Paths::expand(path)), seen, false);
}

SeenFolders wayOf(const SeenFolders& seen, const std::vector<std::string>& paths) {
    SeenFolders way;
    for (const auto& path : paths) SeenWay::copyWay(seen, Paths::expand(path), way);
    for (const auto& half : trashHalves()) SeenWay::copyWay(seen, half, way);
    return way;
}

}  // namespace SeenPlaces
