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

FolderChain::~FolderChain() = default;

int FolderChain::innermost() const { return levels.empty() ? -1 : levels.back().fd.get(); }

size_t FolderChain::openCount() const { return levels.size() - std::min(lowestOpen, levels.size()); }

int FolderChain::open(const char* name, int start) {
    int parent = levels.empty() ? start : levels.back().fd.get();
    int fd = ::openat(parent, name, folderFlags);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE) && openCount() > 1) {
        closeOuter(1);
        fd = ::openat(parent, name, folderFlags);
    }
    return fd;
}

void FolderChain::closeOuter(size_t keep) {
    for (; lowestOpen + keep < levels.size(); ++lowestOpen) levels[lowestOpen].fd.reset();
}

int FolderChain::push(UniqueFd fd, dev_t device, ino_t inode) {
    if (levels.empty()) lowestOpen = 0;
    const int pushed = fd.get();
    levels.push_back({std::move(fd), device, inode});
    closeOuter(window);
    return pushed;
}

int FolderChain::enter(const char* name, dev_t device, ino_t inode, int start) {
    int fd = open(name, start);
    return fd < 0 ? -1 : push(UniqueFd(fd), device, inode);
}

int FolderChain::enter(const char* name, int start) {
    int fd = open(name, start);
    return fd < 0 ? -1 : adopt(fd);
}

int FolderChain::adopt(int fd) {
    UniqueFd owned(fd);
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        int error = errno;
        owned.reset();
        errno = error;
        return -1;
    }
    return push(std::move(owned), status.st_dev, status.st_ino);
}

void FolderChain::leave() {
    if (levels.empty()) return;
    Level left = std::move(levels.back());
    levels.pop_back();
    if (!levels.empty() && !levels.back().fd.valid() && left.fd.valid()) {
        // ".." names the parent in one component whatever the depth; a
        // folder moved meanwhile is told apart by its identity.
        UniqueFd parent(::openat(left.fd.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat status;
        if (parent.valid() && (::fstat(parent.get(), &status) != 0 || status.st_dev != levels.back().device ||
                               status.st_ino != levels.back().inode))
            parent.reset();
        levels.back().fd = std::move(parent);
    }
    left.fd.reset();
    if (levels.empty())
        lowestOpen = 0;
    else if (levels.back().fd.valid())
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
    UniqueFd folder;  // none: the pieces so far start at the working folder
    auto at = [&] { return folder.valid() ? folder.get() : AT_FDCWD; };
    // Closing a folder must not overwrite the errno the caller is told.
    auto closeKeepingErrno = [&] {
        int error = errno;
        folder.reset();
        errno = error;
    };
    size_t from = 0;
    while (path.size() - from >= PATH_MAX) {
        size_t cut = cutBefore(path, from);
        if (cut == std::string::npos) {  // a single component longer than the limit
            folder.reset();
            errno = ENAMETOOLONG;
            return -1;
        }
        std::string piece = path.substr(from, cut - from);
        UniqueFd next(::openat(at(), piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        closeKeepingErrno();
        if (!next.valid()) return -1;
        folder = std::move(next);
        from = cut;
    }
    int fd = ::openat(at(), path.c_str() + from, flags);
    closeKeepingErrno();
    return fd;
}

ParentAndName parentAndName(const std::string& path) {
    if (path.size() < PATH_MAX) return {AT_FDCWD, path, UniqueFd()};
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {-1, path, UniqueFd()};
    const int fd = openAnyLength(path.substr(0, slash + 1), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return {fd, path.substr(slash + 1), UniqueFd(fd)};
}
