#include "platform/FolderTrust.hpp"

#include <fcntl.h>
#include <linux/posix_acl.h>
#include <linux/posix_acl_xattr.h>
#include <unistd.h>

#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
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
    std::istringstream text(table);
    for (std::string line; std::getline(text, line);) {
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t colon; (colon = line.find(':', start)) != std::string::npos; start = colon + 1)
            fields.push_back(line.substr(start, colon - start));
        fields.push_back(line.substr(start));
        rows.push_back(std::move(fields));
    }
    return rows;
}

std::string wholeFile(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool realIsPrivateGroup(gid_t group) { return Accounts::ofSystem().isPrivateGroup(group, ::getuid()); }
bool realHasOtherMembers(gid_t group) { return Accounts::ofSystem().hasOtherMembers(group, ::getuid()); }

int realAccessACL(const std::string& path, std::string& acl) {
    for (;;) {
        const ssize_t size = ::lgetxattr(path.c_str(), "system.posix_acl_access", nullptr, 0);
        if (size < 0) return errno;
        acl.clear();
        if (size == 0) return 0;
        acl.resize(static_cast<size_t>(size));
        const ssize_t read = ::lgetxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size());
        if (read >= 0) {
            acl.resize(static_cast<size_t>(read));
            return 0;
        }
        // Changed between the two reads: read it again.
        if (errno != ERANGE) return errno;
    }
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
    static Hooks hooks{realStatusAt, realIsPrivateGroup, realHasOtherMembers, realAccessACL, [] { return ::getuid(); }};
    return hooks;
}

Accounts::Accounts(const std::string& passwd, const std::string& group) {
    for (auto& row : tableRows(passwd))
        if (row.size() >= 4) accounts.push_back({std::move(row[0]), std::move(row[2]), std::move(row[3])});
    for (const auto& row : tableRows(group)) {
        if (row.size() < 4) continue;
        Group entry{row[2], {}};
        std::istringstream members(row[3]);
        for (std::string member; std::getline(members, member, ',');)
            if (!member.empty()) entry.members.push_back(member);
        groups.push_back(std::move(entry));
    }
}

Accounts Accounts::ofSystem() {
    return Accounts(wholeFile(Platform::systemPath("/etc/passwd")), wholeFile(Platform::systemPath("/etc/group")));
}

std::optional<std::string> Accounts::nameOf(uid_t user) const {
    for (const auto& account : accounts)
        if (account.uid == std::to_string(user)) return account.name;
    return std::nullopt;
}

bool Accounts::hasOtherMembers(gid_t group, uid_t user) const {
    const std::string gid = std::to_string(group);
    const std::string uid = std::to_string(user);
    bool known = false;
    for (const auto& account : accounts) {
        if (account.gid != gid) continue;
        if (account.uid != uid) return true;
        known = true;
    }
    const std::optional<std::string> name = nameOf(user);
    for (const auto& entry : groups) {
        if (entry.gid != gid) continue;
        known = true;
        for (const auto& member : entry.members)
            if (member != name) return true;
    }
    return !known;
}

bool Accounts::isPrivateGroup(gid_t group, uid_t user) const {
    const std::string gid = std::to_string(group);
    const std::string uid = std::to_string(user);
    const bool primary = std::any_of(accounts.begin(), accounts.end(),
                                     [&](const Account& account) { return account.uid == uid && account.gid == gid; });
    return primary && !hasOtherMembers(group, user);
}

namespace {

/// Whether the access ACL `acl` lets someone other than `user` write: a
/// named user other than them, or a named group with other members, each
/// after the mask. The owning user, the owning group and others are the
/// mode's. None when the bytes are no ACL the kernel would keep.
std::optional<bool> grantsOthersWrite(const std::string& acl, uid_t user) {
    // The kernel's form: a little-endian version, then entries of a 16-bit
    // tag, 16-bit permissions and a 32-bit id.
    constexpr size_t header = sizeof(posix_acl_xattr_header), entry = sizeof(posix_acl_xattr_entry);
    const auto byte = [&](size_t at) { return static_cast<uint32_t>(static_cast<unsigned char>(acl[at])); };
    const auto u16 = [&](size_t at) { return static_cast<uint16_t>(byte(at) | byte(at + 1) << 8); };
    const auto u32 = [&](size_t at) { return u16(at) | static_cast<uint32_t>(u16(at + 2)) << 16; };
    if (acl.size() < header || (acl.size() - header) % entry != 0 || u32(0) != POSIX_ACL_XATTR_VERSION)
        return std::nullopt;
    bool maskWrites = true;
    for (size_t at = header; at < acl.size(); at += entry)
        if (u16(at) == ACL_MASK) maskWrites = u16(at + 2) & ACL_WRITE;
    if (!maskWrites) return false;
    for (size_t at = header; at < acl.size(); at += entry) {
        if (!(u16(at + 2) & ACL_WRITE)) continue;
        const uint32_t id = u32(at + 4);
        if (u16(at) == ACL_USER && id != user) return true;
        if (u16(at) == ACL_GROUP && Hooks::active().hasOtherMembers(static_cast<gid_t>(id))) return true;
    }
    return false;
}

/// Whether `path`'s access ACL lets another user write; none when that
/// can't be read.
std::optional<bool> aclGrantsOthersWrite(const std::string& path) {
    std::string acl;
    const int error = Hooks::active().accessACL(path, acl);
    // No ACL, or a file system that keeps none: the mode says it all.
    if (error == ENODATA || error == ENOTSUP) return false;
    if (error != 0) return std::nullopt;
    return grantsOthersWrite(acl, Hooks::active().user());
}

/// Whether a sticky folder holding `next` keeps everyone else from renaming
/// or removing it: only its owner and root may, and when that is root, no
/// one else may write in it either.
bool heldFast(const struct stat& next, uid_t user) {
    return next.st_uid == user || (next.st_uid == 0 && !(next.st_mode & (S_IWGRP | S_IWOTH)));
}

}  // namespace

std::optional<Reason> judge(const std::string& path, const struct stat& folder, const struct stat* next) {
    const uid_t user = Hooks::active().user();
    if (folder.st_uid != user && folder.st_uid != 0) return Reason::otherOwner;
    // In a sticky folder only an entry's owner (and root) may rename or
    // remove it: the user's own next folder stays where it is, whoever
    // else may write there.
    if ((folder.st_mode & S_ISVTX) && next && heldFast(*next, user)) return std::nullopt;
    const std::optional<bool> byACL = S_ISDIR(folder.st_mode) ? aclGrantsOthersWrite(path) : false;
    if (!byACL) return Reason::uncheckable;
    if ((folder.st_mode & S_IWOTH) || *byACL) return Reason::writableByOthers;
    if ((folder.st_mode & S_IWGRP) && !Hooks::active().isPrivateGroup(folder.st_gid)) return Reason::writableByGroup;
    return std::nullopt;
}

std::optional<Failure> check(const std::string& top, const std::string& folder, const StatusAt& given) {
    const StatusAt& statusAt = given ? given : Hooks::active().statusAt;
    const std::vector<std::string> way = wayDown(top, folder);
    struct stat current {};
    if (const int error = statusAt(AT_FDCWD, way.front(), current))
        return error == ENOENT ? std::nullopt : std::optional<Failure>(Failure{way.front(), Reason::uncheckable});
    for (size_t index = 0; index < way.size(); ++index) {
        // Where the folder's ACL is read: the folder itself, or where a link leads.
        std::string path = way[index];
        if (S_ISLNK(current.st_mode)) {
            // The link itself was judged with the folder holding it; what
            // it leads to has a way of its own.
            auto real = realPath(way[index]);
            if (!real) return std::nullopt;
            if (auto failure = check("/", *real, statusAt)) return failure;
            if (const int error = statusAt(AT_FDCWD, *real, current))
                return error == ENOENT ? std::nullopt : std::optional<Failure>(Failure{*real, Reason::uncheckable});
            path = *real;
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
                if (auto why = judge(path, current, &next)) return Failure{way[index], *why};
                return std::nullopt;
            }
        }
        if (auto why = judge(path, current, last ? nullptr : &next)) return Failure{way[index], *why};
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
