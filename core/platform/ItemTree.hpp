// An item and everything below it, reached from the folder that holds it by
// descriptor: links are never followed, no path is looked up again once the
// walk has started, and depth is limited neither by PATH_MAX nor by the
// open-file limit. A file system mounted below the item, or a folder bound
// there, is no part of it: the walk never enters it.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>

namespace ItemTree {

struct Visitor {
    /// Every entry, the item first, with its own status (a link as a link)
    /// and the descriptor of the folder holding it; a folder is seen before
    /// anything inside it.
    std::function<void(int folder, const char* name, const struct stat& status)> visit;
    /// A folder, after everything inside it was visited.
    std::function<void(int folder, const char* name)> leave;
    /// An entry that could not be examined or entered, with the error; the
    /// walk goes on without it.
    std::function<void(int error)> failed;
};

/// Walks `name` inside the open folder `folder`, depth first. A folder that
/// cannot be entered is neither listed nor left; a folder something is
/// mounted on is not entered, and is failed with EBUSY.
void walk(int folder, const std::string& name, const Visitor& visitor);

/// Removes `name` inside the open folder `folder` and, when it is a folder,
/// everything below it, removing as much as it can. Returns 0, or the first
/// error met.
int remove(int folder, const std::string& name);

}  // namespace ItemTree
