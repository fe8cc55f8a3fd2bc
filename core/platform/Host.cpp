#include "platform/Host.hpp"

#include <unistd.h>

#include <climits>
#include <sstream>

#include "base/Files.hpp"
#include "base/Text.hpp"
#include "platform/Platform.hpp"

namespace Host {

namespace {

/// Undoes the quoting of an env-style value: double quotes with backslash
/// escapes, single quotes taken literally, and backslashes outside quotes.
std::string unquoted(const std::string& value) {
    std::string result;
    char quote = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (quote == '\'') {
            if (c == '\'')
                quote = 0;
            else
                result += c;
        } else if (c == '\\' && i + 1 < value.size()) {
            result += value[++i];
        } else if (quote == '"') {
            if (c == '"')
                quote = 0;
            else
                result += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else {
            result += c;
        }
    }
    return result;
}

std::optional<std::string> systemHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return std::nullopt;
    return std::string(name);
}

}  // namespace

std::optional<std::string> prettyHostName(const std::string& machineInfo) {
    std::optional<std::string> found;
    std::stringstream lines(machineInfo);
    for (std::string line; std::getline(lines, line);) {
        std::string entry = Text::trim(line);
        if (!entry.starts_with("PRETTY_HOSTNAME=")) continue;
        // The last assignment wins, as when the file is sourced by a shell.
        found = Text::trim(unquoted(entry.substr(std::string("PRETTY_HOSTNAME=").size())));
    }
    if (found && found->empty()) return std::nullopt;
    return found;
}

std::string computerName(const std::optional<std::string>& machineInfo, const std::optional<std::string>& hostName) {
    std::string name;
    if (machineInfo)
        if (auto pretty = prettyHostName(*machineInfo)) name = *pretty;
    if (name.empty() && hostName) name = Text::trim(*hostName);
    if (name.empty()) name = "Mac";
    for (char& c : name)
        if (c == '/' || c == ':') c = '-';
    return name;
}

std::string computerName() {
    return computerName(Files::read(Platform::systemPath("/etc/machine-info")), systemHostName());
}

}  // namespace Host
