#include "base/Shell.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>

#include "base/Text.hpp"
#include "base/UniqueFd.hpp"

extern char** environ;

namespace Shell {

namespace {
using Clock = std::chrono::steady_clock;
constexpr auto terminationGrace = std::chrono::seconds(2);

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

int32_t decodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

Output startFailure(int error) { return Output{-1, "", std::strerror(error)}; }

std::vector<char*> pointers(const std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (const auto& text : texts) result.push_back(const_cast<char*>(text.c_str()));
    result.push_back(nullptr);
    return result;
}

void redirect(posix_spawn_file_actions_t& actions, int fd, int target, int nullMode) {
    if (fd >= 0)
        posix_spawn_file_actions_adddup2(&actions, fd, target);
    else
        posix_spawn_file_actions_addopen(&actions, target, "/dev/null", nullMode, 0);
}
}  // namespace

Started start(const std::string& executable, const std::vector<std::string>& arguments, int outputFd, int errorFd) {
    return start(executable, arguments, StartOptions{-1, outputFd, errorFd, std::nullopt, ""});
}

Started start(const std::string& executable, const std::vector<std::string>& arguments, const StartOptions& options) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    redirect(actions, options.inputFd, STDIN_FILENO, O_RDONLY);
    redirect(actions, options.outputFd, STDOUT_FILENO, O_WRONLY);
    redirect(actions, options.errorFd, STDERR_FILENO, O_WRONLY);
    if (!options.workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.workingFolder.c_str());

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, emptyMask;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigemptyset(&emptyMask);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &emptyMask);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> argvTexts{executable};
    argvTexts.insert(argvTexts.end(), arguments.begin(), arguments.end());
    auto argv = pointers(argvTexts);
    std::vector<char*> envp;
    if (options.environment) envp = pointers(*options.environment);

    Started child;
    pid_t pid = -1;
    child.error = posix_spawn(&pid, executable.c_str(), &actions, &attributes, argv.data(),
                              options.environment ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (child.error == 0) child.pid = pid;
    return child;
}

namespace {
Output runStarted(const std::string& executable, const std::vector<std::string>& arguments, double timeout,
                  const std::optional<std::vector<std::string>>& environment) {
    Pipe out, err;
    if (!out.open()) return startFailure(errno);
    if (!err.open()) return startFailure(errno);

    const StartOptions options{-1, out.writeEnd.get(), err.writeEnd.get(), environment, ""};
    Started child = start(executable, arguments, options);
    const pid_t pid = child.pid;
    // Only the child writes: each stream ends when it and its own children do.
    out.writeEnd.reset();
    err.writeEnd.reset();
    if (child.error != 0) return startFailure(child.error);

    std::string buffers[2];
    UniqueFd* readEnds[2] = {&out.readEnd, &err.readEnd};
    pollfd polled[2] = {{out.readEnd.get(), POLLIN, 0}, {err.readEnd.get(), POLLIN, 0}};
    int openPipes = 2;

    const double boundedTimeout = std::clamp(std::isfinite(timeout) ? timeout : 1e7, 0.0, 1e7);
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(boundedTimeout));
    std::optional<Clock::time_point> killAt;
    bool killed = false;
    std::optional<int> status;

    auto drain = [&](int waitMilliseconds) {
        if (openPipes == 0) {
            if (waitMilliseconds > 0) ::poll(nullptr, 0, waitMilliseconds);
            return;
        }
        int ready = ::poll(polled, 2, waitMilliseconds);
        if (ready <= 0) return;
        for (int i = 0; i < 2; ++i) {
            if (polled[i].fd < 0 || !(polled[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char chunk[65536];
            ssize_t count = ::read(polled[i].fd, chunk, sizeof chunk);
            if (count > 0) {
                buffers[i].append(chunk, static_cast<size_t>(count));
            } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
                readEnds[i]->reset();
                polled[i].fd = -1;
                --openPipes;
            }
        }
    };

    while (true) {
        if (!status) {
            int raw = 0;
            if (waitpid(pid, &raw, WNOHANG) == pid) status = raw;
        }
        if (status && openPipes == 0) break;

        auto now = Clock::now();
        if (!killAt && now >= deadline) {
            ::kill(-pid, SIGTERM);
            killAt = now + terminationGrace;
        }
        if (killAt && !killed && now >= *killAt) {
            ::kill(-pid, SIGKILL);
            killed = true;
        }
        if (killed) {
            // Whatever still holds the pipes is not ours to wait for.
            if (!status) {
                int raw = 0;
                waitpid(pid, &raw, 0);
                status = raw;
            }
            drain(0);
            break;
        }

        auto nextEvent = killAt ? *killAt : deadline;
        auto untilEvent = std::chrono::duration_cast<std::chrono::milliseconds>(nextEvent - now).count();
        int wait = static_cast<int>(std::clamp<long long>(untilEvent, 0, status ? 50 : 100));
        drain(wait);
    }
    out.readEnd.reset();
    err.readEnd.reset();

    auto decoded = [](std::string& text) { return Text::isValidUTF8(text) ? std::move(text) : std::string(); };
    return Output{decodeStatus(*status), decoded(buffers[0]), decoded(buffers[1])};
}

}  // namespace

Output run(const std::string& executable, const std::vector<std::string>& arguments, double timeout) {
    return runStarted(executable, arguments, timeout, std::nullopt);
}

Output runWithEnvironment(const std::string& executable, const std::vector<std::string>& arguments, double timeout,
                          const std::vector<std::string>& environment) {
    return runStarted(executable, arguments, timeout, environment);
}

namespace {
std::mutex handedLock;
/// Programs `hand` left running, reaped once they end.
std::vector<pid_t> handed;

void reapHanded() {
    std::lock_guard guard(handedLock);
    std::erase_if(handed, [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });
}
}  // namespace

Output hand(const std::string& executable, const std::vector<std::string>& arguments, double timeout) {
    reapHanded();
    Started child = start(executable, arguments, -1, -1);
    if (child.error != 0) return startFailure(child.error);
    const double bounded = std::clamp(std::isfinite(timeout) ? timeout : 0.0, 0.0, 1e7);
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bounded));
    while (true) {
        int raw = 0;
        if (::waitpid(child.pid, &raw, WNOHANG) == child.pid) return Output{decodeStatus(raw), "", ""};
        if (Clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::lock_guard guard(handedLock);
    handed.push_back(child.pid);
    return Output{0, "", ""};
}

}  // namespace Shell
