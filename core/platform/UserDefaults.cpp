#include <sys/stat.h>

#include <cstring>

#include <filesystem>
#include <functional>
#include <mutex>

#include "base/Error.hpp"
#include "base/InputLimits.hpp"
#include "base/Paths.hpp"
#include "base/StoredFile.hpp"
#include "platform/FolderTrust.hpp"
#include "platform/HomeFolder.hpp"
#include "platform/Platform.hpp"

namespace UserDefaults {

namespace {

// Settings hold a few flat values; anything nested deeper is damage.
constexpr int depthLimit = 64;

/// What tells one version of the file from another without reading it: an
/// atomic replace brings a new inode, an edit in place new times or size.
struct Stamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    bool operator==(const Stamp& other) const {
        return exists == other.exists && device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

Stamp stampOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return {};
    return {true, status.st_dev, status.st_ino, status.st_size, status.st_mtim, status.st_ctim};
}

struct Contents {
    nlohmann::json values = nlohmann::json::object();
    /// The file holds something that could not be read as settings.
    bool mustBeKept = false;
};

/// Call under the file lock.
Contents readContents(const std::string& path) {
    Contents contents;
    auto text = StoredFile::readText(path, contents.mustBeKept);
    if (!text) return contents;
    auto parsed = InputLimits::parse(*text, depthLimit);
    if (parsed && parsed->is_object())
        contents.values = std::move(*parsed);
    else
        contents.mustBeKept = true;
    return contents;
}

std::mutex fileLock;

// The last version read or written by this process.
std::mutex cacheLock;
std::string cachedPath;
std::optional<Stamp> cachedStamp;
nlohmann::json cachedValues;
std::optional<std::string> keptAsidePath;

void remember(const std::string& path, const Stamp& stamp, const nlohmann::json& values) {
    std::lock_guard guard(cacheLock);
    cachedPath = path;
    cachedStamp = stamp;
    cachedValues = values;
}

/// The settings' folder is one of the tool's own: settings another user
/// could write are none of the user's. Throws OstrevaneError naming the
/// folder when its way from "/" fails the rule of FolderTrust.
void checkFolder(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    Paths::tightenOwnFolder(folder);
    if (auto failure = FolderTrust::checkFromRoot(folder))
        throw OstrevaneError(folder + ": " + failure->folder + ": " + std::strerror(EACCES), EACCES);
}

nlohmann::json currentValues() {
    const std::string path = filePath();
    try {
        checkFolder(path);
    } catch (const OstrevaneError&) {
        return nlohmann::json::object();
    }
    {
        std::lock_guard guard(cacheLock);
        if (cachedStamp && cachedPath == path && *cachedStamp == stampOf(path)) return cachedValues;
    }
    StoredFile::Lock lock(fileLock, path, false);
    const Stamp stamp = stampOf(path);
    Contents contents = readContents(path);
    remember(path, stamp, contents.values);
    return contents.values;
}

/// Reads, changes and writes back under the exclusive lock; a file that could
/// not be read is kept aside first.
void change(const std::function<bool(nlohmann::json&)>& edit) {
    const std::string path = filePath();
    checkFolder(path);
    // Before locking: the lock file lives in the same folder.
    Paths::makePrivateFolders(std::filesystem::path(path).parent_path().string());
    checkFolder(path);
    StoredFile::Lock lock(fileLock, path, true);
    Contents contents = readContents(path);
    if (!edit(contents.values) && !contents.mustBeKept) return;
    // Only a file is kept aside: anything else in its place (a folder) is
    // left alone, and the write below then fails.
    std::error_code error;
    if (contents.mustBeKept && std::filesystem::is_regular_file(std::filesystem::symlink_status(path, error))) {
        std::filesystem::path kept = StoredFile::setAside(path);
        std::lock_guard guard(cacheLock);
        keptAsidePath = kept.string();
    }
    StoredFile::write(path, contents.values);
    remember(path, stampOf(path), contents.values);
}

}  // namespace

std::string filePath() {
    std::string base;
    if (auto config = Platform::environment("XDG_CONFIG_HOME"); config && !config->empty())
        base = *config;
    else
        base = Paths::joined(Platform::realHome(), ".config");
    return Paths::joined(base, "Ostrevane/defaults.json");
}

std::optional<nlohmann::json> value(const std::string& key) {
    nlohmann::json values = currentValues();
    auto found = values.find(key);
    if (found == values.end()) return std::nullopt;
    return *found;
}

void set(const std::string& key, const nlohmann::json& value) {
    change([&](nlohmann::json& values) {
        values[key] = value;
        return true;
    });
}

void remove(const std::string& key) {
    change([&](nlohmann::json& values) { return values.erase(key) > 0; });
}

std::optional<std::string> keptAside() {
    std::lock_guard guard(cacheLock);
    return keptAsidePath;
}

}  // namespace UserDefaults
