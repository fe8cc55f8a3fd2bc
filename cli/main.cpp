// Entry point of `ostrevane`: the help text, and dispatch to the commands.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "Command.hpp"
#include "OwnFolders.hpp"
#include "backup/Backup.hpp"
#include "text/CLITexts.hpp"

namespace {
/// The names a backup leaves out unless asked, listed for the help.
std::string defaultExcludesList() {
    std::string list;
    for (const auto& name : BackupOptions::defaultExcludes) list += (list.empty() ? "" : L("、")) + name;
    return list;
}

std::string helpText() {
    return L(CLITexts::helpKey, Ostrevane::version) + "\n" + L(CLITexts::backupExcludesKey, defaultExcludesList()) +
           "\n";
}

/// Asking for help wins wherever it is asked (`ostrevane scan --help`), up to
/// the "--" after which every word is a path.
bool asksForHelp(const std::vector<std::string>& words) {
    for (const std::string& word : words) {
        if (word == "--") return false;
        if (word == "-h" || word == "--help") return true;
    }
    return false;
}

/// After a usage error, one line that says where the help is rather than
/// the whole help, so the error stays in sight.
void pointToHelp() { std::fputs((L("运行 ostrevane --help 查看所有命令和选项。") + "\n").c_str(), stderr); }

/// `status`, or a failure when standard output could not take the answer:
/// the caller never read what was done or found.
int afterOutput(int status) {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    const int error = errno;
    // A reader that stopped early (`| head`) wants no more, and no message.
    if (error != 0 && error != EPIPE) cli::printError(std::strerror(error));
    return status == cli::success ? cli::failure : status;
}

/// The command the words ask for, run; its exit status.
int run(const std::vector<std::string>& words) {
    if (words.empty() || words[0] == "help" || asksForHelp(words)) {
        std::fputs(helpText().c_str(), stdout);
        return cli::success;
    }

    // What a launcher or an installer runs to check that the tool is there and which one it is.
    if (words.size() == 1 && words[0] == "--version") {
        std::fputs(("ostrevane " + std::string(Ostrevane::version) + "\n").c_str(), stdout);
        return cli::success;
    }

    const cli::Command* command = cli::findCommand(words[0]);
    if (!command) {
        std::fputs(L("未知命令: %@\n", cli::shown(words[0])).c_str(), stderr);
        pointToHelp();
        return cli::usageError;
    }
    // The tool's own folders that it leaves alone, said once each, on the
    // side of the answer.
    OwnFolders::Hooks::active().refused = [](const std::string& line) {
        cli::endProgress();
        std::fputs((line + "\n").c_str(), stderr);
    };
    try {
        int status = command->run(cli::parse(*command, {words.begin() + 1, words.end()}));
        cli::endProgress();
        return status;
    } catch (const cli::UsageError& error) {
        cli::printError(error.message);
        pointToHelp();
        return cli::usageError;
    } catch (const OstrevaneError& error) {
        cli::printError(error.message);
        return cli::failure;
    } catch (const std::exception& error) {
        // A failure the engine did not word itself still ends as an error
        // line and status 1, never as an abort.
        cli::printError(error.what());
        return cli::failure;
    }
}
}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    // The words are the bytes as given: a name's bytes are its own, and a
    // runtime that holds stray bytes otherwise (Python's surrogateescape)
    // turns them back into the bytes when it starts a program.
    std::vector<std::string> words(argv + 1, argv + argc);
    return afterOutput(run(words));
}
