// The open side of a sealed test process: the tool's own writes (its stored
// files, atomic writes, the folders it makes for them and moves into a
// Trash) must stay inside the scratch machine. Nothing is confined outside
// the test binaries, where every check is a load of one flag.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace WriteSeal {

/// From now on, a checked write outside every folder of `roots` aborts the
/// process with a message naming the path. Call it once, before any thread
/// writes; the test suites' main does (tests/support/SealedMachine.cpp).
void confine(const std::vector<std::filesystem::path>& roots);

/// Aborts the process when it is confined and `path` (relative ones from the
/// working folder, every link along it resolved) lies outside the roots;
/// nothing otherwise.
void check(const std::filesystem::path& path);

/// The same for `name` in the folder open as `folder` (or AT_FDCWD).
void checkAt(int folder, const std::string& name);

}  // namespace WriteSeal
