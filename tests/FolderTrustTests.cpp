// Other users can never steer what the tool trusts: a disk's Trash whose top
// others can write to, or the tool's own folders in a shared place. Tests run
// as root, whom every ownership check lets through: other owners, modes and
// group members come from real chown/chmod where root can make them, and
// from the hooks where it cannot.
#include <sys/stat.h>
#include <unistd.h>

#include "OwnFolders.hpp"
#include "TestSupport.hpp"
#include "clean/Cleaner.hpp"
#include "config/Config.hpp"
#include "platform/FolderTrust.hpp"
#include "platform/Trash.hpp"
#include "scan/ScanStore.hpp"

using namespace testing_support;

namespace {

constexpr uid_t otherUser = 12345;
constexpr gid_t sharedGroup = 4242;
constexpr gid_t privateGroup = 4343;

class FolderTrustTest : public HomeTest {
protected:
    ScopedHooks<Trash::Hooks> trash;
    ScopedHooks<FolderTrust::Hooks> trust;
    void SetUp() override {
        trust->isPrivateGroup = [](gid_t group) { return group == privateGroup; };
    }
};

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
// ".Trash-<uid>" at the top of a disk others can write to: emptying leaves it,
// says why and counts nothing, and still empties the user's own Trash. A top
// writable only by the user's private group is the user's alone.
TEST_F(FolderTrustTest, ATrashBelowATopOthersCanWriteToIsNeverEmptied) {
    const fs::path volume = home.scratch() / "disk";
    const fs::path renamed = volume / (".Trash-" + std::to_string(getuid()));
    const std::string above = "Above it, ";
    const std::string replaced = ", so they could put another folder in its place; not emptied";
    const struct {
        const char* top;
        mode_t mode;
        gid_t group;
        std::string failure;  // empty: trusted and emptied
    } cases[] = {
        {"root's, 0777, not sticky", 0777, 0, above + "other users can write to " + volume.string() + replaced},
        {"root:group 0775, another member", 0775, sharedGroup,
         above + "other members of its group can write to " + volume.string() + replaced},
        {"the user's, 0770, with members", 0770, sharedGroup,
         above + "other members of its group can write to " + volume.string() + replaced},
        {"the user's, 0770, private group", 0770, privateGroup, ""},
    };
    ScopedMountTable table({volume});
    for (const auto& top : cases) {
        SCOPED_TRACE(top.top);
        writeFile(renamed / "files/work/contract.odt", 10);
        fs::create_directories(renamed / "info");
        ASSERT_EQ(::chown(volume.c_str(), 0, top.group), 0);
        ASSERT_EQ(::chmod(volume.c_str(), top.mode), 0);
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
// configuration that names their destination, is neither read nor written,
// and the tool says so in one line.
TEST_F(FolderTrustTest, TheToolsOwnFoldersAreUsedOnlyWhenTheyAreTheUsersAlone) {
    ScopedHooks<ScanStore::Hooks> memory{ScanStore::Hooks::emptyMemory()};
    ScopedHooks<OwnFolders::Hooks> told;
    std::vector<std::string> lines;
    told->refused = [&](const std::string& line) { lines.push_back(line); };
    const fs::path shared = home.scratch() / "shared";
    fs::create_directories(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const fs::path alice = shared / "alice";
    const struct {
        const char* place;
        fs::path config, cache;  // XDG_CONFIG_HOME and XDG_CACHE_HOME
        uid_t owner;             // of the Ostrevane folders found there
        std::string why;         // empty: used
    } cases[] = {
        {"the user's own 0700 folder in the sticky folder", alice / "config", alice / "cache", getuid(), ""},
        {"another user's Ostrevane, 0777, made first in the sticky folder", shared, shared, otherUser,
         "other users can write to " + shared.string()},
    };
    fs::create_directories(alice);
    ASSERT_EQ(::chmod(alice.c_str(), 0700), 0);
    for (const auto& place : cases) {
        SCOPED_TRACE(place.place);
        for (const fs::path& own : {place.config / "Ostrevane", place.cache / "Ostrevane"}) {
            fs::create_directories(own);
            ASSERT_EQ(::chmod(own.c_str(), place.owner == getuid() ? 0700 : 0777), 0);
            ASSERT_EQ(::chown(own.c_str(), place.owner, place.owner), 0);
        }
        const std::string planted =
            R"({"customDestinations": [{"name": "Theirs", "path": "/srv/theirs"}], "plans": []})";
        writeText(place.config / "Ostrevane/config.json", planted);
        ScopedXDG xdg(home.scratch() / "real", place.config, place.cache);
        const std::string data = home.path("data").string();
        fs::create_directories(data);
        ScanStore::store(fakeScan(data), data);
        const bool used = place.why.empty();
        EXPECT_EQ(fs::exists(ScanStore::cacheFile(data)), used);
        EXPECT_EQ(ConfigStore::load().customDestinations.size(), used ? 1u : 0u);
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
        EXPECT_EQ(readText(place.config / "Ostrevane/config.json"), planted);
        EXPECT_EQ(lines, std::vector<std::string>{line}) << "said once, for the scan cache";
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
