// The MCP tools, each described once: what "tools/list" shows of it, the
// defaults its runner falls back on, whether a read-only server offers it, and
// the function that runs it. The listing, the dispatcher, the read-only filter
// and the agent page's list are all read from this one table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Support.hpp"

class MCPServer;

namespace MCPTools {

enum class ParameterType { text, integer, number, flag, texts };

/// One argument of a tool.
struct Parameter {
    std::string name;
    ParameterType type = ParameterType::text;
    /// What the listing says about it, before any stated default.
    std::string description;
    /// The value the runner takes when the argument is absent or of the wrong
    /// type; null when there is none.
    json fallback;
    /// Whether the listing ends the description with " Default <fallback>.".
    bool defaultStated = false;
    /// Integers only: a given value is clamped into [first, second].
    std::optional<std::pair<int64_t, int64_t>> range;

    /// The description as "tools/list" shows it.
    std::string listedDescription() const;
};

class ToolArguments;
struct Tool;

/// What a runner gets: the tool's arguments read against its table entry, and
/// the progress reporting of the request that called it.
struct ToolCall {
    const ToolArguments& arguments;
    MCPServer& server;
    const std::optional<json>& progressToken;
};

using Runner = std::string (*)(const ToolCall& call);

struct Tool {
    std::string name;
    std::string title;
    std::string description;
    std::vector<Parameter> parameters;
    std::vector<std::string> required;
    /// What "readOnlyHint" says, and what a read-only server offers.
    bool readOnly = false;
    bool destructive = false;
    Runner run = nullptr;

    /// The parameter of that name; throws std::logic_error when the table
    /// declares none, so a runner cannot read an argument it does not list.
    const Parameter& parameter(const std::string& name) const;
    /// The entry "tools/list" shows for it.
    json listing() const;
};

/// The fourteen tools, in the order "tools/list" shows them.
const std::vector<Tool>& table();
/// The tool of that name, or none.
const Tool* find(const std::string& name);

/// Reads a tool's arguments; a member of the wrong JSON type counts as absent,
/// and an absent member takes its table default.
class ToolArguments {
public:
    ToolArguments(const Tool& tool, const json& arguments) : tool(tool), arguments(arguments) {}

    /// A non-empty text, else none.
    std::optional<std::string> string(const char* name) const;
    /// string(name), else an error naming the missing parameter.
    std::string require(const char* name) const;
    /// A number (or Boolean), else none.
    std::optional<double> number(const char* name) const;
    /// Fractions truncated toward zero; huge values saturate to the 64-bit
    /// range instead of overflowing the conversion.
    std::optional<int64_t> integer(const char* name) const;
    /// integer(name) clamped into the parameter's range, else its default.
    int64_t clamped(const char* name) const;
    /// A Boolean, else the parameter's default (false when it has none).
    bool flag(const char* name) const;
    /// Megabytes of 1,000,000 bytes, the parameter's default when absent; a
    /// size with no valid byte count is an error.
    int64_t megabytes(const char* name) const;
    /// An array of texts, else none.
    std::optional<std::vector<std::string>> strings(const char* name) const;

private:
    const json* member(const char* name) const;
    const Tool& tool;
    const json& arguments;
};

}  // namespace MCPTools
