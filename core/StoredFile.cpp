#include "StoredFile.hpp"

#include "InputLimits.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace fs = std::filesystem;

namespace StoredFile {

Lock::Lock(std::mutex& processLock, const fs::path& file, bool exclusive) : guard(processLock) {
    fs::path lockPath = file;
    lockPath += ".lock";
    descriptor = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    // Without a lock file (a read-only folder) nothing can be written either,
    // so going on with the process lock alone loses nothing.
    if (descriptor < 0) return;
    while (::flock(descriptor, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
    }
}

Lock::~Lock() {
    if (descriptor >= 0) ::close(descriptor);
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
    if (::rename(path.c_str(), target.c_str()) != 0) throw OstrevaneError(path.string() + ": " + std::strerror(errno));
    return target;
}

void write(const fs::path& path, const json& value) {
    std::string text = JSONOut::encode(value, true);
    if (text == JSONOut::failureDocument) throw OstrevaneError(path.string() + ": " + std::strerror(EILSEQ));
    Files::writeAtomically(path, text);
}

}  // namespace StoredFile
