#include "platform/FileSystem.hpp"

namespace FileSystem {

Hooks& Hooks::active() {
    static Hooks hooks{
        .isCloudOnlyFolder = [](const std::string&) { return false; },
        .canOpenFolder = [](const std::string&) { return true; },
    };
    return hooks;
}

}  // namespace FileSystem
