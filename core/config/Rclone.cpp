#include "config/Rclone.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "base/InputLimits.hpp"
#include "platform/Platform.hpp"

extern char** environ;

namespace Rclone {

namespace {
bool isPresent(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

/// The Finder's two bookkeeping files, which "check" passes over.
constexpr const char* checkPassesOver[] = {".DS_Store", ".localized"};

/// The folders below `source`, relative to it, but those "check" passes over
/// and what they hold; links are not followed. None when one can't be read.
std::optional<std::set<std::string>> sourceFolders(const std::string& source) {
    std::set<std::string> folders;
    std::error_code error;
    std::filesystem::recursive_directory_iterator walk(source, error), end;
    for (; !error && walk != end; walk.increment(error)) {
        std::error_code entryError;
        if (walk->symlink_status(entryError).type() != std::filesystem::file_type::directory) continue;
        const std::string name = walk->path().filename().string();
        if (std::find(std::begin(checkPassesOver), std::end(checkPassesOver), name) != std::end(checkPassesOver)) {
            walk.disable_recursion_pending();
            continue;
        }
        folders.insert(walk->path().lexically_relative(source).string());
    }
    if (error) return std::nullopt;
    return folders;
}

/// Our environment with `name` set to `value`.
std::vector<std::string> environmentWith(const std::string& name, const std::string& value) {
    std::vector<std::string> entries;
    const std::string prefix = name + "=";
    for (char** entry = environ; entry && *entry; ++entry)
        if (!std::string_view(*entry).starts_with(prefix)) entries.emplace_back(*entry);
    entries.push_back(prefix + value);
    return entries;
}
}  // namespace

Hooks& Hooks::active() {
    static Hooks current{[] { return Shell::which("rclone"); }};
    return current;
}

std::optional<std::string> executable() { return Hooks::active().locate(); }

std::string remotePath(const std::string& remote, const std::string& relative) { return remote + relative; }

std::string literalPattern(const std::string& name) {
    std::string pattern;
    for (char character : name) {
        if (std::string_view("\\*?[]{}").find(character) != std::string_view::npos) pattern.push_back('\\');
        pattern.push_back(character);
    }
    return pattern;
}

std::vector<std::string> copyArguments(const std::string& source, const std::string& target,
                                       const std::vector<std::string>& excludes, bool dryRun) {
    // Empty folders go too: an offload trashes the source only once every folder arrived.
    std::vector<std::string> arguments = {"copy",           source,    target, "--create-empty-src-dirs",
                                          "--use-json-log", "--stats", "1s",   "--stats-log-level",
                                          "NOTICE"};
    for (const auto& name : excludes) {
        // The name alone matches files; name/** matches a folder's contents
        // (a filter pattern, not a path).
        const std::string pattern = literalPattern(name);
        arguments.insert(arguments.end(), {"--exclude", pattern, "--exclude", pattern + "/**"});
    }
    if (dryRun) arguments.push_back("--dry-run");
    return arguments;
}

std::vector<std::string> checkArguments(const std::string& source, const std::string& target, bool sourceIsFolder) {
    std::vector<std::string> arguments = {"check", source, target, "--one-way", "--size-only"};
    if (sourceIsFolder)
        for (const char* name : checkPassesOver) arguments.insert(arguments.end(), {"--exclude", name});
    return arguments;
}

bool check(const std::string& source, const std::string& target) {
    auto program = executable();
    if (!program) return false;
    std::error_code error;
    const bool sourceIsFolder = std::filesystem::is_directory(source, error);
    if (Shell::run(*program, checkArguments(source, target, sourceIsFolder), checkTimeout).status != 0) return false;
    return !sourceIsFolder || foldersArrived(source, target);
}

std::vector<std::string> folderListingArguments(const std::string& target) {
    return {"lsjson", "--dirs-only", "--recursive", target};
}

std::optional<std::set<std::string>> parseListing(const std::string& output) {
    // A listing is one flat array of entries: anything deeper is no listing.
    auto parsed = InputLimits::parse(output, 3);
    if (!parsed || !parsed->is_array()) return std::nullopt;
    std::set<std::string> paths;
    for (const auto& entry : *parsed) {
        auto path = entry.is_object() ? entry.find("Path") : entry.end();
        if (path != entry.end() && path->is_string()) paths.insert(path->get<std::string>());
    }
    return paths;
}

bool foldersArrived(const std::string& source, const std::string& target) {
    auto folders = sourceFolders(source);
    if (!folders) return false;
    if (folders->empty()) return true;
    auto program = executable();
    if (!program) return false;
    Shell::Output output = Shell::run(*program, folderListingArguments(target), checkTimeout);
    auto listed = output.status == 0 ? parseListing(output.stdoutText) : std::nullopt;
    if (!listed) return false;
    return std::includes(listed->begin(), listed->end(), folders->begin(), folders->end());
}

std::optional<std::string> listingConfigFile(const std::string& program) {
    if (auto named = Platform::environment("RCLONE_CONFIG"); named && !named->empty()) return std::nullopt;
    const std::string home = Platform::realHome();
    std::filesystem::path folder;
    if (auto xdg = Platform::environment("XDG_CONFIG_HOME"); xdg && !xdg->empty())
        folder = std::filesystem::path(*xdg) / "rclone";
    else
        folder = std::filesystem::path(home) / ".config" / "rclone";
    if (isPresent(folder)) return std::nullopt;
    // rclone looks beside its own file, wherever a link to it stands.
    std::error_code error;
    std::filesystem::path itself = std::filesystem::canonical(program, error);
    if (error) itself = program;
    for (const auto& candidate : {itself.parent_path() / "rclone.conf", std::filesystem::path(home) / ".rclone.conf"})
        if (isPresent(candidate)) return candidate.string();
    return (folder / "rclone.conf").string();
}

std::vector<std::string> listRemotes() {
    auto program = executable();
    if (!program) return {};
    auto file = listingConfigFile(*program);
    Shell::Output output = file ? Shell::runWithEnvironment(*program, {"listremotes"}, listRemotesTimeout,
                                                            environmentWith("RCLONE_CONFIG", *file))
                                : Shell::run(*program, {"listremotes"}, listRemotesTimeout);
    if (output.status != 0) return {};
    return parseRemotes(output.stdoutText);
}

std::vector<std::string> parseRemotes(const std::string& output) {
    std::vector<std::string> remotes;
    std::stringstream lines(output);
    for (std::string line; std::getline(lines, line, '\n');) {
        std::string trimmed = HorizontalSpace::trim(line);
        if (trimmed.size() >= 2 && trimmed.back() == ':') remotes.push_back(trimmed);
    }
    return remotes;
}

void Stats::absorb(const json& stats) {
    auto take = [&](const char* key, int64_t& field) {
        auto found = stats.find(key);
        if (found == stats.end() || !found->is_number()) return;
        field = found->is_number_float() ? static_cast<int64_t>(found->get<double>()) : found->get<int64_t>();
    };
    take("transfers", transfers);
    take("totalTransfers", totalTransfers);
    take("checks", checks);
    take("errors", errors);
    take("bytes", bytes);
    totalBytes = 0;
    take("totalBytes", totalBytes);
}

std::optional<json> parseLogLine(std::string_view line) {
    json parsed = json::parse(line.begin(), line.end(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
    return parsed;
}

const json* statsObject(const json& logLine) {
    auto found = logLine.find("stats");
    if (found == logLine.end() || !found->is_object()) return nullptr;
    return &*found;
}

std::optional<std::string> errorMessage(const json& logLine) {
    auto level = logLine.find("level");
    if (level == logLine.end() || !level->is_string() || level->get<std::string>() != "error") return std::nullopt;
    auto message = logLine.find("msg");
    if (message == logLine.end() || !message->is_string()) return std::nullopt;
    return message->get<std::string>();
}

}  // namespace Rclone

namespace HorizontalSpace {

std::string trim(std::string_view text) {
    // Byte offsets of the first and past the last character that is not a
    // blank; u_isblank is exactly tab plus the space separators.
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t length = static_cast<int32_t>(text.size());
    int32_t start = -1, end = 0;
    for (int32_t offset = 0; offset < length;) {
        int32_t characterStart = offset;
        UChar32 character;
        U8_NEXT(bytes, offset, length, character);
        if (character >= 0 && u_isblank(character)) continue;
        if (start < 0) start = characterStart;
        end = offset;
    }
    if (start < 0) return "";
    return std::string(text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)));
}

}  // namespace HorizontalSpace
