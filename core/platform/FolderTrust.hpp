// Whether a folder is the user's alone. Threat model: other users on the
// machine, or anyone who can write to a shared disk, can never make the tool
// move, empty or delete anything of the user's, with a race or without one.
// Whoever can write to a folder on the way to a folder the tool trusts (a
// disk's Trash, the tool's own folders) can rename any folder of the user's
// to its name, or put their own there, and so choose what the tool reads,
// writes, moves into or deletes. One rule answers for all of them.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace FolderTrust {

/// Why a folder on the way fails the rule.
enum class Reason {
    /// Owned by someone other than the user and root.
    otherOwner,
    /// Writable by everyone, or by another user or a group with other
    /// members through its access ACL, and not a sticky folder holding the
    /// user's own next folder.
    writableByOthers,
    /// Writable by a group that is not the user's private group.
    writableByGroup,
    /// Its status or its ACL could not be read: whoever owns what lies above
    /// can make any check fail at will, so nothing is proved.
    uncheckable,
};

/// The first folder of the way that fails, and why.
struct Failure {
    std::string folder;
    Reason why;
    bool operator==(const Failure&) const = default;
};

/// The status of a path, links not followed (the same form as the Trash's
/// status hook: `folder` is AT_FDCWD and `name` the whole path); 0 or the error.
using StatusAt = std::function<int(int folder, const std::string& name, struct stat& status)>;

/// A folder's POSIX access ACL as the kernel keeps it (the bytes of its
/// `system.posix_acl_access` attribute), links not followed; 0 or the error
/// (ENODATA when it has none, ENOTSUP where the file system keeps none).
using AccessACL = std::function<int(const std::string& path, std::string& acl)>;

/// What the rule reads from the machine, replaceable so tests (which may run
/// as root, who passes every ownership check, or not, who can give nothing
/// away) can give folders other owners, modes, groups and ACLs.
struct Hooks {
    StatusAt statusAt;
    /// Whether `group` is the user's private group: the user's own primary
    /// group, of which no one else is a member (the umask 002 distributions).
    /// Read from the system's group and password tables.
    std::function<bool(gid_t group)> isPrivateGroup;
    /// Whether anyone but the user is a member of `group`: listed for it in
    /// the group table, or holding it as their primary group in the password
    /// table. A group those tables don't hold may have anyone in it.
    std::function<bool(gid_t group)> hasOtherMembers;
    AccessACL accessACL;
    /// The user the rule protects.
    std::function<uid_t()> user;

    static Hooks& active();
};

/// The system's password and group tables (the text of /etc/passwd and
/// /etc/group), as far as the rule reads them: who has which group.
class Accounts {
public:
    Accounts(const std::string& passwd, const std::string& group);
    /// The machine's own, as Platform::systemPath names them.
    static Accounts ofSystem();
    /// See Hooks::isPrivateGroup and Hooks::hasOtherMembers.
    bool isPrivateGroup(gid_t group, uid_t user) const;
    bool hasOtherMembers(gid_t group, uid_t user) const;

private:
    struct Account {
        std::string name;
        std::string uid, gid;
    };
    struct Group {
        std::string gid;
        std::vector<std::string> members;
    };
    std::vector<Account> accounts;
    std::vector<Group> groups;
    std::optional<std::string> nameOf(uid_t user) const;
};

/// The rule for one folder of a way, `path` with status `folder`: owned by
/// the user or root, neither group- nor other-writable, and no ACL entry
/// that lets another user write (an ACL that can't be read proves nothing,
/// and fails as uncheckable). A sticky folder may be writable by others
/// when `next`, the entry below it on the way, belongs to the user or is
/// root's and writable by no one else (no one else can rename or remove it
/// there); a group-writable folder is fine when its group is the user's
/// private group. `next` is none for the last folder.
std::optional<Reason> judge(const std::string& path, const struct stat& folder, const struct stat* next);

/// Checks every folder from `top` down to `folder` (absolute and
/// standardised, `folder` inside `top`; both included) with the rule of
/// `judge`. A link on the way is judged where it lies, and where it leads is
/// checked from "/" as well. The way ends at the first entry that does not
/// exist, the folder above it judged as holding a folder of the user's (the
/// one the tool would make there). `statusAt` defaults to the hook's.
std::optional<Failure> check(const std::string& top, const std::string& folder, const StatusAt& statusAt = {});

/// The same for the folders above `folder` only (with `folder` as the entry
/// the last of them holds): for a folder whose own status is judged apart,
/// as a trash is, with reasons of its own.
std::optional<Failure> checkAbove(const std::string& top, const std::string& folder, const StatusAt& statusAt = {});

/// The same from "/": for the tool's own folders.
std::optional<Failure> checkFromRoot(const std::string& folder);

}  // namespace FolderTrust
