#include "Support.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <random>

#include "Localization.hpp"
#include "platform/Platform.hpp"

extern char** environ;

// MARK: Paths

namespace {
std::mutex homeLock;
std::optional<std::string> cachedHome;

std::string currentDirectory() {
    std::error_code error;
    auto cwd = std::filesystem::current_path(error);
    return error ? std::string("/") : cwd.string();
}
}  // namespace

namespace Paths {

namespace detail {
void resetHome() {
    std::lock_guard guard(homeLock);
    cachedHome.reset();
}
}  // namespace detail

std::string home() {
    std::lock_guard guard(homeLock);
    if (!cachedHome) {
        if (homeIsOverridden()) {
            auto override = Platform::environment("OSTREVANE_HOME");
            std::string path = override->front() == '/' ? *override : currentDirectory() + "/" + *override;
            cachedHome = standardize(path);
        } else {
            cachedHome = standardize(Platform::realHome());
        }
    }
    return *cachedHome;
}

std::string realHome() { return Platform::realHome(); }

bool homeIsOverridden() {
    auto override = Platform::environment("OSTREVANE_HOME");
    return override && !override->empty();
}

std::string standardize(const std::string& absolutePath) {
    std::vector<std::string_view> parts;
    std::string_view rest = absolutePath;
    while (!rest.empty()) {
        size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    if (parts.empty()) return "/";
    std::string result;
    for (auto part : parts) {
        result += '/';
        result += part;
    }
    return result;
}

static std::string absoluteForm(std::string text) {
    if (text == "~")
        text = home();
    else if (text.starts_with("~/"))
        text = home() + text.substr(1);
    if (!text.starts_with("/")) text = currentDirectory() + "/" + text;
    return standardize(text);
}

std::string expand(const std::string& path) {
    std::string trimmed = Text::trim(path);
    // A name may begin or end with a blank: the path as given wins when it
    // names something, and only otherwise are stray blanks around it dropped.
    if (trimmed.size() != path.size() && !trimmed.empty() && path.find('\0') == std::string::npos) {
        std::string exact = absoluteForm(path);
        struct stat info;
        if (::lstat(exact.c_str(), &info) == 0) return exact;
    }
    return absoluteForm(std::move(trimmed));
}

std::optional<std::string> unusable(const std::string& path) {
    if (path.find('\0') != std::string::npos) return L("路径含有 NUL 字节");
    if (Text::trim(path).empty()) return L("路径为空");
    return std::nullopt;
}

std::string expandGiven(const std::string& path) {
    if (auto reason = unusable(path)) throw OstrevaneError(*reason);
    return expand(path);
}

std::string abbreviate(const std::string& path) {
    const std::string homeFolder = home();
    if (path == homeFolder) return "~";
    if (path.size() > homeFolder.size() && path.starts_with(homeFolder) && path[homeFolder.size()] == '/')
        return "~" + path.substr(homeFolder.size());
    return path;
}

bool isInside(const std::string& path, const std::string& parent) {
    if (path == parent) return true;
    std::string prefix = parent.ends_with("/") ? parent : parent + "/";
    return path.starts_with(prefix);
}

std::string lastComponent(const std::string& path) {
    if (path == "/") return "/";
    std::string_view view = path;
    while (view.size() > 1 && view.back() == '/') view.remove_suffix(1);
    auto slash = view.rfind('/');
    return std::string(slash == std::string_view::npos ? view : view.substr(slash + 1));
}

size_t componentCount(const std::string& path) {
    size_t count = 0;
    bool inComponent = false;
    for (char c : path) {
        if (c == '/') {
            inComponent = false;
        } else if (!inComponent) {
            inComponent = true;
            ++count;
        }
    }
    return count;
}

static std::filesystem::path createdFolder(const std::string& path) {
    std::error_code ignored;
    std::filesystem::create_directories(path, ignored);
    return path;
}

// With OSTREVANE_HOME set the variables describe the real home, not this
// one; relative values are invalid for XDG variables and are ignored.
std::string baseFolder(const char* variable, const std::string& relativeDefault) {
    if (!homeIsOverridden()) {
        auto value = Platform::environment(variable);
        if (value && !value->empty() && value->front() == '/') return standardize(*value);
    }
    return home() + "/" + relativeDefault;
}

std::filesystem::path supportDir() { return createdFolder(baseFolder("XDG_CONFIG_HOME", ".config") + "/Ostrevane"); }
std::filesystem::path cacheDir() { return createdFolder(baseFolder("XDG_CACHE_HOME", ".cache") + "/Ostrevane"); }

}  // namespace Paths

// MARK: Text

namespace Text {

namespace {
// Length of the valid UTF-8 sequence at the start of `text`, or 0 when invalid.
size_t validSequenceLength(std::string_view text) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    size_t length;
    uint32_t min;
    uint32_t codePoint;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, min = 0x80, codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, min = 0x800, codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (byte(i) & 0x3F);
    }
    if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
    return length;
}
}  // namespace

bool isValidUTF8(std::string_view text) {
    while (!text.empty()) {
        size_t length = validSequenceLength(text);
        if (length == 0) return false;
        text.remove_prefix(length);
    }
    return true;
}

std::string replacingInvalidUTF8(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    while (!text.empty()) {
        size_t length = validSequenceLength(text);
        if (length == 0) {
            result += "\xEF\xBF\xBD";
            text.remove_prefix(1);
        } else {
            result.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return result;
}

std::string trim(std::string_view text) {
    const char* blanks = " \t\n\r\v\f";
    size_t start = text.find_first_not_of(blanks);
    if (start == std::string_view::npos) return "";
    size_t end = text.find_last_not_of(blanks);
    return std::string(text.substr(start, end - start + 1));
}

std::string lowercased(std::string_view text) {
    bool ascii = std::all_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x80; });
    if (ascii) {
        std::string lower(text);
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return lower;
    }
    std::string lower;
    icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())))
        .toLower(icu::Locale::getRoot())
        .toUTF8String(lower);
    return lower;
}

std::string randomIdentifier() {
    static std::mutex lock;
    static std::random_device entropy;
    uint32_t value;
    {
        std::lock_guard guard(lock);
        value = static_cast<uint32_t>(entropy());
    }
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::string shellQuoted(std::string_view text) {
    std::string result = "'";
    for (char c : text) {
        if (c == '\'')
            result += "'\\''";
        else
            result += c;
    }
    return result + "'";
}

}  // namespace Text

// MARK: Shell

namespace Shell {

namespace {
using Clock = std::chrono::steady_clock;
constexpr auto terminationGrace = std::chrono::seconds(2);

struct Pipe {
    int fds[2] = {-1, -1};
    bool open() { return pipe2(fds, O_CLOEXEC) == 0; }
    void closeBoth() {
        for (int& fd : fds)
            if (fd >= 0) ::close(fd), fd = -1;
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

Output run(const std::string& executable, const std::vector<std::string>& arguments, double timeout) {
    Pipe out, err;
    if (!out.open()) return startFailure(errno);
    if (!err.open()) {
        int error = errno;
        out.closeBoth();
        return startFailure(error);
    }

    Started child = start(executable, arguments, out.fds[1], err.fds[1]);
    const pid_t pid = child.pid;
    ::close(out.fds[1]), out.fds[1] = -1;
    ::close(err.fds[1]), err.fds[1] = -1;
    if (child.error != 0) {
        out.closeBoth();
        err.closeBoth();
        return startFailure(child.error);
    }

    std::string buffers[2];
    pollfd polled[2] = {{out.fds[0], POLLIN, 0}, {err.fds[0], POLLIN, 0}};
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
                ::close(polled[i].fd);
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
    for (auto& fd : polled)
        if (fd.fd >= 0) ::close(fd.fd);

    auto decoded = [](std::string& text) { return Text::isValidUTF8(text) ? std::move(text) : std::string(); };
    return Output{decodeStatus(*status), decoded(buffers[0]), decoded(buffers[1])};
}

static bool isExecutableFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> which(const std::string& name) {
    std::vector<std::string> folders;
    if (auto path = Platform::environment("PATH")) {
        std::stringstream entries(*path);
        std::string entry;
        while (std::getline(entries, entry, ':'))
            if (!entry.empty()) folders.push_back(entry);
    }
    const std::string home = Platform::realHome();
    for (const char* folder : {"/opt/homebrew/bin", "/usr/local/bin", "/usr/bin", "/bin"}) folders.push_back(folder);
    for (const char* folder : {"/.local/bin", "/.claude/local", "/bin", "/.npm-global/bin"})
        folders.push_back(home + folder);

    for (const auto& folder : folders) {
        std::string candidate = folder + "/" + name;
        if (isExecutableFile(candidate)) return candidate;
    }

    std::string shell = "/bin/sh";
    if (isExecutableFile("/bin/zsh"))
        shell = "/bin/zsh";
    else if (auto login = Platform::loginShell(); login && isExecutableFile(*login))
        shell = *login;
    Output output = run(shell, {"-lic", "command -v " + Text::shellQuoted(name)}, 8);
    if (output.status != 0) return std::nullopt;

    std::string last;
    std::stringstream lines(output.stdoutText);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line != "\r") last = line;
    size_t start = last.find_first_not_of(" \t");
    size_t end = last.find_last_not_of(" \t\r");
    if (start == std::string::npos) return std::nullopt;
    last = last.substr(start, end - start + 1);
    if (last.starts_with("/") && isExecutableFile(last)) return last;
    return std::nullopt;
}

}  // namespace Shell

// MARK: Fmt

namespace Fmt {

std::string bytes(int64_t count) {
    if (count <= 0) return "0 KB";
    if (count == 1) return "1 byte";
    if (count < 1000) return std::to_string(count) + " bytes";

    static const char* units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    static const int decimals[] = {0, 1, 2, 2, 2, 2};
    double value = static_cast<double>(count);
    for (size_t unit = 0; unit < std::size(units); ++unit) {
        value /= 1000.0;
        double scale = std::pow(10.0, decimals[unit]);
        double rounded = std::round(value * scale) / scale;
        // A value that rounds up to a thousand is shown in the next unit.
        if (rounded >= 1000.0 && unit + 1 < std::size(units)) continue;
        char text[64];
        std::snprintf(text, sizeof text, "%.*f", decimals[unit], rounded);
        std::string number = text;
        if (number.find('.') != std::string::npos) {
            while (number.back() == '0') number.pop_back();
            if (number.back() == '.') number.pop_back();
        }
        return number + " " + units[unit];
    }
    return "0 KB";
}

double percent(int64_t part, int64_t total) {
    if (total <= 0) return 0;
    return std::round(static_cast<double>(part) / static_cast<double>(total) * 1000.0) / 10.0;
}

std::string day(Date date) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(date);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

static int64_t secondsBetween(Date from, Date to) {
    return std::chrono::duration_cast<std::chrono::seconds>(to - from).count();
}

int daysSince(Date date, Date now) {
    int64_t days = secondsBetween(date, now) / 86400;
    return days < 0 ? 0 : static_cast<int>(std::min<int64_t>(days, INT32_MAX));
}

std::string ago(Date date, Date now) {
    int64_t seconds = secondsBetween(date, now);
    if (seconds < 60) return L("刚刚");
    if (seconds < 3600) return L("%@ 分钟前", seconds / 60);
    if (seconds < 86400) return L("%@ 小时前", seconds / 3600);
    int64_t days = seconds / 86400;
    if (days <= 59) return L("%@ 天前", days);
    if (days <= 729) return L("%@ 个月前", days / 30);
    return L("%@ 年前", days / 365);
}

}  // namespace Fmt

// MARK: ISODate

namespace ISODate {

std::string format(Date date) {
    auto seconds = std::chrono::floor<std::chrono::seconds>(date.time_since_epoch()).count();
    std::time_t time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::optional<Date> parse(const std::string& text) {
    // yyyy-MM-ddTHH:mm:ss followed by Z or ±hh:mm.
    auto digits = [&](size_t at, size_t count, int& value) {
        if (at + count > text.size()) return false;
        value = 0;
        for (size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            value = value * 10 + (text[i] - '0');
        }
        return true;
    };
    auto is = [&](size_t at, char c) { return at < text.size() && text[at] == c; };
    int year, month, dayOfMonth, hour, minute, second;
    if (!digits(0, 4, year) || !is(4, '-') || !digits(5, 2, month) || !is(7, '-') || !digits(8, 2, dayOfMonth) ||
        !is(10, 'T') || !digits(11, 2, hour) || !is(13, ':') || !digits(14, 2, minute) || !is(16, ':') ||
        !digits(17, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || dayOfMonth < 1 || dayOfMonth > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    size_t at = 19;
    int offsetSeconds = 0;
    if (is(at, 'Z') && text.size() == at + 1) {
    } else if ((is(at, '+') || is(at, '-')) && text.size() == at + 6 && is(at + 3, ':')) {
        int offsetHours, offsetMinutes;
        if (!digits(at + 1, 2, offsetHours) || !digits(at + 4, 2, offsetMinutes)) return std::nullopt;
        offsetSeconds = (offsetHours * 3600 + offsetMinutes * 60) * (text[at] == '-' ? -1 : 1);
    } else {
        return std::nullopt;
    }
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    utc.tm_mday = dayOfMonth;
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    std::time_t seconds = timegm(&utc);
    return std::chrono::system_clock::from_time_t(seconds - offsetSeconds);
}

}  // namespace ISODate

// MARK: JSONOut

namespace JSONOut {

static bool allNumbersFinite(const json& value) {
    switch (value.type()) {
        case json::value_t::number_float: return std::isfinite(value.get<double>());
        case json::value_t::array:
        case json::value_t::object:
            for (const auto& element : value)
                if (!allNumbersFinite(element)) return false;
            return true;
        default: return true;
    }
}

std::string encode(const json& value, bool pretty) {
    if (!allNumbersFinite(value)) return failureDocument;
    try {
        return value.dump(pretty ? 2 : -1, ' ', false, json::error_handler_t::strict);
    } catch (...) {
        return failureDocument;
    }
}

}  // namespace JSONOut

// MARK: Files

namespace Files {

void writeAtomically(const std::filesystem::path& path, const std::string& contents) {
    static std::atomic<unsigned> counter{0};
    std::filesystem::path temporary = path;
    temporary += ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);

    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw OstrevaneError(path.string() + ": " + std::strerror(errno));
    const char* data = contents.data();
    size_t left = contents.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            int error = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            throw OstrevaneError(path.string() + ": " + std::strerror(error));
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    bool synced = ::fsync(fd) == 0;
    bool closed = ::close(fd) == 0;
    if (!synced || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        int error = errno;
        ::unlink(temporary.c_str());
        throw OstrevaneError(path.string() + ": " + std::strerror(error));
    }
}

std::optional<std::string> read(const std::filesystem::path& path) {
    // Opened without blocking and read only when it is a regular file: a
    // named pipe or a device put in a file's place would otherwise hold the
    // reader for ever.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat info;
    std::optional<std::string> contents;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        contents.emplace();
        char buffer[65536];
        while (true) {
            ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR) continue;
            if (count < 0) contents.reset();
            if (count <= 0) break;
            contents->append(buffer, static_cast<size_t>(count));
        }
    }
    ::close(fd);
    return contents;
}

}  // namespace Files
