#include "platform/ItemTree.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/DirectoryStream.hpp"
#include "platform/FolderChain.hpp"

namespace ItemTree {

namespace {

/// One folder the walk is inside: its subfolders still to enter.
struct Level {
    std::string name;
    std::vector<std::string> folders;
    size_t next = 0;
};

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
    if (chain.enter(name.c_str(), status.st_dev, status.st_ino, folder) < 0) {
        visitor.failed(errno);
        return;
    }
    std::vector<Level> levels;
    levels.push_back({name, visitEntries(chain.innermost(), visitor)});
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next < level.folders.size()) {
            const std::string& child = level.folders[level.next++];
            if (chain.innermost() < 0 || chain.enter(child.c_str()) < 0) {
                visitor.failed(chain.innermost() < 0 ? ENOENT : errno);
                continue;
            }
            levels.push_back({child, visitEntries(chain.innermost(), visitor)});
            continue;
        }
        const std::string left = std::move(level.name);
        levels.pop_back();
        chain.leave();
        const int parent = levels.empty() ? folder : chain.innermost();
        // A parent that is no longer where the walk left it is not touched.
        if (parent < 0)
            visitor.failed(ENOENT);
        else
            visitor.leave(parent, left.c_str());
    }
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
