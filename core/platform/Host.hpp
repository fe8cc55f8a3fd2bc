// The computer's name as people gave it, for the folder that keeps this
// computer's backups apart from other computers' in a shared destination.
#pragma once

#include <optional>
#include <string>

namespace Host {

/// PRETTY_HOSTNAME of /etc/machine-info, else the host name, else "Mac";
/// "/" and ":" become "-" so the name is one safe path component.
std::string computerName();

/// The same rule over given inputs: the text of a machine-info file and the
/// host name, each none when unavailable.
std::string computerName(const std::optional<std::string>& machineInfo, const std::optional<std::string>& hostName);

/// The value of PRETTY_HOSTNAME in a machine-info text (shell-style
/// assignments, values optionally quoted); none when absent or empty.
std::optional<std::string> prettyHostName(const std::string& machineInfo);

}  // namespace Host
