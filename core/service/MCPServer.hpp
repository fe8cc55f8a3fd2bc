// The MCP server of the `ostrevane` tool: newline-delimited JSON-RPC 2.0 on
// standard input and output, one request at a time.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Support.hpp"
#include "platform/SeenWay.hpp"
#include "platform/TrashIdentity.hpp"

struct ScanProgress;
struct BackupProgress;

/// The JSON-RPC 2.0 error codes the server answers with.
namespace JSONRPC {
inline constexpr int parseError = -32700;
inline constexpr int invalidRequest = -32600;
inline constexpr int methodNotFound = -32601;
inline constexpr int invalidParams = -32602;
}  // namespace JSONRPC

class MCPServer : public std::enable_shared_from_this<MCPServer> {
public:
    static const std::string instructions;
    /// The listing of the fourteen tools of MCPTools::table(), in order; also
    /// what the application's agent page lists.
    static const json& tools();
    /// The entries of tools() of the tools that only read, in order.
    static const json& readOnlyTools();

    /// What a server lists and answers: every tool, or only those that read
    /// (for an agent that must not change anything; a write tool is then an
    /// unknown tool).
    enum class Offer { allTools, readOnly };

    /// Use `make` so progress closures can hold the server weakly.
    static std::shared_ptr<MCPServer> make(FILE* input = stdin, FILE* output = stdout, FILE* errors = stderr,
                                           Offer offer = Offer::allTools);

    /// Reads requests until end of input, answering each before reading the next.
    void run();
    /// One request line -> the reply, or none when nothing is written for it.
    std::optional<json> handle(const std::string& line);

    /// Runs one tool; the result text, or an exception whose text becomes an
    /// error result (also for a tool this server does not offer).
    std::string call(const std::string& name, const json& arguments, const std::optional<json>& progressToken);

    /// What the session's earlier answers showed, which its later calls keep
    /// to: a confirmed call acts on what the user approved, not on what is
    /// there by then.
    struct Session {
        /// What the analysis behind the last answer that showed the Trash
        /// suggestion measured in the Trash.
        std::optional<Trash::MeasuredEntries> trashShown;
        /// Per suggestion id, the paths the last dry run of it listed.
        std::map<std::string, std::vector<std::string>> dryRunListed;
        /// Per suggestion id, what the last dry run of it measured of its
        /// items and the ways to them, which its confirmed move keeps to.
        std::map<std::string, SeenFolders> dryRunSeen;
    };
    /// The session's state; its tools run one at a time.
    Session& session() { return sessionState; }

    std::function<void(const ScanProgress&)> scanProgress(const std::optional<json>& token);
    std::function<void(const BackupProgress&)> backupProgress(const std::optional<json>& token);

private:
    MCPServer(FILE* input, FILE* output, FILE* errors, Offer offer)
        : input(input), output(output), errors(errors), offer(offer) {}
    /// tools() or readOnlyTools(), as the server was made.
    const json& offeredTools() const;
    bool offers(const std::string& toolName) const;
    void writeLine(const json& message);
    /// A closure that sends `params(progress)` at most once a second.
    template <class Progress>
    std::function<void(const Progress&)> throttled(const std::optional<json>& token,
                                                   std::function<json(const Progress&)> params);
    static json failure(const json& id, int code, const std::string& message);

    FILE* input;
    FILE* output;
    FILE* errors;
    Offer offer;
    Session sessionState;
    std::mutex outLock;
};
