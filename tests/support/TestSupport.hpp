// Shared helpers of the test suites: a throw-away home folder and a way to
// run the built `ostrevane` tool against it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "SealedMachine.hpp"
#include "base/ScopedHooks.hpp"
#include "platform/Mounts.hpp"
#include "platform/Platform.hpp"

namespace fs = std::filesystem;

namespace testing_support {

/// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return root; }

private:
    fs::path root;
};

/// Sets an environment variable for the life of the object and restores it.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name;
    std::optional<std::string> previous;
};

/// Points the engine at a temporary home folder: OSTREVANE_HOME, the
/// defaults file (XDG_CONFIG_HOME) and the data folder (XDG_DATA_HOME) all
/// live below it, and the once-per-process values are decided afresh within
/// it; those in force before come back on exit.
class ScopedHome {
public:
    explicit ScopedHome(std::optional<std::string> language = "en");
    ~ScopedHome();
    /// The home folder (OSTREVANE_HOME), standardised.
    std::string home() const { return homePath.string(); }
    fs::path path(const std::string& relative) const { return homePath / relative; }
    const fs::path& scratch() const { return dir.path(); }

private:
    TempDir dir;
    fs::path homePath;
    std::vector<std::unique_ptr<ScopedEnv>> environment;
    /// Declared after the environment, so it goes first.
    ScopedHooks<Platform::Hooks> decided{Platform::Hooks::decidedOnce()};
};

/// A fixture whose every test runs on its own temporary home, in English.
class HomeTest : public ::testing::Test {
protected:
    ScopedHome home;
};

/// Creates a file of `size` bytes (and its parent folders); returns its path.
fs::path writeFile(const fs::path& path, std::uintmax_t size = 0, char fill = 'x');
/// Reserves real disk blocks quickly, so allocated sizes are what the test says.
fs::path allocate(const fs::path& path, int64_t bytes);
void writeText(const fs::path& path, const std::string& text);
std::string readText(const fs::path& path);
/// The names in a folder, sorted; none when it cannot be listed.
std::vector<std::string> entriesOf(const fs::path& folder);
/// Sets a file's modification time to `secondsAgo` before now.
void setAge(const fs::path& path, double secondsAgo);

/// Lists the sealed machine's root (sealedRoot(), never the real "/") and then
/// plain folders as the mounted file systems, for the life of the object. A
/// test that wants a mounted disk makes a folder in its scratch and lists it.
class ScopedMountTable {
public:
    explicit ScopedMountTable(const std::vector<fs::path>& mountPoints);

private:
    ScopedHooks<Mounts::Hooks> hooks;
};

/// A chain of `levels` folders named `name` below `root`, each holding a
/// file "f" of `fileSize` bytes, made one component at a time so the whole
/// path may pass PATH_MAX. Removed with the object (rm copes with any depth).
class DeepTree {
public:
    DeepTree(fs::path root, int levels, std::string name, size_t fileSize);
    ~DeepTree();
    DeepTree(const DeepTree&) = delete;
    DeepTree& operator=(const DeepTree&) = delete;
    /// Appends a byte to "f" of the deepest folder of the same chain below `root`.
    void growDeepestFile(const fs::path& root) const;

private:
    fs::path root;
    int levels;
    std::string name;
};
/// Removes a tree of any depth (rm copes with paths past PATH_MAX).
void removeTree(const fs::path& path);
/// `du -s -B1` of a path: allocated bytes, each hard-linked file once.
int64_t duBytes(const fs::path& path);

struct CLIResult {
    int status = -1;
    std::string out;
    std::string err;
};
/// Runs the built `ostrevane` with the current environment (so under the
/// scoped home), standard input from /dev/null unless `input` is given.
CLIResult runCLI(const std::vector<std::string>& arguments, const std::optional<std::string>& input = std::nullopt,
                 double timeout = 120);

}  // namespace testing_support
