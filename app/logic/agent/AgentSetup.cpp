#include "agent/AgentSetup.hpp"

#include <unistd.h>

#include <filesystem>

#include "base/Files.hpp"
#include "base/Paths.hpp"
#include "model/Executor.hpp"
#include "platform/Platform.hpp"
#include "text/Localization.hpp"

namespace fs = std::filesystem;

namespace {
std::optional<std::string> toolBeside(const std::optional<std::string>& executableFolder) {
    if (!executableFolder) return std::nullopt;
    std::string beside = (fs::path(*executableFolder) / "ostrevane").string();
    if (!Files::isExecutableFile(beside)) return std::nullopt;
    return beside;
}

/// Whether `link` is the tool at `tool`: the very file (the tool installed
/// into ~/.local/bin itself) or a link that leads to it.
bool leadsTo(const std::string& link, const std::string& tool) {
    std::error_code error;
    return fs::equivalent(link, tool, error) && !error;
}

/// What stands at `link` that a link must not replace, said with what to do;
/// none when nothing is there or only a link.
std::optional<std::string> conflictAt(const fs::path& link) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(link, error);
    if (error || !fs::exists(status) || fs::is_symlink(status)) return std::nullopt;
    const std::string shown = Paths::abbreviate(link.string());
    if (fs::is_directory(status)) return L("%@ 已经存在,而且是一个文件夹:请把它删除或改名,然后重新检查。", shown);
    return L("%@ 已经存在,而且是另一个程序:请把它删除或改名,然后重新检查。", shown);
}
}  // namespace

AgentSetup::AgentSetup(Dispatcher& dispatcher, Executor& executor, std::optional<std::string> executableFolder,
                       std::function<bool()> isDemo)
    : isDemo(std::move(isDemo)), executor(executor), folder(std::move(executableFolder)), relay(dispatcher) {
    cli = demo() ? std::optional<std::string>(demoCLIPath) : toolBeside(folder);
}

std::optional<std::string> AgentSetup::missingToolReason() const {
    if (cli) return std::nullopt;
    if (!folder) return L("找不到 ostrevane 命令行工具:不知道应用程序在哪个文件夹。");
    return L("找不到 ostrevane 命令行工具:它应该和应用程序一起在 %@ 里。", Paths::abbreviate(*folder));
}

std::string AgentSetup::linkPath() { return Paths::joined(Platform::realHome(), ".local/bin/ostrevane"); }

void AgentSetup::changed() {
    if (onChange) onChange();
}

void AgentSetup::refresh() {
    if (demo()) {
        claude = demoClaudePath;
        isRegistered = true;
        isLinkInstalled = true;
        isChecked = true;
        return changed();
    }
    checkLink();

    executor.submit(Priority::standard, [this, handle = relay.handle(), known = claude] {
        auto found = known ? known : Shell::which("claude");
        std::optional<bool> state;
        if (found) state = Shell::run(*found, {"mcp", "get", "ostrevane"}, checkTimeout).status == 0;
        handle.post([this, found, state] { applyCheck(found, state); });
    });
}

void AgentSetup::applyCheck(std::optional<std::string> found, std::optional<bool> state) {
    claude = std::move(found);
    isRegistered = state;
    isChecked = true;
    changed();
}

void AgentSetup::checkLink() {
    if (demo() || !cli) return;
    const bool installed = leadsTo(linkPath(), *cli);
    std::optional<std::string> found = installed ? std::nullopt : conflictAt(linkPath());
    if (installed == isLinkInstalled && found == conflict) return;
    isLinkInstalled = installed;
    conflict = std::move(found);
    lastLinkMessage.reset();
    changed();
}

void AgentSetup::installLink() {
    if (!cli) return;
    const fs::path link = linkPath();
    // Already there: replacing it could only break it (a link made in place of
    // the tool itself would lead to itself). Something else there is the
    // user's: only saying so helps, a try would only fail.
    checkLink();
    if (isLinkInstalled || conflict) return;
    std::error_code error;
    fs::create_directories(link.parent_path(), error);
    if (!error) {
        std::error_code notALink;
        (void)fs::read_symlink(link, notALink);
        // Only a link is replaced; a file or folder in the way is the user's.
        if (!notALink) fs::remove(link, error);
    }
    if (!error) fs::create_symlink(*cli, link, error);
    if (error) {
        // Something may have come in the way since the look above.
        checkLink();
        if (isLinkInstalled || conflict) return;
        lastLinkMessage = L("安装失败:%@", error.message());
    } else {
        isLinkInstalled = true;
        lastLinkMessage = L("已安装到 %@。如果终端里找不到 ostrevane,把 ~/.local/bin 加入 PATH。",
                            Paths::abbreviate(link));
    }
    changed();
}

void AgentSetup::registerTool() {
    if (!claude || !cli) return;
    isWorking = true;
    changed();
    executor.submit(Priority::userInitiated, [this, handle = relay.handle(), claude = *claude, cli = *cli] {
        auto output = Shell::run(claude, {"mcp", "add", "ostrevane", "--scope", "user", "--", cli, "mcp"},
                                 registerTimeout);
        handle.post([this, status = output.status, reason = failureReason(output)] {
            isWorking = false;
            lastRegistrationMessage = status != 0 ? L("接入失败:%@", reason)
                                                  : L("已接入 Claude Code。新开一个 Claude 会话就能用了。");
            changed();
            refresh();
        });
    });
}

std::string AgentSetup::failureReason(const Shell::Output& output) {
    std::string reason = Text::trim(output.stderrText);
    return reason.empty() ? L("退出码 %@", output.status) : reason;
}
