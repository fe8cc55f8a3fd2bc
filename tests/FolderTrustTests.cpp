// Other users can never steer what the tool trusts: a disk's Trash whose top
// others can write to, or the tool's own folders in a shared place. Tests run
// as root or not: other owners, group members and ACLs come from the hooks,
// modes from real chmod.
#include <fcntl.h>
#include <linux/posix_acl.h>
#include <linux/posix_acl_xattr.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <map>

#include "OwnFolders.hpp"
#include "TestSupport.hpp"
#include "base/Shell.hpp"
#include "clean/Cleaner.hpp"
#include "config/Config.hpp"
#include "config/PlaceRecords.hpp"
#include "platform/FolderTrust.hpp"
#include "platform/Trash.hpp"
#include "scan/ScanStore.hpp"

using namespace testing_support;

namespace {

constexpr uid_t otherUser = 12345;
constexpr gid_t sharedGroup = 4242;
constexpr gid_t privateGroup = 4343;
/// A group whose one member is the user, and not their primary one.
constexpr gid_t soloGroup = 4444;

class FolderTrustTest : public HomeTest {
protected:
    ScopedHooks<Trash::Hooks> trash;
    ScopedHooks<FolderTrust::Hooks> trust;
    void SetUp() override {
        trust->isPrivateGroup = [](gid_t group) { return group == privateGroup; };
        trust->hasOtherMembers = [](gid_t group) { return group == sharedGroup; };
    }
};

struct ACLEntry {
    uint16_t tag, perm;
    uint32_t id = ACL_UNDEFINED_ID;
};

/// An access ACL as the kernel keeps it in `system.posix_acl_access`: the
/// owner's rwx, the owning group's r-x and others' r-x, with `extra` added.
std::string aclBytes(const std::vector<ACLEntry>& extra) {
    std::vector<ACLEntry> entries{{ACL_USER_OBJ, 7}, {ACL_GROUP_OBJ, 5}, {ACL_OTHER, 5}};
    entries.insert(entries.end(), extra.begin(), extra.end());
    std::string bytes;
    const auto put = [&](uint32_t value, int size) {
        for (int shift = 0; shift < size * 8; shift += 8) bytes.push_back(static_cast<char>(value >> shift & 0xff));
    };
    put(POSIX_ACL_XATTR_VERSION, 4);
    for (const auto& entry : entries) {
        put(entry.tag, 2);
        put(entry.perm, 2);
        put(entry.id, 4);
    }
    return bytes;
}

/// Hands the ACL of each folder named in `acls` to the rule; every other
/// folder has none.
void giveACLs(FolderTrust::Hooks& hooks, std::map<std::string, std::string> acls) {
    hooks.accessACL = [acls = std::move(acls)](const std::string& path, std::string& acl) {
        const auto found = acls.find(path);
        if (found == acls.end()) return ENODATA;
        acl = found->second;
        return 0;
    };
}

/// A status hook that reports `owners` (uid and gid) for those folders, and
/// the real status otherwise: another owner without chown.
FolderTrust::StatusAt withOwners(FolderTrust::StatusAt real, std::map<std::string, std::pair<uid_t, gid_t>> owners) {
    return
        [real = std::move(real), owners = std::move(owners)](int folder, const std::string& name, struct stat& status) {
            const int error = real(folder, name, status);
            if (const auto found = owners.find(name); error == 0 && folder == AT_FDCWD && found != owners.end())
                std::tie(status.st_uid, status.st_gid) = found->second;
            return error;
        };
}

mode_t modeOf(const fs::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

ScanResult fakeScan(const std::string& path) {
    FileNode root{Paths::lastComponent(path), path, true, 123, 7, std::nullopt, std::vector<FileNode>{}};
    return ScanResult{root, std::chrono::system_clock::now(), 1.5, 7, {}, 0, {}, 1, std::nullopt};
}

/// The tool's own folders below `config` and `cache`, with no OSTREVANE_HOME:
/// the XDG variables decide where they are.
class ScopedXDG {
public:
    ScopedXDG(const fs::path& realHome, const fs::path& config, const fs::path& cache)
        : noOverride("OSTREVANE_HOME", std::nullopt),
          home("HOME", realHome.string()),
          configHome("XDG_CONFIG_HOME", config.string()),
          cacheHome("XDG_CACHE_HOME", cache.string()) {}

private:
    ScopedEnv noOverride, home, configHome, cacheHome;
    ScopedHooks<Platform::Hooks> decided{Platform::Hooks::decidedOnce()};
};

}  // namespace

// Another user renames a folder of the user's ("work", a contract in it) to
// ".Trash-<uid>" at the top of a disk others can write to, by its mode or by
// its ACL: emptying leaves it, says why and counts nothing, and still empties
// the user's own Trash. A top writable only by the user's private group, or
// through an ACL by no one but the user, is the user's alone.
TEST_F(FolderTrustTest, ATrashBelowATopOthersCanWriteToIsNeverEmptied) {
    const fs::path volume = home.scratch() / "disk";
    const fs::path renamed = volume / (".Trash-" + std::to_string(getuid()));
    const std::string above = "Above it, ";
    const std::string replaced = ", so they could put another folder in its place; not emptied";
    const std::string byOthers = above + "other users can write to " + volume.string() + replaced;
    const std::string byGroup = above + "other members of its group can write to " + volume.string() + replaced;
    const struct {
        const char* top;
        uid_t owner;
        mode_t mode;
        gid_t group;
        std::vector<ACLEntry> acl;  // none: no ACL
        std::string failure;        // empty: trusted and emptied
    } cases[] = {
        {"root's, 0777, not sticky", 0, 0777, 0, {}, byOthers},
        {"root:group 0775, another member", 0, 0775, sharedGroup, {}, byGroup},
        {"the user's, 0770, with members", getuid(), 0770, sharedGroup, {}, byGroup},
        {"the user's, 0770, private group", getuid(), 0770, privateGroup, {}, ""},
        // The mask shows as group write, and the group is the user's private one.
        {"the user's, 0775, another user named in its ACL",
         getuid(),
         0775,
         privateGroup,
         {{ACL_USER, 7, otherUser}, {ACL_MASK, 7}},
         byOthers},
        {"the user's, 0755, another user named, no mask",
         getuid(),
         0755,
         privateGroup,
         {{ACL_USER, 7, otherUser}},
         byOthers},
        {"the user's, 0775, a named group with another member",
         getuid(),
         0775,
         privateGroup,
         {{ACL_GROUP, 7, sharedGroup}, {ACL_MASK, 7}},
         byOthers},
        {"the user's, 0775, a named group of the user alone",
         getuid(),
         0775,
         privateGroup,
         {{ACL_GROUP, 7, soloGroup}, {ACL_MASK, 7}},
         ""},
        {"the user's, 0775, the user named",
         getuid(),
         0775,
         privateGroup,
         {{ACL_USER, 7, getuid()}, {ACL_MASK, 7}},
         ""},
        {"the user's, 0755, another user named under a mask without write",
         getuid(),
         0755,
         privateGroup,
         {{ACL_USER, 7, otherUser}, {ACL_MASK, 5}},
         ""},
    };
    ScopedMountTable table({volume});
    const auto realStatus = trash->statusAt;
    for (const auto& top : cases) {
        SCOPED_TRACE(top.top);
        writeFile(renamed / "files/work/contract.odt", 10);
        fs::create_directories(renamed / "info");
        ASSERT_EQ(::chmod(volume.c_str(), top.mode), 0);
        trash->statusAt = withOwners(realStatus, {{volume.string(), {top.owner, top.group}}});
        giveACLs(*trust, top.acl.empty() ? std::map<std::string, std::string>{}
                                         : std::map<std::string, std::string>{{volume.string(), aclBytes(top.acl)}});
        writeFile(home.path("junk.bin"), 10);
        Cleaner::trash({"~/junk.bin"}, false);

        const int64_t counted = Trash::allocatedSize();
        const int64_t homeOnly = Trash::allocatedSize({Trash::homeTrash()});
        const CleanResult result = Cleaner::emptyTrash();
        EXPECT_TRUE(Trash::entries().empty()) << "the user's own Trash is still emptied";
        if (top.failure.empty()) {
            EXPECT_TRUE(result.failed.empty());
            EXPECT_FALSE(fs::exists(renamed / "files/work"));
            continue;
        }
        EXPECT_TRUE(fs::exists(renamed / "files/work/contract.odt"));
        EXPECT_EQ(result.failed, (std::vector<CleanFailure>{{renamed.string(), top.failure}}));
        EXPECT_EQ(Trash::trashFolders(), std::vector<std::string>{Trash::homeTrash()});
        EXPECT_EQ(counted, homeOnly) << "only the home Trash's item is counted";
        fs::remove_all(renamed);
    }
}

// A sticky folder others can write to holds the tool's own folder only when
// the folder below it is the user's: no one else can rename or remove that.
// Another user's "Ostrevane" there, made first and open to all, holding a
// configuration that names their destination and place records of theirs,
// is neither read nor written, and the tool says so in one line. So is one
// of the user's whose ACL lets another user write.
TEST_F(FolderTrustTest, TheToolsOwnFoldersAreUsedOnlyWhenTheyAreTheUsersAlone) {
    ScopedHooks<ScanStore::Hooks> memory{ScanStore::Hooks::emptyMemory()};
    ScopedHooks<OwnFolders::Hooks> told;
    std::vector<std::string> lines;
    told->refused = [&](const std::string& line) { lines.push_back(line); };
    const fs::path shared = home.scratch() / "shared";
    fs::create_directories(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const fs::path alice = shared / "alice", bob = shared / "bob";
    const struct {
        const char* place;
        fs::path config, cache;  // XDG_CONFIG_HOME and XDG_CACHE_HOME
        uid_t owner;             // of the Ostrevane folders found there
        bool sharedByACL;        // another user named in their ACLs
        std::string why;         // empty: used
    } cases[] = {
        {"the user's own 0700 folder in the sticky folder", alice / "config", alice / "cache", getuid(), false, ""},
        {"another user's Ostrevane, 0777, made first in the sticky folder", shared, shared, otherUser, false,
         "other users can write to " + shared.string()},
        {"the user's own Ostrevane, another user named in its ACL", bob, bob, getuid(), true,
         "other users can write to " + (bob / "Ostrevane").string()},
    };
    for (const fs::path& folder : {alice, bob}) {
        fs::create_directories(folder);
        ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
    }
    const auto realStatus = trust->statusAt;
    for (const auto& place : cases) {
        SCOPED_TRACE(place.place);
        std::map<std::string, std::pair<uid_t, gid_t>> owners;
        std::map<std::string, std::string> acls;
        for (const fs::path& own : {place.config / "Ostrevane", place.cache / "Ostrevane"}) {
            fs::create_directories(own);
            ASSERT_EQ(::chmod(own.c_str(), place.owner == getuid() ? 0700 : 0777), 0);
            if (place.owner != getuid()) owners[own.string()] = {place.owner, place.owner};
            if (place.sharedByACL) acls[own.string()] = aclBytes({{ACL_USER, 7, otherUser}, {ACL_MASK, 7}});
        }
        trust->statusAt = withOwners(realStatus, owners);
        giveACLs(*trust, acls);
        const std::string planted =
            R"({"customDestinations": [{"name": "Theirs", "path": "/srv/theirs"}], "plans": []})";
        writeText(place.config / "Ostrevane/config.json", planted);
        const std::string places = R"({"mountedFolders": [{"folder": "/srv/theirs", "mountPoint": "/srv"}],
                                       "planSources": []})";
        writeText(place.config / "Ostrevane/places.json", places);
        ScopedXDG xdg(home.scratch() / "real", place.config, place.cache);
        const std::string data = home.path("data").string();
        fs::create_directories(data);
        ScanStore::store(fakeScan(data), data);
        const bool used = place.why.empty();
        EXPECT_EQ(fs::exists(ScanStore::cacheFile(data)), used);
        EXPECT_EQ(ConfigStore::load().customDestinations.size(), used ? 1u : 0u);
        EXPECT_EQ(PlaceRecords::mountPointWhenAdded("/srv/theirs"),
                  used ? std::optional<std::string>("/srv") : std::nullopt);
        if (used) {
            EXPECT_NO_THROW(ConfigStore::updateOrThrow([](AppConfig& stored) { stored.plans.clear(); }));
            EXPECT_TRUE(lines.empty());
            continue;
        }
        const std::string line = "Not using the folder " + (place.config / "Ostrevane").string() + ": " + place.why +
                                 ", so they could put or replace files in it.";
        EXPECT_EQ(ConfigStore::refusal(), line);
        EXPECT_EQ(ConfigStore::unreadableNotice(), line);
        try {
            ConfigStore::updateOrThrow([](AppConfig& stored) { stored.customDestinations.clear(); });
            ADD_FAILURE() << "a configuration in another user's folder was written";
        } catch (const OstrevaneError& error) {
            EXPECT_EQ(error.message, line);
        }
        EXPECT_THROW(PlaceRecords::rememberPlanSource("12345678", data), OstrevaneError);
        EXPECT_EQ(readText(place.config / "Ostrevane/config.json"), planted);
        EXPECT_EQ(readText(place.config / "Ostrevane/places.json"), places);
        EXPECT_EQ(lines, std::vector<std::string>{line}) << "said once, for the scan cache";
        lines.clear();
    }
}

// What the tool makes for itself is the user's alone whatever the umask, in
// the home and outside it; a folder of its own a umask of 002 left looser is
// tightened, and a folder it did not make is left as it is.
TEST_F(FolderTrustTest, TheToolsFoldersAre0700AndItsFiles0600UnderAnyUmask) {
    ScopedHooks<ScanStore::Hooks> memory{ScanStore::Hooks::emptyMemory()};
    struct ScopedUmask {
        mode_t previous = ::umask(002);
        ~ScopedUmask() { ::umask(previous); }
    } umask002;
    ScopedHooks<OwnFolders::Hooks> told;
    told->refused = [](const std::string& line) { ADD_FAILURE() << line; };
    fs::create_directories(home.scratch() / "real");
    const fs::path outside = home.scratch() / "elsewhere";
    fs::create_directories(outside / "config/Ostrevane");
    ASSERT_EQ(::chmod((outside / "config/Ostrevane").c_str(), 0775), 0);
    for (const fs::path& folder : {outside, outside / "config"}) ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    const struct {
        const char* where;
        std::optional<fs::path> base;  // none: the home's own .config and .cache
    } cases[] = {{"in the home", std::nullopt}, {"outside the home", outside}};
    for (const auto& place : cases) {
        SCOPED_TRACE(place.where);
        std::optional<ScopedXDG> xdg;
        if (place.base) xdg.emplace(home.scratch() / "real", *place.base / "config", *place.base / "cache");
        // First: a move drops the stored scans.
        writeFile(Paths::home() + "/junk.bin", 10);
        const CleanResult moved = Cleaner::trash({"~/junk.bin"}, false);
        EXPECT_EQ(moved.trashed.size(), 1u) << (moved.failed.empty() ? "" : moved.failed[0].reason);
        const std::string data = home.path("data").string();
        fs::create_directories(data);
        ScanStore::store(fakeScan(data), data);
        ConfigStore::updateOrThrow([](AppConfig& stored) { stored.plans.clear(); });
        for (const fs::path& folder : {Paths::cacheFolder(), Paths::supportFolder(), fs::path(Trash::homeTrash()),
                                       fs::path(Trash::filesFolder()), fs::path(Trash::infoFolder())})
            EXPECT_EQ(modeOf(folder), 0700u) << folder;
        for (const fs::path& file : {ScanStore::cacheFile(data), ConfigStore::filePath(),
                                     fs::path(Trash::infoFolder()) / "junk.bin.trashinfo"})
            EXPECT_EQ(modeOf(file), 0600u) << file;
    }
    EXPECT_EQ(modeOf(outside / "config"), 0755u) << "a folder the tool did not make is left alone";
}

// The rule on a way that exists only in the hooks, so it reads the same as
// root or not: where the way ends at a folder not made yet, under a sticky
// folder, and through each kind of ACL entry.
TEST_F(FolderTrustTest, EachFolderOfTheWayIsJudgedByItsOwnerModeAndACL) {
    constexpr uid_t user = 1000;
    struct Folder {
        Folder(uid_t owner, mode_t mode, gid_t group = privateGroup, std::string acl = {})
            : owner(owner), mode(mode), group(group), acl(std::move(acl)) {}
        uid_t owner;
        mode_t mode;
        gid_t group;
        std::string acl;  // empty: none
    };
    const std::string othersInACL = aclBytes({{ACL_USER, 7, otherUser}, {ACL_MASK, 7}});
    using Failure = FolderTrust::Failure;
    using FolderTrust::Reason;
    const struct {
        const char* way;
        std::map<std::string, Folder> folders;  // "/" is root's 0755; a folder not listed isn't made yet
        std::optional<Failure> failure;
    } cases[] = {
        {"a 0777 folder, the tool's folder below it not made yet",
         {{"/s", {0, 0777}}},
         Failure{"/s", Reason::writableByOthers}},
        {"a sticky folder, the tool's folder below it not made yet", {{"/s", {0, 01777}}}, std::nullopt},
        {"a sticky folder holding root's 0755 folder",
         {{"/s", {0, 01777}}, {"/s/a", {0, 0755}}, {"/s/a/b", {user, 0700}}},
         std::nullopt},
        {"a sticky folder holding root's folder its group can write to",
         {{"/s", {0, 01777}}, {"/s/a", {0, 0775, sharedGroup}}, {"/s/a/b", {user, 0700}}},
         Failure{"/s", Reason::writableByOthers}},
        {"a sticky folder holding another user's folder",
         {{"/s", {0, 01777}}, {"/s/a", {otherUser, 0755}}, {"/s/a/b", {user, 0700}}},
         Failure{"/s", Reason::writableByOthers}},
        {"a sticky folder with another user in its ACL, holding the user's",
         {{"/s", {0, 01777, 0, othersInACL}}, {"/s/a", {user, 0700}}},
         std::nullopt},
        {"the last folder, another user in its ACL",
         {{"/s", {0, 0755}}, {"/s/a", {user, 0700}}, {"/s/a/b", {user, 0770, privateGroup, othersInACL}}},
         Failure{"/s/a/b", Reason::writableByOthers}},
        {"a folder whose ACL is no ACL",
         {{"/s", {user, 0755, privateGroup, "junk"}}},
         Failure{"/s", Reason::uncheckable}},
    };
    trust->user = [] { return user; };
    for (const auto& way : cases) {
        SCOPED_TRACE(way.way);
        std::map<std::string, Folder> folders = way.folders;
        folders.emplace("/", Folder{0, 0755, 0});
        trust->statusAt = [&](int, const std::string& name, struct stat& status) {
            const auto found = folders.find(name);
            if (found == folders.end()) return ENOENT;
            status = {};
            status.st_mode = S_IFDIR | found->second.mode;
            status.st_uid = found->second.owner;
            status.st_gid = found->second.group;
            return 0;
        };
        trust->accessACL = [&](const std::string& path, std::string& acl) {
            const auto found = folders.find(path);
            if (found == folders.end()) return ENOENT;
            acl = found->second.acl;
            return acl.empty() ? ENODATA : 0;
        };
        EXPECT_EQ(FolderTrust::check("/", "/s/a/b"), way.failure);
    }
}

// Who is in a group, as the password and group tables say: listed for it,
// or holding it as their primary group. A group the tables don't know may
// have anyone in it.
TEST(AccountsTest, AGroupsMembersAreThoseTheTablesListAndThoseWhoseGroupItIs) {
    constexpr uid_t user = 1000;
    const std::string passwd =
        "alice:x:1000:1000:Alice:/home/alice:/bin/bash\n"
        "bob:x:1001:1001::/home/bob:/bin/sh\n"
        "carol:x:1002:1000::/home/carol:/bin/sh\n"
        "dave:x:1003:1003::/home/dave:/bin/sh\n";
    const std::string group =
        "alice:x:1000:\n"
        "bob:x:1001:bob,alice\n"
        "dave:x:1003:dave\n"
        "solo:x:2000:alice\n"
        "staff:x:2001:alice,erin\n"
        "empty:x:2002:\n";
    const struct {
        const char* group;
        gid_t gid;
        bool otherMembers, privateGroup;
    } cases[] = {
        {"the user's primary group, another account's primary one too", 1000, true, false},
        {"another's primary group that lists the user", 1001, true, false},
        {"another's primary group alone", 1003, true, false},
        {"a group that lists the user alone", 2000, false, false},
        {"a group that lists another user", 2001, true, false},
        {"a group with no members", 2002, false, false},
        {"a group the tables don't know", 3000, true, false},
    };
    const FolderTrust::Accounts accounts(passwd, group);
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.group);
        EXPECT_EQ(accounts.hasOtherMembers(entry.gid, user), entry.otherMembers);
        EXPECT_EQ(accounts.isPrivateGroup(entry.gid, user), entry.privateGroup);
    }
    const FolderTrust::Accounts alone("alice:x:1000:1000::/home/alice:/bin/sh\n", "alice:x:1000:alice\nbob:x:1001:\n");
    EXPECT_TRUE(alone.isPrivateGroup(1000, user)) << "the user's primary group, no one else in it";
    const FolderTrust::Accounts listed("alice:x:1000:1000::/home/alice:/bin/sh\n", "alice:x:1000:alice,bob\n");
    EXPECT_FALSE(listed.isPrivateGroup(1000, user)) << "another member listed";
}

// A folder of the tool's own is said once per command, even when what fails
// on its way is another folder the next time it is checked.
TEST_F(FolderTrustTest, ARefusedFolderIsSaidOnceWhateverFailsOnItsWay) {
    ScopedHooks<OwnFolders::Hooks> told;
    std::vector<std::string> lines;
    told->refused = [&](const std::string& line) { lines.push_back(line); };
    const fs::path open = home.scratch() / "open";
    const fs::path own = open / "cache/Ostrevane";
    fs::create_directories(own);
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    EXPECT_FALSE(OwnFolders::usable(own.string()));
    ASSERT_EQ(::chmod(open.c_str(), 0755), 0);
    ASSERT_EQ(::chmod((open / "cache").c_str(), 0777), 0);
    EXPECT_FALSE(OwnFolders::usable(own.string()));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("other users can write to " + open.string() + ","), std::string::npos) << lines[0];
}

// An ACL as setfacl sets it, where the file system keeps them: a folder of
// the tool's own that lets another user write is refused, and its ACL and
// mode stay as they were (a mode change would rewrite the ACL's mask).
TEST_F(FolderTrustTest, ARealACLThatLetsAnotherUserWriteIsSeenAndLeftAsItIs) {
    trust->isPrivateGroup = [](gid_t) { return true; };
    const fs::path own = home.scratch() / "acl/Ostrevane";
    fs::create_directories(own);
    ASSERT_EQ(::chmod(own.c_str(), 0700), 0);
    const Shell::Output set = Shell::run("/usr/bin/setfacl", {"-m", "u:" + std::to_string(otherUser) + ":rwx", own},
                                         30);
    if (set.status != 0) GTEST_SKIP() << "setfacl is missing, or this file system keeps no ACLs: " << set.stderrText;
    const auto aclOf = [&] {
        std::string acl(256, '\0');
        const ssize_t size = ::getxattr(own.c_str(), "system.posix_acl_access", acl.data(), acl.size());
        acl.resize(size < 0 ? 0 : static_cast<size_t>(size));
        return acl;
    };
    const std::string before = aclOf();
    ASSERT_FALSE(before.empty());
    const mode_t mode = modeOf(own);
    EXPECT_EQ(OwnFolders::refusal(own.string()), "Not using the folder " + own.string() +
                                                     ": other users can write to " + own.string() +
                                                     ", so they could put or replace files in it.");
    EXPECT_EQ(aclOf(), before);
    EXPECT_EQ(modeOf(own), mode);
}
