// Answers one question at a time by running `claude` in print mode with the
// ostrevane tool as its only MCP server, limited to the tools that only read:
// the server offers no other, and `claude` is told to refuse them too.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "agent/ResultRelay.hpp"
#include "agent/StreamingChild.hpp"

/// An observable object: fields change on the dispatcher's thread only, and
/// `onChange` is called there after each change. Create, use and destroy it
/// on that thread.
class ClaudeRunner {
public:
    explicit ClaudeRunner(Dispatcher& dispatcher);
    /// Ends a running `claude` (SIGTERM, then SIGKILL after a short grace) and
    /// waits until it is reaped; nothing it still says arrives anywhere.
    ~ClaudeRunner();
    ClaudeRunner(const ClaudeRunner&) = delete;
    ClaudeRunner& operator=(const ClaudeRunner&) = delete;

    /// The MCP tools the runner allows: those of the ostrevane server that only read.
    static const std::vector<std::string>& readOnlyTools();
    /// The prompt appended to `claude`'s own, in the process's language.
    static const std::string& systemPrompt();
    /// The arguments of the question run, in order, around a configuration.
    static std::vector<std::string> arguments(const std::string& mcpConfiguration);
    /// The child's PATH: `claude`'s folder, the usual program folders, then
    /// the previous value (nothing when there was none).
    static std::string childPath(const std::string& claude, const std::optional<std::string>& previous);
    /// Where `claude` runs: "agent" in the cache folder, a folder only the
    /// user can enter (mode 0700), created when missing. A link there, a
    /// file, or a folder of another user fails the question's start.
    static std::string workingFolder();

    /// Asks `question` (already trimmed) through the `claude` executable at
    /// `claude`, its tools served by the `ostrevane` tool at `cli`. Does
    /// nothing while a question is running. Starts from an empty answer and
    /// no error; a start that fails sets `error` at once.
    void ask(const std::string& question, const std::string& claude, const std::string& cli);
    /// Stops the running question; it then ends as any other exit does.
    void stop();

    /// The answer so far, in arrival order, never cut inside a character.
    const std::string& answer() const { return answerText; }
    /// From `ask` until the exit has been handled.
    bool running() const { return isRunning; }
    /// Why the last question produced no answer, ready to show: the start's
    /// failure, `claude`'s standard error or exit status, or that it ended
    /// without an answer.
    const std::optional<std::string>& error() const { return errorText; }

    /// Called after every change of the fields above.
    std::function<void()> onChange;

private:
    void changed();
    void fail(int errorNumber);
    void finish(int status, const std::string& errorBytes);

    std::string answerText;
    bool isRunning = false;
    std::optional<std::string> errorText;
    ResultRelay relay;
    // After the relay: destroyed first, so its last words still find the relay open (and are dropped unrun).
    std::unique_ptr<StreamingChild> child;
};
