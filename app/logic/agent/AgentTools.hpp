// The agent page's list of the MCP server's tools: each tool's name, title
// and what it may do, read from the server's listing of its tool table.
#pragma once

#include <string>
#include <vector>

#include "Support.hpp"

/// What a tool may do, as its tag says.
enum class ToolAccess { readOnly, confirmFirst, writes };

struct ToolEntry {
    std::string name;
    std::string title;
    ToolAccess access = ToolAccess::readOnly;

    bool operator==(const ToolEntry&) const = default;
};

namespace AgentTools {
/// One entry per element of `tools`, in order. A missing or non-text "name"
/// or "title" is empty. From "annotations": "readOnlyHint" when a Boolean,
/// else read-only; "destructiveHint" when a Boolean, else not destructive.
/// Read-only wins over destructive; neither is `writes`.
std::vector<ToolEntry> entries(const json& tools);
}  // namespace AgentTools
