// The files other processes of this computer hold open, as /proc shows them.
#pragma once

#include <cstdint>
#include <set>
#include <utility>

namespace OpenFiles {

/// Regular files, by device and inode, that a descriptor or a file mapping
/// of another process refers to, as far as /proc shows them to this one
/// (another user's processes only to root). This process is left out.
std::set<std::pair<uint64_t, uint64_t>> heldByOtherProcesses();

}  // namespace OpenFiles
