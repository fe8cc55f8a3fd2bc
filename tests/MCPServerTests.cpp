// The MCP server driven through the built tool over pipes, with raw JSON-RPC lines.
#include <algorithm>
#include <ctime>
#include <set>
#include <sstream>

#include "TestSupport.hpp"
#include "backup/Backup.hpp"
#include "base/DisplayText.hpp"
#include "base/InputLimits.hpp"
#include "base/LineReader.hpp"
#include "config/Config.hpp"
#include "config/Rclone.hpp"
#include "platform/Trash.hpp"
#include "scan/Scanner.hpp"
#include "service/MCPServer.hpp"

using namespace testing_support;

namespace {

struct Session {
    std::vector<json> messages;
    std::vector<std::string> lines;
    std::string err;
    int status = -1;

    /// The reply whose id equals `id`.
    json reply(const json& id) const {
        for (const auto& message : messages)
            if (message.contains("id") && message["id"] == id && !message.contains("method")) return message;
        return nullptr;
    }
    std::vector<json> notifications() const {
        std::vector<json> found;
        for (const auto& message : messages)
            if (message.value("method", "") == "notifications/progress") found.push_back(message);
        return found;
    }
};

Session serve(const std::vector<std::string>& requests, std::vector<std::string> command = {"mcp"}) {
    std::string input;
    for (const auto& request : requests) input += request + "\n";
    auto result = runCLI(command, input);
    Session session;
    session.status = result.status;
    session.err = result.err;
    std::stringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        session.lines.push_back(line);
        session.messages.push_back(JSONOut::parse(line));
    }
    return session;
}

std::string call(int id, const std::string& tool, const json& arguments, std::optional<json> token = std::nullopt) {
    json params = {{"name", tool}, {"arguments", arguments}};
    if (token) params["_meta"] = {{"progressToken", *token}};
    return json{{"jsonrpc", "2.0"}, {"id", id}, {"method", "tools/call"}, {"params", params}}.dump();
}

json toolResult(const Session& session, int id) {
    json reply = session.reply(id);
    EXPECT_TRUE(reply.contains("result")) << reply.dump();
    return reply["result"];
}

json toolJSON(const Session& session, int id) {
    json result = toolResult(session, id);
    EXPECT_EQ(result["isError"], false) << result.dump();
    return JSONOut::parse(result["content"][0]["text"].get<std::string>());
}

}  // namespace

TEST(MCPProtocol, MalformedLinesAndTheServerKeepsServing) {
    ScopedHome home;
    auto session = serve({"", "    ", "not json", "[1,2]", "42", R"({"jsonrpc":"2.0","method":"ping"})",
                          R"({"jsonrpc":"2.0","id":null,"method":"ping"})",
                          R"({"jsonrpc":"2.0","id":"a","method":"nope"})", R"({"jsonrpc":"2.0","id":7})",
                          R"({"jsonrpc":"2.0","id":8,"method":"ping"})"});
    EXPECT_EQ(session.status, 0);
    ASSERT_EQ(session.lines.size(), 6u) << session.err;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(session.messages[i]["id"], nullptr);
        EXPECT_EQ(session.messages[i]["error"]["code"], -32700);
        EXPECT_EQ(session.messages[i]["error"]["message"], "Parse error");
    }
    EXPECT_EQ(session.messages[3], (json{{"jsonrpc", "2.0"}, {"id", nullptr}, {"result", json::object()}}));
    EXPECT_EQ(session.messages[4]["id"], "a");
    EXPECT_EQ(session.messages[4]["error"]["code"], -32601);
    EXPECT_EQ(session.messages[4]["error"]["message"], "Method not found: nope");
    EXPECT_EQ(session.messages[5]["id"], 8);
}

TEST(MCPProtocol, DeepOrOddRequestsGetAnErrorAndTheServerGoesOn) {
    ScopedHome home;
    const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
    const std::string deepId = R"({"jsonrpc":"2.0","method":"ping","id":)" + deep + "}";
    auto session = serve(
        {deep, deepId, R"({"jsonrpc":"2.0","id":[1],"method":"ping"})",
         R"({"jsonrpc":"2.0","id":{"a":1},"method":"ping"})",
         R"({"jsonrpc":"2.0","id":5,"method":"tools/call","params":{"name":"disk_status","arguments":[1]}})",
         call(6, "disk_status", json::object(), json{{"nested", {{"deeper", 1}}}}),
         R"({"jsonrpc":"2.0","id":7,"method":"ping"})"});
    EXPECT_EQ(session.status, 0) << session.err;
    ASSERT_EQ(session.lines.size(), 7u) << session.err;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(session.messages[i], (json{{"jsonrpc", "2.0"},
                                             {"id", nullptr},
                                             {"error", {{"code", -32600}, {"message", "Request nested too deeply"}}}}));
    // Any id is echoed; arguments that are not an object count as none.
    EXPECT_EQ(session.messages[2], (json{{"jsonrpc", "2.0"}, {"id", {1}}, {"result", json::object()}}));
    EXPECT_EQ(session.messages[3], (json{{"jsonrpc", "2.0"}, {"id", {{"a", 1}}}, {"result", json::object()}}));
    EXPECT_EQ(toolResult(session, 5)["isError"], false);
    // A token that is neither a text nor a number is not echoed in notifications.
    EXPECT_EQ(toolResult(session, 6)["isError"], false);
    EXPECT_TRUE(session.notifications().empty());
    EXPECT_EQ(session.reply(7)["result"], json::object());
}

TEST(MCPProtocol, AnyIdIsEchoedAndParamsOrArgumentsThatAreNoObjectAreEmpty) {
    ScopedHome home;
    // The request object is the first level of the cap of 64.
    auto nested = [](int levels) { return std::string(levels, '[') + std::string(levels, ']'); };
    const std::string underCap = nested(63);
    auto request = [](const std::string& id, const std::string& method, const std::string& params) {
        return R"({"jsonrpc":"2.0","id":)" + id + R"(,"method":")" + method + "\"" +
               (params.empty() ? "" : R"(,"params":)" + params) + "}";
    };
    auto session = serve({request(R"({"k":[1]})", "ping", ""), request(R"([1,"two",null,{}])", "ping", ""),
                          request(underCap, "ping", ""), request(nested(64), "ping", ""),
                          request("1", "initialize", R"("2024-11-05")"), request("2", "tools/call", "[1,2]"),
                          request("3", "tools/call", R"({"name":"disk_status","arguments":"notanobject"})"),
                          request("4", "tools/call", R"({"name":"backup_history","arguments":[{"limit":0}]})"),
                          request("5", "tools/call", R"({"name":"disk_status","arguments":null})")});
    ASSERT_EQ(session.lines.size(), 9u) << session.err;
    const json pong = json::object();
    EXPECT_EQ(session.messages[0], (json{{"jsonrpc", "2.0"}, {"id", {{"k", {1}}}}, {"result", pong}}));
    EXPECT_EQ(session.messages[1],
              (json{{"jsonrpc", "2.0"}, {"id", json::parse(R"([1,"two",null,{}])")}, {"result", pong}}));
    EXPECT_EQ(session.messages[2], (json{{"jsonrpc", "2.0"}, {"id", json::parse(underCap)}, {"result", pong}}));
    EXPECT_EQ(session.lines[2], R"({"id":)" + underCap + R"(,"jsonrpc":"2.0","result":{}})");
    EXPECT_EQ(session.messages[3], (json{{"jsonrpc", "2.0"},
                                         {"id", nullptr},
                                         {"error", {{"code", -32600}, {"message", "Request nested too deeply"}}}}));
    // Params that are no object are an empty one: no version asked, no tool named.
    EXPECT_EQ(session.reply(1)["result"]["protocolVersion"], "2025-06-18");
    EXPECT_EQ(session.reply(2)["error"], (json{{"code", -32602}, {"message", "Unknown tool: "}}));
    EXPECT_EQ(toolJSON(session, 3)["home"], home.home());
    EXPECT_EQ(toolJSON(session, 4), json::array());
    EXPECT_EQ(toolJSON(session, 5)["home"], home.home());
}

TEST(MCPProtocol, AnOverlongLineIsRefusedAndTheNextOneServed) {
    ScopedHome home;
    ScopedHooks<InputLimits::Hooks> limits;
    limits->requestLineBytes = 200;
    const std::string ping = R"({"jsonrpc":"2.0","id":2,"method":"ping"})";
    const std::string input = R"({"jsonrpc":"2.0","id":1,"method":"ping","pad":")" + std::string(5'000, 'x') + "\"}\n" +
                              ping + "\n";
    FILE* in = fmemopen(const_cast<char*>(input.data()), input.size(), "r");
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    MCPServer::make(in, out, err)->run();
    std::rewind(out);
    std::vector<json> replies;
    for (char buffer[4096]; std::fgets(buffer, sizeof buffer, out);) replies.push_back(json::parse(buffer));
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0]["id"], nullptr);
    EXPECT_EQ(replies[0]["error"], (json{{"code", -32600}, {"message", "Request too large"}}));
    EXPECT_EQ(replies[1]["id"], 2);
}

TEST(MCPProtocol, RequestsLongerThanAReadBlockAreServedWhole) {
    ScopedHome home;
    std::vector<std::string> requests;
    for (int id = 1; id <= 6; ++id) {
        const size_t pad = id % 2 ? 3 * LineReader::defaultBlockBytes + size_t(id) : size_t(id);
        requests.push_back(R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":"ping","pad":")" +
                           std::string(pad, 'x') + "\"}");
    }
    auto session = serve(requests);
    ASSERT_EQ(session.lines.size(), 6u) << session.err;
    for (int id = 1; id <= 6; ++id) EXPECT_EQ(session.messages[size_t(id) - 1]["id"], id);
}

TEST(MCPProtocol, InitializeNegotiatesTheVersion) {
    ScopedHome home;
    auto init = [](const json& params) {
        return json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", params}}.dump();
    };
    for (auto [asked, answered] : std::vector<std::pair<json, std::string>>{{"2024-11-05", "2024-11-05"},
                                                                            {"2025-03-26", "2025-03-26"},
                                                                            {"1999-01-01", "2025-06-18"},
                                                                            {5, "2025-06-18"},
                                                                            {nullptr, "2025-06-18"}}) {
        json params = asked.is_null() ? json::object() : json{{"protocolVersion", asked}};
        auto session = serve({init(params)});
        json result = session.reply(1)["result"];
        EXPECT_EQ(result["protocolVersion"], answered);
        EXPECT_EQ(result["capabilities"], (json{{"tools", {{"listChanged", false}}}}));
        EXPECT_EQ(result["serverInfo"], (json{{"name", "ostrevane"}, {"title", "Ostrevane"}, {"version", "0.3.1"}}));
        EXPECT_EQ(result["instructions"], MCPServer::instructions);
    }
    EXPECT_EQ(MCPServer::instructions.size(), 960u);
}

TEST(MCPProtocol, ToolListAndUnknownTools) {
    ScopedHome home;
    auto session = serve({R"({"jsonrpc":"2.0","id":1,"method":"tools/list"})",
                          R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{}})",
                          R"({"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"rm_rf"}})"});
    json tools = session.reply(1)["result"]["tools"];
    std::vector<std::string> names;
    for (const auto& tool : tools) names.push_back(tool["name"]);
    EXPECT_EQ(names,
              (std::vector<std::string>{"disk_status", "scan_directory", "largest_files", "get_suggestions",
                                        "apply_suggestion", "move_to_trash", "empty_trash", "list_backup_destinations",
                                        "backup_to_cloud", "offload_to_cloud", "backup_history", "evict_local_copies",
                                        "find_duplicates", "reveal_in_finder"}));
    EXPECT_EQ(tools[0]["inputSchema"], (json{{"type", "object"}, {"properties", json::object()}}));
    EXPECT_EQ(tools[7]["inputSchema"]["properties"], json::object());
    EXPECT_EQ(tools[8]["inputSchema"]["required"], (json{"source", "destination"}));
    EXPECT_EQ(tools[5]["inputSchema"]["properties"]["paths"]["items"], (json{{"type", "string"}}));
    EXPECT_EQ(tools[6]["annotations"], (json{{"title", "Empty the Trash"},
                                             {"readOnlyHint", false},
                                             {"destructiveHint", true},
                                             {"openWorldHint", false}}));
    EXPECT_EQ(session.reply(2)["error"], (json{{"code", -32602}, {"message", "Unknown tool: "}}));
    EXPECT_EQ(session.reply(3)["error"]["message"], "Unknown tool: rm_rf");
}

TEST(MCPProtocol, AReadOnlyServerOffersAndRunsOnlyTheToolsThatRead) {
    ScopedHome home;
    const fs::path victim = home.path("victim.txt");
    writeText(victim, "keep");
    std::vector<std::string> requests = {R"({"jsonrpc":"2.0","id":0,"method":"tools/list"})"};
    std::vector<std::string> writers;
    for (const json& tool : MCPServer::tools())
        if (tool["annotations"]["readOnlyHint"] == false) writers.push_back(tool["name"]);
    for (size_t i = 0; i < writers.size(); ++i)
        requests.push_back(
            call(int(i) + 1, writers[i], {{"paths", {victim.string()}}, {"path", victim.string()}, {"confirm", true}}));
    requests.push_back(call(100, "backup_history", json::object()));
    auto session = serve(requests, {"mcp", "--read-only"});

    EXPECT_EQ(session.reply(0)["result"]["tools"], MCPServer::readOnlyTools());
    std::vector<std::string> listed;
    for (const json& tool : MCPServer::readOnlyTools()) listed.push_back(tool["name"]);
    EXPECT_EQ(listed, (std::vector<std::string>{"disk_status", "scan_directory", "largest_files", "get_suggestions",
                                                "list_backup_destinations", "backup_history", "find_duplicates"}));
    ASSERT_EQ(writers.size(), 7u);
    for (size_t i = 0; i < writers.size(); ++i)
        EXPECT_EQ(session.reply(int(i) + 1)["error"],
                  (json{{"code", -32602}, {"message", "Unknown tool: " + writers[i]}}));
    EXPECT_EQ(toolResult(session, 100)["isError"], false);
    EXPECT_EQ(readText(victim), "keep");

    // Called directly, the server refuses them the same way.
    auto server = MCPServer::make(stdin, stdout, stderr, MCPServer::Offer::readOnly);
    EXPECT_THROW(server->call("move_to_trash", {{"paths", {victim.string()}}, {"confirm", true}}, std::nullopt),
                 OstrevaneError);
    EXPECT_TRUE(fs::exists(victim));
}

// Reading the stored files (the configuration, the backup history) makes
// neither their folder nor a lock file beside them: a read-only server
// leaves the home as it found it, whether that folder is there or not.
TEST(MCPProtocol, AReadOnlyServerWritesNothingNotEvenAScan) {
    ScopedHome home;
    auto everything = [&] {
        std::set<std::string> paths;
        for (const auto& entry : fs::recursive_directory_iterator(home.home())) paths.insert(entry.path().string());
        return paths;
    };
    writeFile(home.path("Movies/clip.mov"), 2'000'000);
    const std::vector<std::string> requests = {
        call(1, "list_backup_destinations", json::object()), call(2, "backup_history", json::object()),
        call(3, "disk_status", json::object()), call(4, "largest_files", json::object()),
        call(5, "get_suggestions", json::object())};
    for (const bool folderThere : {false, true}) {
        if (folderThere) Paths::supportDir();
        const std::set<std::string> before = everything();
        auto session = serve(requests, {"mcp", "--read-only"});
        for (int id = 1; id <= 5; ++id) EXPECT_EQ(toolResult(session, id)["isError"], false) << id;
        EXPECT_EQ(everything(), before) << (folderThere ? "with" : "without") << " the support folder";
    }
}

TEST(MCPTools, FailingToolIsAnErrorResultWithALogLine) {
    ScopedHome home;
    auto session = serve({call(1, "evict_local_copies", json::object()), call(2, "backup_to_cloud", json::object()),
                          call(3, "move_to_trash", {{"paths", "~/x"}}),
                          call(4, "apply_suggestion", {{"confirm", true}})});
    auto text = [&](int id) { return toolResult(session, id)["content"][0]["text"].get<std::string>(); };
    EXPECT_EQ(toolResult(session, 1)["isError"], true);
    EXPECT_EQ(text(1), "Missing parameter path");
    EXPECT_EQ(text(2), "Missing parameter destination");
    EXPECT_EQ(text(3), "Missing parameter paths");
    EXPECT_EQ(text(4), "Missing parameter id");
    EXPECT_NE(session.err.find("[ostrevane-mcp] tool evict_local_copies failed: Missing parameter path\n"),
              std::string::npos);
}

TEST(MCPTools, ScanWithProgressAndClampedArguments) {
    ScopedHome home;
    for (int i = 0; i < 5; ++i) writeFile(home.path("Movies/clip" + std::to_string(i) + ".mov"), 2'000'000);
    writeFile(home.path("Documents/a/b/c/deep.bin"), 3'000'000);
    auto session = serve({call(1, "scan_directory", {{"depth", 0}, {"top", 500}}, "tok-1"),
                          call(2, "scan_directory", {{"path", "~/Movies"}, {"depth", 1e300}}),
                          call(3, "disk_status", json::object())});
    json view = toolJSON(session, 1);
    EXPECT_EQ(view["path"], home.home());
    auto notifications = session.notifications();
    ASSERT_GE(notifications.size(), 1u);
    EXPECT_EQ(notifications[0]["params"]["progressToken"], "tok-1");
    EXPECT_FALSE(notifications[0].contains("id"));
    // The second call is answered from the home scan, with no token and no notification.
    json movies = toolJSON(session, 2);
    EXPECT_EQ(movies["fromCache"], true);
    EXPECT_EQ(notifications.size(), 1u);
    // Paths are written with their slashes unescaped.
    EXPECT_EQ(session.lines.back().find("\\/"), std::string::npos);
    json status = toolJSON(session, 3);
    EXPECT_EQ(status["home"], home.home());
    EXPECT_TRUE(status.contains("lastHomeScan"));
}

TEST(MCPTools, TrashToolsAreDryRunsUnlessConfirmed) {
    ScopedHome home;
    auto victim = writeFile(home.path("old/report.pdf"), 10'000);
    writeFile(home.path("Documents/keep.txt"), 10);
    auto session = serve({call(1, "move_to_trash", {{"paths", {"~/old/report.pdf"}}}),
                          call(2, "move_to_trash", {{"paths", {"~/Documents"}}, {"confirm", true}}),
                          call(3, "empty_trash", json::object())});
    json dry = toolJSON(session, 1);
    EXPECT_EQ(dry["dryRun"], true);
    EXPECT_TRUE(fs::exists(victim));
    json refused = toolJSON(session, 2);
    EXPECT_EQ(refused["trashed"], json::array());
    EXPECT_EQ(refused["failed"].size(), 1u);
    EXPECT_TRUE(fs::exists(home.path("Documents/keep.txt")));
    json emptyDry = toolJSON(session, 3);
    EXPECT_EQ(emptyDry["dryRun"], true);

    auto confirmed = serve({call(1, "move_to_trash", {{"paths", {"~/old/report.pdf"}}, {"confirm", true}})});
    json moved = toolJSON(confirmed, 1);
    EXPECT_EQ(moved["dryRun"], false);
    EXPECT_EQ(moved["trashed"], (json{victim.string()}));
    EXPECT_FALSE(fs::exists(victim));
}

TEST(MCPTools, APathGivenTwiceOrInsideAnotherGivenIsMovedOnceAndCountedOnce) {
    ScopedHome home;
    writeFile(home.path("old/a.bin"), 300'000);
    writeFile(home.path("old/b.bin"), 300'000);
    const json paths = {"~/old", "~/old/", home.path("old").string(), "~/old/a.bin"};
    auto session = serve(
        {call(1, "move_to_trash", {{"paths", paths}}), call(2, "move_to_trash", {{"paths", {"~/old"}}})});
    json dry = toolJSON(session, 1);
    EXPECT_EQ(dry["trashed"], (json{home.path("old").string()}));
    EXPECT_EQ(dry["failed"], json::array());
    EXPECT_EQ(dry["bytes"], toolJSON(session, 2)["bytes"]);

    auto confirmed = serve({call(1, "move_to_trash", {{"paths", paths}, {"confirm", true}})});
    json moved = toolJSON(confirmed, 1);
    EXPECT_EQ(moved["trashed"], dry["trashed"]);
    EXPECT_EQ(moved["failed"], json::array());
    EXPECT_EQ(moved["bytes"], dry["bytes"]);
    EXPECT_FALSE(fs::exists(home.path("old")));
}

TEST(MCPTools, NulBytesAndBlanksInPathsAreRefusedAndEdgeBlanksKept) {
    ScopedHome home;
    writeFile(home.path("Documents/keep.txt"), 10);
    writeFile(home.path(" important"), 10);
    writeFile(home.path("important"), 10);
    fs::create_directories(home.path("Backups"));
    const std::string nul("~/Documents\0x", 13), backups = home.path("Backups").string();
    // The blank path only in a dry run: where it is not refused, it names
    // the working folder of whoever runs the tests.
    auto session = serve({call(1, "move_to_trash", {{"paths", {nul, " "}}}),
                          call(6, "move_to_trash", {{"paths", {nul}}, {"confirm", true}}),
                          call(2, "offload_to_cloud", {{"source", nul}, {"destination", backups}, {"confirm", true}}),
                          call(3, "scan_directory", {{"path", " "}}), call(4, "reveal_in_finder", {{"path", nul}}),
                          call(5, "move_to_trash", {{"paths", {"~/ important"}}, {"confirm", true}})});
    json refused = toolJSON(session, 1);
    EXPECT_EQ(refused["trashed"], json::array());
    EXPECT_EQ(refused["failed"], (json{{{"path", nul}, {"reason", "The path contains a NUL byte"}},
                                       {{"path", " "}, {"reason", "The path is blank"}}}));
    auto error = [&](int id) { return toolResult(session, id)["content"][0]["text"].get<std::string>(); };
    EXPECT_EQ(error(2), "The path contains a NUL byte");
    EXPECT_EQ(error(3), "The path is blank");
    EXPECT_EQ(error(4), "The path contains a NUL byte");
    EXPECT_EQ(toolJSON(session, 6)["trashed"], json::array());
    EXPECT_TRUE(fs::exists(home.path("Documents/keep.txt")));
    EXPECT_FALSE(fs::exists(home.path("Backups/Ostrevane Backups")));

    EXPECT_EQ(toolJSON(session, 5)["trashed"], (json{home.home() + "/ important"}));
    EXPECT_FALSE(fs::exists(home.path(" important")));
    EXPECT_TRUE(fs::exists(home.path("important")));
}

TEST(MCPTools, AnErrorNamingAPathThatIsNoUTF8IsStillAnswered) {
    ScopedHome scoped;
    // A home folder whose name is no UTF-8: the errors of paths under it name
    // it, and a reply that cannot be encoded would leave the client waiting.
    const fs::path home = scoped.path("bad\xff");
    fs::create_directories(home);
    ScopedEnv badHome("OSTREVANE_HOME", home.string());
    fs::create_directories(scoped.path("Backups"));
    const std::string backups = scoped.path("Backups").string();
    auto session = serve({call(1, "evict_local_copies", {{"path", "~/gone"}}),
                          call(2, "backup_to_cloud", {{"source", "~/gone"}, {"destination", backups}}),
                          call(3, "scan_directory", {{"path", "~/gone"}}),
                          R"({"jsonrpc":"2.0","id":4,"method":"ping"})", call(5, "disk_status", json::object())});
    ASSERT_EQ(session.lines.size(), 5u) << session.err;
    const std::string shownHome = home.string();
    for (int id = 1; id <= 3; ++id) {
        json result = toolResult(session, id);
        EXPECT_EQ(result["isError"], true);
        // Named in a sentence as every path is, its stray byte quoted.
        EXPECT_NE(result["content"][0]["text"].get<std::string>().find(DisplayText::path(shownHome + "/gone")),
                  std::string::npos)
            << result.dump();
    }
    // And the status names that home rather than fail to encode as a whole.
    EXPECT_EQ(toolJSON(session, 5).value("home", ""), shownHome);
}

TEST(MCPTools, NamesFoundOnDiskThatAreNoUTF8AreListedNotAnEncodingFailure) {
    ScopedHome home;
    ScopedHooks<Rclone::Hooks> rclone;
    rclone->locate = [] { return std::optional<std::string>(); };
    // A disk whose label came in a legacy code page, mounted under its name,
    // and a sync client's folder named after an account in one.
    const fs::path volume = home.scratch() / "M\xfcll";
    fs::create_directories(volume);
    ScopedMountTable table({volume});
    fs::create_directories(home.path("Insync/m\xe9@gmail.com/Google Drive"));
    auto server = MCPServer::make(stdin, stdout, stderr);
    auto listed = [&](const std::string& tool, const char* list, const char* key, const std::string& value) {
        json document = JSONOut::parse(server->call(tool, json::object(), std::nullopt));
        for (const json& entry : document.value(list, json::array()))
            if (entry[key] == value) return true;
        ADD_FAILURE() << tool << ": " << document.dump();
        return false;
    };
    EXPECT_TRUE(listed("disk_status", "volumes", "mountPoint", volume.string()));
    EXPECT_TRUE(listed("list_backup_destinations", "destinations", "path",
                       home.path("Insync/m\xe9@gmail.com/Google Drive").string()));
}

TEST(MCPTools, ListingDestinationsSaysWhenTheConfigurationCannotBeRead) {
    ScopedHome home;
    auto first = serve({call(1, "list_backup_destinations", json::object())});
    EXPECT_FALSE(toolJSON(first, 1).contains("warning"));
    writeText(ConfigStore::filePath(), "{\"plans\": [");
    auto second = serve({call(1, "list_backup_destinations", json::object())});
    json listing = toolJSON(second, 1);
    EXPECT_EQ(listing["plans"], json::array());
    EXPECT_EQ(listing["warning"], "The configuration file " + Paths::abbreviate(ConfigStore::filePath().string()) +
                                      " couldn’t be read and was ignored.");
}

TEST(MCPTools, RevealEscapesItsPath) {
    ScopedHome home;
    auto session = serve({call(1, "reveal_in_finder", {{"path", "~/we\"ird\\name"}})});
    json revealed = toolJSON(session, 1);
    EXPECT_EQ(revealed["revealed"], home.home() + "/we\"ird\\name");
}

TEST(MCPTools, HugeAndNegativeNumbersAreSafe) {
    ScopedHome home;
    writeFile(home.path("big.bin"), 2'000'000);
    auto session = serve({call(1, "largest_files", {{"limit", -5}, {"min_size_mb", 0.5}}),
                          call(2, "largest_files", {{"min_size_mb", 1e300}}),
                          call(3, "backup_history", {{"limit", -1e30}})});
    json files = toolJSON(session, 1);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0]["path"], home.home() + "/big.bin");
    EXPECT_EQ(toolResult(session, 2)["isError"], true);
    EXPECT_EQ(toolJSON(session, 3), json::array());
}

namespace {
int depthOf(const json& node) {
    int deepest = 0;
    if (node.contains("children"))
        for (const auto& child : node["children"]) deepest = std::max(deepest, 1 + depthOf(child));
    return deepest;
}
}  // namespace

TEST(MCPTools, CountsAreClampedAndDefaulted) {
    ScopedHome home;
    fs::path folder = home.path("deep");
    for (int level = 0; level < 8; ++level) {
        folder /= "level" + std::to_string(level);
        writeFile(folder / "data.bin", 2'000'000);
    }
    for (int i = 0; i < 3; ++i) writeFile(home.path("deep/side" + std::to_string(i) + "/x.bin"), 2'000'000);
    const std::string deep = home.path("deep").string();
    auto session = serve({call(1, "scan_directory", {{"path", deep}, {"depth", 9}}),
                          call(2, "scan_directory", {{"path", deep}, {"depth", 0}, {"top", 0}}),
                          call(3, "scan_directory", {{"path", deep}, {"depth", "3"}}),
                          call(4, "largest_files", {{"path", deep}, {"limit", 0}, {"min_size_mb", 1}}),
                          call(5, "largest_files", {{"path", deep}, {"limit", 2.9}, {"min_size_mb", 1}})});
    EXPECT_EQ(depthOf(toolJSON(session, 1)["tree"]), 6);
    json smallest = toolJSON(session, 2)["tree"];
    EXPECT_EQ(depthOf(smallest), 1);
    EXPECT_EQ(smallest["children"].size(), 1u);
    EXPECT_EQ(depthOf(toolJSON(session, 3)["tree"]), 2);  // a string is no integer: the default
    EXPECT_EQ(toolJSON(session, 4).size(), 1u);
    EXPECT_EQ(toolJSON(session, 5).size(), 2u);  // fractions are truncated
}

TEST(MCPTools, SuggestionIdsAreCheckedAgainstTheReport) {
    ScopedHome home;
    writeFile(home.path("Downloads/tool.iso"), 51'000'000);
    auto session = serve({call(1, "get_suggestions", json::object()),
                          call(2, "apply_suggestion", {{"id", "no-such-id"}, {"confirm", true}})});
    std::vector<std::string> ids;
    const json report = toolJSON(session, 1);
    for (const auto& suggestion : report["suggestions"]) ids.push_back(suggestion["id"]);
    ASSERT_FALSE(ids.empty());
    std::string available;
    for (const auto& id : ids) available += (available.empty() ? "" : ", ") + id;
    json failed = toolResult(session, 2);
    EXPECT_EQ(failed["isError"], true);
    EXPECT_EQ(failed["content"][0]["text"], "No suggestion with id no-such-id. Available: " + available);
    EXPECT_TRUE(fs::exists(home.path("Downloads/tool.iso")));
}

// Emptying the Trash through its suggestion deletes what the session was
// shown of the Trash (by get_suggestions or a dry run of it); a cache the
// session moved there in between stays restorable. Shown nothing, the
// session approved nothing to delete.
TEST(MCPTools, ApplyingTheTrashSuggestionKeepsWhatTheSessionMovedThereSinceItWasShown) {
    struct Case {
        const char* name;
        std::vector<std::string> requests;
        bool shown;
    };
    const std::vector<Case> sessions = {
        {"shown by get_suggestions",
         {call(1, "get_suggestions", json::object()), call(2, "apply_suggestion", {{"id", "trash"}}),
          call(3, "apply_suggestion", {{"id", "xdg-cache-apps"}, {"confirm", true}}),
          call(4, "apply_suggestion", {{"id", "trash"}, {"confirm", true}})},
         true},
        {"shown by a dry run",
         {call(1, "disk_status", json::object()), call(2, "apply_suggestion", {{"id", "trash"}}),
          call(3, "apply_suggestion", {{"id", "xdg-cache-apps"}, {"confirm", true}}),
          call(4, "apply_suggestion", {{"id", "trash"}, {"confirm", true}})},
         true},
        {"never shown",
         {call(1, "disk_status", json::object()), call(2, "disk_status", json::object()),
          call(3, "apply_suggestion", {{"id", "xdg-cache-apps"}, {"confirm", true}}),
          call(4, "apply_suggestion", {{"id", "trash"}, {"confirm", true}})},
         false},
    };
    for (const auto& [name, requests, shownFirst] : sessions) {
        SCOPED_TRACE(name);
        ScopedHome home;
        allocate(home.path("Music/track03.flac"), 12'000'000);
        allocate(home.path(".cache/pip/http/wheel"), 60'000'000);
        ASSERT_EQ(runCLI({"trash", "~/Music/track03.flac", "--execute"}).status, 0);
        const fs::path files = Trash::filesFolder();
        ASSERT_TRUE(fs::exists(files / "track03.flac"));
        const int64_t shown = Trash::allocatedSize();
        auto session = serve(requests);
        EXPECT_EQ(toolJSON(session, 3)["trashed"], (json{home.path(".cache/pip/http").string()}));
        const json emptied = toolJSON(session, 4);
        EXPECT_EQ(emptied["failed"], json::array());
        EXPECT_EQ(emptied["bytes"], shownFirst ? shown : 0);
        const std::string kept = shownFirst ? " 1 item moved to the Trash since the suggestion was made was kept; "
                                              "ostrevane empty-trash --confirm empties it."
                                            : " 2 items moved to the Trash since the suggestion was made were kept; "
                                              "ostrevane empty-trash --confirm empties them.";
        EXPECT_TRUE(emptied["message"].get<std::string>().ends_with(kept)) << emptied["message"];
        EXPECT_EQ(fs::exists(files / "track03.flac"), !shownFirst);
        EXPECT_TRUE(fs::exists(files / "http/wheel"));
    }
}

// What another program trashes after the suggestion was shown stays, though
// its record, written in a zone hours behind, says it was deleted before.
TEST(MCPTools, ApplyingTheTrashSuggestionKeepsWhatAnotherProgramTrashedSinceItWasShown) {
    ScopedHome home;
    allocate(home.path("Music/track03.flac"), 12'000'000);
    ASSERT_EQ(runCLI({"trash", "~/Music/track03.flac", "--execute"}).status, 0);
    auto server = MCPServer::make(stdin, stdout, stderr);
    auto run = [&](const std::string& tool, const json& arguments) {
        return JSONOut::parse(server->call(tool, arguments, std::nullopt));
    };
    run("get_suggestions", json::object());
    const std::time_t earlier = std::time(nullptr) - 5 * 3600;
    std::tm local{};
    ::localtime_r(&earlier, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const fs::path files = Trash::filesFolder();
    writeFile(files / "report.txt", 10);
    writeText(fs::path(Trash::infoFolder()) / "report.txt.trashinfo",
              "[Trash Info]\nPath=" + home.path("Documents/report.txt").string() + "\nDeletionDate=" + date + "\n");

    const json emptied = run("apply_suggestion", {{"id", "trash"}, {"confirm", true}});
    EXPECT_TRUE(emptied["message"].get<std::string>().ends_with(
        " 1 item moved to the Trash since the suggestion was made was kept; ostrevane empty-trash --confirm "
        "empties it."))
        << emptied["message"];
    EXPECT_FALSE(fs::exists(files / "track03.flac"));
    EXPECT_TRUE(fs::exists(files / "report.txt"));
}

// A confirmed clean moves what the dry run it confirms listed, not what a
// new scan finds by then, and names what it left.
TEST(MCPTools, AConfirmedApplyMovesOnlyWhatTheSessionsDryRunListed) {
    ScopedHome home;
    ScopedHooks<Rclone::Hooks> rclone;
    rclone->locate = [] { return std::optional<std::string>(); };
    const double old = 200.0 * 86'400;
    for (const char* name : {"a.csv", "b.csv"}) setAge(allocate(home.path("Downloads") / name, 60'000'000), old);
    writeFile(home.path("scratch.txt"), 10);
    auto server = MCPServer::make(stdin, stdout, stderr);
    auto run = [&](const std::string& tool, const json& arguments) {
        return JSONOut::parse(server->call(tool, arguments, std::nullopt));
    };
    run("get_suggestions", json::object());
    const json dry = run("apply_suggestion", {{"id", "downloads-old"}});
    const json listed = {home.path("Downloads/a.csv").string(), home.path("Downloads/b.csv").string()};
    ASSERT_EQ(dry["trashed"].size(), 2u) << dry.dump();
    setAge(allocate(home.path("Downloads/c.csv"), 60'000'000), old);
    // A move of anything drops the stored scan: the confirm scans afresh.
    run("move_to_trash", {{"paths", {"~/scratch.txt"}}, {"confirm", true}});

    const json moved = run("apply_suggestion", {{"id", "downloads-old"}, {"confirm", true}});
    std::vector<std::string> trashed = moved["trashed"];
    std::sort(trashed.begin(), trashed.end());
    EXPECT_EQ(json(trashed), listed);
    EXPECT_TRUE(fs::exists(home.path("Downloads/c.csv")));
    EXPECT_TRUE(moved["message"].get<std::string>().ends_with(
        " 1 newer item the dry run didn’t list was left where it is: ~/Downloads/c.csv."))
        << moved["message"];
}

// A confirmed clean moves the items its dry run listed as that dry run
// measured them: one replaced since by a folder of the same name (holding
// the user's documents) stays, whether the confirm reads the dry run's
// stored scan or scans afresh and finds the folder old enough to list.
TEST(MCPTools, AConfirmedApplyMovesOnlyWhatTheDryRunMeasured) {
    const double old = 200.0 * 86'400;
    for (const bool scannedAgain : {false, true}) {
        ScopedHome home;
        ScopedHooks<Rclone::Hooks> rclone;
        rclone->locate = [] { return std::optional<std::string>(); };
        for (const char* name : {"a.bin", "b.bin"}) setAge(allocate(home.path("Downloads") / name, 60'000'000), old);
        const fs::path work = allocate(home.path("Documents/work/film.mkv"), 60'000'000).parent_path();
        setAge(work / "film.mkv", old);
        writeFile(home.path("scratch.txt"), 10);
        auto server = MCPServer::make(stdin, stdout, stderr);
        auto run = [&](const std::string& tool, const json& arguments) {
            return JSONOut::parse(server->call(tool, arguments, std::nullopt));
        };
        const json dry = run("apply_suggestion", {{"id", "downloads-old"}});
        ASSERT_EQ(dry["trashed"].size(), 2u) << dry.dump();
        const fs::path item = home.path("Downloads/a.bin");
        fs::remove(item);
        fs::rename(work, item);
        // A move of anything drops the stored scan: the confirm scans afresh.
        if (scannedAgain) run("move_to_trash", {{"paths", {"~/scratch.txt"}}, {"confirm", true}});

        const json moved = run("apply_suggestion", {{"id", "downloads-old"}, {"confirm", true}});
        EXPECT_TRUE(fs::exists(item / "film.mkv")) << "the documents were moved: " << moved.dump();
        EXPECT_EQ(moved["trashed"], (json{home.path("Downloads/b.bin").string()})) << moved.dump();
        EXPECT_EQ(
            moved["failed"],
            (json{{{"path", item.string()}, {"reason", "It changed since the scan; run `ostrevane scan --refresh`"}}}))
            << moved.dump();
    }
}

TEST(MCPTools, BackupsCopyUnlessDryRunAndHistoryKeepsTheNewestFirst) {
    ScopedHome home;
    writeFile(home.path("work/a.txt"), 100);
    writeFile(home.path("work/node_modules/pkg.js"), 100);
    fs::create_directories(home.path("Backups"));
    const std::string destination = home.path("Backups").string();
    auto session = serve(
        {call(1, "backup_to_cloud", {{"source", "~/work"}, {"destination", destination}, {"dry_run", true}}),
         call(2, "backup_to_cloud", {{"source", "~/work"}, {"destination", destination}, {"exclude", "a.txt"}}),
         call(3, "backup_to_cloud", {{"source", "~/work"}, {"destination", destination}, {"exclude", {"a.txt"}}}),
         call(4, "backup_history", json::object()), call(5, "backup_history", {{"limit", 0}}),
         call(6, "offload_to_cloud", {{"destination", destination}})});
    json dry = toolJSON(session, 1);
    EXPECT_EQ(dry["dryRun"], true);
    // Without dry_run the copy is real; a plain-string exclude is ignored while
    // the default names still apply.
    json real = toolJSON(session, 2);
    EXPECT_EQ(real["dryRun"], false);
    EXPECT_EQ(real["filesCopied"], 1);
    EXPECT_TRUE(fs::exists(fs::path(real["target"].get<std::string>()) / "a.txt"));
    EXPECT_FALSE(fs::exists(fs::path(real["target"].get<std::string>()) / "node_modules"));
    json excluded = toolJSON(session, 3);
    EXPECT_EQ(excluded["filesTotal"], 0);

    json history = toolJSON(session, 4);
    ASSERT_EQ(history.size(), 2u);  // dry runs are not recorded
    EXPECT_EQ(history[0]["id"], excluded["id"]);
    EXPECT_EQ(history[1]["id"], real["id"]);
    json one = toolJSON(session, 5);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0]["id"], excluded["id"]);

    // The destination resolves before the source is asked for.
    EXPECT_EQ(toolResult(session, 6)["content"][0]["text"], "Missing parameter source");
}

TEST(MCPTools, AnUnreadableHistoryIsAnErrorAndTheNextBackupSaysItWasKept) {
    ScopedHome home;
    writeFile(home.path("work/a.txt"), 100);
    fs::create_directories(home.path("Backups"));
    writeText(BackupHistory::filePath(), "{ not json");
    auto session = serve(
        {call(1, "backup_history", json::object()),
         call(2, "backup_to_cloud", {{"source", "~/work"}, {"destination", home.path("Backups").string()}}),
         call(3, "backup_history", json::object())});
    json unreadable = toolResult(session, 1);
    EXPECT_EQ(unreadable["isError"], true);
    EXPECT_EQ(unreadable["content"][0]["text"], "The backup history file " +
                                                    Paths::abbreviate(BackupHistory::filePath().string()) +
                                                    " couldn’t be read and was ignored.");
    EXPECT_TRUE(toolJSON(session, 2)["historyNotice"].get<std::string>().starts_with(
        "The backup history file couldn’t be read; its contents were kept in ~/"));
    EXPECT_EQ(toolJSON(session, 3).size(), 1u);
}

TEST(MCPProgress, FirstEventIsSentAndLaterOnesAtMostOncePerSecond) {
    ScopedHome home;
    FILE* out = std::tmpfile();
    FILE* in = std::tmpfile();
    auto server = MCPServer::make(in, out, stderr);
    EXPECT_FALSE(server->scanProgress(std::nullopt));
    EXPECT_FALSE(server->backupProgress(std::nullopt));

    auto scan = server->scanProgress(json(7));
    ASSERT_TRUE(scan);
    for (int i = 1; i <= 50; ++i) scan(ScanProgress{i, 1000 * i, ""});
    auto backup = server->backupProgress(json("b"));  // a throttle of its own
    BackupProgress progress;
    progress.filesDone = 1;
    progress.filesTotal = 4;
    progress.bytesDone = 10;
    progress.bytesTotal = 40;
    backup(progress);

    std::rewind(out);
    std::vector<json> lines;
    for (char buffer[4096]; std::fgets(buffer, sizeof buffer, out);) lines.push_back(json::parse(buffer));
    std::fclose(out);
    std::fclose(in);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              (json{{"jsonrpc", "2.0"},
                    {"method", "notifications/progress"},
                    {"params", {{"progressToken", 7}, {"progress", 1}, {"message", "Scanned 1 file, 1 KB"}}}}));
    EXPECT_EQ(lines[1]["params"],
              (json{{"progressToken", "b"}, {"progress", 10}, {"total", 40}, {"message", "Processed 1/4 files"}}));
}
