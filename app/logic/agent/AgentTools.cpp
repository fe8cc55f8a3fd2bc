#include "agent/AgentTools.hpp"

namespace {
std::string textMember(const json& object, const char* key) {
    if (!object.is_object()) return {};
    auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

bool hint(const json& annotations, const char* key, bool fallback) {
    if (!annotations.is_object()) return fallback;
    auto found = annotations.find(key);
    return found != annotations.end() && found->is_boolean() ? found->get<bool>() : fallback;
}

ToolAccess access(const json& tool) {
    const json annotations = tool.is_object() ? tool.value("annotations", json()) : json();
    if (hint(annotations, "readOnlyHint", true)) return ToolAccess::readOnly;
    if (hint(annotations, "destructiveHint", false)) return ToolAccess::confirmFirst;
    return ToolAccess::writes;
}
}  // namespace

namespace AgentTools {
std::vector<ToolEntry> entries(const json& tools) {
    std::vector<ToolEntry> result;
    if (!tools.is_array()) return result;
    for (const json& tool : tools)
        result.push_back({textMember(tool, "name"), textMember(tool, "title"), access(tool)});
    return result;
}
}  // namespace AgentTools
