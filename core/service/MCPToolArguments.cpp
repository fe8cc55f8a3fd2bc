// The tool table's shared parts: the listing built from an entry, and the
// argument reader that takes its defaults from the entry.
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "service/MCPToolTable.hpp"
#include "text/Localization.hpp"

namespace MCPTools {

namespace {

const char* typeName(ParameterType type) {
    switch (type) {
    case ParameterType::text: return "string";
    case ParameterType::integer: return "integer";
    case ParameterType::number: return "number";
    case ParameterType::flag: return "boolean";
    case ParameterType::texts: return "array";
    }
    return "string";
}

json propertySchema(const Parameter& parameter) {
    json schema = {{"type", typeName(parameter.type)}, {"description", parameter.listedDescription()}};
    if (parameter.type == ParameterType::texts) schema["items"] = {{"type", "string"}};
    return schema;
}

}  // namespace

std::string Parameter::listedDescription() const {
    if (!defaultStated) return description;
    const std::string stated = "Default " + fallback.dump() + ".";
    return description.empty() ? stated : description + " " + stated;
}

const Parameter& Tool::parameter(const std::string& parameterName) const {
    for (const Parameter& candidate : parameters)
        if (candidate.name == parameterName) return candidate;
    throw std::logic_error("The tool " + name + " lists no parameter " + parameterName);
}

json Tool::listing() const {
    json properties = json::object();
    for (const Parameter& parameter : parameters) properties[parameter.name] = propertySchema(parameter);
    json schema = {{"type", "object"}, {"properties", properties}};
    if (!required.empty()) schema["required"] = required;
    return {
        {"name", name},
        {"title", title},
        {"description", description},
        {"inputSchema", schema},
        {"annotations",
         {{"title", title}, {"readOnlyHint", readOnly}, {"destructiveHint", destructive}, {"openWorldHint", false}}}};
}

const Tool* find(const std::string& name) {
    const auto& tools = table();
    auto found = std::find_if(tools.begin(), tools.end(), [&](const Tool& tool) { return tool.name == name; });
    return found == tools.end() ? nullptr : &*found;
}

const json* ToolArguments::member(const char* name) const {
    tool.parameter(name);
    auto found = arguments.find(name);
    return found == arguments.end() ? nullptr : &*found;
}

std::optional<std::string> ToolArguments::string(const char* name) const {
    const json* value = member(name);
    if (!value || !value->is_string() || value->get_ref<const std::string&>().empty()) return std::nullopt;
    return value->get<std::string>();
}

std::string ToolArguments::require(const char* name) const {
    if (auto value = string(name)) return *value;
    throw OstrevaneError(L("缺少参数 %@", name));
}

std::optional<double> ToolArguments::number(const char* name) const {
    const json* value = member(name);
    if (!value) return std::nullopt;
    if (value->is_boolean()) return value->get<bool>() ? 1.0 : 0.0;
    if (!value->is_number()) return std::nullopt;
    return value->get<double>();
}

std::optional<int64_t> ToolArguments::integer(const char* name) const {
    const json* value = member(name);
    if (!value) return std::nullopt;
    if (value->is_number_integer()) {
        if (value->is_number_unsigned() && value->get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)) return INT64_MAX;
        return value->get<int64_t>();
    }
    auto real = number(name);
    if (!real || std::isnan(*real)) return std::nullopt;
    if (*real >= 9.2e18) return INT64_MAX;
    if (*real <= -9.2e18) return INT64_MIN;
    return static_cast<int64_t>(*real);
}

int64_t ToolArguments::clamped(const char* name) const {
    const Parameter& parameter = tool.parameter(name);
    if (!parameter.range || !parameter.fallback.is_number_integer())
        throw std::logic_error("The parameter " + std::string(name) + " has no range and default");
    auto value = integer(name);
    return value ? std::clamp(*value, parameter.range->first, parameter.range->second)
                 : parameter.fallback.get<int64_t>();
}

bool ToolArguments::flag(const char* name) const {
    const Parameter& parameter = tool.parameter(name);
    const json* value = member(name);
    if (value && value->is_boolean()) return value->get<bool>();
    return parameter.fallback.is_boolean() && parameter.fallback.get<bool>();
}

int64_t ToolArguments::megabytes(const char* name) const {
    const Parameter& parameter = tool.parameter(name);
    if (!parameter.fallback.is_number())
        throw std::logic_error("The parameter " + std::string(name) + " has no default");
    double bytes = number(name).value_or(parameter.fallback.get<double>()) * 1'000'000.0;
    if (!std::isfinite(bytes) || bytes >= 9.2e18 || bytes <= -9.2e18)
        throw OstrevaneError(std::string("Parameter ") + name + " is out of range");
    return static_cast<int64_t>(bytes);
}

std::optional<std::vector<std::string>> ToolArguments::strings(const char* name) const {
    const json* value = member(name);
    if (!value || !value->is_array()) return std::nullopt;
    std::vector<std::string> list;
    for (const auto& element : *value) {
        if (!element.is_string()) return std::nullopt;
        list.push_back(element.get<std::string>());
    }
    return list;
}

}  // namespace MCPTools
