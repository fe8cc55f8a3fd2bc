#include "agent/AgentCommands.hpp"

#include <algorithm>

#include "Support.hpp"
#include "service/MCPToolTable.hpp"

namespace AgentCommands {

namespace {
bool isShellSafe(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("/._-+,:@%=").find(c) != std::string_view::npos;
}

/// The same split as the read-only server's offer.
std::vector<std::string> toolNames(bool readOnly) {
    std::vector<std::string> result;
    for (const MCPTools::Tool& tool : MCPTools::table())
        if (tool.readOnly == readOnly) result.push_back(tool.name);
    return result;
}

std::string prefixedList(const std::vector<std::string>& names) {
    std::string list;
    for (const auto& name : names) list += (list.empty() ? "" : ",") + std::string("mcp__ostrevane__") + name;
    return list;
}
}  // namespace

const std::vector<std::string>& readOnlyTools() {
    static const std::vector<std::string> names = toolNames(true);
    return names;
}

const std::vector<std::string>& writeTools() {
    static const std::vector<std::string> names = toolNames(false);
    return names;
}

std::string allowList() { return prefixedList(readOnlyTools()); }

std::string denyList() { return prefixedList(writeTools()); }

std::optional<std::string> mcpConfiguration(const std::string& cli) {
    // The agent's runtime reads the escape of a byte that is no UTF-8 as a
    // character, and would start some other path.
    if (!Text::isValidUTF8(cli)) return std::nullopt;
    json configuration = {
        {"mcpServers", {{"ostrevane", {{"command", cli}, {"args", json::array({"mcp", "--read-only"})}}}}}};
    std::string text = JSONOut::encode(configuration, false);
    if (text == JSONOut::failureDocument) return std::nullopt;
    return text;
}

std::string shellWord(const std::string& path) {
    if (!path.empty() && std::all_of(path.begin(), path.end(), isShellSafe)) return path;
    return Text::shellQuoted(path);
}

std::string registrationCommand(const std::string& cliPath) {
    return "claude mcp add ostrevane --scope user -- " + shellWord(cliPath) + " mcp";
}

std::string desktopSnippet(const std::string& cliPath) {
    std::string quoted = json(cliPath).dump(-1, ' ', false, json::error_handler_t::replace);
    return "\"ostrevane\": {\n  \"command\": " + quoted + ",\n  \"args\": [\"mcp\"]\n}";
}

}  // namespace AgentCommands
