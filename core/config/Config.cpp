#include "config/Config.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "OwnFolders.hpp"
#include "base/DisplayText.hpp"
#include "base/JSONCoding.hpp"
#include "base/StoredFile.hpp"
#include "text/Localization.hpp"

namespace fs = std::filesystem;

// Records

BackupPlan::BackupPlan(std::string source, std::string destinationId)
    : id(newId()), source(std::move(source)), destinationId(std::move(destinationId)) {}

std::string BackupPlan::newId() { return Text::randomIdentifier(); }

namespace {

constexpr auto customDestinationFields = JSONCoding::fields(JSONCoding::field("name", &CustomDestination::name),
                                                            JSONCoding::field("path", &CustomDestination::path));

constexpr auto planFields = JSONCoding::fields(
    JSONCoding::field("id", &BackupPlan::id), JSONCoding::field("source", &BackupPlan::source),
    JSONCoding::field("destinationId", &BackupPlan::destinationId), JSONCoding::field("lastRun", &BackupPlan::lastRun),
    JSONCoding::field("lastStatus", &BackupPlan::lastStatus),
    JSONCoding::field("lastSummary", &BackupPlan::lastSummary));

// Both lists are required, even though both may be empty.
constexpr auto configFields = JSONCoding::fields(
    JSONCoding::field("customDestinations", &AppConfig::customDestinations),
    JSONCoding::field("plans", &AppConfig::plans));

}  // namespace

void to_json(json& object, const CustomDestination& destination) {
    JSONCoding::write(object, destination, customDestinationFields);
}
void from_json(const json& object, CustomDestination& destination) {
    JSONCoding::read(object, destination, customDestinationFields);
}
void to_json(json& object, const BackupPlan& plan) { JSONCoding::write(object, plan, planFields); }
void from_json(const json& object, BackupPlan& plan) { JSONCoding::read(object, plan, planFields); }
void to_json(json& object, const AppConfig& config) { JSONCoding::write(object, config, configFields); }
void from_json(const json& object, AppConfig& config) { JSONCoding::read(object, config, configFields); }

// Store

namespace ConfigStore {

namespace {

std::mutex& processLock() {
    static std::mutex lock;
    return lock;
}

void notifySetAside(const fs::path& keptAs) {
    if (const auto& setAside = Hooks::active().setAside) setAside(keptAs);
}

}  // namespace

fs::path filePath() { return Paths::supportFolder() / "config.json"; }

std::optional<std::string> refusal() { return OwnFolders::refusal(Paths::supportFolder().string()); }

AppConfig load() {
    // Another user's configuration would send the user's backups to them.
    if (refusal()) return {};
    StoredFile::Lock lock(processLock(), filePath(), false);
    return StoredFile::read<AppConfig>(filePath()).value;
}

bool unreadable() {
    if (refusal()) return true;
    StoredFile::Lock lock(processLock(), filePath(), false);
    return StoredFile::read<AppConfig>(filePath()).mustBeKept;
}

AppConfig updateOrThrow(const std::function<void(AppConfig&)>& change) {
    if (auto line = OwnFolders::supportFolderRefusalAsMade()) throw OstrevaneError(*line);
    auto rewritten = StoredFile::rewrite<AppConfig>(processLock(), filePath(), change);
    // Reported once the lock is released, and even when the write then
    // failed: the old file has moved.
    if (rewritten.keptAs) notifySetAside(*rewritten.keptAs);
    if (rewritten.failure) throw *rewritten.failure;
    return std::move(*rewritten.stored);
}

std::optional<std::string> unreadableNotice() {
    if (auto line = refusal()) return line;
    if (!unreadable()) return std::nullopt;
    return L("配置文件 %@ 无法读取,已忽略。", DisplayText::path(Paths::abbreviate(filePath().string())));
}

void update(const std::function<void(AppConfig&)>& change) {
    try {
        updateOrThrow(change);
    } catch (const OstrevaneError&) {
        // Only a plan's last-run note comes this way: one that can't be stored
        // leaves the file as it was, and the run itself was reported and is
        // in the backup history. A change the user asks for goes through
        // updateOrThrow, which says why it failed.
    }
}

void save(const AppConfig& config) {
    update([&](AppConfig& stored) { stored = config; });
}

Hooks& Hooks::active() {
    static Hooks hooks;
    return hooks;
}

}  // namespace ConfigStore
