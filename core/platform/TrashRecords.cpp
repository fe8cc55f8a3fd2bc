// What the Trash says of each of its items: who it is, when its record says
// it was deleted, and whether this program moved it there. An emptying that
// keeps to what the user was shown tells the items apart by these.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <mutex>
#include <string_view>
#include <vector>

#include "base/Paths.hpp"
#include "platform/FileReading.hpp"
#include "platform/Trash.hpp"

namespace Trash {

namespace {

using Identity = std::pair<dev_t, ino_t>;

struct OwnMove {
    Identity identity;
    std::chrono::system_clock::time_point at;
};

/// The moves of this program, kept for its life: a CLI call, an MCP session
/// or a window, each of which empties only what it showed.
struct OwnMoves {
    std::mutex lock;
    std::vector<OwnMove> moves;
};

OwnMoves& ownMoves() {
    static OwnMoves moves;
    return moves;
}

/// A record holds a percent-encoded path, at most a few times PATH_MAX.
constexpr size_t recordLimit = 64 * 1024;

std::optional<std::string> recordText(const Entry& entry) {
    if (!entry.trash->info.valid()) return std::nullopt;
    const std::string name = entry.name + ".trashinfo";
    auto file = FileReading::File::openAt(entry.trash->info.get(), name,
                                          Paths::joined(Paths::joined(entry.trash->path, "info"), name));
    if (!file) return std::nullopt;
    std::string text(recordLimit, '\0');
    auto count = file->readAt(0, text.data(), text.size());
    if (!count) return std::nullopt;
    text.resize(*count);
    return text;
}

/// "YYYY-MM-DDThh:mm:ss" in local time, as the desktops write it.
std::optional<std::time_t> localTime(std::string_view text) {
    std::tm local{};
    char separator = 0;
    const std::string copy(text.substr(0, 19));
    if (std::sscanf(copy.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d", &local.tm_year, &local.tm_mon, &local.tm_mday, &separator,
                    &local.tm_hour, &local.tm_min, &local.tm_sec) != 7 ||
        separator != 'T')
        return std::nullopt;
    local.tm_year -= 1900;
    local.tm_mon -= 1;
    local.tm_isdst = -1;
    const std::time_t time = std::mktime(&local);
    if (time == static_cast<std::time_t>(-1)) return std::nullopt;
    return time;
}

}  // namespace

std::optional<std::pair<dev_t, ino_t>> identityOf(const Entry& entry) {
    struct stat status {};
    if (!entry.trash->files.valid() ||
        ::fstatat(entry.trash->files.get(), entry.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return Identity{status.st_dev, status.st_ino};
}

std::optional<std::time_t> deletionTime(const Entry& entry) {
    auto text = recordText(entry);
    if (!text) return std::nullopt;
    constexpr std::string_view key = "DeletionDate=";
    for (size_t start = 0; start < text->size();) {
        size_t end = text->find('\n', start);
        if (end == std::string::npos) end = text->size();
        std::string_view line(text->data() + start, end - start);
        if (line.starts_with(key)) return localTime(line.substr(key.size()));
        start = end + 1;
    }
    return std::nullopt;
}

bool movedHereSince(std::pair<dev_t, ino_t> identity, std::chrono::system_clock::time_point since) {
    OwnMoves& own = ownMoves();
    std::lock_guard guard(own.lock);
    for (const auto& move : own.moves)
        if (move.identity == identity && move.at >= since) return true;
    return false;
}

void noteMoveHere(std::pair<dev_t, ino_t> identity) {
    OwnMoves& own = ownMoves();
    std::lock_guard guard(own.lock);
    own.moves.push_back({identity, std::chrono::system_clock::now()});
}

}  // namespace Trash
