#include "platform/ProgramSearch.hpp"

#include <unistd.h>

#include <sstream>
#include <vector>

#include "base/Files.hpp"
#include "base/Paths.hpp"
#include "base/Shell.hpp"
#include "base/Text.hpp"
#include "platform/Platform.hpp"

namespace Shell {

using Files::isExecutableFile;

std::optional<std::string> systemProgram(const std::string& name) {
    for (const char* folder : {"/usr/bin", "/bin", "/usr/local/bin"}) {
        std::string candidate = Paths::joined(folder, name);
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
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
        std::string candidate = Paths::joined(folder, name);
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
