// Paths that come from a user or a client, checked before anything acts on
// them; the reasons they are refused are shown in the user's language.
#pragma once

#include <optional>
#include <string>

namespace Paths {
/// Why a path given by a user or a client must not be acted on, else none: a
/// NUL byte (the system calls would stop at it and act on a shorter path),
/// or nothing but blanks (which `expand` would make the working folder).
std::optional<std::string> unusable(const std::string& path);
/// `expand` of a path given by a user or a client; throws OstrevaneError
/// with `unusable`'s reason first.
std::string expandGiven(const std::string& path);
}  // namespace Paths
