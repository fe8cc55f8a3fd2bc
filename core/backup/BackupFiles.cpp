#include "backup/BackupFiles.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <vector>

#include "base/DirectoryStream.hpp"
#include "platform/FileReading.hpp"

namespace BackupFiles {

namespace {

const std::string partialPrefix = ".ostrevane-partial-";
std::atomic<unsigned> partialCounter{0};

/// The process that wrote a partial copy, from its name; none for any other name.
std::optional<pid_t> writerOf(const char* name) {
    std::string_view text = name;
    if (!text.starts_with(partialPrefix)) return std::nullopt;
    text.remove_prefix(partialPrefix.size());
    pid_t pid = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
    if (error != std::errc() || pid <= 0 || end == text.data() + text.size() || *end != '-') return std::nullopt;
    return pid;
}

bool isRunning(pid_t pid) { return pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH; }

/// The partial copies in the open folder `folderFd` whose writer no longer
/// runs, read through a stream of its own; none when it cannot be read.
std::vector<std::string> stalePartials(int folderFd) {
    std::vector<std::string> stale;
    int copy = ::dup(folderFd);
    if (copy < 0) return stale;
    DirectoryStream folder(copy);
    if (!folder.valid()) return stale;
    int error = 0;
    while (auto name = folder.next(error)) {
        auto writer = writerOf(name->c_str());
        if (!writer || isRunning(*writer)) continue;
        struct stat info;
        if (::fstatat(folder.fd(), name->c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)))
            stale.push_back(std::move(*name));
    }
    return stale;
}

}  // namespace

std::string partialName() {
    return partialPrefix + std::to_string(::getpid()) + "-" + std::to_string(partialCounter++);
}

void removeStalePartials(int folderFd) {
    for (const auto& name : stalePartials(folderFd)) ::unlinkat(folderFd, name.c_str(), 0);
}

std::optional<std::string> linkText(int folderFd, const std::string& name) {
    std::vector<char> text(256);
    while (true) {
        ssize_t length = ::readlinkat(folderFd, name.c_str(), text.data(), text.size());
        if (length < 0) return std::nullopt;
        if (static_cast<size_t>(length) < text.size()) return std::string(text.data(), static_cast<size_t>(length));
        text.resize(text.size() * 2);
    }
}

bool sameContentAt(int sourceFolder, const std::string& sourceName, int copyFolder, const std::string& copyName,
                   const std::string& path, const std::string& copyPath) {
    struct stat a, b;
    if (::fstatat(sourceFolder, sourceName.c_str(), &a, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::fstatat(copyFolder, copyName.c_str(), &b, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (!S_ISREG(a.st_mode) || !S_ISREG(b.st_mode) || a.st_size != b.st_size) return false;
    auto original = FileReading::File::openAt(sourceFolder, sourceName, path);
    auto copied = FileReading::File::openAt(copyFolder, copyName, copyPath);
    if (!original || !copied) return false;
    original->adviseSequential();
    copied->adviseSequential();
    // A small file gets buffers of its own size: a check of many small
    // files would otherwise spend its time clearing megabytes.
    const size_t chunk = static_cast<size_t>(std::clamp<off_t>(a.st_size + 1, 1, 1 << 20));
    std::vector<char> left(chunk), right(chunk);
    for (int64_t offset = 0;; offset += static_cast<int64_t>(chunk)) {
        auto got = original->readAt(offset, left.data(), chunk);
        auto other = copied->readAt(offset, right.data(), chunk);
        if (!got || !other || *got != *other) return false;
        if (std::memcmp(left.data(), right.data(), *got) != 0) return false;
        if (*got < chunk) return true;
    }
}

}  // namespace BackupFiles
