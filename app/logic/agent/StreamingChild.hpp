// A child process whose output is read while it runs, on a thread of its own.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/ChildProcess.hpp"

/// What to run. The environment is complete ("NAME=value" entries); the
/// child gets nothing of ours beyond it.
struct ChildCommand {
    std::string executable;
    std::vector<std::string> arguments;
    std::vector<std::string> environment;
    std::string workingFolder;
    /// Written to the child's standard input, which is then closed.
    std::string input;
};

/// Runs one child in a process group of its own with three pipes. Standard
/// output is handed over as it arrives; standard error is drained all the
/// while (so a child that writes a lot there never blocks) and handed over
/// once, at the end. Once the child has exited, the pipes are read only for
/// what is already in them: a grandchild holding them open is not waited for.
class StreamingChild {
public:
    /// How long a stopped child has to end after SIGTERM before SIGKILL.
    static constexpr std::chrono::milliseconds stopGrace{1000};
    /// Standard error beyond this many bytes is read and dropped.
    static constexpr size_t errorLimit = 64 * 1024;

    struct Handlers {
        /// Each read of standard output, in order, on the child's thread.
        std::function<void(std::string_view bytes)> output;
        /// Last call, on the child's thread: the exit code, or the number of
        /// the signal that ended the child, and the standard error read.
        std::function<void(int status, std::string errorBytes)> exited;
    };

    StreamingChild() = default;
    /// Ends the child as `stop()` does and waits until it is reaped.
    ~StreamingChild();
    StreamingChild(const StreamingChild&) = delete;
    StreamingChild& operator=(const StreamingChild&) = delete;

    /// Starts the child; 0, or the errno of a start that failed (then no
    /// handler is ever called). Only once per object.
    int start(const ChildCommand& command, Handlers handlers);
    /// Asks the child's process group to end: SIGTERM at once, SIGKILL after
    /// `stopGrace`. Returns at once; the exit arrives through the handler.
    void stop();

private:
    void watch(Handlers handlers);

    std::unique_ptr<Shell::ChildProcess> process;
    std::atomic<bool> stopRequested{false};
    std::thread watcher;
};
