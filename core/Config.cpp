#include "Config.hpp"

#include "base/StoredFile.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace fs = std::filesystem;

// MARK: Records

BackupPlan::BackupPlan(std::string source, std::string destinationId)
    : id(newId()), source(std::move(source)), destinationId(std::move(destinationId)) {}

std::string BackupPlan::newId() { return Text::randomIdentifier(); }

void to_json(json& object, const CustomDestination& destination) {
    object = json{{"name", destination.name}, {"path", destination.path}};
}

void from_json(const json& object, CustomDestination& destination) {
    destination.name = object.at("name").get<std::string>();
    destination.path = object.at("path").get<std::string>();
}

void to_json(json& object, const BackupPlan& plan) {
    object = json{{"id", plan.id}, {"source", plan.source}, {"destinationId", plan.destinationId}};
    JSONOut::putOptional(object, "lastRun", plan.lastRun);
    JSONOut::putOptional(object, "lastStatus", plan.lastStatus);
    JSONOut::putOptional(object, "lastSummary", plan.lastSummary);
}

void from_json(const json& object, BackupPlan& plan) {
    plan.id = object.at("id").get<std::string>();
    plan.source = object.at("source").get<std::string>();
    plan.destinationId = object.at("destinationId").get<std::string>();
    JSONOut::getOptional(object, "lastRun", plan.lastRun);
    JSONOut::getOptional(object, "lastStatus", plan.lastStatus);
    JSONOut::getOptional(object, "lastSummary", plan.lastSummary);
}

void to_json(json& object, const AppConfig& config) {
    object = json{{"customDestinations", config.customDestinations}, {"plans", config.plans}};
}

void from_json(const json& object, AppConfig& config) {
    // Both keys are required, even though both lists may be empty.
    config.customDestinations = object.at("customDestinations").get<std::vector<CustomDestination>>();
    config.plans = object.at("plans").get<std::vector<BackupPlan>>();
}

// MARK: Store

namespace ConfigStore {

namespace {

std::mutex& processLock() {
    static std::mutex lock;
    return lock;
}

std::mutex observerLock;
std::function<void(const fs::path&)> setAsideObserver;

void notifySetAside(const fs::path& keptAs) {
    std::function<void(const fs::path&)> observer;
    {
        std::lock_guard guard(observerLock);
        observer = setAsideObserver;
    }
    if (observer) observer(keptAs);
}

}  // namespace

fs::path filePath() { return Paths::supportDir() / "config.json"; }

AppConfig load() {
    StoredFile::Lock lock(processLock(), filePath(), false);
    return StoredFile::read<AppConfig>(filePath()).value;
}

bool unreadable() {
    StoredFile::Lock lock(processLock(), filePath(), false);
    return StoredFile::read<AppConfig>(filePath()).mustBeKept;
}

AppConfig updateOrThrow(const std::function<void(AppConfig&)>& change) {
    std::optional<fs::path> keptAs;
    std::optional<AppConfig> written;
    std::optional<OstrevaneError> failure;
    {
        StoredFile::Lock lock(processLock(), filePath(), true);
        auto reading = StoredFile::read<AppConfig>(filePath());
        try {
            if (reading.mustBeKept) keptAs = StoredFile::setAside(filePath());
            change(reading.value);
            StoredFile::write(filePath(), reading.value);
            written = std::move(reading.value);
        } catch (const OstrevaneError& error) {
            failure = error;
        }
    }
    // Reported even when the write then failed: the old file has moved.
    if (keptAs) notifySetAside(*keptAs);
    if (failure) throw *failure;
    return *written;
}

void update(const std::function<void(AppConfig&)>& change) {
    try {
        updateOrThrow(change);
    } catch (const OstrevaneError&) {
    }
}

void save(const AppConfig& config) {
    update([&](AppConfig& stored) { stored = config; });
}

void setSetAsideObserver(std::function<void(const fs::path& keptAs)> observer) {
    std::lock_guard guard(observerLock);
    setAsideObserver = std::move(observer);
}

}  // namespace ConfigStore
