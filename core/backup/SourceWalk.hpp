// The walk below an offload's source that its stamps and its hold share.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "backup/Private.hpp"
#include "platform/FolderChain.hpp"

namespace BackupEngine {

/// Walks the entries below the folder at `root` depth first through folder
/// descriptors (no depth is too deep), handing each to `visit` with its
/// folder's descriptor, its name, its relative path and its status; `visit`
/// returns false to stop. False when an entry cannot be read or `visit`
/// stopped, with the relative path reached in `stoppedAt`.
template <class Visit>
bool walkBelow(const std::string& root, Visit&& visit, std::string& stoppedAt) {
    struct Level {
        std::vector<std::string> names;
        size_t next = 0;
        size_t pathLength = 0;
    };
    FolderChain chain;
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || chain.adopt(fd) < 0) return false;
    std::vector<Level> levels(1);
    std::string relative;
    if (readNames(chain.innermost(), levels[0].names) != 0) return false;
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next == level.names.size()) {
            chain.leave();
            levels.pop_back();
            continue;
        }
        const std::string& name = level.names[level.next++];
        relative.resize(level.pathLength);
        if (!relative.empty()) relative += '/';
        relative += name;
        struct stat info;
        if (::fstatat(chain.innermost(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !visit(chain.innermost(), name, relative, info)) {
            stoppedAt = relative;
            return false;
        }
        if (!S_ISDIR(info.st_mode)) continue;
        Level child;
        child.pathLength = relative.size();
        if (chain.enter(name.c_str(), info.st_dev, info.st_ino) < 0 || readNames(chain.innermost(), child.names) != 0) {
            stoppedAt = relative;
            return false;
        }
        levels.push_back(std::move(child));
    }
    return true;
}

}  // namespace BackupEngine
