#include "platform/FolderChain.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace {
constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
}

FolderChain::FolderChain(size_t window) : window(std::max<size_t>(window, 2)) {}

FolderChain::~FolderChain() {
    for (const Level& level : levels)
        if (level.fd >= 0) ::close(level.fd);
}

int FolderChain::innermost() const { return levels.empty() ? -1 : levels.back().fd; }

size_t FolderChain::openCount() const { return levels.size() - std::min(lowestOpen, levels.size()); }

int FolderChain::open(const char* name, int start) {
    int parent = levels.empty() ? start : levels.back().fd;
    int fd = ::openat(parent, name, folderFlags);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE) && openCount() > 1) {
        closeOuter(1);
        fd = ::openat(parent, name, folderFlags);
    }
    return fd;
}

void FolderChain::closeOuter(size_t keep) {
    for (; lowestOpen + keep < levels.size(); ++lowestOpen) {
        Level& level = levels[lowestOpen];
        if (level.fd >= 0) ::close(level.fd);
        level.fd = -1;
    }
}

int FolderChain::push(int fd, dev_t device, ino_t inode) {
    if (levels.empty()) lowestOpen = 0;
    levels.push_back({fd, device, inode});
    closeOuter(window);
    return fd;
}

int FolderChain::enter(const char* name, dev_t device, ino_t inode, int start) {
    int fd = open(name, start);
    return fd < 0 ? -1 : push(fd, device, inode);
}

int FolderChain::enter(const char* name, int start) {
    int fd = open(name, start);
    return fd < 0 ? -1 : adopt(fd);
}

int FolderChain::adopt(int fd) {
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return push(fd, status.st_dev, status.st_ino);
}

void FolderChain::leave() {
    if (levels.empty()) return;
    Level left = levels.back();
    levels.pop_back();
    if (!levels.empty() && levels.back().fd < 0 && left.fd >= 0) {
        // ".." names the parent in one component whatever the depth; a
        // folder moved meanwhile is told apart by its identity.
        int fd = ::openat(left.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat status;
        if (fd >= 0 && (::fstat(fd, &status) != 0 || status.st_dev != levels.back().device ||
                        status.st_ino != levels.back().inode)) {
            ::close(fd);
            fd = -1;
        }
        levels.back().fd = fd;
    }
    if (left.fd >= 0) ::close(left.fd);
    if (levels.empty())
        lowestOpen = 0;
    else if (levels.back().fd >= 0)
        lowestOpen = std::min(lowestOpen, levels.size() - 1);
    else
        lowestOpen = levels.size();
}

namespace {
/// Where `path` may be cut so that the piece before the cut, taken whole by
/// one lookup, stays below the kernel's limit: just after a slash.
size_t cutBefore(const std::string& path, size_t from) {
    size_t limit = from + PATH_MAX - 1;
    size_t slash = path.rfind('/', limit - 1);
    if (slash == std::string::npos || slash < from || (slash == from && from > 0)) return std::string::npos;
    return slash + 1;
}
}  // namespace

int openAnyLength(const std::string& path, int flags) {
    if (path.size() < PATH_MAX) return ::open(path.c_str(), flags);
    int folder = AT_FDCWD;
    size_t from = 0;
    while (path.size() - from >= PATH_MAX) {
        size_t cut = cutBefore(path, from);
        if (cut == std::string::npos) {  // a single component longer than the limit
            if (folder != AT_FDCWD) ::close(folder);
            errno = ENAMETOOLONG;
            return -1;
        }
        std::string piece = path.substr(from, cut - from);
        int next = ::openat(folder, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        int error = errno;
        if (folder != AT_FDCWD) ::close(folder);
        if (next < 0) {
            errno = error;
            return -1;
        }
        folder = next;
        from = cut;
    }
    int fd = ::openat(folder, path.c_str() + from, flags);
    int error = errno;
    if (folder != AT_FDCWD) ::close(folder);
    errno = error;
    return fd;
}

ParentAndName parentAndName(const std::string& path) {
    if (path.size() < PATH_MAX) return {AT_FDCWD, path};
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {-1, path};
    return {openAnyLength(path.substr(0, slash + 1), O_PATH | O_DIRECTORY | O_CLOEXEC), path.substr(slash + 1)};
}
