// The MCP server driven by a client nobody here wrote: the official MCP
// TypeScript SDK, installed from npm, starts `ostrevane mcp` over stdio the way
// an agent does (tests/mcp-client/client.mjs) and reports what it saw.
//
// The SDK is installed once per build folder and kept there; a lock keeps
// concurrent test processes from installing into it at the same time. Without
// Node.js, npm or a reachable registry the test is skipped, not failed.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <sstream>

#include "TestSupport.hpp"
#include "scan/Scanner.hpp"
#include "service/MCPServer.hpp"

using namespace testing_support;

namespace {

/// npm gives up on a registry that does not answer well within this bound.
constexpr double installTimeout = 45;
/// The client script bounds each request itself; this only catches a hung node.
constexpr double clientTimeout = 60;

const fs::path clientSources = fs::path(OSTREVANE_SOURCE_DIR) / "tests" / "mcp-client";
/// Per build folder, so the plain and the sanitizer builds never share one.
const fs::path clientFolder = fs::path(OSTREVANE_CLI_PATH).parent_path() / "mcp-client-sdk";

/// Held for the life of the object: one process at a time prepares the folder.
class FolderLock {
public:
    explicit FolderLock(const fs::path& file) : fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (fd >= 0)
            while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FolderLock() {
        if (fd >= 0) ::close(fd);  // closing releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool held() const { return fd >= 0; }

private:
    int fd;
};

struct Preparation {
    std::string script;      // the client script, ready to run; empty when not
    std::string skipReason;  // set when the machine cannot run the test
    std::string failure;     // set when the install went wrong for another reason
};

/// Whether npm's failure says the registry could not be reached, rather than
/// that the install itself is wrong (a missing version, a broken package). A
/// registry whose certificate npm can't verify here (a proxy signing for it
/// whose CA this user's environment doesn't name) is as far out of reach.
bool isNetworkFailure(const std::string& npmErrors) {
    static const std::regex unreachable(
        R"(npm (error|ERR!) (code (ENOTFOUND|EAI_AGAIN|EAI_FAIL|ETIMEDOUT|ESOCKETTIMEDOUT|ECONNREFUSED|ECONNRESET|)"
        R"(ENETUNREACH|EHOSTUNREACH|ERR_SOCKET_TIMEOUT|E50[0-4]|SELF_SIGNED_CERT_IN_CHAIN|DEPTH_ZERO_SELF_SIGNED_CERT|)"
        R"(UNABLE_TO_GET_ISSUER_CERT_LOCALLY|UNABLE_TO_VERIFY_LEAF_SIGNATURE|CERT_HAS_EXPIRED)\b|network ))");
    return std::regex_search(npmErrors, unreachable);
}

/// npm's error text without its stack frames, which say nothing here.
std::string withoutStackFrames(const std::string& text) {
    std::stringstream lines(text);
    std::string kept;
    for (std::string line; std::getline(lines, line);)
        if (line.find("    at ") == std::string::npos) kept += line + "\n";
    return kept;
}

std::optional<int> nodeMajorVersion(const std::string& node) {
    auto version = Shell::run(node, {"--version"}, 15);
    std::smatch match;
    static const std::regex pattern(R"(^v(\d+)\.)");
    if (version.status != 0 || !std::regex_search(version.stdoutText, match, pattern)) return std::nullopt;
    return std::stoi(match[1]);
}

/// Writes `text` to `path` through a rename, so a node process reading the
/// file never sees it half written.
void replaceFile(const fs::path& path, const std::string& text) {
    fs::path temporary = path;
    temporary += ".tmp" + std::to_string(::getpid());
    writeText(temporary, text);
    fs::rename(temporary, path);
}

Preparation prepareClient(const std::string& npm) {
    Preparation preparation;
    fs::create_directories(clientFolder);
    FolderLock lock(clientFolder / ".install-lock");
    if (!lock.held()) {
        preparation.failure = "cannot lock " + clientFolder.string();
        return preparation;
    }

    const std::string manifest = readText(clientSources / "package.json");
    const fs::path stamp = clientFolder / "installed-package.json";
    const fs::path sdkManifest = clientFolder / "node_modules" / "@modelcontextprotocol" / "sdk" / "package.json";
    const bool installed = fs::exists(stamp) && readText(stamp) == manifest && fs::exists(sdkManifest);

    if (!installed) {
        fs::remove(stamp);
        replaceFile(clientFolder / "package.json", manifest);
        // npm's cache lives outside the home and outlives the build folders,
        // so a second build or a fresh clone installs from it without waiting.
        const fs::path cache = fs::temp_directory_path() / "ostrevane-npm-cache";
        auto started = std::chrono::steady_clock::now();
        auto install = Shell::run(
            npm,
            {"install", "--prefix", clientFolder.string(), "--cache", cache.string(), "--prefer-offline", "--no-audit",
             "--no-fund", "--no-package-lock", "--no-update-notifier", "--loglevel=error", "--fetch-timeout=15000",
             "--fetch-retries=1", "--fetch-retry-mintimeout=2000", "--fetch-retry-maxtimeout=5000"},
            installTimeout);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (install.status != 0) {
            std::string said = "npm install (status " + std::to_string(install.status) + ") said:\n" +
                               withoutStackFrames(install.stderrText + install.stdoutText);
            if (seconds >= installTimeout)
                preparation.skipReason = "npm could not install the MCP SDK within " +
                                         std::to_string(static_cast<int>(installTimeout)) + " s; " + said;
            else if (isNetworkFailure(install.stderrText))
                preparation.skipReason = "npm cannot reach its registry; " + said;
            else
                preparation.failure = said;
            return preparation;
        }
        if (!fs::exists(sdkManifest)) {
            preparation.failure = "npm install finished but left no SDK at " + sdkManifest.string();
            return preparation;
        }
        writeText(stamp, manifest);
    }

    const fs::path script = clientFolder / "client.mjs";
    replaceFile(script, readText(clientSources / "client.mjs"));
    preparation.script = script.string();
    return preparation;
}

/// Sizes are allocated bytes, and the file system may settle a new file's
/// blocks (an extent block for a fragmented one) only when it writes the file
/// out; forcing that now keeps the server's and this test's scans in step.
void settleOnDisk(const fs::path& file) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << file;
    EXPECT_EQ(::fsync(fd), 0) << file;
    ::close(fd);
}

/// The ids of a suggestion report's suggestions.
std::vector<std::string> suggestionIds(const json& report) {
    std::vector<std::string> ids;
    for (const auto& suggestion : report.value("suggestions", json::array())) ids.push_back(suggestion.value("id", ""));
    return ids;
}

}  // namespace

TEST(MCPClient, TheOfficialSDKDrivesTheServer) {
    auto node = Shell::which("node");
    auto npm = Shell::which("npm");
    if (!node || !npm) GTEST_SKIP() << "Node.js and npm are needed to run the MCP SDK client; not found on PATH";
    auto major = nodeMajorVersion(*node);
    if (!major || *major < 18)
        GTEST_SKIP() << "the MCP SDK needs Node.js 18 or later; " << *node << " is "
                     << (major ? "version " + std::to_string(*major) : "unreadable");

    Preparation preparation = prepareClient(*npm);
    if (!preparation.skipReason.empty()) GTEST_SKIP() << preparation.skipReason;
    ASSERT_EQ(preparation.failure, "");

    ScopedHome home;
    for (auto [file, size] : std::vector<std::pair<std::string, uintmax_t>>{
             {"Projects/app/main.c", 4'000}, {"Projects/app/build/app.bin", 300'000}, {"Projects/notes.txt", 120}})
        settleOnDisk(writeFile(home.path(file), size));
    writeFile(home.path("Documents/letter.txt"), 2'000);
    // Enough installer images for the full analysis to name them; quick mode
    // does not look in Downloads.
    writeFile(home.path("Downloads/tool.iso"), 51'000'000);
    const std::string projects = home.path("Projects").string();

    auto run = Shell::run(*node, {preparation.script, OSTREVANE_CLI_PATH, projects}, clientTimeout);
    const std::string context = "client status " + std::to_string(run.status) + "\n--- its standard error:\n" +
                                run.stderrText + "\n--- its standard output:\n" + run.stdoutText;
    ASSERT_EQ(run.status, 0) << context;

    json summary;
    ASSERT_NO_THROW(summary = json::parse(run.stdoutText)) << context;
    SCOPED_TRACE(context);

    EXPECT_EQ(summary["server"], (json{{"name", "ostrevane"}, {"title", "Ostrevane"}, {"version", "0.3.1"}}));
    EXPECT_EQ(summary["capabilities"], (json{{"tools", {{"listChanged", false}}}}));
    EXPECT_EQ(summary["instructions"], MCPServer::instructions);
    EXPECT_EQ(summary["ping"], json::object());

    EXPECT_EQ(summary["tools"],
              (json{"disk_status", "scan_directory", "largest_files", "get_suggestions", "apply_suggestion",
                    "move_to_trash", "empty_trash", "list_backup_destinations", "backup_to_cloud", "offload_to_cloud",
                    "backup_history", "evict_local_copies", "find_duplicates", "reveal_in_finder"}));

    const json& status = summary["diskStatus"];
    EXPECT_EQ(status["isError"], false);
    EXPECT_EQ(status["contentCount"], 1);
    EXPECT_EQ(status["data"]["home"], home.home());
    EXPECT_FALSE(status["data"]["volumes"].empty());

    const json& scan = summary["scan"];
    EXPECT_EQ(scan["isError"], false);
    EXPECT_EQ(scan["data"]["path"], projects);
    EXPECT_EQ(scan["data"]["totalBytes"], Scanner::scan(projects).root.size);
    EXPECT_EQ(scan["data"]["fileCount"], 3);
    EXPECT_EQ(scan["data"]["fromCache"], false);
    EXPECT_EQ(scan["data"]["tree"]["path"], projects);
    // The SDK's transport saw progress for the token the SDK chose; whether
    // its `onprogress` also ran depends on whether the reply came in the same
    // read, so that count is not checked.
    const json& progress = scan["progress"];
    ASSERT_EQ(progress["progressTokensSent"].size(), 1u);
    ASSERT_GE(progress["progressReceived"].size(), 1u);
    for (const auto& notification : progress["progressReceived"]) {
        EXPECT_EQ(notification["progressToken"], progress["progressTokensSent"][0]);
        EXPECT_TRUE(notification["progress"].is_number());
        EXPECT_EQ(notification["afterReply"], false);
    }
    for (const auto& error : summary["sdkErrors"])
        EXPECT_THAT(error.get<std::string>(), ::testing::HasSubstr("progress notification for an unknown token"));

    const json& quick = summary["quickSuggestions"];
    EXPECT_EQ(quick["isError"], false);
    EXPECT_EQ(quick["data"]["mode"], "quick");
    EXPECT_THAT(suggestionIds(quick["data"]), ::testing::Not(::testing::Contains("downloads-installers")));

    const json& full = summary["fullSuggestions"];
    EXPECT_EQ(full["isError"], false);
    EXPECT_EQ(full["data"]["mode"], "full");
    EXPECT_THAT(suggestionIds(full["data"]), ::testing::Contains("downloads-installers"));
    EXPECT_GE(full["data"]["totalReclaimableBytes"].get<int64_t>(), 51'000'000);

    // Every step was a look, never a change.
    EXPECT_TRUE(fs::exists(home.path("Downloads/tool.iso")));
}
