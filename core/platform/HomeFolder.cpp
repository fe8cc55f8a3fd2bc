#include "platform/HomeFolder.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "base/Paths.hpp"
#include "base/Text.hpp"
#include "base/UniqueFd.hpp"
#include "base/WriteSeal.hpp"
#include "platform/Platform.hpp"

namespace {
std::string currentDirectory() {
    std::error_code error;
    auto cwd = std::filesystem::current_path(error);
    return error ? std::string("/") : cwd.string();
}
}  // namespace

namespace Paths {

namespace detail {
std::string decideHome() {
    if (!homeIsOverridden()) return standardize(Platform::realHome());
    auto override = Platform::environment("OSTREVANE_HOME");
    return standardize(override->front() == '/' ? *override : joined(currentDirectory(), *override));
}
}  // namespace detail

std::string home() { return Platform::Hooks::active().home(); }

bool homeIsOverridden() {
    auto override = Platform::environment("OSTREVANE_HOME");
    return override && !override->empty();
}

static std::string absoluteForm(std::string text) {
    if (text == "~")
        text = home();
    else if (text.starts_with("~/"))
        text = home() + text.substr(1);
    if (!text.starts_with("/")) text = joined(currentDirectory(), text);
    return standardize(text);
}

std::string expand(const std::string& path) {
    std::string trimmed = Text::trim(path);
    // A name may begin or end with a blank: the path as given wins when it
    // names something, and only otherwise are stray blanks around it dropped.
    if (trimmed.size() != path.size() && !trimmed.empty() && path.find('\0') == std::string::npos) {
        std::string exact = absoluteForm(path);
        struct stat info;
        if (::lstat(exact.c_str(), &info) == 0) return exact;
    }
    return absoluteForm(std::move(trimmed));
}

std::string abbreviate(const std::string& path) {
    const std::string homeFolder = home();
    if (path == homeFolder) return "~";
    if (path.size() > homeFolder.size() && path.starts_with(homeFolder) && path[homeFolder.size()] == '/')
        return "~" + path.substr(homeFolder.size());
    return path;
}

void makePrivateFolders(const std::string& path) {
    const std::string folder = standardize(path);
    struct stat status {};
    if (folder == "/" || ::stat(folder.c_str(), &status) == 0) return;
    makePrivateFolders(parentFolder(folder));
    ::mkdir(folder.c_str(), 0700);
}

void tightenOwnFolder(const std::string& path) {
    const std::string folder = standardize(path);
    const bool own = lastComponent(folder) == "Ostrevane" || lastComponent(parentFolder(folder)) == "Ostrevane";
    if (!own) return;
    // By descriptor: a link swapped in for the folder is never followed, and
    // what is changed is what was looked at.
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (!fd.valid() || ::fstat(fd.get(), &status) != 0 || status.st_uid != ::getuid()) return;
    if (!(status.st_mode & 077)) return;
    // A folder with an ACL is left as it is: a mode change would rewrite the
    // ACL's mask, and the tool never writes ACLs. The rule refuses it instead.
    if (::fgetxattr(fd.get(), "system.posix_acl_access", nullptr, 0) >= 0 || (errno != ENODATA && errno != ENOTSUP))
        return;
    ::fchmod(fd.get(), status.st_mode & 07700);
}

static std::filesystem::path createdFolder(const std::string& path) {
    WriteSeal::check(path);
    makePrivateFolders(path);
    tightenOwnFolder(path);
    return path;
}

// With OSTREVANE_HOME set the variables describe the real home, not this
// one; relative values are invalid for XDG variables and are ignored.
std::string baseFolder(const char* variable, const std::string& relativeDefault) {
    if (!homeIsOverridden()) {
        auto value = Platform::environment(variable);
        if (value && !value->empty() && value->front() == '/') return standardize(*value);
    }
    return joined(home(), relativeDefault);
}

std::filesystem::path supportFolder() { return joined(baseFolder("XDG_CONFIG_HOME", ".config"), "Ostrevane"); }
std::filesystem::path supportDir() { return createdFolder(supportFolder()); }
std::filesystem::path cacheFolder() { return joined(baseFolder("XDG_CACHE_HOME", ".cache"), "Ostrevane"); }
std::filesystem::path cacheDir() { return createdFolder(cacheFolder()); }

}  // namespace Paths
