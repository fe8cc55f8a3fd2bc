// What the agent page's setup steps show and do: where the `ostrevane` tool
// and `claude` are, the link into ~/.local/bin, and the registration of the
// tool as an MCP server of `claude`.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "Support.hpp"
#include "agent/ResultRelay.hpp"

class Executor;

/// An observable object: fields change on the dispatcher's thread only, and
/// `onChange` is called there after each change. Create, use and destroy it
/// on that thread. Answers about `claude` come only from running it, on the
/// executor (the application's pool, so quitting waits for them).
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
    /// `executor` outlives every job given to it (a relay drops what comes
    /// back after the setup is gone). Computes `cliPath` with one look at the
    /// disk and touches nothing else.
    AgentSetup(Dispatcher& dispatcher, Executor& executor, std::optional<std::string> executableFolder,
               std::function<bool()> isDemo = {});
    AgentSetup(const AgentSetup&) = delete;
    AgentSetup& operator=(const AgentSetup&) = delete;

    /// ~/.local/bin/ostrevane under the user's own home (not OSTREVANE_HOME).
    static std::string linkPath();

    /// Checks the link at once; looks for `claude` (once found, it is reused)
    /// and asks it about the registration in the background.
    void refresh();
    /// Looks at ~/.local/bin/ostrevane again, at once: sets `linkInstalled`
    /// and `linkConflict`; a change of either clears `linkMessage`, which told
    /// of the state before.
    void checkLink();
    /// Creates or replaces the link, at once; sets `linkInstalled` and
    /// `linkMessage`. Nothing without `cliPath`; when ~/.local/bin/ostrevane
    /// already is the tool, only sets `linkInstalled`; when something else
    /// stands there, only sets `linkConflict`.
    void installLink();
    /// Registers the tool with `claude` in the background: `working` until the
    /// result, then `registrationMessage`, then a refresh. Nothing without
    /// `claudePath` or `cliPath`.
    void registerTool();

    /// The `ostrevane` tool this application ships: the executable file
    /// beside the application's own, fixed at creation; none when it is not
    /// there. A tool found elsewhere on the search path is not taken: it may
    /// be another version, or the very link this setup makes.
    const std::optional<std::string>& cliPath() const { return cli; }
    /// Without `cliPath`: why, ready to show (names the folder looked in).
    std::optional<std::string> missingToolReason() const;
    /// Where `claude` was found.
    const std::optional<std::string>& claudePath() const { return claude; }
    /// None: no answer yet or no `claude`; else whether `claude mcp get ostrevane` succeeded.
    const std::optional<bool>& registered() const { return isRegistered; }
    /// The first check has ended.
    bool checked() const { return isChecked; }
    /// ~/.local/bin/ostrevane is `cliPath()`: the same file (the tool was
    /// installed there), or a link that leads to it.
    bool linkInstalled() const { return isLinkInstalled; }
    /// Why no link can be made: ~/.local/bin/ostrevane is a file or folder
    /// of the user's own (not a link, and not the tool), which the setup never
    /// replaces. Ready to show, with what to do; none when the way is clear.
    const std::optional<std::string>& linkConflict() const { return conflict; }
    /// A registration is running.
    bool working() const { return isWorking; }
    /// The last link outcome, ready to show.
    const std::optional<std::string>& linkMessage() const { return lastLinkMessage; }
    /// The last registration outcome, ready to show: on failure with the
    /// reason, `claude`'s standard error or else its exit status.
    const std::optional<std::string>& registrationMessage() const { return lastRegistrationMessage; }

    /// Called after every change of the fields above.
    std::function<void()> onChange;

    /// Why a `claude` command failed: its standard error, trimmed, else its exit status.
    static std::string failureReason(const Shell::Output& output);

private:
    void changed();
    bool demo() const { return isDemo && isDemo(); }
    void applyCheck(std::optional<std::string> found, std::optional<bool> state);

    std::function<bool()> isDemo;
    Executor& executor;
    std::optional<std::string> folder;
    std::optional<std::string> cli;
    std::optional<std::string> claude;
    std::optional<bool> isRegistered;
    bool isChecked = false;
    bool isLinkInstalled = false;
    std::optional<std::string> conflict;
    bool isWorking = false;
    std::optional<std::string> lastLinkMessage;
    std::optional<std::string> lastRegistrationMessage;
    ResultRelay relay;
};
