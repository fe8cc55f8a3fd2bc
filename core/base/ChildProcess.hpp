// Following a started program to its end: its pipes read as they fill, its
// input written as it drains, and the program (with its whole process group)
// ended, SIGTERM then SIGKILL, when its time is up or its caller asks.
// Shell::run, the copy to an rclone remote and the assistant's child all run
// their programs through this one loop.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/UniqueFd.hpp"

namespace Shell {

/// What a child gets, and which of its streams are piped back.
struct ChildSetup {
    /// Written to standard input through a pipe, which is then closed; the
    /// null device when absent. Writing never blocks, but a child that closes
    /// its input early raises SIGPIPE on the following thread unless that
    /// thread blocks it.
    std::optional<std::string> input;
    /// Standard output to the null device rather than back through a pipe.
    bool discardOutput = false;
    /// "NAME=value" entries in place of ours, when given.
    std::optional<std::vector<std::string>> environment;
    /// Ours when empty.
    std::string workingFolder;
};

/// How a started child is followed.
struct ChildWatch {
    using Bytes = std::function<void(std::string_view bytes)>;
    /// Each read of standard output (error), in order; when unset, the stream
    /// is collected into `ChildEnd` up to `collectLimit` bytes and the rest is
    /// read and dropped.
    Bytes onOutput;
    Bytes onError;
    size_t collectLimit = std::numeric_limits<size_t>::max();
    /// Seconds from the start of `follow` until the child is asked to end;
    /// bounded to about four months.
    double timeout = std::numeric_limits<double>::infinity();
    /// Asked at every turn; once true, the child is asked to end.
    std::function<bool()> stopRequested;
    /// From SIGTERM to SIGKILL.
    std::chrono::milliseconds grace{2000};
    /// The longest wait between two looks at the child and `stopRequested`.
    std::chrono::milliseconds pollInterval{100};
    /// After the child exits: true, the pipes are read until whoever else
    /// holds them (a grandchild) closes them or the time is up; false, only
    /// what is already in them is read.
    bool readUntilClosed = true;
    /// How long reading what is already in the pipes may take, once the child
    /// has exited or been killed; at least one read of each pipe is made.
    std::chrono::milliseconds afterExitBudget{0};
};

struct ChildEnd {
    /// As waitpid reports it; -1 when the child could not be waited for.
    int waitStatus = -1;
    /// The collected streams (see `ChildWatch::onOutput`).
    std::string outputText;
    std::string errorText;
};

/// The exit code, 128 + the signal's number for a child ended by a signal (as
/// shells report it), or -1.
int32_t exitCode(int waitStatus);

/// One child process, started in a process group of its own (so ending it
/// ends whatever it started too) with SIGPIPE at its default.
class ChildProcess {
public:
    /// Starts the program with no shell in between; see `startError`.
    ChildProcess(const std::string& executable, const std::vector<std::string>& arguments, const ChildSetup& setup);
    /// A child never followed to its end is killed and reaped here.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    /// 0, or the errno of a start that failed; then `follow` must not be called.
    int startError() const { return error; }
    /// Follows the child until it has exited and been reaped; only once.
    ChildEnd follow(const ChildWatch& watch);

private:
    pid_t pid = -1;
    int error = 0;
    bool reaped = false;
    std::string input;
    UniqueFd inputFd, outputFd, errorFd;
};

}  // namespace Shell
