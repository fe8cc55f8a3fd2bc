#include "platform/FolderTrust.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

#include "base/Paths.hpp"
#include "platform/Platform.hpp"

namespace FolderTrust {

namespace {

int realStatusAt(int folder, const std::string& name, struct stat& status) {
    return ::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

/// The fields of the lines of a colon-separated system table (passwd, group).
std::vector<std::vector<std::string>> tableRows(const std::string& table) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream file(Platform::systemPath(table));
    for (std::string line; std::getline(file, line);) {
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t colon; (colon = line.find(':', start)) != std::string::npos; start = colon + 1)
            fields.push_back(line.substr(start, colon - start));
        fields.push_back(line.substr(start));
        rows.push_back(std::move(fields));
    }
    return rows;
}

/// A group is private when it is the user's primary group, no other account
/// has it as its primary group and no one else is listed as its member. What
/// cannot be read (a group only a directory service knows) is not private.
bool realIsPrivateGroup(gid_t group) {
    const std::string uid = std::to_string(::getuid());
    const std::string gid = std::to_string(group);
    std::string userName;
    bool primary = false;
    for (const auto& row : tableRows("/etc/passwd")) {
        if (row.size() < 4 || row[3] != gid) continue;
        if (row[2] != uid) return false;
        userName = row[0];
        primary = true;
    }
    if (!primary) return false;
    for (const auto& row : tableRows("/etc/group")) {
        if (row.size() < 4 || row[2] != gid) continue;
        size_t start = 0;
        const std::string& members = row[3];
        while (start < members.size()) {
            size_t comma = members.find(',', start);
            if (comma == std::string::npos) comma = members.size();
            if (const std::string member = members.substr(start, comma - start); !member.empty() && member != userName)
                return false;
            start = comma + 1;
        }
    }
    return true;
}

/// The folders from `top` down to `folder`, both included.
std::vector<std::string> wayDown(const std::string& top, const std::string& folder) {
    std::vector<std::string> way{top};
    if (!Paths::isStrictlyInside(folder, top)) return way;
    std::string rest = folder.substr(top == "/" ? 1 : top.size() + 1);
    std::string current = top;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t slash = rest.find('/', start);
        if (slash == std::string::npos) slash = rest.size();
        if (slash > start) {
            current = Paths::joined(current, rest.substr(start, slash - start));
            way.push_back(current);
        }
        start = slash + 1;
    }
    return way;
}

/// Where a link on the way really leads; none when it leads nowhere.
std::optional<std::string> realPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (!real) return std::nullopt;
    return std::string(real.get());
}

}  // namespace

Hooks& Hooks::active() {
    static Hooks hooks{realStatusAt, realIsPrivateGroup, [] { return ::getuid(); }};
    return hooks;
}

std::optional<Reason> judge(const struct stat& folder, const struct stat* next) {
    const uid_t user = Hooks::active().user();
    if (folder.st_uid != user && folder.st_uid != 0) return Reason::otherOwner;
    const bool byOthers = folder.st_mode & S_IWOTH;
    const bool byGroup = (folder.st_mode & S_IWGRP) && !Hooks::active().isPrivateGroup(folder.st_gid);
    if (!byOthers && !byGroup) return std::nullopt;
    // In a sticky folder only an entry's owner (and root) may rename or
    // remove it: the user's own next folder stays where it is.
    if ((folder.st_mode & S_ISVTX) && next && next->st_uid == user) return std::nullopt;
    return byOthers ? Reason::writableByOthers : Reason::writableByGroup;
}

std::optional<Failure> check(const std::string& top, const std::string& folder, const StatusAt& given) {
    const StatusAt& statusAt = given ? given : Hooks::active().statusAt;
    const std::vector<std::string> way = wayDown(top, folder);
    struct stat current {};
    if (const int error = statusAt(AT_FDCWD, way.front(), current))
        return error == ENOENT ? std::nullopt : std::optional<Failure>(Failure{way.front(), Reason::uncheckable});
    for (size_t index = 0; index < way.size(); ++index) {
        if (S_ISLNK(current.st_mode)) {
            // The link itself was judged with the folder holding it; what
            // it leads to has a way of its own.
            auto real = realPath(way[index]);
            if (!real) return std::nullopt;
            if (auto failure = check("/", *real, statusAt)) return failure;
            if (const int error = statusAt(AT_FDCWD, *real, current))
                return error == ENOENT ? std::nullopt : std::optional<Failure>(Failure{*real, Reason::uncheckable});
        }
        struct stat next {};
        const bool last = index + 1 == way.size();
        if (!last) {
            if (const int error = statusAt(AT_FDCWD, way[index + 1], next)) {
                if (error != ENOENT) return Failure{way[index + 1], Reason::uncheckable};
                // The way ends here: what comes next is made by the user, so
                // this folder is judged as holding a folder of theirs.
                next = {};
                next.st_uid = Hooks::active().user();
                if (auto why = judge(current, &next)) return Failure{way[index], *why};
                return std::nullopt;
            }
        }
        if (auto why = judge(current, last ? nullptr : &next)) return Failure{way[index], *why};
        current = next;
    }
    return std::nullopt;
}

std::optional<Failure> checkAbove(const std::string& top, const std::string& folder, const StatusAt& statusAt) {
    const std::string way = Paths::standardize(folder);
    auto failure = check(top, way, statusAt);
    if (failure && failure->folder == way) return std::nullopt;
    return failure;
}

std::optional<Failure> checkFromRoot(const std::string& folder) { return check("/", Paths::standardize(folder)); }

}  // namespace FolderTrust
