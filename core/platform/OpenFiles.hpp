// The files other processes of this computer hold open, and the folders they
// work in, as /proc shows them.
#pragma once

#include <cstdint>
#include <set>
#include <utility>

namespace OpenFiles {

/// Regular files, by device and inode, that a descriptor or a file mapping
/// of another process refers to, as far as /proc shows them to this one
/// (another user's processes only to root). This process is left out.
std::set<std::pair<uint64_t, uint64_t>> heldByOtherProcesses();

/// Folders, by device and inode, that another process works in (its working
/// folder) or holds a descriptor of, each with every folder above it, as far
/// as /proc shows them to this one. This process and the ones it was started
/// from are left out: the shell the user runs the tool from may well work in
/// the folder the tool is asked to act on.
std::set<std::pair<uint64_t, uint64_t>> foldersInUseByOtherProcesses();

}  // namespace OpenFiles
