#include "platform/SeenWay.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "base/Paths.hpp"
#include "base/Text.hpp"
#include "platform/FolderChain.hpp"

namespace SeenWay {

namespace {

/// Calls `each(name, path)` for every component of `path` below `home`.
template <class Each>
void forEachComponent(const std::string& home, const std::string& path, Each&& each) {
    std::string current = home;
    std::string_view rest = std::string_view(path).substr(home.size());
    while (!rest.empty()) {
        while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
        const size_t slash = rest.find('/');
        const std::string name(rest.substr(0, slash));
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        if (name.empty()) break;
        current = Paths::joined(current, name);
        if (!each(name, current)) break;
    }
}

[[noreturn]] void refuse(HoldFailure why, int error, const std::string& at) {
    throw HoldRefused(why, error ? std::strerror(error) : "", at);
}

}  // namespace

bool isBelow(const std::string& home, const std::string& path) { return Paths::isStrictlyInside(path, home); }

void record(const std::string& home, const std::string& path, SeenFolders& seen) {
    if (!isBelow(home, path)) return;
    forEachComponent(home, path, [&](const std::string&, const std::string& current) {
        struct stat status {};
        if (!Text::isValidUTF8(current) || ::lstat(current.c_str(), &status) != 0) return false;
        SeenFolder folder;
        if (S_ISLNK(status.st_mode)) {
            folder.link = true;
            if (::stat(current.c_str(), &status) != 0) status = {};
        }
        if (status.st_ino != 0 && !S_ISDIR(status.st_mode)) return false;
        folder.device = status.st_dev;
        folder.inode = status.st_ino;
        seen[current] = folder;
        return status.st_ino != 0;
    });
}

void copyWay(const SeenFolders& from, const std::string& path, SeenFolders& to) {
    for (std::string current = path;; current = Paths::parentFolder(current)) {
        if (auto found = from.find(current); found != from.end()) to.insert(*found);
        if (current == "/" || current.empty()) return;
    }
}

void checkIdentity(int fd, const std::string& path, const SeenFolders& seen) {
    auto found = seen.find(path);
    if (found == seen.end() || found->second.inode == 0) return;
    struct stat status {};
    if (::fstat(fd, &status) != 0) refuse(HoldFailure::other, errno, path);
    if (status.st_dev != found->second.device || status.st_ino != found->second.inode)
        refuse(HoldFailure::changed, 0, path);
}

UniqueFd open(const std::string& home, const std::string& path, const SeenFolders& seen, bool create) {
    constexpr int followingFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    FolderChain chain;
    // The home folder itself is taken as it is named: it may well be a link.
    if (chain.adopt(::open(home.c_str(), followingFlags)) < 0)
        refuse(errno == ENOENT ? HoldFailure::missing : HoldFailure::other, errno, home);
    forEachComponent(home, path, [&](const std::string& name, const std::string& current) {
        auto found = seen.find(current);
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
