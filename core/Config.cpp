#include "Config.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <random>

namespace fs = std::filesystem;

// MARK: Records

BackupPlan::BackupPlan(std::string source, std::string destinationId)
    : id(newId()), source(std::move(source)), destinationId(std::move(destinationId)) {}

std::string BackupPlan::newId() {
    static std::mutex generatorLock;
    static std::random_device entropy;
    uint32_t value;
    {
        std::lock_guard guard(generatorLock);
        value = static_cast<uint32_t>(entropy());
    }
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

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

/// The process lock, then an advisory lock on "config.json.lock" beside the
/// file. The sibling file, not config.json itself, carries the advisory lock
/// because every write replaces config.json with a new file.
class ConfigLock {
public:
    explicit ConfigLock(bool exclusive) : guard(processLock()) {
        fs::path lockPath = Paths::supportDir() / "config.json.lock";
        descriptor = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        // Without a lock file (a read-only folder) nothing can be written
        // either, so going on with the process lock alone loses nothing.
        if (descriptor < 0) return;
        while (::flock(descriptor, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
        }
    }
    ~ConfigLock() {
        if (descriptor >= 0) ::close(descriptor);
    }
    ConfigLock(const ConfigLock&) = delete;
    ConfigLock& operator=(const ConfigLock&) = delete;

private:
    std::lock_guard<std::mutex> guard;
    int descriptor = -1;
};

struct Reading {
    AppConfig config;
    /// The file holds something that is not a configuration: it must be
    /// kept before anything is written over it.
    bool mustBeKept = false;
};

Reading readFile() {
    const fs::path path = filePath();
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error))) return {};
    auto text = Files::read(path);
    if (!text) return {AppConfig(), true};
    if (Text::trim(*text).empty()) return {};
    try {
        return {JSONOut::decode<AppConfig>(*text), false};
    } catch (...) {
        return {AppConfig(), true};
    }
}

std::string timeStamp() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

/// Renames the file to "config.unreadable-<time>.json" beside it (with a
/// counter when that name is taken). Runs under the lock, so the check for a
/// free name cannot race with another writer.
fs::path setAside() {
    const fs::path original = filePath();
    const std::string stem = "config.unreadable-" + timeStamp();
    fs::path target = original.parent_path() / (stem + ".json");
    std::error_code error;
    for (int counter = 2; fs::exists(fs::symlink_status(target, error)); ++counter)
        target = original.parent_path() / (stem + "-" + std::to_string(counter) + ".json");
    if (::rename(original.c_str(), target.c_str()) != 0)
        throw OstrevaneError(original.string() + ": " + std::strerror(errno));
    return target;
}

void writeFile(const AppConfig& config) {
    std::string text = JSONOut::encode(config, true);
    // A name or path that is not valid UTF-8 cannot be encoded; writing the
    // failure document instead would wipe every entry.
    if (text == JSONOut::failureDocument) throw OstrevaneError(filePath().string() + ": " + std::strerror(EILSEQ));
    Files::writeAtomically(filePath(), text);
}

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
    ConfigLock lock(false);
    return readFile().config;
}

AppConfig updateOrThrow(const std::function<void(AppConfig&)>& change) {
    std::optional<fs::path> keptAs;
    std::optional<AppConfig> written;
    std::optional<OstrevaneError> failure;
    {
        ConfigLock lock(true);
        Reading reading = readFile();
        try {
            if (reading.mustBeKept) keptAs = setAside();
            change(reading.config);
            writeFile(reading.config);
            written = std::move(reading.config);
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
