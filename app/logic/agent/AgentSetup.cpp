#include "agent/AgentSetup.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "Localization.hpp"
#include "platform/Platform.hpp"

namespace fs = std::filesystem;

namespace {
bool isExecutableFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

/// The tool beside the executable, else the one on the search path, else the
/// path beside the executable whether or not it is there.
std::string findCLI(const std::optional<std::string>& executableFolder) {
    std::optional<std::string> beside;
    if (executableFolder) beside = (fs::path(*executableFolder) / "ostrevane").string();
    if (beside && isExecutableFile(*beside)) return *beside;
    if (auto found = Shell::which("ostrevane")) return *found;
    return beside.value_or("ostrevane");
}
}  // namespace

AgentSetup::AgentSetup(Dispatcher& dispatcher, std::optional<std::string> executableFolder,
                       std::function<bool()> isDemo)
    : isDemo(std::move(isDemo)), relay(dispatcher) {
    cli = demo() ? demoCLIPath : findCLI(executableFolder);
}

std::string AgentSetup::linkPath() { return Platform::realHome() + "/.local/bin/ostrevane"; }

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
    std::error_code error;
    auto target = fs::read_symlink(linkPath(), error);
    bool installed = !error && target.string() == cli;
    if (installed != isLinkInstalled) {
        isLinkInstalled = installed;
        changed();
    }

    std::thread([this, handle = relay.handle(), known = claude] {
        auto found = known ? known : Shell::which("claude");
        std::optional<bool> state;
        if (found) state = Shell::run(*found, {"mcp", "get", "ostrevane"}, checkTimeout).status == 0;
        handle.post([this, found, state] { applyCheck(found, state); });
    }).detach();
}

void AgentSetup::applyCheck(std::optional<std::string> found, std::optional<bool> state) {
    claude = std::move(found);
    isRegistered = state;
    isChecked = true;
    changed();
}

void AgentSetup::installLink() {
    const fs::path link = linkPath();
    std::error_code error;
    fs::create_directories(link.parent_path(), error);
    if (!error) {
        std::error_code notALink;
        (void)fs::read_symlink(link, notALink);
        // Only a link is replaced; a file or folder in the way is the user's.
        if (!notALink) fs::remove(link, error);
    }
    if (!error) fs::create_symlink(cli, link, error);
    if (error) {
        lastMessage = L("安装失败:%@", error.message());
    } else {
        isLinkInstalled = true;
        lastMessage = L("已安装到 %@。如果终端里找不到 ostrevane,把 ~/.local/bin 加入 PATH。", Paths::abbreviate(link));
    }
    changed();
}

void AgentSetup::registerTool() {
    if (!claude) return;
    isWorking = true;
    changed();
    std::thread([this, handle = relay.handle(), claude = *claude, cli = cli] {
        auto output = Shell::run(claude, {"mcp", "add", "ostrevane", "--scope", "user", "--", cli, "mcp"},
                                 registerTimeout);
        std::string text = Text::trim(output.stdoutText + output.stderrText);
        handle.post([this, status = output.status, text] {
            isWorking = false;
            lastMessage = status != 0 ? L("接入失败:%@", text) : L("已接入 Claude Code。新开一个 Claude 会话就能用了。");
            changed();
            refresh();
        });
    }).detach();
}
