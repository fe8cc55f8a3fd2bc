#include "platform/ICloud.hpp"

#include <cerrno>
#include <cstring>

#include "base/Paths.hpp"
#include "platform/HomeFolder.hpp"

namespace ICloud {

std::string containersFolder() { return Paths::joined(Paths::home(), containersInHome); }
std::string driveFolder() { return Paths::joined(containersFolder(), driveContainerName); }

Hooks& Hooks::active() {
    static Hooks current{
        [] { return false; },
        [](const std::string&) { return ItemStatus{}; },
        [](const std::string&) -> std::optional<std::string> { return std::string(std::strerror(ENOTSUP)); },
    };
    return current;
}

}  // namespace ICloud
