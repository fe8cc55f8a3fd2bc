#include "base/Shell.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

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

Output run(const std::string& executable, const std::vector<std::string>& arguments, double timeout) {
    ChildProcess child(executable, arguments, ChildSetup{});
    if (child.startError() != 0) return startFailure(child.startError());
    ChildWatch watch;
    watch.timeout = timeout;
    watch.grace = terminationGrace;
    ChildEnd end = child.follow(watch);
    auto decoded = [](std::string& text) { return Text::isValidUTF8(text) ? std::move(text) : std::string(); };
    return Output{exitCode(end.waitStatus), decoded(end.outputText), decoded(end.errorText)};
}

}  // namespace Shell
