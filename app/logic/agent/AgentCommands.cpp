#include "agent/AgentCommands.hpp"

#include <algorithm>

#include "MCPServer.hpp"
#include "Support.hpp"

namespace AgentCommands {

namespace {
/// An entry's "readOnlyHint", true when absent or not a Boolean.
bool isReadOnly(const json& tool) {
    auto annotations = tool.find("annotations");
    if (annotations == tool.end() || !annotations->is_object()) return true;
    auto hint = annotations->find("readOnlyHint");
    return hint == annotations->end() || !hint->is_boolean() || hint->get<bool>();
}

bool isShellSafe(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("/._-+,:@%=").find(c) != std::string_view::npos;
}

std::vector<std::string> toolNames(bool readOnly) {
    std::vector<std::string> result;
    for (const auto& tool : MCPServer::tools())
        if (isReadOnly(tool) == readOnly) result.push_back(tool.value("name", ""));
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
    json configuration = {{"mcpServers", {{"ostrevane", {{"command", cli}, {"args", json::array({"mcp", "--read-only"})}}}}}};
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
