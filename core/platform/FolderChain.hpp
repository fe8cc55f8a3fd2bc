// The folders a depth-first walk is inside, each reached relative to its
// parent's descriptor, so that no call of the walk ever names a path longer
// than one component and depth is limited neither by PATH_MAX nor by the
// open-file limit.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "base/UniqueFd.hpp"

/// A stack of open folders. Only the innermost `window` keep a descriptor;
/// an outer folder gives its descriptor up and is reopened through ".." of
/// its child when the walk comes back to it (and only when it is still the
/// same folder, by device and inode). A failed open that ran into the
/// open-file limit closes every outer descriptor and tries once more.
class FolderChain {
public:
    /// `window` is at least 2: a folder and the parent it is reopened from.
    explicit FolderChain(size_t window = 32);
    ~FolderChain();
    FolderChain(const FolderChain&) = delete;
    FolderChain& operator=(const FolderChain&) = delete;

    /// Opens `name` relative to the innermost folder (relative to `start`,
    /// AT_FDCWD by default, when the chain is empty), without following a
    /// link, and makes it the innermost. The identity is what the caller
    /// already knows of the folder; without it the chain asks fstat. The
    /// descriptor, or -1 with errno set when the folder could not be opened
    /// (the chain is then unchanged).
    int enter(const char* name, int start = AT_FDCWD);
    int enter(const char* name, dev_t device, ino_t inode, int start = AT_FDCWD);
    /// Takes over `fd`, an open folder, as the innermost folder (closed at
    /// once, and -1 returned, when fstat fails).
    int adopt(int fd);
    /// Closes the innermost folder; its parent becomes the innermost, open
    /// again unless it could not be reopened (then `innermost` is -1 and
    /// every open relative to it fails with EBADF).
    void leave();
    /// The descriptor of the innermost folder; -1 when there is none.
    int innermost() const;
    size_t depth() const { return levels.size(); }
    /// Descriptors held right now (at most `window`).
    size_t openCount() const;

private:
    struct Level {
        UniqueFd fd;  // none while given up
        dev_t device = 0;
        ino_t inode = 0;
    };
    std::vector<Level> levels;
    size_t window;
    size_t lowestOpen = 0;  // levels[lowestOpen ..< size] are the open ones

    int open(const char* name, int start);
    int push(UniqueFd fd, dev_t device, ino_t inode);
    void closeOuter(size_t keep);
};

/// Opens `path` with `flags` whatever its length: a path longer than the
/// kernel's limit is resolved piece by piece, each piece shorter than the
/// limit and relative to the folder the previous one reached, so links are
/// followed exactly where a lookup of the whole path would follow them. The
/// descriptor, or -1 with errno set.
int openAnyLength(const std::string& path, int flags);

/// The folder holding `path` (opened with O_PATH, any length) and the last
/// component, for the *at calls: AT_FDCWD and `path` itself when it is
/// short enough to be named whole. Fd is -1 when the folder could not be
/// opened. A folder that was opened is closed with the object.
struct ParentAndName {
    int fd = AT_FDCWD;
    std::string name;
    UniqueFd opened;  // owns `fd` when it is a descriptor of its own
};
ParentAndName parentAndName(const std::string& path);
