#include <gtest/gtest.h>

#include "AgentTestSupport.hpp"
#include "agent/AgentCommands.hpp"
#include "agent/AgentSetup.hpp"
#include "model/Executor.hpp"

using namespace agent_testing;

namespace {
class AgentSetupTest : public ::testing::Test {
protected:
    AgentSetupTest() {
        writeText(tool, "#!/bin/sh\n");
        fs::permissions(tool, fs::perms::owner_all);
    }
    /// Refreshes and waits for the background check.
    void check(AgentSetup& setup) {
        int before = changes;
        setup.refresh();
        ASSERT_TRUE(drainUntil(dispatcher, [&] { return setup.checked() && changes > before; }));
    }
    fs::path link() const { return AgentSetup::linkPath(); }

    FakeClaude fake{"add-warn"};
    ManualDispatcher dispatcher;
    fs::path appFolder = fake.dir.path() / "Ostre vane app";
    fs::path tool = appFolder / "ostrevane";
    int changes = 0;
    // Last, so it is joined before the fake's environment goes.
    ThreadPool pool{2};
};
}  // namespace

TEST_F(AgentSetupTest, DemoModeShowsFixedValuesWithoutTouchingAnything) {
    AgentSetup setup(dispatcher, pool, appFolder.string(), [] { return true; });
    setup.refresh();
    EXPECT_EQ(setup.cliPath(), "/Applications/Ostrevane.app/Contents/Helpers/ostrevane");
    EXPECT_EQ(setup.claudePath(), "/opt/homebrew/bin/claude");
    EXPECT_EQ(setup.registered(), true);
    EXPECT_TRUE(setup.linkInstalled());
    EXPECT_TRUE(setup.checked());
    EXPECT_EQ(dispatcher.pending(), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(fake.trace("mcp-get.args"), "");
    EXPECT_FALSE(fs::exists(fs::path(link()).parent_path()));
}

TEST_F(AgentSetupTest, FindsTheToolBesideTheExecutableAndClaudeOnThePath) {
    AgentSetup setup(dispatcher, pool, appFolder.string());
    setup.onChange = [&] { ++changes; };
    EXPECT_EQ(setup.cliPath(), tool.string());
    check(setup);
    EXPECT_EQ(setup.claudePath(), fake.claude());
    EXPECT_EQ(setup.registered(), false);
    EXPECT_EQ(fake.arguments("mcp-get.args"), (std::vector<std::string>{"mcp", "get", "ostrevane"}));

    // Once found, `claude` is asked again and not searched for.
    fs::rename(fake.claude(), fake.bin / "moved");
    check(setup);
    EXPECT_EQ(setup.claudePath(), fake.claude());
    EXPECT_EQ(setup.registered(), false);
}

TEST_F(AgentSetupTest, NoClaudeLeavesTheRegistrationUnknown) {
    fake.set("PATH", fake.log.string());
    AgentSetup setup(dispatcher, pool, appFolder.string());
    setup.onChange = [&] { ++changes; };
    check(setup);
    EXPECT_EQ(setup.claudePath(), std::nullopt);
    EXPECT_EQ(setup.registered(), std::nullopt);
    setup.registerTool();
    EXPECT_FALSE(setup.working());
}

TEST_F(AgentSetupTest, RegistrationOutcomes) {
    struct Case {
        std::string mode, message;
        bool registered;
    };
    const Case cases[] = {
        {"add-warn", "Connected to Claude Code. Start a new Claude session to use it.", true},
        {"add-fail", "Couldn’t connect: Error: user config is read-only", false},
        // Nothing on standard error: the exit status is the reason.
        {"add-silent", "Couldn’t connect: exit code 1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        fs::remove(fake.log / "registered");
        fake.setMode(c.mode);
        AgentSetup setup(dispatcher, pool, appFolder.string());
        setup.onChange = [&] { ++changes; };
        check(setup);
        setup.registerTool();
        EXPECT_TRUE(setup.working());
        ASSERT_TRUE(drainUntil(dispatcher, [&] { return !setup.working(); }));
        int seen = changes;
        EXPECT_EQ(setup.registrationMessage(), c.message);
        EXPECT_EQ(fake.arguments("mcp-add.args"),
                  (std::vector<std::string>{"mcp", "add", "ostrevane", "--scope", "user", "--", tool.string(), "mcp"}));
        // The registration refreshes by itself.
        ASSERT_TRUE(drainUntil(dispatcher, [&] { return changes > seen; }));
        EXPECT_EQ(setup.registered(), c.registered);
    }
}

TEST_F(AgentSetupTest, LinkIntoLocalBin) {
    AgentSetup setup(dispatcher, pool, appFolder.string());
    // Nothing there yet, not even ~/.local.
    setup.installLink();
    EXPECT_TRUE(setup.linkInstalled());
    EXPECT_EQ(fs::read_symlink(link()), tool);
    EXPECT_EQ(
        setup.linkMessage(),
        "Installed to ~/.local/bin/ostrevane. If your terminal can’t find ostrevane, add ~/.local/bin to your PATH.");

    // A link to an older copy, or to the same file written differently, is not ours.
    for (const std::string& other : {std::string("/old/ostrevane"), tool.string() + "/"}) {
        fs::remove(link());
        fs::create_symlink(other, link());
        AgentSetup fresh(dispatcher, pool, appFolder.string());
        fresh.onChange = [&] { ++changes; };
        check(fresh);
        EXPECT_FALSE(fresh.linkInstalled());
        fresh.installLink();
        EXPECT_TRUE(fresh.linkInstalled());
        EXPECT_EQ(fs::read_symlink(link()), tool);
    }

    // A file or folder in the way stays, and is named rather than tried against.
    for (const bool folder : {false, true}) {
        fs::remove_all(link());
        if (folder)
            fs::create_directories(link() / "mine");
        else
            writeText(link(), "mine");
        AgentSetup blocked(dispatcher, pool, appFolder.string());
        blocked.installLink();
        EXPECT_FALSE(blocked.linkInstalled());
        EXPECT_EQ(blocked.linkConflict(), "~/.local/bin/ostrevane already exists and is " +
                                              std::string(folder ? "a folder" : "another program") +
                                              ": remove or rename it, then check again.");
        EXPECT_EQ(blocked.linkMessage(), std::nullopt);
        EXPECT_TRUE(folder ? fs::exists(link() / "mine") : readText(link()) == "mine");
    }
}

// Installed with `cmake --install --prefix ~/.local`, ~/.local/bin/ostrevane is
// the tool itself; a link may also lead to it through another. Either way it
// is installed, and installing again leaves it as it is.
TEST_F(AgentSetupTest, ALocalBinThatAlreadyIsTheToolCountsAsInstalled) {
    const fs::path localBin = link().parent_path();
    fs::create_directories(localBin);
    const fs::path hop = fake.dir.path() / "hop";
    fs::create_symlink(tool, hop);
    struct Case {
        const char* name;
        fs::path appFolder;
        std::function<void()> place;
    };
    const std::vector<Case> cases = {
        {"the tool itself", localBin,
         [&] {
             writeText(link(), "#!/bin/sh\n");
             fs::permissions(link(), fs::perms::owner_all);
         }},
        {"a link to a link to the tool", appFolder, [&] { fs::create_symlink(hop, link()); }},
        {"a hard link to the tool", appFolder, [&] { fs::create_hard_link(tool, link()); }},
    };
    for (const Case& installed : cases) {
        SCOPED_TRACE(installed.name);
        fs::remove(link());
        installed.place();
        const bool wasLink = fs::is_symlink(link());
        AgentSetup setup(dispatcher, pool, installed.appFolder.string());
        setup.onChange = [&] { ++changes; };
        check(setup);
        EXPECT_TRUE(setup.linkInstalled());
        setup.installLink();
        EXPECT_TRUE(setup.linkInstalled());
        EXPECT_EQ(setup.linkMessage(), std::nullopt);
        EXPECT_EQ(fs::is_symlink(link()), wasLink);
        if (wasLink)
            EXPECT_EQ(fs::read_symlink(link()), hop);
        else
            EXPECT_EQ(readText(link()), "#!/bin/sh\n");
    }
}

TEST_F(AgentSetupTest, WithoutTheToolBesideTheApplicationNothingPointsAtAMissingPath) {
    // One on the search path is not ours: it may be another version, or the link the page makes.
    fs::create_directories(fake.dir.path() / "elsewhere");
    fs::copy_file(tool, fake.dir.path() / "elsewhere/ostrevane");
    fake.set("PATH", (fake.dir.path() / "elsewhere").string() + ":" + fake.bin.string() + ":/usr/bin:/bin");
    const fs::path emptyFolder = fake.dir.path() / "bin-without-tool";
    fs::create_directories(emptyFolder);
    struct Case {
        std::optional<std::string> folder;
        std::string reason;
    };
    const Case cases[] = {
        {emptyFolder.string(), "The ostrevane command-line tool wasn’t found: it belongs beside the application, in " +
                                   emptyFolder.string() + "."},
        {std::nullopt, "The ostrevane command-line tool wasn’t found: the application’s folder is unknown."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        AgentSetup setup(dispatcher, pool, c.folder);
        setup.onChange = [&] { ++changes; };
        EXPECT_EQ(setup.cliPath(), std::nullopt);
        EXPECT_EQ(setup.missingToolReason(), c.reason);
        check(setup);
        EXPECT_EQ(setup.claudePath(), fake.claude());
        setup.installLink();
        setup.registerTool();
        EXPECT_FALSE(setup.working());
        EXPECT_FALSE(fs::exists(fs::symlink_status(link())));
        EXPECT_EQ(setup.linkMessage(), std::nullopt);
        EXPECT_EQ(fake.trace("mcp-add.args"), "");
    }
    AgentSetup found(dispatcher, pool, appFolder.string());
    EXPECT_EQ(found.missingToolReason(), std::nullopt);
}

TEST_F(AgentSetupTest, ChecksRunOnTheGivenExecutorNotOnTheCallersThread) {
    ManualExecutor queued;
    AgentSetup setup(dispatcher, queued, appFolder.string());
    setup.refresh();
    EXPECT_FALSE(setup.checked());
    ASSERT_EQ(queued.pending(), 1u);
    EXPECT_EQ(fake.trace("mcp-get.args"), "");
    queued.runAll();
    dispatcher.drain();
    EXPECT_TRUE(setup.checked());
    EXPECT_EQ(setup.claudePath(), fake.claude());
}

TEST(AgentCommands, PastedCommandsQuoteAndEscapeTheToolPath) {
    EXPECT_EQ(AgentCommands::registrationCommand("/usr/lib/ostrevane-1.2/ostrevane"),
              "claude mcp add ostrevane --scope user -- /usr/lib/ostrevane-1.2/ostrevane mcp");
    for (const std::string path : {"/opt/a b/ostrevane", "/tmp/it's;$(x)\\/ostrevane", "/opt/\"q\"/ostrevane"}) {
        SCOPED_TRACE(path);
        // The shell reads the command back as the same words.
        Shell::Output output = Shell::run(
            "/bin/sh", {"-c", "set -- " + AgentCommands::registrationCommand(path) + "; printf '%s' \"$8\""}, 5);
        EXPECT_EQ(output.stdoutText, path);
        json entry = json::parse("{" + AgentCommands::desktopSnippet(path) + "}");
        EXPECT_EQ(entry["ostrevane"]["command"], path);
        EXPECT_EQ(entry["ostrevane"]["args"], json::array({"mcp"}));
    }
    EXPECT_EQ(AgentCommands::desktopSnippet("/opt/o/ostrevane"),
              "\"ostrevane\": {\n  \"command\": \"/opt/o/ostrevane\",\n  \"args\": [\"mcp\"]\n}");
}
