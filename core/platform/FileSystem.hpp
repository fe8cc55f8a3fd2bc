// File-system facts that Linux cannot produce on every machine, each behind a
// hook whose default is the Linux behaviour. Tests replace a hook and put the
// previous one back.
#pragma once

#include <functional>
#include <string>

namespace FileSystem {

/// Whether a folder's contents live only in the cloud. Linux has no dataless
/// folders, so the default answers false.
extern std::function<bool(const std::string& path)> isCloudOnlyFolder;

/// Whether the scanner may open a folder. The default always allows it and
/// leaves the answer to the kernel; tests, which run as root, use it to make
/// a folder unreadable.
extern std::function<bool(const std::string& path)> canOpenFolder;

/// Puts every hook back to its Linux default.
void resetHooks();

}  // namespace FileSystem
