#include "platform/HomeFolder.hpp"

#include <sys/stat.h>

#include <optional>

#include "base/Paths.hpp"
#include "base/Text.hpp"
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
    return standardize(override->front() == '/' ? *override : currentDirectory() + "/" + *override);
}
}  // namespace detail

std::string home() { return Platform::Hooks::active().home(); }

std::string realHome() { return Platform::realHome(); }

bool homeIsOverridden() {
    auto override = Platform::environment("OSTREVANE_HOME");
    return override && !override->empty();
}

static std::string absoluteForm(std::string text) {
    if (text == "~")
        text = home();
    else if (text.starts_with("~/"))
        text = home() + text.substr(1);
    if (!text.starts_with("/")) text = currentDirectory() + "/" + text;
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

static std::filesystem::path createdFolder(const std::string& path) {
    WriteSeal::check(path);
    std::error_code ignored;
    std::filesystem::create_directories(path, ignored);
    return path;
}

// With OSTREVANE_HOME set the variables describe the real home, not this
// one; relative values are invalid for XDG variables and are ignored.
std::string baseFolder(const char* variable, const std::string& relativeDefault) {
    if (!homeIsOverridden()) {
        auto value = Platform::environment(variable);
        if (value && !value->empty() && value->front() == '/') return standardize(*value);
    }
    return home() + "/" + relativeDefault;
}

std::filesystem::path supportFolder() { return baseFolder("XDG_CONFIG_HOME", ".config") + "/Ostrevane"; }
std::filesystem::path supportDir() { return createdFolder(supportFolder()); }
std::filesystem::path cacheFolder() { return baseFolder("XDG_CACHE_HOME", ".cache") + "/Ostrevane"; }
std::filesystem::path cacheDir() { return createdFolder(cacheFolder()); }

}  // namespace Paths
