#include <gtest/gtest.h>

#include "agent/AgentTools.hpp"
#include "agent/ClaudeRunner.hpp"
#include "service/MCPServer.hpp"

namespace {
constexpr auto R = ToolAccess::readOnly;
constexpr auto C = ToolAccess::confirmFirst;
constexpr auto W = ToolAccess::writes;
}  // namespace

TEST(AgentTools, TheServersTableGivesEachToolItsTag) {
    const std::vector<ToolEntry> expected = {
        {"disk_status", "Disk status", R},
        {"scan_directory", "Scan a folder", R},
        {"largest_files", "Largest files", R},
        {"get_suggestions", "Cleanup suggestions", R},
        {"apply_suggestion", "Apply a suggestion", C},
        {"move_to_trash", "Move to Trash", C},
        {"empty_trash", "Empty the Trash", C},
        {"list_backup_destinations", "Backup destinations", R},
        {"backup_to_cloud", "Back up a folder", W},
        {"offload_to_cloud", "Offload to cloud", C},
        {"backup_history", "Backup history", R},
        {"evict_local_copies", "Release local cloud copies", W},
        {"find_duplicates", "Find duplicate files", R},
        {"reveal_in_finder", "Show in the file manager", W},
    };
    const auto entries = AgentTools::entries(MCPServer::tools());
    EXPECT_EQ(entries, expected);

    // The runner allows exactly the tools tagged read-only, in the table's order.
    std::vector<std::string> readOnly;
    for (const auto& entry : entries)
        if (entry.access == R) readOnly.push_back(entry.name);
    EXPECT_EQ(readOnly, ClaudeRunner::readOnlyTools());
}

TEST(AgentTools, MissingOrOddAnnotationsFallBackToReadOnlyAndNotDestructive) {
    const json tools = json::parse(R"([
        {"name": "a", "title": "A"},
        {"name": "b", "annotations": "none"},
        {"name": 3, "title": null, "annotations": {"readOnlyHint": "no", "destructiveHint": true}},
        {"name": "d", "annotations": {"readOnlyHint": false, "destructiveHint": "yes"}},
        {"name": "e", "annotations": {"readOnlyHint": false, "destructiveHint": true}},
        {"name": "f", "annotations": {"readOnlyHint": true, "destructiveHint": true}},
        "not a tool"
    ])");
    const std::vector<ToolEntry> expected = {
        {"a", "A", R}, {"b", "", R}, {"", "", R}, {"d", "", W}, {"e", "", C}, {"f", "", R}, {"", "", R},
    };
    EXPECT_EQ(AgentTools::entries(tools), expected);
}
