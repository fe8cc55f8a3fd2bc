// What the agent page's setup steps show and do: where the `ostrevane` tool
// and `claude` are, the link into ~/.local/bin, and the registration of the
// tool as an MCP server of `claude`.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "agent/ResultRelay.hpp"

/// An observable object: fields change on the dispatcher's thread only, and
/// `onChange` is called there after each change. Create, use and destroy it
/// on that thread. Answers about `claude` come only from running it.
class AgentSetup {
public:
    /// The tool's path in demo mode, and the `claude` shown there.
    static constexpr const char* demoCLIPath = "/Applications/Ostrevane.app/Contents/Helpers/ostrevane";
    static constexpr const char* demoClaudePath = "/opt/homebrew/bin/claude";
    /// Time limits of `claude mcp get` and `claude mcp add`, in seconds.
    static constexpr double checkTimeout = 20;
    static constexpr double registerTimeout = 30;

    /// `executableFolder`: the folder of the application's executable, where
    /// the tool ships (none when unknown). `isDemo`: the demo flag, read at
    /// creation and at each refresh; in demo mode nothing is read or run.
    /// Computes `cliPath` and touches nothing else.
    AgentSetup(Dispatcher& dispatcher, std::optional<std::string> executableFolder,
               std::function<bool()> isDemo = {});
    AgentSetup(const AgentSetup&) = delete;
    AgentSetup& operator=(const AgentSetup&) = delete;

    /// ~/.local/bin/ostrevane under the user's own home (not OSTREVANE_HOME).
    static std::string linkPath();

    /// Checks the link at once; looks for `claude` (once found, it is reused)
    /// and asks it about the registration in the background.
    void refresh();
    /// Creates or replaces the link, at once; sets `linkInstalled` and `message`.
    void installLink();
    /// Registers the tool with `claude` in the background: `working` until the
    /// result, then `message`, then a refresh. Nothing without `claudePath`.
    void registerTool();

    /// The `ostrevane` tool this application ships, fixed at creation.
    const std::string& cliPath() const { return cli; }
    /// Where `claude` was found.
    const std::optional<std::string>& claudePath() const { return claude; }
    /// None: no answer yet or no `claude`; else whether `claude mcp get ostrevane` succeeded.
    const std::optional<bool>& registered() const { return isRegistered; }
    /// The first check has ended.
    bool checked() const { return isChecked; }
    /// The link's target text equals `cliPath()` exactly.
    bool linkInstalled() const { return isLinkInstalled; }
    /// A registration is running.
    bool working() const { return isWorking; }
    /// The last link or registration outcome, ready to show.
    const std::optional<std::string>& message() const { return lastMessage; }

    /// Called after every change of the fields above.
    std::function<void()> onChange;

private:
    void changed();
    bool demo() const { return isDemo && isDemo(); }
    void applyCheck(std::optional<std::string> found, std::optional<bool> state);

    std::function<bool()> isDemo;
    std::string cli;
    std::optional<std::string> claude;
    std::optional<bool> isRegistered;
    bool isChecked = false;
    bool isLinkInstalled = false;
    bool isWorking = false;
    std::optional<std::string> lastMessage;
    ResultRelay relay;
};
