#include "base/StoredFile.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <vector>

#include "base/Error.hpp"
#include "base/Files.hpp"
#include "base/InputLimits.hpp"
#include "base/Text.hpp"
#include "base/WriteSeal.hpp"

namespace fs = std::filesystem;

namespace StoredFile {

Lock::Lock(std::mutex& processLock, const fs::path& file, bool exclusive) : guard(processLock) {
    fs::path lockPath = file;
    lockPath += ".lock";
    if (exclusive) WriteSeal::check(lockPath);
    // Only a writer makes the lock file: a reader that finds none reads a
    // file no writer has touched yet, or one that every write replaces whole.
    descriptor = UniqueFd(
        ::open(lockPath.c_str(), exclusive ? O_RDWR | O_CREAT | O_CLOEXEC : O_RDONLY | O_CLOEXEC, 0600));
    // Without a lock file (a read-only folder) nothing can be written either,
    // so going on with the process lock alone loses nothing.
    if (!descriptor.valid()) return;
    while (::flock(descriptor.get(), exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
    }
}

std::optional<std::string> readText(const fs::path& path, bool& mustBeKept) {
    mustBeKept = false;
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error))) return std::nullopt;
    InputLimits::Read outcome;
    auto text = InputLimits::readStoredFile(path, outcome);
    if (!text) {
        mustBeKept = outcome != InputLimits::Read::missing;
        return std::nullopt;
    }
    if (Text::trim(*text).empty()) return std::nullopt;
    return text;
}

std::optional<json> readDocument(const fs::path& path, bool& mustBeKept) {
    auto text = readText(path, mustBeKept);
    if (!text) return std::nullopt;
    auto document = InputLimits::parse(*text, depthLimit);
    if (!document) mustBeKept = true;
    return document;
}

static std::string timeStamp() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

fs::path setAside(const fs::path& path) {
    const std::string stem = path.stem().string() + ".unreadable-" + timeStamp();
    fs::path target = path.parent_path() / (stem + ".json");
    std::error_code error;
    for (int counter = 2; fs::exists(fs::symlink_status(target, error)); ++counter)
        target = path.parent_path() / (stem + "-" + std::to_string(counter) + ".json");
    WriteSeal::check(target);
    if (::rename(path.c_str(), target.c_str()) != 0) throw OstrevaneError(path.string() + ": " + std::strerror(errno));
    return target;
}

std::string encoded(const fs::path& path, const json& value) {
    std::string text = JSONOut::encode(value, true);
    if (text == JSONOut::failureDocument) throw OstrevaneError(path.string() + ": " + std::strerror(EILSEQ));
    if (static_cast<int64_t>(text.size()) > InputLimits::storedFileBytes())
        throw OstrevaneError(path.string() + ": " + std::strerror(EFBIG));
    return text;
}

void write(const fs::path& path, const json& value) { Files::writeAtomically(path, encoded(path, value)); }

void removeStaleTemporaries(const fs::path& path) {
    const std::string prefix = path.filename().string() + ".tmp-";
    std::error_code error;
    fs::directory_iterator entries(path.parent_path(), error);
    if (error) return;
    std::vector<fs::path> stale;
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(prefix)) continue;
        std::string_view rest = std::string_view(name).substr(prefix.size());
        pid_t writer = 0;
        auto [end, failed] = std::from_chars(rest.data(), rest.data() + rest.size(), writer);
        if (failed != std::errc() || writer <= 0 || end == rest.data() + rest.size() || *end != '-') continue;
        // A writer that still runs may yet rename its file into place.
        if (writer == ::getpid() || ::kill(writer, 0) == 0 || errno != ESRCH) continue;
        if (entry.is_regular_file(error) && !entry.is_symlink(error)) stale.push_back(entry.path());
    }
    for (const auto& file : stale) ::unlink(file.c_str());
}

}  // namespace StoredFile
