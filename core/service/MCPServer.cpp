#include "service/MCPServer.hpp"

#include <chrono>

#include "backup/Backup.hpp"
#include "base/InputLimits.hpp"
#include "base/LineReader.hpp"
#include "base/ProgressPace.hpp"
#include "scan/Scanner.hpp"
#include "service/MCPToolTable.hpp"
#include "text/Localization.hpp"

const std::string MCPServer::instructions =
    "Ostrevane inspects disk usage on this computer, suggests what to clean up, and backs folders up to cloud drives.\n"
    "Typical flow: disk_status \u2192 get_suggestions (runs a full home scan the first time; can take a minute) "
    "\u2192 scan_directory / largest_files to dig deeper \u2192 propose a plan to the user \u2192 act.\n"
    "Safety rules: tools that change anything default to a dry run. Show the user the dry-run result and get "
    "their explicit approval before calling again with confirm=true. Cleanup only moves items to the Trash "
    "(recoverable); space is freed when the Trash is emptied, and empty_trash is permanent. Suggestions with "
    "risk \"caution\" or autoApplicable=false must be handled by the user or with the suggested command \u2014 "
    "never work around that by trashing their paths wholesale. To free space without losing data, prefer "
    "offload_to_cloud (backup, verify, then trash).\n"
    "Sizes are allocated bytes on disk; human-readable strings are included next to every byte count.";

namespace {

const char* const serverName = "ostrevane";
const char* const serverTitle = "Ostrevane";
const char* const supportedVersions[] = {"2025-06-18", "2025-03-26", "2024-11-05"};
// No request needs more than a handful of levels; the cap keeps a hostile
// line from nesting the parser, the reply and its encoder out of the stack.
constexpr int requestDepthLimit = 64;

/// Progress tokens that are echoed in notifications: texts and numbers.
bool isEchoedToken(const json& value) { return value.is_string() || value.is_number(); }

/// The member `key` of `object` when it is an object, else an empty object.
json objectMember(const json& object, const char* key) {
    auto found = object.find(key);
    return found != object.end() && found->is_object() ? *found : json::object();
}

/// Compact, slashes unescaped; none when the message cannot be serialised.
std::optional<std::string> serialise(const json& message) {
    std::string text = JSONOut::encode(message, false);
    if (text == JSONOut::failureDocument) return std::nullopt;
    return text;
}

double absoluteSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

const json& MCPServer::tools() {
    static const json listing = [] {
        json entries = json::array();
        for (const MCPTools::Tool& tool : MCPTools::table()) entries.push_back(tool.listing());
        return entries;
    }();
    return listing;
}

const json& MCPServer::readOnlyTools() {
    static const json listing = [] {
        json entries = json::array();
        for (const MCPTools::Tool& tool : MCPTools::table())
            if (tool.readOnly) entries.push_back(tool.listing());
        return entries;
    }();
    return listing;
}

std::shared_ptr<MCPServer> MCPServer::make(FILE* input, FILE* output, FILE* errors, Offer offer) {
    return std::shared_ptr<MCPServer>(new MCPServer(input, output, errors, offer));
}

const json& MCPServer::offeredTools() const { return offer == Offer::readOnly ? readOnlyTools() : tools(); }

bool MCPServer::offers(const std::string& toolName) const {
    const MCPTools::Tool* tool = MCPTools::find(toolName);
    return tool && (offer == Offer::allTools || tool->readOnly);
}

json MCPServer::failure(const json& id, int code, const std::string& message) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

void MCPServer::writeLine(const json& message) {
    auto text = serialise(message);
    if (!text) return;
    std::lock_guard guard(outLock);
    std::fwrite(text->data(), 1, text->size(), output);
    std::fputc('\n', output);
    std::fflush(output);
}

void MCPServer::run() {
    LineReader reader(input, InputLimits::requestLineBytes());
    while (auto line = reader.next()) {
        if (line->tooLong) {
            writeLine(failure(nullptr, JSONRPC::invalidRequest, "Request too large"));
            continue;
        }
        std::string request = Text::trim(line->text);
        if (request.empty()) continue;
        if (auto reply = handle(request)) writeLine(*reply);
    }
}

std::optional<json> MCPServer::handle(const std::string& line) {
    bool tooDeep = false;
    auto parsed = InputLimits::parse(line, requestDepthLimit, &tooDeep);
    // A line over the nesting cap is not decoded, so even its id is unknown.
    if (tooDeep) return failure(nullptr, JSONRPC::invalidRequest, "Request nested too deeply");
    if (!parsed || !parsed->is_object()) return failure(nullptr, JSONRPC::parseError, "Parse error");
    const json request = std::move(*parsed);

    auto method = request.find("method");
    if (method == request.end() || !method->is_string()) return std::nullopt;
    auto idMember = request.find("id");
    if (idMember == request.end()) return std::nullopt;
    // Any id is echoed unchanged: the client matches replies by it.
    const json id = *idMember;
    const json params = objectMember(request, "params");

    auto reply = [&](json result) { return json{{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}}; };
    const std::string name = method->get<std::string>();

    if (name == "initialize") {
        std::string asked;
        if (auto version = params.find("protocolVersion"); version != params.end() && version->is_string())
            asked = version->get<std::string>();
        std::string chosen = supportedVersions[0];
        for (const char* version : supportedVersions)
            if (asked == version) chosen = version;
        return reply({{"protocolVersion", chosen},
                      {"capabilities", {{"tools", {{"listChanged", false}}}}},
                      {"serverInfo", {{"name", serverName}, {"title", serverTitle}, {"version", Ostrevane::version}}},
                      {"instructions", instructions}});
    }
    if (name == "ping") return reply(json::object());
    if (name == "tools/list") return reply({{"tools", offeredTools()}});
    if (name != "tools/call") return failure(id, JSONRPC::methodNotFound, "Method not found: " + name);

    std::string toolName;
    if (auto found = params.find("name"); found != params.end() && found->is_string())
        toolName = found->get<std::string>();
    const json arguments = objectMember(params, "arguments");
    std::optional<json> progressToken;
    if (auto meta = params.find("_meta"); meta != params.end() && meta->is_object())
        if (auto token = meta->find("progressToken"); token != meta->end() && isEchoedToken(*token))
            progressToken = *token;

    if (!offers(toolName)) return failure(id, JSONRPC::invalidParams, "Unknown tool: " + toolName);

    auto result = [&](const std::string& text, bool isError) {
        return reply({{"content", json::array({{{"type", "text"}, {"text", text}}})}, {"isError", isError}});
    };
    try {
        return result(call(toolName, arguments, progressToken), false);
    } catch (const std::exception& error) {
        std::string text = error.what();
        std::string logLine = "[ostrevane-mcp] tool " + toolName + " failed: " + text + "\n";
        std::fputs(logLine.c_str(), errors);
        std::fflush(errors);
        return result(text, true);
    }
}

template <class Progress>
std::function<void(const Progress&)> MCPServer::throttled(const std::optional<json>& token,
                                                          std::function<json(const Progress&)> params) {
    if (!token) return nullptr;
    struct Throttle {
        std::mutex lock;
        double last = 0;
    };
    auto throttle = std::make_shared<Throttle>();
    std::weak_ptr<MCPServer> server = weak_from_this();
    json tokenValue = *token;
    return [throttle, server, tokenValue, params](const Progress& progress) {
        {
            std::lock_guard guard(throttle->lock);
            double now = absoluteSeconds();
            if (throttle->last != 0 && now - throttle->last < ProgressPace::notification) return;
            throttle->last = now;
        }
        auto alive = server.lock();
        if (!alive) return;
        json body = params(progress);
        body["progressToken"] = tokenValue;
        alive->writeLine({{"jsonrpc", "2.0"}, {"method", "notifications/progress"}, {"params", body}});
    };
}

std::function<void(const ScanProgress&)> MCPServer::scanProgress(const std::optional<json>& token) {
    return throttled<ScanProgress>(token, [](const ScanProgress& progress) {
        return json{{"progress", progress.files},
                    {"message", L("已扫描 %@ 个文件,%@", progress.files, Fmt::bytes(progress.bytes))}};
    });
}

std::function<void(const BackupProgress&)> MCPServer::backupProgress(const std::optional<json>& token) {
    return throttled<BackupProgress>(token, [](const BackupProgress& progress) {
        return json{{"progress", progress.bytesDone},
                    {"total", progress.bytesTotal},
                    {"message", L("已处理 %@/%@ 个文件", progress.filesDone, progress.filesTotal)}};
    });
}
