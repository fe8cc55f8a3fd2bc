// Finding an outside program by name the way the user's own shell would.
#pragma once

#include <optional>
#include <string>

namespace Shell {
/// The absolute path of an executable `name`: looked for on PATH, then in the
/// usual program folders and the user's own bin folders, and last through
/// the user's login shell (which may extend PATH); none when nothing is found.
std::optional<std::string> which(const std::string& name);
/// An executable installed in the system's own program folders (/usr/bin,
/// /bin, /usr/local/bin); none when none of them has it.
std::optional<std::string> systemProgram(const std::string& name);
}  // namespace Shell
