// The command lines and configuration texts the agent page builds around the
// `ostrevane` tool: what the runner passes to `claude`, and what the page
// shows for the user to paste.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace AgentCommands {
/// The names of the MCP server's tools that only read, in the server's order.
const std::vector<std::string>& readOnlyTools();
/// readOnlyTools() each prefixed with "mcp__ostrevane__", joined with ",".
std::string allowList();
/// The inline MCP configuration that starts `cli` with the argument "mcp",
/// compact JSON; none when it can't be encoded (a path that is not UTF-8),
/// so nothing is started with an empty configuration.
std::optional<std::string> mcpConfiguration(const std::string& cli);

/// `path` as one POSIX shell word: unchanged when every character is in a
/// safe set (letters, digits and "/._-+,:@%="), else single-quoted.
std::string shellWord(const std::string& path);
/// The registration command shown for pasting into a terminal.
std::string registrationCommand(const std::string& cliPath);
/// The four-line entry for the desktop client's "mcpServers", the path
/// JSON-escaped.
std::string desktopSnippet(const std::string& cliPath);
}  // namespace AgentCommands
