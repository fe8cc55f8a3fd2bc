// Moving to and emptying the Trash while someone else changes the paths
// involved: a link above a path swapped in a loop, a trash folder swapped
// with a link, trash folders of other users, bind mounts, deep trees.
#include <fcntl.h>
#include <stdio.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <thread>

#include "LinkSwapper.hpp"
#include "TestSupport.hpp"
#include "clean/Cleaner.hpp"
#include "platform/Trash.hpp"
#include "text/Localization.hpp"

using namespace testing_support;

namespace {

constexpr int raceRounds = 200;

class TrashSafetyTest : public HomeTest {
protected:
    ScopedHooks<Trash::Hooks> trash;
    std::string at(const std::string& relative) const { return home.path(relative).string(); }
};

using StatusHook = std::function<int(int folder, const std::string& name, struct stat& status)>;

/// A status hook that gives the folders whose identities `theirs` holds to
/// another user, however they are named: another owner without chown.
StatusHook ownedByAnother(StatusHook real, const std::set<std::pair<dev_t, ino_t>>& theirs) {
    return [real = std::move(real), &theirs](int folder, const std::string& name, struct stat& status) {
        const int error = real(folder, name, status);
        if (error == 0 && theirs.count({status.st_dev, status.st_ino})) status.st_uid = 12345;
        return error;
    };
}

std::pair<dev_t, ino_t> identityOf(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return {status.st_dev, status.st_ino};
}

ino_t inodeOf(const fs::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

struct SwapCase {
    const char* what;
    /// Where the link leads harmlessly, and where it leads into what must stay.
    std::string harmless;
    std::string guarded;
    /// The item's name inside either folder.
    std::string name;
};

}  // namespace

// Each round trashes "~/l/<name>" while "~/l" is swapped between a folder
// where moving is fine and one where the rules refuse it: whatever the
// timing, what the refusal protects never moves.
TEST_F(TrashSafetyTest, RefusalsHoldWhileALinkAboveThePathIsSwapped) {
    const std::vector<SwapCase> cases = {
        {"a key", at("Projects"), at(".ssh"), "victim"},
        {"a protected folder", at("Projects"), home.home(), "Documents"},
        {"an item already in the Trash", at("Projects"), Trash::filesFolder(), "old.txt"},
    };
    for (const auto& swap : cases) {
        const fs::path guarded = fs::path(swap.guarded) / swap.name;
        if (swap.name == "Documents")
            fs::create_directories(guarded);
        else
            writeFile(guarded, 10);
        const ino_t guardedInode = inodeOf(guarded);
        fs::remove(home.path("l"));
        fs::create_directory_symlink(swap.harmless, home.path("l"));
        size_t moved = 0;
        {
            LinkSwapper swapper(home.path("l"), swap.harmless, swap.guarded);
            for (int round = 0; round < raceRounds; ++round) {
                const fs::path harmless = fs::path(swap.harmless) / swap.name;
                if (!fs::exists(harmless)) fs::create_directories(harmless);
                moved += Cleaner::trash({"~/l/" + swap.name}, false).trashed.size();
                ASSERT_EQ(inodeOf(guarded), guardedInode) << swap.what << " moved in round " << round;
            }
        }
        EXPECT_GT(moved, 0u) << swap.what;
    }
}

// The MCP tool takes the same road: a server asked to trash many items
// through a link swapped meanwhile moves none of the guarded ones. Each call
// is quick next to the swaps, so it takes more of them to meet one.
TEST_F(TrashSafetyTest, TheMCPToolHoldsTheRefusalsWhileALinkIsSwapped) {
    constexpr int calls = 5 * raceRounds;
    std::string input;
    for (int index = 0; index < calls; ++index) {
        const std::string name = "victim-" + std::to_string(index);
        writeFile(home.path("Projects/" + name), 10);
        writeFile(home.path(".ssh/" + name), 10);
        json call = {
            {"jsonrpc", "2.0"},
            {"id", index},
            {"method", "tools/call"},
            {"params", {{"name", "move_to_trash"}, {"arguments", {{"paths", {"~/l/" + name}}, {"confirm", true}}}}}};
        input += call.dump() + "\n";
    }
    fs::create_directory_symlink(home.path("Projects"), home.path("l"));
    CLIResult session;
    {
        LinkSwapper swapper(home.path("l"), home.path("Projects"), home.path(".ssh"));
        session = runCLI({"mcp"}, input);
    }
    EXPECT_EQ(session.status, 0) << session.err;
    EXPECT_EQ(entriesOf(home.path(".ssh")).size(), static_cast<size_t>(calls)) << "a key was moved";
}

// Each round cleans a cache's contents while the cache folder's name is
// exchanged with a link to another folder, at any moment of the clean:
// only what lies in the cache ever moves, and the Trash records it under
// the cache's path, whatever name the folder had as its items moved.
TEST_F(TrashSafetyTest, CleaningContentsNeverFollowsALinkSwappedInForTheFolder) {
    const fs::path cache = home.path(".cache/thumbnails");
    const fs::path link = home.path(".cache/lnk");
    struct Case {
        const char* what;
        fs::path target;   // where the link leads
        std::string name;  // what lies there and must stay
    };
    const Case cases[] = {{"a project", home.path("projects"), "app"}, {"the home folder", home.home(), "notes.txt"}};
    const Suggestion contents("xdg-cache-apps", "cache", "Caches", "d", {cache.string()}, 1, Risk::safe,
                              CleanAction::trashContents);
    const std::string recordedPrefix = "Path=" + Paths::percentEncoded(cache.string() + "/");
    for (const Case& c : cases) {
        writeFile(c.target / c.name, 10);
        const ino_t guardedInode = inodeOf(c.target / c.name);
        fs::create_directories(cache);
        fs::create_directory_symlink(c.target, link);
        // The real folder keeps its identity under either name.
        const int realCache = ::open(cache.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(realCache, 0);
        size_t moved = 0;
        {
            NameExchanger exchanger(cache, link);
            for (int round = 0; round < raceRounds; ++round) {
                ::close(::openat(realCache, "big.png", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
                moved += Cleaner::apply(contents, false).trashed.size();
                ASSERT_EQ(inodeOf(c.target / c.name), guardedInode) << c.what << " moved in round " << round;
            }
        }
        ::close(realCache);
        EXPECT_GT(moved, 0u) << c.what;
        for (const auto& info : entriesOf(Trash::infoFolder())) {
            const std::string record = readText(fs::path(Trash::infoFolder()) / info);
            EXPECT_NE(record.find(recordedPrefix), std::string::npos) << c.what << ": " << record;
        }
        // The exchanges may have stopped with either name on either item.
        fs::remove_all(link);
        fs::remove_all(cache);
        fs::remove_all(Trash::homeTrash());
    }
}

// The files half of the Trash is exchanged with a link to the user's
// documents while the Trash is emptied, round after round.
TEST_F(TrashSafetyTest, EmptyingNeverDeletesThroughAFolderSwappedWithALink) {
    const fs::path documents = home.path("Documents");
    writeFile(documents / "item", 10);
    writeFile(documents / "thesis.tex", 10);
    writeFile(home.path("seed"));
    Cleaner::trash({"~/seed"}, false);
    const fs::path files = Trash::filesFolder();
    const fs::path swapped = files.string() + ".swap";
    fs::create_directory_symlink(documents, swapped);
    // The real folder keeps its identity under either name.
    const int realFiles = ::open(files.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(realFiles, 0);
    int desktopRuns = 0;
    trash->run = [&](const std::string&, const std::vector<std::string>&, double) {
        ++desktopRuns;
        return Shell::Output{0, "", ""};
    };
    int emptied = 0;
    {
        NameExchanger exchanger(files, swapped);
        for (int round = 0; round < raceRounds; ++round) {
            int item = ::openat(realFiles, "item", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            ::close(item);
            try {
                Cleaner::emptyTrash();
                ++emptied;
            } catch (const OstrevaneError&) {
                // Seen as a link: refused, which is fine.
            }
            ASSERT_TRUE(fs::exists(documents / "item")) << "deleted through the link in round " << round;
            ASSERT_TRUE(fs::exists(documents / "thesis.tex")) << "round " << round;
        }
    }
    ::close(realFiles);
    EXPECT_EQ(desktopRuns, 0) << "the desktop must not empty a Trash that failed a check";
    EXPECT_GT(emptied, 0);
}

// Only trash folders the user owns and no one else can write to are used.
TEST_F(TrashSafetyTest, TrashFoldersOfOtherUsersAreNeverEmptied) {
    const fs::path volume = home.scratch() / "shared-tmp";
    const fs::path planted = volume / (".Trash-" + std::to_string(getuid()));
    ScopedMountTable table({volume});
    int desktopRuns = 0;
    trash->run = [&](const std::string&, const std::vector<std::string>&, double) {
        ++desktopRuns;
        return Shell::Output{0, "", ""};
    };
    // Another user's folder under the user's trash name: left alone, said so,
    // and the user's own Trash is still emptied.
    writeFile(planted / "files/data/precious.txt", 10);
    std::set<std::pair<dev_t, ino_t>> theirs{identityOf(planted)};
    trash->statusAt = ownedByAnother(trash->statusAt, theirs);
    writeFile(home.path("junk.bin"), 10);
    Cleaner::trash({"~/junk.bin"}, false);

    CleanResult result = Cleaner::emptyTrash();
    EXPECT_TRUE(fs::exists(planted / "files/data/precious.txt"));
    EXPECT_TRUE(Trash::entries().empty());
    ASSERT_EQ(result.failed.size(), 1u);
    EXPECT_EQ(result.failed[0], (CleanFailure{planted.string(), "A Trash folder of another user; not emptied"}));
    EXPECT_EQ(Trash::trashFolders(), std::vector<std::string>{Trash::homeTrash()});

    // The user's own trash folder that others can write to is left alone
    // too, said so, and the rest is still emptied.
    theirs.clear();
    fs::permissions(planted, fs::perms::all);
    writeFile(home.path("junk.bin"), 10);
    Cleaner::trash({"~/junk.bin"}, false);
    result = Cleaner::emptyTrash();
    EXPECT_EQ(result.failed,
              (std::vector<CleanFailure>{{planted.string(), "Other users can write to it; not emptied"}}));
    EXPECT_EQ(result.message, "The Trash wasn’t emptied completely: 1 item deleted, freeing about " +
                                  Fmt::bytes(result.bytes) + "; 1 not emptied.");
    EXPECT_TRUE(fs::exists(planted / "files/data/precious.txt"));
    EXPECT_TRUE(Trash::entries().empty());
    EXPECT_EQ(desktopRuns, 0);
}

// On a disk whose top folder another user owns, that user can rename any
// folder of the user's holding a "files" folder to ".Trash-<uid>", or do the
// same in a shared ".Trash" they own: such a trash folder is left alone,
// said so and not counted, and the user's own Trash is still emptied.
TEST_F(TrashSafetyTest, ATrashInsideAFolderOfAnotherUserIsNeverEmptied) {
    const fs::path volume = home.scratch() / "their-disk";
    const std::string uid = std::to_string(getuid());
    ScopedMountTable table({volume});
    const std::string replaceable =
        "Inside another user’s folder, where they can put another folder in its place; "
        "not emptied";
    const fs::path renamed = volume / (".Trash-" + uid);
    writeFile(renamed / "files/thesis.odt", 10);
    fs::create_directories(renamed / "info");
    // The top's other owner comes from the hook.
    std::set<std::pair<dev_t, ino_t>> theirs{identityOf(volume)};
    trash->statusAt = ownedByAnother(trash->statusAt, theirs);
    writeFile(home.path("junk.bin"), 10);
    Cleaner::trash({"~/junk.bin"}, false);

    CleanResult result = Cleaner::emptyTrash();
    EXPECT_TRUE(fs::exists(renamed / "files/thesis.odt"));
    EXPECT_TRUE(Trash::entries().empty()) << "the user's own Trash is still emptied";
    EXPECT_EQ(result.failed, (std::vector<CleanFailure>{{renamed.string(), replaceable}}));
    EXPECT_EQ(result.message, "The Trash wasn’t emptied completely: 1 item deleted, freeing about " +
                                  Fmt::bytes(result.bytes) + "; 1 not emptied.");
    EXPECT_EQ(Trash::trashFolders(), std::vector<std::string>{Trash::homeTrash()});
    EXPECT_EQ(Trash::allocatedSize(), 0);

    // The same under a shared ".Trash" that is theirs, on a top of the user's.
    fs::remove_all(renamed);
    const fs::path shared = volume / ".Trash";
    writeFile(shared / uid / "files/thesis.odt", 10);
    fs::create_directories(shared / uid / "info");
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    theirs = {identityOf(shared)};
    result = Cleaner::emptyTrash();
    EXPECT_TRUE(fs::exists(shared / uid / "files/thesis.odt"));
    EXPECT_EQ(result.failed, (std::vector<CleanFailure>{{(shared / uid).string(), replaceable}}));
}

// On a shared disk another user's ".Trash" that the user may not search
// makes every check of the user's folder in it fail. That folder is left
// alone: neither emptied nor handed to the desktop, and not called emptied.
TEST_F(TrashSafetyTest, ATrashAnotherUserKeepsFromBeingCheckedIsLeftAlone) {
    const fs::path volume = home.scratch() / "shared-tmp";
    const std::string uid = std::to_string(getuid());
    const fs::path shared = volume / ".Trash";
    const fs::path mine = shared / uid;
    ScopedMountTable table({volume});
    writeFile(mine / "files/kept.bin", 10);
    fs::create_directories(mine / "info");
    ASSERT_EQ(::chmod(shared.c_str(), 01744), 0);
    // Root may search any folder, and the owner of this one may too: its
    // other owner and the user's refusal come from the hook.
    const std::set<std::pair<dev_t, ino_t>> theirs{identityOf(shared)};
    auto realStatus = ownedByAnother(trash->statusAt, theirs);
    trash->statusAt = [&](int folder, const std::string& name, struct stat& status) {
        return name == uid ? EACCES : realStatus(folder, name, status);
    };
    int desktopRuns = 0;
    trash->run = [&](const std::string&, const std::vector<std::string>&, double) {
        ++desktopRuns;
        return Shell::Output{0, "", ""};
    };
    writeFile(home.path("junk.bin"), 10);
    Cleaner::trash({"~/junk.bin"}, false);

    CleanResult result = Cleaner::emptyTrash();
    EXPECT_EQ(desktopRuns, 0);
    EXPECT_TRUE(Trash::entries().empty()) << "the user's own Trash is still emptied";
    EXPECT_TRUE(fs::exists(mine / "files/kept.bin"));
    EXPECT_EQ(result.failed,
              (std::vector<CleanFailure>{
                  {mine.string(), "Inside another user’s folder, where it can’t be checked; not emptied"}}));
    EXPECT_EQ(result.message, "The Trash wasn’t emptied completely: 1 item deleted, freeing about " +
                                  Fmt::bytes(result.bytes) + "; 1 not emptied.");
}

// A link is swapped in for the user's folder under a shared ".Trash" (one
// of root's, as a ".Trash" of another user is not trusted at all), round
// after round: that folder is left and said so, the other trash folders are
// still emptied, and nothing the link leads to goes.
TEST_F(TrashSafetyTest, ALinkSwappedUnderASharedTrashLeavesOnlyThatFolder) {
    const fs::path volume = home.scratch() / "shared-tmp";
    const std::string uid = std::to_string(getuid());
    const fs::path shared = volume / ".Trash";
    const fs::path mine = shared / uid;
    const fs::path swapped = shared / (uid + ".swap");
    ScopedMountTable table({volume});
    fs::create_directories(mine / "files");
    fs::create_directories(mine / "info");
    const fs::path decoy = home.path("decoy");
    writeFile(decoy / "files/precious.txt", 10);
    writeFile(decoy / "info/precious.txt.trashinfo", 10);
    fs::create_directory_symlink(decoy, swapped);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const int realFiles = ::open((mine / "files").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(realFiles, 0);
    int desktopRuns = 0;
    trash->run = [&](const std::string&, const std::vector<std::string>&, double) {
        ++desktopRuns;
        return Shell::Output{0, "", ""};
    };
    const std::vector<CleanFailure> leftAsLink{{mine.string(), "A symbolic link; not emptied"}};
    int left = 0;
    {
        NameExchanger exchanger(mine, swapped);
        for (int round = 0; round < raceRounds; ++round) {
            ::close(::openat(realFiles, "item", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
            writeFile(home.path("junk.bin"), 10);
            Cleaner::trash({"~/junk.bin"}, false);
            CleanResult result;
            ASSERT_NO_THROW(result = Cleaner::emptyTrash()) << "round " << round;
            ASSERT_TRUE(Trash::entries().empty()) << "the home Trash was not emptied in round " << round;
            ASSERT_TRUE(fs::exists(decoy / "files/precious.txt")) << "deleted through the link in round " << round;
            ASSERT_TRUE(fs::exists(decoy / "info/precious.txt.trashinfo")) << "round " << round;
            if (result.failed.empty()) continue;
            ++left;
            ASSERT_EQ(result.failed, leftAsLink) << "round " << round;
            ASSERT_FALSE(result.message.starts_with("Emptied")) << result.message;
        }
    }
    ::close(realFiles);
    EXPECT_EQ(desktopRuns, 0);
    EXPECT_GT(left, 0) << "the link was never met";
}

// What emptying reports is what is gone: every level of a tree deeper than
// any path can name, and only what the desktop really removed.
TEST_F(TrashSafetyTest, EmptyingReportsWhatIsReallyGone) {
    const fs::path files = Trash::filesFolder();
    {
        // On a memory file system when there is one: deep trees are slow to
        // make and remove on a disk.
        std::string pattern = (memoryFolder() / "deep-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        const fs::path volume = pattern;
        const fs::path volumeFiles = volume / (".Trash-" + std::to_string(getuid())) / "files";
        ScopedMountTable table({volume});
        DeepTree deep(volumeFiles / "deep", 2100, "level", 4096);
        const int64_t expected = duBytes(volumeFiles / "deep");
        ASSERT_GE(expected, 2100 * 4096);
        CleanResult result = Cleaner::emptyTrash();
        EXPECT_TRUE(result.failed.empty());
        EXPECT_EQ(result.bytes, expected);
        EXPECT_FALSE(fs::exists(volumeFiles / "deep"));
        fs::remove_all(volume);
    }

    // The desktop empties a Trash that cannot be read here, and leaves part.
    const fs::path volume = home.scratch() / "usb";
    ScopedMountTable table({volume});
    fs::create_directories(volume / (".Trash-" + std::to_string(getuid())) / "files");
    allocate(home.path("gone.bin"), 40'960);
    allocate(home.path("left.bin"), 81'920);
    Cleaner::trash({"~/gone.bin", "~/left.bin"}, false);
    auto realList = trash->listFolder;
    trash->listFolder = [&](int fd, const std::string& folder) -> std::vector<std::string> {
        if (Paths::isInside(folder, volume.string())) throw std::system_error(EACCES, std::generic_category(), folder);
        return realList(fd, folder);
    };
    const fs::path goneRecord = fs::path(Trash::infoFolder()) / "gone.bin.trashinfo";
    const int64_t gone = 40'960 + duBytes(goneRecord);
    trash->run = [&](const std::string&, const std::vector<std::string>&, double) {
        fs::remove(files / "gone.bin");
        fs::remove(goneRecord);
        return Shell::Output{0, "", ""};
    };
    // What the desktop left is named, and the Trash is not called emptied.
    const CleanResult result = Cleaner::emptyTrash();
    EXPECT_EQ(result.bytes, gone);
    EXPECT_EQ(result.failed,
              (std::vector<CleanFailure>{{(files / "left.bin").string(), "The file manager didn’t delete it"}}));
    EXPECT_EQ(result.message, "The file manager didn’t empty the whole Trash: it freed about " + Fmt::bytes(gone) +
                                  ", and 1 item is still there.");
}

// An info file whose item never arrived (the move was killed in between)
// goes with the next emptying once it is old enough not to be a move under way.
TEST_F(TrashSafetyTest, EmptyingSweepsStaleInfoFilesWithoutTheirItem) {
    writeFile(home.path("kept.txt"));
    Cleaner::trash({"~/kept.txt"}, false);
    const fs::path info = Trash::infoFolder();
    writeText(info / "orphan.txt.trashinfo", "[Trash Info]\nPath=/x/orphan.txt\n");
    setAge(info / "orphan.txt.trashinfo", 3600);
    writeText(info / "young.txt.trashinfo", "[Trash Info]\nPath=/x/young.txt\n");
    writeText(info / "notes", "not a record");
    setAge(info / "notes", 3600);

    Cleaner::emptyTrash();

    EXPECT_EQ(entriesOf(info), (std::vector<std::string>{"notes", "young.txt.trashinfo"}));
}

// Only an item that is surely gone lets its info file go: one that merely
// could not be looked at may still be there, and its record is its way back.
TEST_F(TrashSafetyTest, AnItemThatCannotBeLookedAtKeepsItsInfoFile) {
    writeFile(home.path("stuck.txt"));
    Cleaner::trash({"~/stuck.txt"}, false);
    const fs::path info = fs::path(Trash::infoFolder()) / "stuck.txt.trashinfo";
    setAge(info, 3600);
    trash->removeItem = [](int, const std::string&, const std::string& path) {
        throw std::system_error(EIO, std::generic_category(), path);
    };
    auto realStatus = trash->statusAt;
    trash->statusAt = [&](int folder, const std::string& name, struct stat& status) {
        return name == "stuck.txt" ? EIO : realStatus(folder, name, status);
    };
    EXPECT_EQ(Cleaner::emptyTrash().failed.size(), 1u);
    EXPECT_TRUE(fs::exists(fs::path(Trash::filesFolder()) / "stuck.txt"));
    EXPECT_TRUE(fs::exists(info));
}

// A trash folder reached through a bind mount has a path that names no
// trash; it is still the Trash, and what lies in it is not trashed again.
TEST_F(TrashSafetyTest, ATrashReachedThroughABindMountIsStillTheTrash) {
    writeFile(home.path("old.txt"), 10);
    Cleaner::trash({"~/old.txt"}, false);
    const fs::path mirror = home.path("mirror");
    fs::create_directories(mirror);
    if (::mount(Trash::homeTrash().c_str(), mirror.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "cannot bind-mount here (needs CAP_SYS_ADMIN)";
    std::unique_ptr<const fs::path, void (*)(const fs::path*)> unmount(
        &mirror, [](const fs::path* point) { ::umount2(point->c_str(), MNT_DETACH); });
    const std::string inTrash = L("废纸篓里的项目不能再移到废纸篓");
    EXPECT_EQ(Cleaner::refusal("~/mirror/files/old.txt"), inTrash);
    EXPECT_EQ(Cleaner::refusal("~/mirror/files"), inTrash);
    EXPECT_EQ(Cleaner::refusal("~/mirror"), inTrash);
    EXPECT_TRUE(Cleaner::trash({"~/mirror/files/old.txt"}, false).trashed.empty());
    EXPECT_EQ(Trash::entries(), std::vector<std::string>{"old.txt"});
}

// A folder with a file system mounted below it can be moved to the Trash,
// and the mount goes along. Emptying removes what the folder holds, never
// what lies on the mounted file system: a drive, or a folder bound there.
TEST_F(TrashSafetyTest, EmptyingLeavesAFileSystemMountedInsideAnItemAlone) {
    const fs::path elsewhere = writeFile(home.scratch() / "elsewhere/keep.txt", 10).parent_path();
    struct MountCase {
        const char* what;
        std::function<int(const fs::path& point)> mount;
    };
    const std::vector<MountCase> cases = {
        {"a tmpfs", [](const fs::path& point) { return ::mount("tmpfs", point.c_str(), "tmpfs", 0, "mode=0755"); }},
        {"a bind mount",
         [&](const fs::path& point) { return ::mount(elsewhere.c_str(), point.c_str(), nullptr, MS_BIND, nullptr); }},
    };
    const fs::path moved = fs::path(Trash::filesFolder()) / "project/data";
    for (const auto& mountCase : cases) {
        SCOPED_TRACE(mountCase.what);
        writeFile(home.path("project/junk.bin"), 10);
        fs::create_directories(home.path("project/data"));
        if (mountCase.mount(home.path("project/data")) != 0) GTEST_SKIP() << "cannot mount here (needs CAP_SYS_ADMIN)";
        std::unique_ptr<const fs::path, void (*)(const fs::path*)> unmount(
            &moved, [](const fs::path* point) { ::umount2(point->c_str(), MNT_DETACH); });
        writeFile(home.path("project/data/keep.txt"), 10);
        ASSERT_EQ(Cleaner::trash({"~/project"}, false).trashed.size(), 1u);
        ASSERT_TRUE(fs::exists(moved / "keep.txt"));

        const CleanResult result = Cleaner::emptyTrash();

        EXPECT_TRUE(fs::exists(moved / "keep.txt")) << "deleted on the mounted file system";
        EXPECT_TRUE(fs::exists(elsewhere / "keep.txt"));
        EXPECT_FALSE(fs::exists(moved.parent_path() / "junk.bin"));
        ASSERT_EQ(result.failed.size(), 1u);
        EXPECT_EQ(result.failed.front().path, moved.parent_path().string());
        EXPECT_TRUE(fs::exists(fs::path(Trash::infoFolder()) / "project.trashinfo"));
        unmount.reset();
        Cleaner::emptyTrash();
        ASSERT_TRUE(Trash::entries().empty());
    }
}
