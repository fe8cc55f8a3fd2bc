// The tool table as the one source of each tool's listing, defaults and
// read-only flag.
#include "TestSupport.hpp"
#include "service/MCPServer.hpp"
#include "service/MCPToolTable.hpp"

using namespace testing_support;
using MCPTools::Parameter;
using MCPTools::ParameterType;
using MCPTools::Tool;
using MCPTools::ToolArguments;

namespace {

/// What the runner reads for `parameter` from `arguments`, as the listing would write it.
json runnerValue(const Tool& tool, const Parameter& parameter, const json& arguments) {
    const ToolArguments reader(tool, arguments);
    const char* name = parameter.name.c_str();
    switch (parameter.type) {
    case ParameterType::integer: return reader.clamped(name);
    case ParameterType::number: return reader.megabytes(name) / 1'000'000;
    case ParameterType::flag: return reader.flag(name);
    default: return nullptr;
    }
}

}  // namespace

TEST(MCPToolTable, EveryDefaultIsListedAndTakenByTheRunnerFromTheOneTable) {
    const json& listing = MCPServer::tools();
    const auto& table = MCPTools::table();
    ASSERT_EQ(listing.size(), table.size());
    std::map<std::string, std::string> stated;
    for (size_t i = 0; i < table.size(); ++i) {
        const Tool& tool = table[i];
        EXPECT_EQ(listing[i]["name"], tool.name);
        for (const Parameter& parameter : tool.parameters) {
            SCOPED_TRACE(tool.name + "." + parameter.name);
            const std::string listed = listing[i]["inputSchema"]["properties"][parameter.name]["description"];
            const std::string defaultText = "Default " + parameter.fallback.dump() + ".";
            EXPECT_EQ(listed.ends_with(defaultText), parameter.defaultStated) << listed;
            if (parameter.defaultStated) stated[tool.name + "." + parameter.name] = parameter.fallback.dump();
            if (parameter.fallback.is_null()) continue;
            // Absent, or of the wrong type, the argument is the table's default.
            EXPECT_EQ(runnerValue(tool, parameter, json::object()), parameter.fallback);
            EXPECT_EQ(runnerValue(tool, parameter, {{parameter.name, "text"}}), parameter.fallback);
            // A given value is read, not the default.
            const json given = parameter.type == ParameterType::flag ? json(!parameter.fallback.get<bool>())
                               : parameter.range                     ? json(parameter.range->second)
                                                                     : json(parameter.fallback.get<int64_t>() + 7);
            EXPECT_EQ(runnerValue(tool, parameter, {{parameter.name, given}}), given);
        }
    }
    // Every default the listing states, so none is lost from the table unnoticed.
    EXPECT_EQ(stated, (std::map<std::string, std::string>{{"backup_history.limit", "10"},
                                                          {"backup_to_cloud.dry_run", "false"},
                                                          {"find_duplicates.min_size_mb", "50"},
                                                          {"get_suggestions.quick", "false"},
                                                          {"largest_files.limit", "25"},
                                                          {"largest_files.min_size_mb", "100"},
                                                          {"scan_directory.depth", "2"},
                                                          {"scan_directory.top", "10"}}));
}

TEST(MCPToolTable, ReadOnlyFlagDecidesTheHintAndWhatAReadOnlyServerOffers) {
    const auto& table = MCPTools::table();
    std::vector<std::string> readers;
    for (const Tool& tool : table) {
        EXPECT_EQ(tool.listing()["annotations"]["readOnlyHint"], tool.readOnly) << tool.name;
        EXPECT_FALSE(tool.readOnly && tool.destructive) << tool.name;
        if (tool.readOnly) readers.push_back(tool.name);
    }
    std::vector<std::string> offered;
    for (const json& entry : MCPServer::readOnlyTools()) offered.push_back(entry["name"]);
    EXPECT_EQ(offered, readers);
}

TEST(MCPToolTable, AnArgumentTheTableDoesNotListCannotBeRead) {
    const Tool& status = *MCPTools::find("disk_status");
    const json arguments = {{"limit", 3}};
    const ToolArguments reader(status, arguments);
    EXPECT_THROW(reader.integer("limit"), std::logic_error);
    EXPECT_THROW(reader.flag("confirm"), std::logic_error);
    EXPECT_EQ(MCPTools::find("rm_rf"), nullptr);
}
