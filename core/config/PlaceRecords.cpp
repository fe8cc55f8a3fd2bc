#include "config/PlaceRecords.hpp"

#include <algorithm>
#include <mutex>

#include "OwnFolders.hpp"
#include "base/JSONCoding.hpp"
#include "base/StoredFile.hpp"
#include "platform/Mounts.hpp"

namespace fs = std::filesystem;

namespace {

constexpr auto mountedFolderFields = JSONCoding::fields(
    JSONCoding::field("folder", &PlaceFacts::MountedFolder::folder),
    JSONCoding::field("mountPoint", &PlaceFacts::MountedFolder::mountPoint));

constexpr auto planSourceFields = JSONCoding::fields(JSONCoding::field("planId", &PlaceFacts::PlanSource::planId),
                                                     JSONCoding::field("resolved", &PlaceFacts::PlanSource::resolved));

constexpr auto factsFields = JSONCoding::fields(JSONCoding::field("mountedFolders", &PlaceFacts::mountedFolders),
                                                JSONCoding::field("planSources", &PlaceFacts::planSources));

}  // namespace

void to_json(json& object, const PlaceFacts::MountedFolder& folder) {
    JSONCoding::write(object, folder, mountedFolderFields);
}
void from_json(const json& object, PlaceFacts::MountedFolder& folder) {
    JSONCoding::read(object, folder, mountedFolderFields);
}
void to_json(json& object, const PlaceFacts::PlanSource& source) {
    JSONCoding::write(object, source, planSourceFields);
}
void from_json(const json& object, PlaceFacts::PlanSource& source) {
    JSONCoding::read(object, source, planSourceFields);
}
void to_json(json& object, const PlaceFacts& facts) { JSONCoding::write(object, facts, factsFields); }
void from_json(const json& object, PlaceFacts& facts) { JSONCoding::read(object, facts, factsFields); }

namespace PlaceRecords {

namespace {

std::mutex& processLock() {
    static std::mutex lock;
    return lock;
}

std::optional<std::string> supportRefusal() { return OwnFolders::refusal(Paths::supportFolder().string()); }

/// One locked read, change and atomic write. A file that cannot be read is
/// set aside rather than written over.
void update(const std::function<void(PlaceFacts&)>& change) {
    // Kept in the support folder, under its rule: never written where
    // another user could put facts of their own.
    if (auto line = OwnFolders::supportFolderRefusalAsMade()) throw OstrevaneError(*line);
    auto rewritten = StoredFile::rewrite<PlaceFacts>(processLock(), filePath(), change);
    if (rewritten.failure) throw *rewritten.failure;
}

}  // namespace

fs::path filePath() { return Paths::supportFolder() / "places.json"; }

PlaceFacts load() {
    // Facts another user could have written would let a place pass as unchanged.
    if (supportRefusal()) return {};
    StoredFile::Lock lock(processLock(), filePath(), false);
    return StoredFile::read<PlaceFacts>(filePath()).value;
}

std::string resolvedPath(const std::string& path) {
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(path, error);
    return error ? path : resolved.string();
}

void rememberDestination(const std::string& folder) {
    const std::optional<std::string> mountPoint = Mounts::ownMountPoint(folder);
    update([&](PlaceFacts& facts) {
        std::erase_if(facts.mountedFolders, [&](const auto& known) { return known.folder == folder; });
        if (mountPoint) facts.mountedFolders.push_back({folder, *mountPoint});
    });
}

void rememberPlanSource(const std::string& planId, const std::string& source) {
    const std::string resolved = resolvedPath(source);
    update([&](PlaceFacts& facts) {
        std::erase_if(facts.planSources, [&](const auto& known) { return known.planId == planId; });
        facts.planSources.push_back({planId, resolved});
    });
}

std::optional<std::string> mountPointWhenAdded(const std::string& folder) {
    for (const auto& known : load().mountedFolders)
        if (known.folder == folder) return known.mountPoint;
    return std::nullopt;
}

std::optional<std::string> planSourceWhenAdded(const std::string& planId) {
    for (const auto& known : load().planSources)
        if (known.planId == planId) return known.resolved;
    return std::nullopt;
}

}  // namespace PlaceRecords
