#include <gtest/gtest.h>

#include "AgentTestSupport.hpp"
#include "agent/AgentCommands.hpp"
#include "agent/AgentSetup.hpp"

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
};
}  // namespace

TEST_F(AgentSetupTest, DemoModeShowsFixedValuesWithoutTouchingAnything) {
    AgentSetup setup(dispatcher, appFolder.string(), [] { return true; });
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
    AgentSetup setup(dispatcher, appFolder.string());
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
    AgentSetup setup(dispatcher, appFolder.string());
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
        {"add-silent", "Couldn’t connect: ", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        fs::remove(fake.log / "registered");
        fake.setMode(c.mode);
        AgentSetup setup(dispatcher, appFolder.string());
        setup.onChange = [&] { ++changes; };
        check(setup);
        setup.registerTool();
        EXPECT_TRUE(setup.working());
        ASSERT_TRUE(drainUntil(dispatcher, [&] { return !setup.working(); }));
        int seen = changes;
        EXPECT_EQ(setup.message(), c.message);
        EXPECT_EQ(fake.arguments("mcp-add.args"),
                  (std::vector<std::string>{"mcp", "add", "ostrevane", "--scope", "user", "--", tool.string(), "mcp"}));
        // The registration refreshes by itself.
        ASSERT_TRUE(drainUntil(dispatcher, [&] { return changes > seen; }));
        EXPECT_EQ(setup.registered(), c.registered);
    }
}

TEST_F(AgentSetupTest, LinkIntoLocalBin) {
    AgentSetup setup(dispatcher, appFolder.string());
    // Nothing there yet, not even ~/.local.
    setup.installLink();
    EXPECT_TRUE(setup.linkInstalled());
    EXPECT_EQ(fs::read_symlink(link()), tool);
    EXPECT_EQ(setup.message(),
              "Installed to ~/.local/bin/ostrevane. If your terminal can’t find ostrevane, add ~/.local/bin to your PATH.");

    // A link to an older copy, or to the same file written differently, is not ours.
    for (const std::string& other : {std::string("/old/ostrevane"), tool.string() + "/"}) {
        fs::remove(link());
        fs::create_symlink(other, link());
        AgentSetup fresh(dispatcher, appFolder.string());
        fresh.onChange = [&] { ++changes; };
        check(fresh);
        EXPECT_FALSE(fresh.linkInstalled());
        fresh.installLink();
        EXPECT_TRUE(fresh.linkInstalled());
        EXPECT_EQ(fs::read_symlink(link()), tool);
    }

    // A regular file in the way stays.
    fs::remove(link());
    writeText(link(), "mine");
    AgentSetup blocked(dispatcher, appFolder.string());
    blocked.installLink();
    EXPECT_FALSE(blocked.linkInstalled());
    EXPECT_EQ(blocked.message(), "Install failed: File exists");
    EXPECT_EQ(readText(link()), "mine");
}

TEST(AgentCommands, PastedCommandsQuoteAndEscapeTheToolPath) {
    EXPECT_EQ(AgentCommands::registrationCommand("/usr/lib/ostrevane-1.2/ostrevane"),
              "claude mcp add ostrevane --scope user -- /usr/lib/ostrevane-1.2/ostrevane mcp");
    for (const std::string path : {"/opt/a b/ostrevane", "/tmp/it's;$(x)\\/ostrevane", "/opt/\"q\"/ostrevane"}) {
        SCOPED_TRACE(path);
        // The shell reads the command back as the same words.
        Shell::Output output = Shell::run("/bin/sh", {"-c", "set -- " + AgentCommands::registrationCommand(path) +
                                                                "; printf '%s' \"$8\""}, 5);
        EXPECT_EQ(output.stdoutText, path);
        json entry = json::parse("{" + AgentCommands::desktopSnippet(path) + "}");
        EXPECT_EQ(entry["ostrevane"]["command"], path);
        EXPECT_EQ(entry["ostrevane"]["args"], json::array({"mcp"}));
    }
    EXPECT_EQ(AgentCommands::desktopSnippet("/opt/o/ostrevane"),
              "\"ostrevane\": {\n  \"command\": \"/opt/o/ostrevane\",\n  \"args\": [\"mcp\"]\n}");
}
