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

namespace {
using Clock = std::chrono::steady_clock;
/// How often a running child is checked for its exit and for a stop request.
constexpr int pollMilliseconds = 20;
/// After the exit, how long the pipes may keep delivering what is in them.
constexpr auto afterExitBudget = std::chrono::milliseconds(200);

struct Pipe {
    int fds[2] = {-1, -1};
    bool open() { return pipe2(fds, O_CLOEXEC) == 0; }
};

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

int decodeStatus(int raw) {
    if (WIFEXITED(raw)) return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) return WTERMSIG(raw);
    return -1;
}
}  // namespace

int StreamingChild::start(const ChildCommand& command, Handlers handlers) {
    Pipe in, out, err;
    if (!in.open() || !out.open() || !err.open()) {
        int error = errno;
        for (Pipe* pipe : {&in, &out, &err}) closeFd(pipe->fds[0]), closeFd(pipe->fds[1]);
        return error;
    }
    Shell::StartOptions options{in.fds[0], out.fds[1], err.fds[1], command.environment, command.workingFolder};
    Shell::Started child = Shell::start(command.executable, command.arguments, options);
    int error = child.error;
    closeFd(in.fds[0]), closeFd(out.fds[1]), closeFd(err.fds[1]);
    if (error != 0) {
        closeFd(in.fds[1]), closeFd(out.fds[0]), closeFd(err.fds[0]);
        return error;
    }
    pid = child.pid;
    // Never block on a child that does not read its input.
    fcntl(in.fds[1], F_SETFL, fcntl(in.fds[1], F_GETFL) | O_NONBLOCK);
    watcher = std::thread(&StreamingChild::watch, this, in.fds[1], out.fds[0], err.fds[0], command.input,
                          std::move(handlers));
    return 0;
}

void StreamingChild::stop() { stopRequested = true; }

StreamingChild::~StreamingChild() {
    if (!watcher.joinable()) return;
    stop();
    watcher.join();
}

void StreamingChild::watch(int inputFd, int outputFd, int errorFd, std::string input, Handlers handlers) {
    // A child that closes its input early must not end the whole application.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    std::string errors;
    auto readFrom = [&](int& fd) {
        char chunk[16384];
        ssize_t count = ::read(fd, chunk, sizeof chunk);
        if (count > 0) {
            std::string_view bytes(chunk, static_cast<size_t>(count));
            if (&fd == &outputFd)
                handlers.output(bytes);
            else if (errors.size() < errorLimit)
                errors.append(bytes.substr(0, errorLimit - errors.size()));
        } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
            closeFd(fd);
        }
    };
    size_t written = 0;
    auto writeInput = [&] {
        ssize_t count = ::write(inputFd, input.data() + written, input.size() - written);
        if (count > 0) written += static_cast<size_t>(count);
        if (written == input.size() || (count < 0 && errno != EINTR && errno != EAGAIN)) closeFd(inputFd);
    };
    if (input.empty()) closeFd(inputFd);

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
        pollfd polled[3] = {{inputFd, POLLOUT, 0}, {outputFd, POLLIN, 0}, {errorFd, POLLIN, 0}};
        if (::poll(polled, 3, pollMilliseconds) <= 0) continue;
        if (inputFd >= 0 && polled[0].revents) writeInput();
        if (outputFd >= 0 && polled[1].revents) readFrom(outputFd);
        if (errorFd >= 0 && polled[2].revents) readFrom(errorFd);
    }
    closeFd(inputFd);

    // Only what is already in the pipes: a grandchild may hold them open for long.
    auto deadline = Clock::now() + afterExitBudget;
    while ((outputFd >= 0 || errorFd >= 0) && Clock::now() < deadline) {
        pollfd polled[2] = {{outputFd, POLLIN, 0}, {errorFd, POLLIN, 0}};
        if (::poll(polled, 2, 0) <= 0) break;
        if (outputFd >= 0 && polled[0].revents) readFrom(outputFd);
        if (errorFd >= 0 && polled[1].revents) readFrom(errorFd);
    }
    closeFd(outputFd), closeFd(errorFd);
    handlers.exited(*status, std::move(errors));
}
