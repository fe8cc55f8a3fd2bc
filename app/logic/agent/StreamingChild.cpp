#include "agent/StreamingChild.hpp"

#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>

namespace {
/// How often a running child is checked for its exit and for a stop request.
constexpr auto pollInterval = std::chrono::milliseconds(20);
/// After the exit, how long the pipes may keep delivering what is in them.
constexpr auto afterExitBudget = std::chrono::milliseconds(200);

/// The exit code, or the number of the signal that ended the child.
int decodeStatus(int raw) {
    if (raw == -1) return -1;
    if (WIFEXITED(raw)) return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) return WTERMSIG(raw);
    return -1;
}
}  // namespace

int StreamingChild::start(const ChildCommand& command, Handlers handlers) {
    Shell::ChildSetup setup{command.input, false, command.environment, command.workingFolder};
    process = std::make_unique<Shell::ChildProcess>(command.executable, command.arguments, setup);
    if (int error = process->startError(); error != 0) {
        process.reset();
        return error;
    }
    watcher = std::thread(&StreamingChild::watch, this, std::move(handlers));
    return 0;
}

void StreamingChild::stop() { stopRequested = true; }

StreamingChild::~StreamingChild() {
    if (!watcher.joinable()) return;
    stop();
    watcher.join();
}

void StreamingChild::watch(Handlers handlers) {
    // A child that closes its input early must not end the whole application.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    Shell::ChildWatch watch;
    watch.onOutput = handlers.output;
    watch.collectLimit = errorLimit;
    watch.stopRequested = [this] { return stopRequested.load(); };
    watch.grace = stopGrace;
    watch.pollInterval = pollInterval;
    watch.readUntilClosed = false;
    watch.afterExitBudget = afterExitBudget;
    Shell::ChildEnd end = process->follow(watch);
    handlers.exited(decodeStatus(end.waitStatus), std::move(end.errorText));
}
