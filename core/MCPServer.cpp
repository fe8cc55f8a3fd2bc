#include "MCPServer.hpp"

#include <algorithm>
#include <chrono>

#include "Localization.hpp"
#include "Scanner.hpp"
#include "backup/Backup.hpp"
#include "base/InputLimits.hpp"

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

/// JSON-RPC ids and MCP progress tokens are texts or numbers (ids may be null).
bool isScalarId(const json& value) { return value.is_string() || value.is_number() || value.is_null(); }

json property(const char* type, const char* description) { return {{"type", type}, {"description", description}}; }

json stringList(const char* description) {
    json schema = property("array", description);
    schema["items"] = {{"type", "string"}};
    return schema;
}

json tool(const char* name, const char* title, const char* description, json properties,
          std::vector<std::string> required, bool readOnly, bool destructive) {
    json schema = {{"type", "object"}, {"properties", properties.is_null() ? json::object() : properties}};
    if (!required.empty()) schema["required"] = required;
    return {{"name", name},
            {"title", title},
            {"description", description},
            {"inputSchema", schema},
            {"annotations",
             {{"title", title}, {"readOnlyHint", readOnly}, {"destructiveHint", destructive}, {"openWorldHint", false}}}};
}

json buildTools() {
    const json pathProp = property("string", "Absolute path or ~ path. Defaults to the home folder.");
    const json refreshProp = property("boolean", "Ignore the 15-minute scan cache and rescan.");
    const json confirmProp = property(
        "boolean",
        "false (default) = dry run that only reports what would happen. Set true only after the user approved the "
        "dry-run result.");

    json tools = json::array();
    tools.push_back(tool("disk_status", "Disk status",
                         "Capacity, used and available space for every mounted volume, whether the home folder can be "
                         "read (fullDiskAccess), and when the home folder was last scanned. Fast; call this first.",
                         json::object(), {}, true, false));
    tools.push_back(tool("scan_directory", "Scan a folder",
                         "Size breakdown of a folder as a tree (largest children first). The first scan of the home "
                         "folder walks every file and can take a minute; results are cached for 15 minutes and "
                         "sub-folders are answered from that cache.",
                         {{"path", pathProp},
                          {"depth", property("integer", "Levels of children to return, 1-6. Default 2.")},
                          {"top", property("integer", "Children per folder, 1-50. Default 10.")},
                          {"refresh", refreshProp}},
                         {}, true, false));
    tools.push_back(tool("largest_files", "Largest files",
                         "The biggest individual files under a path, optionally only ones not modified for N days.",
                         {{"path", pathProp},
                          {"limit", property("integer", "How many files. Default 25.")},
                          {"min_size_mb", property("number", "Minimum size in MB. Default 100.")},
                          {"older_than_days", property("integer", "Only files not modified for at least this many days.")},
                          {"refresh", refreshProp}},
                         {}, true, false));
    tools.push_back(tool("get_suggestions", "Cleanup suggestions",
                         "Ranked cleanup suggestions with reclaimable size, risk (safe / review / caution), the paths "
                         "involved and \u2014 where one exists \u2014 a better command to run. Each has an id for "
                         "apply_suggestion. quick=true only checks well-known cache locations and skips the full scan.",
                         {{"quick", property("boolean", "Skip the full home scan. Default false.")},
                          {"refresh", refreshProp}},
                         {}, true, false));
    tools.push_back(tool("apply_suggestion", "Apply a suggestion",
                         "Carries out one autoApplicable suggestion by moving its files to the Trash (recoverable). "
                         "Dry run unless confirm=true.",
                         {{"id", property("string", "Suggestion id from get_suggestions.")}, {"confirm", confirmProp}},
                         {"id"}, false, true));
    tools.push_back(tool("move_to_trash", "Move to Trash",
                         "Moves specific files or folders to the Trash (recoverable until the Trash is emptied). "
                         "Protected folders such as ~/Documents itself are refused. Dry run unless confirm=true.",
                         {{"paths", stringList("Absolute or ~ paths.")}, {"confirm", confirmProp}}, {"paths"}, false,
                         true));
    tools.push_back(tool("empty_trash", "Empty the Trash",
                         "Permanently deletes everything in the Trash. This is what actually frees the space after a "
                         "cleanup. Irreversible: requires confirm=true and the user's explicit approval.",
                         {{"confirm", confirmProp}}, {}, false, true));
    tools.push_back(tool("list_backup_destinations", "Backup destinations",
                         "Cloud drives and folders that can receive backups: iCloud Drive, Google Drive / Dropbox / "
                         "OneDrive / Box sync folders, rclone remotes and user-added folders, plus saved backup plans.",
                         json::object(), {}, true, false));
    tools.push_back(tool(
        "backup_to_cloud", "Back up a folder",
        "Incrementally copies a file or folder to a destination under 'Ostrevane Backups/<computer name>/\u2026'. Only new "
        "or changed files are copied and nothing is ever deleted at the destination, so it is safe to rerun. Use "
        "dry_run=true to preview a large backup.",
        {{"source", property("string", "File or folder to back up.")},
         {"destination", property("string", "Destination id from list_backup_destinations, or a folder path.")},
         {"dry_run", property("boolean", "Only report what would be copied. Default false.")},
         {"exclude",
          stringList("Extra file or folder names to skip (node_modules, .DS_Store etc. are skipped by default).")}},
        {"source", "destination"}, false, false));
    tools.push_back(tool("offload_to_cloud", "Offload to cloud",
                         "Frees local space without losing data: backs the path up, verifies every file arrived, then "
                         "moves the local copy to the Trash. Dry run unless confirm=true.",
                         {{"source", property("string", "File or folder to offload.")},
                          {"destination", property("string", "Destination id or folder path.")},
                          {"confirm", confirmProp}},
                         {"source", "destination"}, false, true));
    tools.push_back(tool("backup_history", "Backup history", "Most recent backup runs with their results.",
                         {{"limit", property("integer", "Default 10.")}}, {}, true, false));
    tools.push_back(tool("evict_local_copies", "Evict local iCloud copies",
                         "Removes the local copy of files that are already uploaded to iCloud Drive; they stay in the "
                         "cloud and download again on demand. Files that have not finished uploading are left alone.",
                         {{"path", property("string", "A file or folder inside iCloud Drive.")}}, {"path"}, false,
                         false));
    tools.push_back(tool("find_duplicates", "Find duplicate files",
                         "Groups of identical files and how much space the extra copies waste.",
                         {{"path", pathProp},
                          {"min_size_mb", property("number", "Ignore files smaller than this. Default 50.")},
                          {"verify", property("boolean", "Hash whole files instead of head and tail. Slower, certain.")},
                          {"refresh", refreshProp}},
                         {}, true, false));
    tools.push_back(tool("reveal_in_finder", "Show in the file manager",
                         "Opens the file manager with the item selected so the user can look at it themselves.",
                         {{"path", property("string", "Path to reveal.")}}, {"path"}, false, false));
    return tools;
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
    static const json table = buildTools();
    return table;
}

const json& MCPServer::readOnlyTools() {
    static const json table = [] {
        json readers = json::array();
        for (const json& entry : tools())
            if (entry["annotations"]["readOnlyHint"] == true) readers.push_back(entry);
        return readers;
    }();
    return table;
}

std::shared_ptr<MCPServer> MCPServer::make(FILE* input, FILE* output, FILE* errors, Offer offer) {
    return std::shared_ptr<MCPServer>(new MCPServer(input, output, errors, offer));
}

const json& MCPServer::offeredTools() const { return offer == Offer::readOnly ? readOnlyTools() : tools(); }

bool MCPServer::offers(const std::string& toolName) const {
    const json& offered = offeredTools();
    return std::any_of(offered.begin(), offered.end(), [&](const json& entry) { return entry["name"] == toolName; });
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
    const int64_t limit = InputLimits::requestLineBytes();
    std::string line;
    while (true) {
        line.clear();
        // A line over the limit is read to its end but not kept, so it costs
        // no memory and the next line is served as usual.
        bool tooLong = false;
        int c;
        while ((c = std::fgetc(input)) != EOF && c != '\n') {
            if (tooLong) continue;
            if (static_cast<int64_t>(line.size()) >= limit) {
                tooLong = true;
                std::string().swap(line);
                continue;
            }
            line += static_cast<char>(c);
        }
        if (c == EOF && line.empty() && !tooLong) return;
        if (tooLong) {
            writeLine(failure(nullptr, -32600, "Request too large"));
        } else {
            std::string request = Text::trim(line);
            if (!request.empty())
                if (auto reply = handle(request)) writeLine(*reply);
        }
        if (c == EOF) return;
    }
}

std::optional<json> MCPServer::handle(const std::string& line) {
    bool tooDeep = false;
    auto parsed = InputLimits::parse(line, requestDepthLimit, &tooDeep);
    if (tooDeep) return failure(nullptr, -32600, "Request nested too deeply");
    if (!parsed || !parsed->is_object()) return failure(nullptr, -32700, "Parse error");
    const json request = std::move(*parsed);

    auto method = request.find("method");
    if (method == request.end() || !method->is_string()) return std::nullopt;
    auto idMember = request.find("id");
    if (idMember == request.end()) return std::nullopt;
    if (!isScalarId(*idMember)) return failure(nullptr, -32600, "Invalid Request: id must be a string, a number or null");
    const json id = *idMember;
    json params = json::object();
    if (auto found = request.find("params"); found != request.end() && found->is_object()) params = *found;

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
    if (name != "tools/call") return failure(id, -32601, "Method not found: " + name);

    std::string toolName;
    if (auto found = params.find("name"); found != params.end() && found->is_string()) toolName = found->get<std::string>();
    json arguments = json::object();
    if (auto found = params.find("arguments"); found != params.end() && !found->is_null()) {
        // The value itself is never echoed: it may be anything the client sent.
        if (!found->is_object()) return failure(id, -32602, "Invalid params: arguments must be an object");
        arguments = *found;
    }
    std::optional<json> progressToken;
    if (auto meta = params.find("_meta"); meta != params.end() && meta->is_object())
        if (auto token = meta->find("progressToken"); token != meta->end() && isScalarId(*token) && !token->is_null())
            progressToken = *token;

    if (!offers(toolName)) return failure(id, -32602, "Unknown tool: " + toolName);

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
            if (throttle->last != 0 && now - throttle->last < 1.0) return;
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
