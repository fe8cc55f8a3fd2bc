#include <gtest/gtest.h>
#include <signal.h>

#include <map>
#include <sstream>

#include "AgentTestSupport.hpp"
#include "agent/AgentCommands.hpp"
#include "agent/ClaudeRunner.hpp"
#include "agent/Utf8Stream.hpp"

using namespace agent_testing;

namespace {
class ClaudeRunnerTest : public ::testing::Test {
protected:
    bool finished(double seconds = 10) {
        return drainUntil(
            dispatcher, [&] { return !runner.running(); }, seconds);
    }
    /// The fake's process id once it has written it.
    pid_t fakePid() {
        drainUntil(dispatcher, [&] { return fake.trace("pid").ends_with("\n"); });
        return std::stoi(fake.trace("pid"));
    }

    FakeClaude fake;
    ManualDispatcher dispatcher;
    ClaudeRunner runner{dispatcher};
};

bool isGone(pid_t pid) { return ::kill(pid, 0) == -1 && errno == ESRCH; }
}  // namespace

TEST(Utf8Stream, CarriesAPartialCharacterToTheNextRead) {
    Utf8Stream stream;
    EXPECT_EQ(stream.feed("a\xE4\xB8"), "a");
    EXPECT_EQ(stream.feed("\xAD\xE6"), "\xE4\xB8\xAD");
    EXPECT_EQ(stream.feed("\x96\x87"), "\xE6\x96\x87");
    EXPECT_EQ(stream.feed("\xFF!"), "\xEF\xBF\xBD!");
    EXPECT_EQ(stream.feed("\xF0\x9F"), "");
    EXPECT_EQ(stream.finish(), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST_F(ClaudeRunnerTest, StreamsTheAnswerOfTheExactCommandAndRefusesASecondQuestion) {
    fake.set("PATH", "/usr/bin:/bin");
    const std::string cli = "/opt/Ostre vane/ostrevane";
    runner.ask("how full is it?", fake.claude(), cli);
    ASSERT_TRUE(drainUntil(dispatcher, [&] { return runner.answer() == "first part\n"; }));
    EXPECT_TRUE(runner.running());
    runner.ask("another question", fake.claude(), cli);
    EXPECT_EQ(runner.answer(), "first part\n");

    fake.release();
    ASSERT_TRUE(finished());
    EXPECT_EQ(runner.answer(), "first part\nsecond **part**\n");
    EXPECT_EQ(runner.error(), std::nullopt);
    EXPECT_EQ(fake.trace("stdin"), "how full is it?");
    // No folder of another system's package manager.
    EXPECT_EQ(fake.trace("path"), fake.bin.string() + ":/usr/local/bin:/usr/bin:/bin:/usr/bin:/bin");
    EXPECT_EQ(fs::path(Text::trim(fake.trace("pwd"))), Paths::cacheDir() / "agent");

    auto arguments = fake.arguments();
    ASSERT_EQ(arguments.size(), 13u);
    const std::string prefix = "mcp__ostrevane__";
    std::vector<std::string> expected = {
        "-p",
        "--output-format",
        "text",
        "--no-session-persistence",
        "--strict-mcp-config",
        "--mcp-config",
        arguments[6],
        "--allowedTools",
        prefix + "disk_status," + prefix + "scan_directory," + prefix + "largest_files," + prefix + "get_suggestions," +
            prefix + "list_backup_destinations," + prefix + "backup_history," + prefix + "find_duplicates",
        "--disallowedTools",
        prefix + "apply_suggestion," + prefix + "move_to_trash," + prefix + "empty_trash," + prefix +
            "backup_to_cloud," + prefix + "offload_to_cloud," + prefix + "evict_local_copies," + prefix +
            "reveal_in_finder",
        "--append-system-prompt",
        ClaudeRunner::systemPrompt()};
    EXPECT_EQ(arguments, expected);
    EXPECT_EQ(json::parse(arguments[6]),
              json::parse(R"({"mcpServers":{"ostrevane":{"command":"/opt/Ostre vane/ostrevane",
                                                         "args":["mcp","--read-only"]}}})"));
    EXPECT_EQ(arguments[6].find(' '), arguments[6].find("Ostre vane") + 5);  // compact: the path's is the only space
    EXPECT_TRUE(ClaudeRunner::systemPrompt().starts_with("You are the disk assistant built into Ostrevane."));
}

TEST_F(ClaudeRunnerTest, OutcomesOfEachWayTheAgentEnds) {
    struct Case {
        std::string mode, answer;
        std::optional<std::string> error;
    };
    const Case cases[] = {
        {"split", "中文\n", std::nullopt},
        {"fail", "", "Error: not logged in"},
        {"blank", "", "Claude stopped (exit code 4)."},
        {"partial", "partial answer", std::nullopt},
        {"empty", "", "Claude ended without an answer (exit code 0)."},
        {"flood", "done\n", std::nullopt},  // more on standard error than a pipe holds
        {"orphan", "answer\n", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        fake.setMode(c.mode);
        auto started = std::chrono::steady_clock::now();
        runner.ask("q", fake.claude(), "/usr/bin/ostrevane");
        ASSERT_TRUE(finished());
        // The orphan's grandchild holds the pipes for three seconds; nobody waits for it.
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
        EXPECT_EQ(runner.answer(), c.answer);
        EXPECT_EQ(runner.error(), c.error);
    }
}

TEST_F(ClaudeRunnerTest, StopTerminatesThenKillsAndReaps) {
    struct Case {
        std::string mode, error;
    };
    for (const auto& c :
         {Case{"hang", "Claude stopped (exit code 15)."}, Case{"stubborn", "Claude stopped (exit code 9)."}}) {
        SCOPED_TRACE(c.mode);
        fake.setMode(c.mode);
        runner.ask("q", fake.claude(), "/usr/bin/ostrevane");
        pid_t pid = fakePid();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        runner.stop();
        ASSERT_TRUE(finished(5));
        EXPECT_EQ(runner.error(), c.error);
        EXPECT_TRUE(isGone(pid));
        fs::remove(fake.log / "pid");
    }
}

TEST_F(ClaudeRunnerTest, DestroyingTheRunnerEndsTheAgentAndDropsItsOutput) {
    fake.setMode("hang");
    pid_t pid;
    {
        ClaudeRunner doomed(dispatcher);
        doomed.onChange = [] {};
        doomed.ask("q", fake.claude(), "/usr/bin/ostrevane");
        pid = fakePid();
    }
    EXPECT_TRUE(isGone(pid));
    dispatcher.drain();  // the exit job finds no runner and does nothing
}

TEST_F(ClaudeRunnerTest, StartFailuresAreShownAndAClearedErrorStartsTheNextQuestion) {
    runner.ask("q", (fake.bin / "missing").string(), "/usr/bin/ostrevane");
    EXPECT_FALSE(runner.running());
    EXPECT_EQ(runner.error(), "Couldn’t start Claude: No such file or directory");

    // A tool path that can't be put in the configuration starts nothing.
    runner.ask("q", fake.claude(), "/opt/\xFF/ostrevane");
    EXPECT_FALSE(runner.running());
    EXPECT_EQ(runner.error(), "Couldn’t start Claude: Invalid or incomplete multibyte or wide character");
    EXPECT_FALSE(fs::exists(fake.log / "args"));

    fake.setMode("empty");
    runner.ask("q", fake.claude(), "/usr/bin/ostrevane");
    EXPECT_EQ(runner.error(), std::nullopt);
    ASSERT_TRUE(finished());
}

TEST_F(ClaudeRunnerTest, TheConfigurationStartsTheToolAsAReadOnlyMCPServer) {
    fake.setMode("serve");
    runner.ask("q", fake.claude(), OSTREVANE_CLI_PATH);
    ASSERT_TRUE(finished(30));
    std::map<int, json> replies;
    std::istringstream lines(runner.answer());
    for (std::string line; std::getline(lines, line);) {
        json reply = json::parse(line);
        replies[reply["id"].get<int>()] = reply;
    }
    ASSERT_EQ(replies.size(), 4u);
    EXPECT_EQ(replies[2]["result"]["isError"], false);
    std::vector<std::string> listed;
    for (const json& tool : replies[3]["result"]["tools"]) listed.push_back(tool["name"]);
    EXPECT_EQ(listed, AgentCommands::readOnlyTools());
    // A write tool is not there at all, whatever the agent asks.
    EXPECT_EQ(replies[4]["error"]["code"], -32602);
    EXPECT_EQ(replies[4]["error"]["message"], "Unknown tool: move_to_trash");
    EXPECT_TRUE(fs::exists(fake.dir.path() / "keep"));
}

TEST_F(ClaudeRunnerTest, TheAgentRunsInAFolderOnlyTheUserCanEnter) {
    fake.setMode("empty");
    const fs::path folder = Paths::cacheDir() / "agent";
    // Created when missing; closed up when ours but open to others.
    for (bool exists : {false, true}) {
        SCOPED_TRACE(exists);
        if (exists) fs::permissions(folder, fs::perms::all);
        runner.ask("q", fake.claude(), "/usr/bin/ostrevane");
        ASSERT_TRUE(finished());
        EXPECT_EQ(fs::path(Text::trim(fake.trace("pwd"))), folder);
        EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    }

    // A link or a file in its place is never entered.
    const fs::path elsewhere = fake.dir.path() / "planted";
    fs::create_directories(elsewhere);
    for (bool asLink : {true, false}) {
        SCOPED_TRACE(asLink);
        fs::remove_all(folder);
        fs::remove(fake.log / "pwd");
        if (asLink)
            fs::create_directory_symlink(elsewhere, folder);
        else
            writeText(folder, "");
        runner.ask("q", fake.claude(), "/usr/bin/ostrevane");
        EXPECT_FALSE(runner.running());
        EXPECT_EQ(runner.error(), "Couldn’t start Claude: Not a directory");
        EXPECT_EQ(fake.trace("pwd"), "");
    }
}
