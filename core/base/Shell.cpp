#include "base/Shell.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>

#include "base/ChildProcess.hpp"
#include "base/Text.hpp"

extern char** environ;

namespace Shell {

namespace {
constexpr auto terminationGrace = std::chrono::seconds(2);

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
    ChildSetup setup;
    setup.environment = environment;
    ChildProcess child(executable, arguments, setup);
    if (child.startError() != 0) return startFailure(child.startError());
    ChildWatch watch;
    watch.timeout = timeout;
    watch.grace = terminationGrace;
    ChildEnd end = child.follow(watch);
    auto decoded = [](std::string& text) { return Text::isValidUTF8(text) ? std::move(text) : std::string(); };
    return Output{exitCode(end.waitStatus), decoded(end.outputText), decoded(end.errorText)};
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
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() +
                          std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bounded));
    while (true) {
        int raw = 0;
        if (::waitpid(child.pid, &raw, WNOHANG) == child.pid) return Output{exitCode(raw), "", ""};
        if (Clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::lock_guard guard(handedLock);
    handed.push_back(child.pid);
    return Output{0, "", ""};
}

}  // namespace Shell
