// The forms of a path worked out from its text alone, without the disk or
// the home folder. What depends on the home folder (expanding "~", the
// support and cache folders) is in platform/HomeFolder.hpp.
#pragma once

#include <cstddef>
#include <string>

namespace Paths {
bool isInside(const std::string& path, const std::string& parent);
/// The last component ("/" for the root itself); trailing slashes ignored.
std::string lastComponent(const std::string& path);
/// How many components a path has: 0 for "/", 1 for "/Users".
size_t componentCount(const std::string& path);
/// Standardises an absolute path: removes "." and ".." and repeated slashes,
/// without touching the disk.
std::string standardize(const std::string& absolutePath);
}  // namespace Paths
