#include "base/ChildProcess.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "base/Shell.hpp"

namespace Shell {

namespace {
using Clock = std::chrono::steady_clock;
/// Bounds an endless timeout to something a time point can hold.
constexpr double longestTimeout = 1e7;

struct Pipe {
    UniqueFd readEnd;
    UniqueFd writeEnd;
    /// False with errno set when the pipe could not be made.
    bool open() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return false;
        readEnd = UniqueFd(fds[0]);
        writeEnd = UniqueFd(fds[1]);
        return true;
    }
};

Clock::time_point deadlineAfter(double timeout) {
    const double bounded = std::clamp(std::isfinite(timeout) ? timeout : longestTimeout, 0.0, longestTimeout);
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bounded));
}

/// One of the child's output streams, handed over or collected as it is read.
struct Reader {
    UniqueFd& fd;
    const ChildWatch::Bytes& handler;
    std::string& collected;
    size_t limit;

    void read() {
        char chunk[65536];
        ssize_t count = ::read(fd.get(), chunk, sizeof chunk);
        if (count > 0) {
            deliver(std::string_view(chunk, static_cast<size_t>(count)));
        } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
            fd.reset();
        }
    }
    void deliver(std::string_view bytes) {
        if (handler)
            handler(bytes);
        else if (collected.size() < limit)
            collected.append(bytes.substr(0, limit - collected.size()));
    }
};

/// Writes the child's input as far as its pipe takes it, closing the pipe at the end.
struct Writer {
    UniqueFd& fd;
    const std::string& input;
    size_t written = 0;

    void write() {
        ssize_t count = ::write(fd.get(), input.data() + written, input.size() - written);
        if (count > 0) written += static_cast<size_t>(count);
        if (written == input.size() || (count < 0 && errno != EINTR && errno != EAGAIN)) fd.reset();
    }
};

/// The wait status once the child has exited (-1 when it cannot be waited for).
std::optional<int> reapIfExited(pid_t pid) {
    int raw = 0;
    pid_t reaped = ::waitpid(pid, &raw, WNOHANG);
    if (reaped == pid) return raw;
    if (reaped < 0 && errno != EINTR) return -1;
    return std::nullopt;
}

int reapBlocking(pid_t pid) {
    int raw = 0;
    while (::waitpid(pid, &raw, 0) < 0)
        if (errno != EINTR) return -1;
    return raw;
}
}  // namespace

int32_t exitCode(int waitStatus) {
    if (waitStatus == -1) return -1;
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
    return -1;
}

ChildProcess::ChildProcess(const std::string& executable, const std::vector<std::string>& arguments,
                           const ChildSetup& setup) {
    Pipe in, out, err;
    if ((setup.input && !in.open()) || (!setup.discardOutput && !out.open()) || !err.open()) {
        error = errno;
        return;
    }
    StartOptions options{in.readEnd.get(), out.writeEnd.get(), err.writeEnd.get(), setup.environment,
                         setup.workingFolder};
    Started child = start(executable, arguments, options);
    // Only the child holds these ends now: each stream ends when it and its own children do.
    in.readEnd.reset(), out.writeEnd.reset(), err.writeEnd.reset();
    if (child.error != 0) {
        error = child.error;
        return;
    }
    pid = child.pid;
    if (setup.input) {
        input = *setup.input;
        inputFd = std::move(in.writeEnd);
        // Never block on a child that does not read its input.
        ::fcntl(inputFd.get(), F_SETFL, ::fcntl(inputFd.get(), F_GETFL) | O_NONBLOCK);
        if (input.empty()) inputFd.reset();
    }
    outputFd = std::move(out.readEnd);
    errorFd = std::move(err.readEnd);
}

ChildProcess::~ChildProcess() {
    if (pid <= 0 || reaped) return;
    ::kill(-pid, SIGKILL);
    reapBlocking(pid);
}

ChildEnd ChildProcess::follow(const ChildWatch& watch) {
    ChildEnd end;
    Reader output{outputFd, watch.onOutput, end.outputText, watch.collectLimit};
    Reader errors{errorFd, watch.onError, end.errorText, watch.collectLimit};
    Writer writer{inputFd, input};
    auto pump = [&](int waitMilliseconds) {
        pollfd polled[3] = {{inputFd.get(), POLLOUT, 0}, {outputFd.get(), POLLIN, 0}, {errorFd.get(), POLLIN, 0}};
        // Descriptors already closed are negative, which poll passes over.
        if (::poll(polled, 3, waitMilliseconds) <= 0) return false;
        if (inputFd.valid() && polled[0].revents) writer.write();
        if (outputFd.valid() && polled[1].revents) output.read();
        if (errorFd.valid() && polled[2].revents) errors.read();
        return true;
    };

    const auto deadline = deadlineAfter(watch.timeout);
    std::optional<Clock::time_point> killAt;
    bool killed = false;
    std::optional<int> status;
    while (true) {
        if (!status) status = reapIfExited(pid);
        if (status && (!watch.readUntilClosed || (!outputFd.valid() && !errorFd.valid()))) break;

        auto now = Clock::now();
        if (!killAt && (now >= deadline || (watch.stopRequested && watch.stopRequested()))) {
            ::kill(-pid, SIGTERM);
            killAt = now + watch.grace;
        }
        if (killAt && !killed && now >= *killAt) {
            ::kill(-pid, SIGKILL);
            killed = true;
        }
        if (killed) {
            // Whatever still holds the pipes is not ours to wait for.
            if (!status) status = reapBlocking(pid);
            break;
        }

        auto nextEvent = killAt ? *killAt : deadline;
        auto untilEvent = std::chrono::duration_cast<std::chrono::milliseconds>(nextEvent - now).count();
        auto longest = status ? watch.pollInterval.count() / 2 : watch.pollInterval.count();
        pump(static_cast<int>(std::clamp<long long>(untilEvent, 0, longest)));
    }
    reaped = true;
    inputFd.reset();

    // Only what is already in the pipes: a grandchild may hold them open for long.
    const auto drainUntil = Clock::now() + watch.afterExitBudget;
    do {
        if (!pump(0)) break;
    } while ((outputFd.valid() || errorFd.valid()) && Clock::now() < drainUntil);
    outputFd.reset(), errorFd.reset();
    end.waitStatus = *status;
    return end;
}

}  // namespace Shell
