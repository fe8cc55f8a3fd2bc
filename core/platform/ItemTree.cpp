#include "platform/ItemTree.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/DirectoryStream.hpp"
#include "platform/FolderChain.hpp"
#include "platform/FolderDescent.hpp"

namespace ItemTree {

namespace {

/// Every name in the open folder `fd` but "." and "..", read through a
/// stream of its own that is closed again before the names are visited. A
/// folder that cannot be read through to its end reports the error.
std::vector<std::string> entryNames(int fd, const Visitor& visitor) {
    std::vector<std::string> names;
    int copy = ::dup(fd);
    if (copy < 0) {
        visitor.failed(errno);
        return names;
    }
    DirectoryStream directory(copy);
    if (!directory.valid()) {
        visitor.failed(errno);
        return names;
    }
    // The copy shares its reading position with `fd`, which may have been
    // listed before.
    directory.rewind();
    int error = 0;
    while (auto name = directory.next(error)) names.push_back(std::move(*name));
    if (error != 0) visitor.failed(error);
    return names;
}

/// Whether the open folder `fd` is where another file system, or a folder
/// bound elsewhere, is mounted: neither belongs to the item being walked.
bool isMountedHere(int fd, dev_t itemDevice) {
    struct statx status {};
    // What cannot be told is not entered, so a removal never goes there.
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &status) != 0) return true;
    if (status.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) return status.stx_attributes & STATX_ATTR_MOUNT_ROOT;
    // Kernels that cannot tell: another device at least is another file
    // system (a btrfs subvolume too, which is only left in place then).
    return ::makedev(status.stx_dev_major, status.stx_dev_minor) != itemDevice;
}

/// Visits the entries of the open folder `fd` and returns its subfolders.
std::vector<std::string> visitEntries(int fd, const Visitor& visitor) {
    std::vector<std::string> folders;
    const std::vector<std::string> names = entryNames(fd, visitor);
    // Visited once the listing is complete: a visitor that removes entries
    // would otherwise disturb the reading of the folder.
    for (const auto& name : names) {
        struct stat status {};
        if (::fstatat(fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            visitor.failed(errno);
            continue;
        }
        visitor.visit(fd, name.c_str(), status);
        if (S_ISDIR(status.st_mode)) folders.push_back(name);
    }
    return folders;
}

}  // namespace

void walk(int folder, const std::string& name, const Visitor& visitor) {
    struct stat status {};
    if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        visitor.failed(errno);
        return;
    }
    visitor.visit(folder, name.c_str(), status);
    if (!S_ISDIR(status.st_mode)) return;

    FolderChain chain;
    auto enter = [&](const std::string& folderName) {
        int fd = -1;
        if (chain.depth() == 0)
            fd = chain.enter(folderName.c_str(), status.st_dev, status.st_ino, folder);
        else if (chain.innermost() < 0)
            errno = ENOENT;  // the parent is no longer where the walk left it
        else
            fd = chain.enter(folderName.c_str());
        if (fd >= 0 && isMountedHere(fd, status.st_dev)) {
            chain.leave();
            fd = -1;
            errno = EBUSY;
        }
        if (fd < 0) visitor.failed(errno);
        return fd;
    };
    auto list = [&](int fd, const std::string&) { return visitEntries(fd, visitor); };
    auto leave = [&](const std::string& left) {
        const int parent = chain.depth() == 0 ? folder : chain.innermost();
        // A parent that is no longer where the walk left it is not touched.
        if (parent < 0)
            visitor.failed(ENOENT);
        else
            visitor.leave(parent, left.c_str());
    };
    FolderDescent::walk(chain, name, enter, list, leave);
}

int remove(int folder, const std::string& name) {
    int firstError = 0;
    auto note = [&](int error) {
        if (firstError == 0) firstError = error;
    };
    Visitor visitor;
    visitor.visit = [&](int parent, const char* entry, const struct stat& status) {
        if (!S_ISDIR(status.st_mode) && ::unlinkat(parent, entry, 0) != 0) note(errno);
    };
    visitor.leave = [&](int parent, const char* entry) {
        if (::unlinkat(parent, entry, AT_REMOVEDIR) != 0) note(errno);
    };
    visitor.failed = note;
    walk(folder, name, visitor);
    return firstError;
}

}  // namespace ItemTree
