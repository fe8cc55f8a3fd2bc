#include "platform/ICloud.hpp"

#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/HomeFolder.hpp"

namespace ICloud {

namespace {
std::mutex hooksLock;
Hooks installed;

Hooks current() {
    std::lock_guard guard(hooksLock);
    return installed;
}
}  // namespace

std::string containersFolder() { return Paths::home() + "/Library/Mobile Documents"; }
std::string driveFolder() { return containersFolder() + "/" + driveContainerName; }

bool isSignedIn() {
    auto hooks = current();
    return hooks.isSignedIn ? hooks.isSignedIn() : false;
}

ItemStatus itemStatus(const std::string& path) {
    auto hooks = current();
    return hooks.itemStatus ? hooks.itemStatus(path) : ItemStatus{};
}

std::optional<std::string> evict(const std::string& path) {
    auto hooks = current();
    if (hooks.evict) return hooks.evict(path);
    return std::string(std::strerror(ENOTSUP));
}

void setHooks(Hooks hooks) {
    std::lock_guard guard(hooksLock);
    installed = std::move(hooks);
}

void resetHooks() { setHooks({}); }

ScopedHooks::ScopedHooks(Hooks hooks) : previous(current()) { setHooks(std::move(hooks)); }
ScopedHooks::~ScopedHooks() { setHooks(std::move(previous)); }

}  // namespace ICloud
