// Whole files written so that no reader sees half of one, and read so that
// nothing in a file's place can hold the reader.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace Files {
/// Writes through a temporary file in the same folder and renames it over the
/// target, so readers never see half a file. Throws OstrevaneError on failure.
void writeAtomically(const std::filesystem::path& path, const std::string& contents);
/// The whole contents of a regular file; none for anything else (a named
/// pipe never blocks the caller) and for a file that cannot be read.
std::optional<std::string> read(const std::filesystem::path& path);
/// The names of a folder's entries, in the order listed; none when the folder
/// cannot be listed, and those read so far when listing fails midway.
std::vector<std::string> entryNames(const std::filesystem::path& folder);
}  // namespace Files
