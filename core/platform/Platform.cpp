#include "platform/Platform.hpp"

#include <pwd.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>

#include "base/Paths.hpp"
#include "platform/HomeFolder.hpp"
#include "platform/Language.hpp"

namespace Platform {

namespace {
/// `decide` on the first call, under a lock of its own; the same value after.
template <class Value>
std::function<Value()> decidedOnFirstUse(Value (*decide)()) {
    struct Kept {
        std::mutex lock;
        std::optional<Value> value;
    };
    auto kept = std::make_shared<Kept>();
    return [kept, decide] {
        std::lock_guard guard(kept->lock);
        if (!kept->value) kept->value = decide();
        return *kept->value;
    };
}
}  // namespace

Hooks Hooks::decidedOnce() {
    return Hooks{decidedOnFirstUse(Paths::detail::decideHome), decidedOnFirstUse(Langs::detail::decideLanguage)};
}

Hooks& Hooks::active() {
    static Hooks hooks = decidedOnce();
    return hooks;
}

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

namespace {
std::atomic<bool> realMachineRefused{false};

std::optional<std::string> systemRoot() {
    auto root = environment("OSTREVANE_SYSTEM_ROOT");
    if (!root || root->empty()) return std::nullopt;
    return root;
}

/// The user's entry of the password database; a redirected system has none.
const passwd* passwordEntry() {
    if (systemPath("/etc/passwd") != "/etc/passwd") return nullptr;
    return getpwuid(getuid());
}
}  // namespace

std::string systemPath(const std::string& path) {
    if (auto root = systemRoot()) return path == "/" ? *root : *root + path;
    if (realMachineRefused) {
        std::fprintf(stderr,
                     "ostrevane: %s of the real machine was read inside a test binary, without "
                     "OSTREVANE_SYSTEM_ROOT. Tests run sealed (tests/support/main/TestMain.cpp): keep that variable, "
                     "and hook the reader on purpose instead (ScopedMountTable, ScopedHooks<Mounts::Hooks>, "
                     "ScopedHooks<Destinations::Hooks>).\n",
                     path.c_str());
        std::abort();
    }
    return path;
}

bool systemIsRedirected() { return systemRoot().has_value(); }

void refuseTheRealMachine() { realMachineRefused = true; }

std::string realHome() {
    if (auto home = environment("HOME"); home && !home->empty()) return *home;
    if (const passwd* entry = passwordEntry(); entry && entry->pw_dir) return entry->pw_dir;
    return systemPath("/");
}

std::string realDataHome() {
    if (auto data = environment("XDG_DATA_HOME"); data && !data->empty() && data->front() == '/') return *data;
    return Paths::joined(realHome(), ".local/share");
}

static std::optional<std::string> normalisedLocale(std::string value) {
    auto cut = value.find_first_of(".@");
    if (cut != std::string::npos) value.resize(cut);
    if (value.empty() || value == "C" || value == "POSIX") return std::nullopt;
    for (char& c : value)
        if (c == '_') c = '-';
    return value;
}

std::vector<std::string> preferredLanguages() {
    std::vector<std::string> result;
    if (auto list = environment("LANGUAGE"); list && !list->empty()) {
        size_t start = 0;
        while (start <= list->size()) {
            size_t end = list->find(':', start);
            if (end == std::string::npos) end = list->size();
            if (auto entry = normalisedLocale(list->substr(start, end - start))) result.push_back(*entry);
            start = end + 1;
        }
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        auto value = environment(name);
        if (!value || value->empty()) continue;
        if (auto entry = normalisedLocale(*value)) result.push_back(*entry);
        break;
    }
    return result;
}

std::optional<std::string> loginShell() {
    if (const passwd* entry = passwordEntry(); entry && entry->pw_shell && *entry->pw_shell)
        return std::string(entry->pw_shell);
    return std::nullopt;
}

}  // namespace Platform
