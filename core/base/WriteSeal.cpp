#include "base/WriteSeal.hpp"

#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/Paths.hpp"

namespace fs = std::filesystem;

namespace WriteSeal {

namespace {
std::atomic<bool> confined{false};
/// Written once by confine, before `confined` is set.
std::vector<std::string>& rootFolders() {
    static std::vector<std::string> roots;
    return roots;
}

/// `path`, absolute, with every link along it resolved, a dangling one too
/// (a file created through it lands where it leads), so that a link inside
/// the root that leads out of it counts as outside.
std::string resolved(const fs::path& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    std::vector<fs::path> left(absolute.begin(), absolute.end());
    std::reverse(left.begin(), left.end());
    fs::path done = "/";
    for (int links = 0; !left.empty();) {
        const fs::path part = left.back();
        left.pop_back();
        if (part == "/" || part == "." || part.empty()) continue;
        if (part == "..") {
            done = done.parent_path();
            continue;
        }
        const fs::path next = done / part;
        fs::path target = fs::is_symlink(fs::symlink_status(next, error)) ? fs::read_symlink(next, error) : fs::path();
        // Past the kernel's own limit of links a write would fail anyway.
        if (target.empty() || ++links > 40) {
            done = next;
            continue;
        }
        if (target.is_absolute()) done = "/";
        std::vector<fs::path> parts(target.begin(), target.end());
        left.insert(left.end(), parts.rbegin(), parts.rend());
    }
    return done.string();
}
}  // namespace

void confine(const std::vector<fs::path>& roots) {
    for (const auto& root : roots) rootFolders().push_back(resolved(root));
    confined.store(true, std::memory_order_release);
}

void check(const fs::path& path) {
    if (!confined.load(std::memory_order_acquire)) return;
    const std::string real = resolved(path);
    std::string roots;
    for (const auto& root : rootFolders()) {
        if (Paths::isInside(real, root)) return;
        roots += (roots.empty() ? "" : " and ") + root;
    }
    std::fprintf(stderr,
                 "ostrevane: %s, outside the scratch machine %s, was about to be written inside a test binary. Tests "
                 "run sealed (tests/support/main/TestMain.cpp): keep the home, the XDG folders and TMPDIR inside "
                 "OSTREVANE_SYSTEM_ROOT, or hook the writer on purpose.\n",
                 path.c_str(), roots.c_str());
    std::abort();
}

void checkAt(int folder, const std::string& name) {
    if (!confined.load(std::memory_order_acquire)) return;
    if (folder == AT_FDCWD || name.starts_with("/")) return check(name);
    const fs::path descriptor = "/proc/self/fd/" + std::to_string(folder);
    std::error_code error;
    fs::path opened = fs::read_symlink(descriptor, error);
    // A folder whose path can't be told can't be shown to lie inside: the
    // check then fails, naming the descriptor.
    check(error ? descriptor / name : opened / name);
}

}  // namespace WriteSeal
