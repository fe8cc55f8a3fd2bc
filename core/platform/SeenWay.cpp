#include "platform/SeenWay.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "base/Paths.hpp"
#include "base/Text.hpp"
#include "platform/FolderChain.hpp"
#include "platform/HomeFolder.hpp"

namespace SeenWay {

namespace {

constexpr int followingFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

/// Calls `each(name, path, last)` for every component of `path` below
/// `base`, until it returns false.
template <class Each>
void forEachComponent(const std::string& base, const std::string& path, Each&& each) {
    std::string current = base;
    std::string_view rest = std::string_view(path).substr(base == "/" ? 0 : base.size());
    while (!rest.empty()) {
        while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
        const size_t slash = rest.find('/');
        const std::string name(rest.substr(0, slash));
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
        if (name.empty()) break;
        current = Paths::joined(current, name);
        if (!each(name, current, rest.empty())) break;
    }
}

[[noreturn]] void refuse(HoldFailure why, int error, const std::string& at) {
    throw HoldRefused(why, error ? std::strerror(error) : "", at);
}

bool sameAs(const struct stat& status, const SeenFolder& seen) {
    return status.st_dev == seen.device && status.st_ino == seen.inode;
}

SeenFolder seenOf(const struct stat& status, bool link) {
    return SeenFolder{link, status.st_dev, status.st_ino, static_cast<unsigned>(status.st_mode & S_IFMT)};
}

/// The base folder, opened: the home folder is taken as it is named (it may
/// well be a link).
int openBase(const std::string& base) { return ::open(base.c_str(), followingFlags); }

}  // namespace

std::string baseOf(const std::string& path) {
    const std::string home = Paths::home();
    return Paths::isStrictlyInside(path, home) ? home : "/";
}

void measure(const std::string& path, SeenFolders& seen, bool item) {
    const std::string base = baseOf(path);
    UniqueFd folder(openBase(base));
    if (!folder.valid() || !Text::isValidUTF8(path)) return;
    forEachComponent(base, path, [&](const std::string& name, const std::string& current, bool last) {
        if (seen.size() >= recordLimit && !seen.count(current)) return false;
        auto found = seen.find(current);
        const bool asItem = item && last;
        if (found != seen.end()) {
            if (asItem) return false;
            UniqueFd next(::openat(folder.get(), name.c_str(), found->second.link ? followingFlags : folderFlags));
            struct stat status {};
            if (!next.valid() || ::fstat(next.get(), &status) != 0 || !sameAs(status, found->second)) return false;
            folder = std::move(next);
            return true;
        }
        struct stat status {};
        if (::fstatat(folder.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
        if (asItem || (!S_ISDIR(status.st_mode) && !S_ISLNK(status.st_mode))) {
            seen[current] = seenOf(status, false);
            return false;
        }
        // Measured from the descriptor opened, not from the name: that is
        // the folder the rest of the way is read through.
        const bool link = S_ISLNK(status.st_mode);
        UniqueFd next(::openat(folder.get(), name.c_str(), link ? followingFlags : folderFlags));
        if (!next.valid() || ::fstat(next.get(), &status) != 0) return false;
        seen[current] = seenOf(status, link);
        folder = std::move(next);
        return true;
    });
}

void copyWay(const SeenFolders& from, const std::string& path, SeenFolders& to) {
    for (std::string current = path;; current = Paths::parentFolder(current)) {
        if (auto found = from.find(current); found != from.end()) to.insert(*found);
        if (current == "/" || current.empty()) return;
    }
}

void checkIdentity(int fd, const std::string& path, const SeenFolders& seen, bool required) {
    auto found = seen.find(path);
    if (found == seen.end()) {
        if (required) refuse(HoldFailure::unrecorded, 0, path);
        return;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) refuse(HoldFailure::other, errno, path);
    if (!sameAs(status, found->second)) refuse(HoldFailure::changed, 0, path);
}

void checkItem(const struct stat& status, const std::string& path, const SeenFolders& seen) {
    auto found = seen.find(path);
    if (found == seen.end()) refuse(HoldFailure::unrecorded, 0, path);
    if (!sameAs(status, found->second) || (status.st_mode & S_IFMT) != found->second.type)
        refuse(HoldFailure::changed, 0, path);
}

UniqueFd open(const std::string& path, const SeenFolders& seen, bool create) {
    const std::string base = baseOf(path);
    FolderChain chain;
    if (chain.adopt(openBase(base)) < 0)
        refuse(errno == ENOENT ? HoldFailure::missing : HoldFailure::other, errno, base);
    forEachComponent(base, path, [&](const std::string& name, const std::string& current, bool) {
        auto found = seen.find(current);
        if (found == seen.end() && !create) refuse(HoldFailure::unrecorded, 0, current);
        int fd = -1;
        if (found != seen.end() && found->second.link) {
            const int followed = ::openat(chain.innermost(), name.c_str(), followingFlags);
            fd = followed < 0 ? -1 : chain.adopt(followed);
        } else {
            fd = chain.enter(name.c_str());
            if (fd < 0 && errno == ENOENT && create) {
                if (::mkdirat(chain.innermost(), name.c_str(), 0700) != 0 && errno != EEXIST)
                    refuse(HoldFailure::other, errno, current);
                fd = chain.enter(name.c_str());
            }
        }
        if (fd < 0) {
            const int error = errno;
            // O_DIRECTORY may answer a link with ENOTDIR rather than ELOOP.
            struct stat status {};
            if (error == ELOOP || (::fstatat(chain.innermost(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                                   S_ISLNK(status.st_mode)))
                refuse(HoldFailure::link, 0, current);
            refuse(error == ENOENT || error == ENOTDIR ? HoldFailure::missing : HoldFailure::other, error, current);
        }
        checkIdentity(fd, current, seen);
        return true;
    });
    UniqueFd held(::fcntl(chain.innermost(), F_DUPFD_CLOEXEC, 0));
    if (!held.valid()) refuse(HoldFailure::other, errno, path);
    return held;
}

}  // namespace SeenWay
