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
/// The names of the MCP server's other tools, those that change something, in order.
const std::vector<std::string>& writeTools();
/// readOnlyTools() each prefixed with "mcp__ostrevane__", joined with ",".
std::string allowList();
/// writeTools() the same way: what the agent is told it may never call.
std::string denyList();
/// The inline MCP configuration that starts `cli` with the arguments "mcp"
/// and "--read-only" (a server that offers no write tool at all), compact
/// JSON; none when it can't be encoded (a path that is not UTF-8), so
/// nothing is started with an empty configuration.
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
