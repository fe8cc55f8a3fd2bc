// The forms of a path worked out from its text alone, without the disk or
// the home folder. What depends on the home folder (expanding "~", the
// support and cache folders) is in platform/HomeFolder.hpp.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Paths {
/// Whether `path` is `parent` or lies below it; "/a/bc" is not inside "/a/b".
bool isInside(std::string_view path, std::string_view parent);
/// Whether `path` lies below `parent` and is not `parent` itself.
bool isStrictlyInside(std::string_view path, std::string_view parent);
/// `name` below `folder` with one slash between them ("/" + "a" is "/a",
/// "/a/" + "b" is "/a/b"); an empty name leaves the folder as it is.
std::string joined(std::string_view folder, std::string_view name);
/// The last component ("/" for the root itself); trailing slashes ignored.
std::string lastComponent(std::string_view path);
/// The same as a view into `path`, for callers that copy it elsewhere.
std::string_view lastComponentView(std::string_view path);
/// The folder holding `path`: "/" for an item at the root, and for a bare name.
std::string parentFolder(const std::string& path);

/// How a name's leading dot counts: as part of the stem, so that a hidden
/// name (".bashrc") has no extension the way file managers read it, or like
/// any other dot, so that a folder named ".app" is still an "app" bundle.
enum class LeadingDot { inStem, startsExtension };
/// Where the extension of the name `name` starts: the position of its last
/// ".", or npos when it has none (no dot, or only a leading dot kept in the stem).
size_t extensionDot(std::string_view name, LeadingDot leadingDot = LeadingDot::inStem);
/// The text after that dot, lower-cased: "A.Tar.GZ" gives "gz"; "a." and a
/// name without an extension give "".
std::string lowercasedExtension(std::string_view name, LeadingDot leadingDot = LeadingDot::inStem);
/// Percent-encodes a path the way trash info files and file URIs expect:
/// every byte except letters, digits, "-._~" and "/" becomes "%XX".
std::string percentEncoded(const std::string& path);
/// How many components a path has: 0 for "/", 1 for "/Users".
size_t componentCount(const std::string& path);
/// Standardises an absolute path: removes "." and ".." and repeated slashes,
/// without touching the disk.
std::string standardize(const std::string& absolutePath);
}  // namespace Paths
