// Single-file steps of the local backup: the names of its partial copies and
// the sweep of those a killed run left behind, the text of a link, and the
// comparison of a copy with its source that decides whether an offload may
// move the source to the Trash.
#pragma once

#include <optional>
#include <string>

namespace BackupFiles {

/// A new name for a partial copy in a destination folder:
/// ".ostrevane-partial-<process id>-<counter>", unique within the process.
std::string partialName();

/// Removes the partial copies (files and links) in an open folder whose
/// process no longer runs; those of a running process, this one included,
/// may still become a copy and stay. Failures are passed over.
void removeStalePartials(int folderFd);

/// The text of the link `name` in the folder (AT_FDCWD: a path); none when
/// it is not a link or cannot be read.
std::optional<std::string> linkText(int folderFd, const std::string& name);

/// Whether `copyName` in `copyFolder` is a regular file holding exactly the
/// bytes of the regular file `sourceName` in `sourceFolder` (AT_FDCWD: paths,
/// and folders let files deeper than PATH_MAX be compared); neither is
/// followed when it is a link. False when either cannot be read to its end.
/// `path` and `copyPath` name the two files for the file-reading hooks.
bool sameContentAt(int sourceFolder, const std::string& sourceName, int copyFolder, const std::string& copyName,
                   const std::string& path, const std::string& copyPath);

}  // namespace BackupFiles
