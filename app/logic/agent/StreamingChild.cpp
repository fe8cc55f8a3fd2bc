#include "agent/StreamingChild.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "Support.hpp"
#include "base/UniqueFd.hpp"

namespace {
using Clock = std::chrono::steady_clock;
/// How often a running child is checked for its exit and for a stop request.
constexpr int pollMilliseconds = 20;
/// After the exit, how long the pipes may keep delivering what is in them.
constexpr auto afterExitBudget = std::chrono::milliseconds(200);

struct Pipe {
    UniqueFd readEnd, writeEnd;
    bool open() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return false;
        readEnd = UniqueFd(fds[0]);
        writeEnd = UniqueFd(fds[1]);
        return true;
    }
};

int decodeStatus(int raw) {
    if (WIFEXITED(raw)) return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) return WTERMSIG(raw);
    return -1;
}
}  // namespace

int StreamingChild::start(const ChildCommand& command, Handlers handlers) {
    Pipe in, out, err;
    if (!in.open() || !out.open() || !err.open()) return errno;
    Shell::StartOptions options{in.readEnd.get(), out.writeEnd.get(), err.writeEnd.get(), command.environment,
                                command.workingFolder};
    Shell::Started child = Shell::start(command.executable, command.arguments, options);
    // The child's ends are the child's alone now.
    in.readEnd.reset(), out.writeEnd.reset(), err.writeEnd.reset();
    if (child.error != 0) return child.error;
    pid = child.pid;
    // Never block on a child that does not read its input.
    fcntl(in.writeEnd.get(), F_SETFL, fcntl(in.writeEnd.get(), F_GETFL) | O_NONBLOCK);
    watcher = std::thread(&StreamingChild::watch, this, std::move(in.writeEnd), std::move(out.readEnd),
                          std::move(err.readEnd), command.input, std::move(handlers));
    return 0;
}

void StreamingChild::stop() { stopRequested = true; }

StreamingChild::~StreamingChild() {
    if (!watcher.joinable()) return;
    stop();
    watcher.join();
}

void StreamingChild::watch(UniqueFd inputFd, UniqueFd outputFd, UniqueFd errorFd, std::string input,
                           Handlers handlers) {
    // A child that closes its input early must not end the whole application.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    std::string errors;
    auto readFrom = [&](UniqueFd& fd) {
        char chunk[16384];
        ssize_t count = ::read(fd.get(), chunk, sizeof chunk);
        if (count > 0) {
            std::string_view bytes(chunk, static_cast<size_t>(count));
            if (&fd == &outputFd)
                handlers.output(bytes);
            else if (errors.size() < errorLimit)
                errors.append(bytes.substr(0, errorLimit - errors.size()));
        } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
            fd.reset();
        }
    };
    size_t written = 0;
    auto writeInput = [&] {
        ssize_t count = ::write(inputFd.get(), input.data() + written, input.size() - written);
        if (count > 0) written += static_cast<size_t>(count);
        if (written == input.size() || (count < 0 && errno != EINTR && errno != EAGAIN)) inputFd.reset();
    };
    if (input.empty()) inputFd.reset();

    std::optional<int> status;
    std::optional<Clock::time_point> killAt;
    bool killed = false;
    while (!status) {
        int raw = 0;
        pid_t reaped = waitpid(pid, &raw, WNOHANG);
        if (reaped == pid) {
            status = decodeStatus(raw);
            break;
        }
        if (reaped < 0 && errno != EINTR) {
            status = -1;
            break;
        }
        auto now = Clock::now();
        if (stopRequested && !killAt) {
            ::kill(-pid, SIGTERM);
            killAt = now + stopGrace;
        }
        if (killAt && !killed && now >= *killAt) {
            ::kill(-pid, SIGKILL);
            killed = true;
        }
        pollfd polled[3] = {{inputFd.get(), POLLOUT, 0}, {outputFd.get(), POLLIN, 0}, {errorFd.get(), POLLIN, 0}};
        if (::poll(polled, 3, pollMilliseconds) <= 0) continue;
        if (inputFd.valid() && polled[0].revents) writeInput();
        if (outputFd.valid() && polled[1].revents) readFrom(outputFd);
        if (errorFd.valid() && polled[2].revents) readFrom(errorFd);
    }
    inputFd.reset();

    // Only what is already in the pipes: a grandchild may hold them open for long.
    auto deadline = Clock::now() + afterExitBudget;
    while ((outputFd.valid() || errorFd.valid()) && Clock::now() < deadline) {
        pollfd polled[2] = {{outputFd.get(), POLLIN, 0}, {errorFd.get(), POLLIN, 0}};
        if (::poll(polled, 2, 0) <= 0) break;
        if (outputFd.valid() && polled[0].revents) readFrom(outputFd);
        if (errorFd.valid() && polled[1].revents) readFrom(errorFd);
    }
    outputFd.reset(), errorFd.reset();
    handlers.exited(*status, std::move(errors));
}
