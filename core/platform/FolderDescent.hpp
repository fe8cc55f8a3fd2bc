// The one sequential descent below a folder: depth first through a
// FolderChain, so that neither PATH_MAX nor the open-file limit bounds the
// depth. What a walk does with each folder is the caller's; the order of
// entering, listing and leaving is this file's.
#pragma once

#include <utility>
#include <vector>

#include "platform/FolderChain.hpp"

namespace FolderDescent {

/// Walks down from `top` on this thread. `enter(folder)` opens a folder in
/// `chain` (the top relative to whatever the caller chooses, the others
/// relative to their parent, the innermost) and returns its descriptor or
/// -1; a folder that cannot be entered is neither listed nor left.
/// `list(fd, folder)` handles the open folder's entries and returns its
/// subfolders, entered in that order once the listing is done.
/// `leave(folder)` runs when everything below a folder was walked and the
/// chain is back in its parent (empty again after the top).
template <class Folder, class Enter, class List, class Leave>
void walk(FolderChain& chain, Folder top, Enter&& enter, List&& list, Leave&& leave) {
    struct Level {
        Folder folder;
        std::vector<Folder> inside;
        size_t next = 0;
    };
    std::vector<Level> levels;
    auto descend = [&](Folder folder) {
        int fd = enter(folder);
        if (fd < 0) return;
        std::vector<Folder> inside = list(fd, folder);
        levels.push_back({std::move(folder), std::move(inside)});
    };
    descend(std::move(top));
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next < level.inside.size()) {
            // Moved out before `descend` may grow `levels` under the reference.
            Folder child = std::move(level.inside[level.next++]);
            descend(std::move(child));
            continue;
        }
        Folder left = std::move(level.folder);
        levels.pop_back();
        chain.leave();
        leave(left);
    }
}

}  // namespace FolderDescent
