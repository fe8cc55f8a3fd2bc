// Whole files written so that no reader sees half of one, and read so that
// nothing in a file's place can hold the reader.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/UniqueFd.hpp"

namespace Files {
/// The bytes the disk holds for a file: what a sparse file, or one compressed
/// by its file system, really takes, which its length does not say.
inline int64_t allocatedBytes(const struct stat& status) { return static_cast<int64_t>(status.st_blocks) * 512; }
/// Writes through a temporary file in the same folder and renames it over the
/// target, so readers never see half a file. The file is the user's alone
/// (0600), whatever the umask. Throws OstrevaneError on failure.
void writeAtomically(const std::filesystem::path& path, const std::string& contents);
/// The same for `name` in an open folder (AT_FDCWD: a path).
void writeAtomically(int folder, const std::string& name, const std::string& contents);
/// Opens `name` in an open folder (AT_FDCWD: a path) for reading, only when
/// it is a regular file. It is opened without waiting, so a named pipe or a
/// device put in a file's place cannot hold the caller, checked as opened,
/// and then made to wait again as reads of a file's contents expect. `flags`
/// add to the read-only opening (O_NOFOLLOW, O_NOATIME). Nothing is held
/// when it was not opened; `error` then says why (EOPNOTSUPP: not a regular
/// file). `status`, when given, receives the status of what was opened.
UniqueFd openRegularFile(int folder, const char* name, int flags, int& error, struct stat* status = nullptr);
/// The whole contents of a regular file; none for anything else (a named
/// pipe never blocks the caller) and for a file that cannot be read.
std::optional<std::string> read(const std::filesystem::path& path);
/// Whether `path` leads, links followed, to a folder; false when that cannot be checked.
bool isFolder(const std::filesystem::path& path);
/// Whether `path` leads, links followed, to a regular file this process may run.
bool isExecutableFile(const std::string& path);
/// The names of a folder's entries, in the order listed; none when the folder
/// cannot be listed, and those read so far when listing fails midway.
std::vector<std::string> entryNames(const std::filesystem::path& folder);
}  // namespace Files
