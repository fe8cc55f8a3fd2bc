// Commands that go through the facade: largest, and the agent commands mcp
// and claude-setup.
#include <unistd.h>

#include <climits>
#include <cmath>

#include "Command.hpp"
#include "Service.hpp"
#include "scan/ScanStore.hpp"
#include "service/MCPServer.hpp"
#include "text/CLITexts.hpp"

namespace cli {
namespace {

std::string ownExecutable() {
    char buffer[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return "ostrevane";
    return std::string(buffer, static_cast<size_t>(length));
}

int largest(const Arguments& arguments) {
    std::string path = arguments.positionals.empty() ? Paths::home() : arguments.positionals[0];
    int64_t limit = std::clamp<int64_t>(arguments.integer("-n").value_or(25), 1, 200);
    const int64_t minSize = megabytesOption(arguments, "--min-size", 100);
    std::optional<int64_t> olderThan = arguments.integer("--older-than");

    auto lookup = Service::tree(path, false, nullptr, scanProgressLine(arguments));
    auto files = Service::largestFiles(lookup.node, limit, minSize, olderThan);
    if (arguments.json) {
        printJSON(files);
        return success;
    }
    if (files.empty()) {
        printLine(L("没有符合条件的文件。"));
        return success;
    }
    for (const auto& file : files) {
        char size[32];
        std::snprintf(size, sizeof size, "%10s", file.size.c_str());
        std::string line = std::string(size) + "  " + shownPath(file.path);
        if (file.modified) line += "  " + *file.modified;
        printLine(line);
    }
    return success;
}

int mcp(const Arguments& arguments) {
    const bool readOnly = arguments.has("--read-only");
    // A session that only reads leaves no trace on the disk, not even a scan.
    if (readOnly) ScanStore::keepScansInMemoryOnly();
    MCPServer::make(stdin, stdout, stderr, readOnly ? MCPServer::Offer::readOnly : MCPServer::Offer::allTools)->run();
    return success;
}

int claudeSetup(const Arguments& arguments) {
    std::string executable = ownExecutable();
    std::string text = L(CLITexts::setupKey, executable, executable);
    if (arguments.json) {
        printJSON(json{{"command", executable}, {"args", json::array({"mcp"})}});
        return success;
    }
    printLine(text);
    return success;
}

RegisterCommand largestCommand(
    {.name = "largest", .valueOptions = {"-n", "--min-size", "--older-than"}, .run = largest, .maxPositionals = 1});
RegisterCommand mcpCommand({.name = "mcp", .run = mcp, .flags = {"--read-only"}, .maxPositionals = 0});
RegisterCommand claudeSetupCommand({.name = "claude-setup", .run = claudeSetup, .maxPositionals = 0});

}  // namespace
}  // namespace cli
