#include "agent/ClaudeRunner.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include "OwnFolders.hpp"
#include "agent/AgentCommands.hpp"
#include "agent/Utf8Stream.hpp"
#include "text/Localization.hpp"

extern char** environ;

namespace {
std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    return slash == 0 ? "/" : path.substr(0, slash);
}

/// Our own environment with PATH replaced (or added).
std::vector<std::string> childEnvironment(const std::string& claude) {
    std::vector<std::string> entries;
    std::optional<std::string> previous;
    for (char** entry = environ; entry && *entry; ++entry) {
        std::string_view text(*entry);
        if (text.starts_with("PATH="))
            previous = std::string(text.substr(5));
        else
            entries.emplace_back(text);
    }
    entries.push_back("PATH=" + ClaudeRunner::childPath(claude, previous));
    return entries;
}

/// 0, or why `folder` can't be the agent's private working folder: it must
/// be a real folder (not a link), ours, and open to nobody else; one that is
/// ours but too open is closed up.
int claimPrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    struct stat info;
    if (::lstat(folder.c_str(), &info) != 0) return errno;
    if (!S_ISDIR(info.st_mode)) return ENOTDIR;
    if (info.st_uid != ::geteuid()) return EPERM;
    if ((info.st_mode & 07777) != 0700 && ::chmod(folder.c_str(), 0700) != 0) return errno;
    return 0;
}
}  // namespace

ClaudeRunner::ClaudeRunner(Dispatcher& dispatcher) : relay(dispatcher) {}

ClaudeRunner::~ClaudeRunner() = default;

const std::vector<std::string>& ClaudeRunner::readOnlyTools() { return AgentCommands::readOnlyTools(); }

const std::string& ClaudeRunner::systemPrompt() {
    static const std::string prompt = L(
        "你是 Ostrevane 内置的磁盘助手。用 ostrevane 的 MCP 工具查看这台电脑的磁盘占用,给出具体、可执行的清理与备份建议。"
        "你在这里只有只读权限:不要尝试删除、移动或备份文件,而是说明用户应该在 Ostrevane 的哪个页面点什么,或者运行什么命令。"
        "用简体中文回答,先给结论,数字用工具返回的真实数据,保持简洁。");
    return prompt;
}

std::vector<std::string> ClaudeRunner::arguments(const std::string& mcpConfiguration) {
    return {"-p",
            "--output-format",
            "text",
            "--no-session-persistence",
            "--strict-mcp-config",
            "--mcp-config",
            mcpConfiguration,
            "--allowedTools",
            AgentCommands::allowList(),
            "--disallowedTools",
            AgentCommands::denyList(),
            "--append-system-prompt",
            systemPrompt()};
}

std::string ClaudeRunner::childPath(const std::string& claude, const std::optional<std::string>& previous) {
    return folderOf(claude) + ":/usr/local/bin:/usr/bin:/bin:" + previous.value_or("");
}

std::string ClaudeRunner::workingFolder() { return (Paths::cacheDir() / "agent").string(); }

void ClaudeRunner::changed() {
    if (onChange) onChange();
}

void ClaudeRunner::fail(int errorNumber) {
    isRunning = false;
    errorText = L("无法启动 Claude:%@", std::string(std::strerror(errorNumber)));
    changed();
}

void ClaudeRunner::ask(const std::string& question, const std::string& claude, const std::string& cli) {
    if (isRunning) return;
    isRunning = true;
    answerText.clear();
    errorText.reset();
    changed();

    // Without its configuration `claude` would answer with no tools at all, inventing numbers.
    auto configuration = AgentCommands::mcpConfiguration(cli);
    if (!configuration) return fail(EILSEQ);

    // Not the shared temporary folder: anyone may plant project files there that `claude` would read.
    const std::string folder = workingFolder();
    // Used only when it is the user's alone: checked before it is made, and
    // again as made, since someone may have made it first.
    auto refused = [this, &folder] {
        auto refusal = OwnFolders::refusal(folder);
        if (!refusal) return false;
        isRunning = false;
        errorText = *refusal;
        changed();
        return true;
    };
    if (refused()) return;
    if (int error = claimPrivateFolder(folder); error != 0) return fail(error);
    if (refused()) return;

    ChildCommand command{claude, arguments(*configuration), childEnvironment(claude), folder, question};
    auto decoder = std::make_shared<Utf8Stream>();
    auto handle = relay.handle();
    StreamingChild::Handlers handlers{
        [this, decoder, handle](std::string_view bytes) {
            std::string text = decoder->feed(bytes);
            if (text.empty()) return;
            handle.post([this, text = std::move(text)] {
                answerText += text;
                changed();
            });
        },
        [this, decoder, handle](int status, std::string errorBytes) {
            handle.post([this, status, rest = decoder->finish(), errorBytes = std::move(errorBytes)] {
                answerText += rest;
                finish(status, errorBytes);
            });
        }};
    child = std::make_unique<StreamingChild>();
    if (int error = child->start(command, std::move(handlers)); error != 0) fail(error);
}

void ClaudeRunner::finish(int status, const std::string& errorBytes) {
    isRunning = false;
    if (status != 0 && answerText.empty()) {
        // The kept head of a flood may end inside a character; that part is held back.
        std::string message = Text::trim(Utf8Stream().feed(errorBytes));
        errorText = message.empty() ? L("Claude 已停止(退出码 %@)。", status) : message;
    } else if (Text::trim(answerText).empty()) {
        // A run that says nothing at all must not look like one still to come.
        errorText = L("Claude 没有给出回答就结束了(退出码 %@)。", status);
    }
    changed();
}

void ClaudeRunner::stop() {
    if (isRunning && child) child->stop();
}
