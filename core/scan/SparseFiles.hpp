// Files that hold fewer blocks than their length says, wherever they are
// below a folder. A scanned tree keeps only files with enough blocks, so a
// sparse copy of a large file may be missing from it however long it is.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace SparseFiles {

struct Found {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    int64_t length = 0;
    int64_t allocated = 0;
};

/// Whether the walk should pass over the folder with this name and path.
using FolderFilter = std::function<bool(std::string_view name, const std::string& path)>;

/// Regular files below the folder `root` (followed when it is a link) whose
/// allocation is below their length and whose length is at least
/// `minLength`, sorted by path (byte order). The walk stays on the root's
/// device, passes over the folders `passOver` names and those it cannot
/// open, and reaches any depth. Empty when `root` is no folder.
std::vector<Found> below(const std::string& root, int64_t minLength, const FolderFilter& passOver);

}  // namespace SparseFiles
