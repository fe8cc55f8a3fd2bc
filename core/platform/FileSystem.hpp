// File-system facts that Linux cannot produce on every machine, each behind a
// hook whose default is the Linux behaviour (replaced in tests through
// ScopedHooks<FileSystem::Hooks>).
#pragma once

#include <functional>
#include <string>

#include "base/ScopedHooks.hpp"

namespace FileSystem {

struct Hooks {
    /// Whether a folder's contents live only in the cloud. Linux has no
    /// dataless folders, so the default answers false.
    std::function<bool(const std::string& path)> isCloudOnlyFolder;
    /// Whether the scanner may open a folder. The default always allows it
    /// and leaves the answer to the kernel; tests, which run as root, use it
    /// to make a folder unreadable.
    std::function<bool(const std::string& path)> canOpenFolder;

    /// The set in force; the Linux behaviour unless a test replaced it.
    static Hooks& active();
};

inline bool isCloudOnlyFolder(const std::string& path) { return Hooks::active().isCloudOnlyFolder(path); }
inline bool canOpenFolder(const std::string& path) { return Hooks::active().canOpenFolder(path); }

}  // namespace FileSystem
