#include "SealedMachine.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "Support.hpp"
#include "base/WriteSeal.hpp"
#include "platform/Platform.hpp"

extern char** environ;

namespace testing_support {

namespace fs = std::filesystem;

namespace {

fs::path made(const fs::path& folder, fs::perms permissions = fs::perms::owner_all | fs::perms::group_read |
                                                              fs::perms::group_exec | fs::perms::others_read |
                                                              fs::perms::others_exec) {
    fs::create_directories(folder);
    fs::permissions(folder, permissions);
    return folder;
}

void set(const char* name, const fs::path& value) { ::setenv(name, value.c_str(), 1); }

constexpr const char* memoryVariable = "OSTREVANE_TEST_MEMORY";

/// A private folder on the real machine's memory file system; none without one.
fs::path madeMemoryFolder() {
    if (::access("/dev/shm", W_OK) != 0 || !fs::is_directory("/dev/shm")) return {};
    std::string pattern = "/dev/shm/ostrevane-machine-XXXXXX";
    if (!::mkdtemp(pattern.data())) return {};
    return pattern;
}

/// Seals the process: no reads of the real machine, and the tool's writes
/// only inside the machine at `root` and its memory folder.
void seal(const fs::path& root) {
    Platform::refuseTheRealMachine();
    WriteSeal::confine({root, memoryFolder()});
}

/// Every variable of the locale, those that move the engine's home or
/// language, and those that lead to the user's session: its display, its
/// desktop and its programs. (A test that starts itself again passes its own
/// variables on.)
void dropSessionVariables() {
    std::vector<std::string> names;
    for (char** entry = environ; *entry; ++entry) {
        std::string name(*entry, std::strcspn(*entry, "="));
        if (name.starts_with("LC_")) names.push_back(name);
    }
    for (const char* name : {"OSTREVANE_HOME", "OSTREVANE_LANG", "LANGUAGE", "DISPLAY", "WAYLAND_DISPLAY",
                             "XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "XDG_SESSION_TYPE", "DESKTOP_SESSION",
                             "XDG_CONFIG_DIRS", "XDG_DATA_DIRS", "BROWSER", "RCLONE_CONFIG", "SUDO_USER"})
        names.push_back(name);
    for (const auto& name : names) ::unsetenv(name.c_str());
}

/// The names of the real "/", sorted.
std::vector<std::string> realRootNames() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/", error)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::string mountLine(int id, const fs::path& mountPoint, unsigned minor) {
    // Escaped as the kernel writes a mount point.
    std::string point;
    for (char c : mountPoint.string())
        point += c == ' '    ? "\\040"
                 : c == '\t' ? "\\011"
                 : c == '\n' ? "\\012"
                 : c == '\\' ? "\\134"
                             : std::string(1, c);
    return std::to_string(id) + " 1 8:" + std::to_string(minor) + " / " + point + " rw - ext4 /dev/sd" +
           static_cast<char>('a' + minor - 1) + "1 rw\n";
}

fs::path memoryFolder() {
    auto folder = Platform::environment(memoryVariable);
    if (!folder || folder->empty()) throw std::logic_error("the test process is not sealed");
    return *folder;
}

fs::path sealedRoot() {
    auto root = Platform::environment("OSTREVANE_SYSTEM_ROOT");
    if (!root || root->empty()) throw std::logic_error("the test process is not sealed");
    return *root;
}

SealedMachine::SealedMachine() {
    // A test that starts its own program again hands it its sealed machine,
    // with the home and the variables the test set: the child keeps them.
    if (auto given = Platform::environment("OSTREVANE_SYSTEM_ROOT"); given && fs::is_directory(*given)) {
        seal(*given);
        return;
    }
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/ostrevane-machine-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root = fs::canonical(pattern);
    made(root);

    const fs::path home = made(root / "home/tester");
    const fs::path runtime = made(root / "run/user" / std::to_string(::getuid()), fs::perms::owner_all);
    const fs::path self = made(root / "proc/self");
    std::ofstream(self / "mountinfo") << mountLine(1, root, 1);

    dropSessionVariables();
    set("OSTREVANE_SYSTEM_ROOT", root);
    set("HOME", home);
    set("XDG_CONFIG_HOME", made(home / ".config"));
    set("XDG_CACHE_HOME", made(home / ".cache"));
    set("XDG_DATA_HOME", made(home / ".local/share"));
    set("XDG_STATE_HOME", made(home / ".local/state"));
    set("XDG_RUNTIME_DIR", runtime);
    set("TMPDIR", made(root / "tmp", fs::perms::all | fs::perms::sticky_bit));
    memory = madeMemoryFolder();
    set(memoryVariable, memory.empty() ? root / "tmp" : memory);
    ::setenv("LANG", "C.UTF-8", 1);
    // Buses that are not there: nothing reaches the user's desktop session or the system's services.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (runtime / "bus").string()).c_str(), 1);
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (root / "run/dbus/system_bus_socket").string()).c_str(), 1);

    seal(root);
    // Programs the tests start inherit the working folder: a relative path
    // one of them writes to lands in the machine too.
    startedIn = fs::current_path();
    fs::current_path(made(root / "work"));
    realRootBefore = realRootNames();
    // Whatever was decided before the environment changed is decided again.
    decided = std::make_unique<ScopedHooks<Platform::Hooks>>(Platform::Hooks::decidedOnce());
}

std::vector<std::string> SealedMachine::newAtTheRealRoot() const {
    if (root.empty()) return {};
    std::vector<std::string> added;
    const std::vector<std::string> now = realRootNames();
    std::set_difference(now.begin(), now.end(), realRootBefore.begin(), realRootBefore.end(),
                        std::back_inserter(added));
    return added;
}

SealedMachine::~SealedMachine() {
    if (root.empty()) return;
    decided.reset();
    std::error_code ignored;
    fs::current_path(startedIn, ignored);
    // rm copes with trees past PATH_MAX, and stays off anything a test left mounted.
    for (const fs::path& folder : {root, memory}) {
        if (folder.empty()) continue;
        Shell::run("/bin/chmod", {"-R", "u+rwX", folder.string()}, 120);
        Shell::run("/bin/rm", {"-rf", "--one-file-system", folder.string()}, 120);
    }
}

}  // namespace testing_support
