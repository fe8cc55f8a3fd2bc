#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "Support.hpp"
#include "TestSupport.hpp"
#include "clean/Cleaner.hpp"
#include "platform/Platform.hpp"
#include "platform/Trash.hpp"

using namespace testing_support;

namespace {

class TrashTest : public HomeTest {
protected:
    ScopedHooks<Trash::Hooks> trash;

    fs::path files() const { return Trash::filesFolder(); }
    fs::path info() const { return Trash::infoFolder(); }
    std::string infoText(const std::string& name) const { return readText(info() / (name + ".trashinfo")); }
    std::string recordedPath(const std::string& name) const {
        std::smatch match;
        std::string text = infoText(name);
        std::regex_search(text, match, std::regex("\nPath=([^\n]*)\n"));
        return match.size() > 1 ? match[1].str() : "";
    }
};

ino_t inodeOf(const fs::path& path) {
    struct stat status {};
    lstat(path.c_str(), &status);
    return status.st_ino;
}

/// A tmpfs mounted for the length of a test, so a second file system is at hand.
class ScopedTmpfs {
public:
    explicit ScopedTmpfs(fs::path where) : point(std::move(where)) {
        fs::create_directories(point);
        mounted = ::mount("tmpfs", point.c_str(), "tmpfs", 0, "mode=0755") == 0;
    }
    ~ScopedTmpfs() {
        if (mounted) ::umount2(point.c_str(), MNT_DETACH);
    }
    bool isMounted() const { return mounted; }
    const fs::path& path() const { return point; }

private:
    fs::path point;
    bool mounted = false;
};

}  // namespace

TEST_F(TrashTest, HomeTrashFollowsTheHomeOverrideElseTheDataFolder) {
    EXPECT_EQ(Trash::homeTrash(), home.home() + "/.local/share/Trash");
    EXPECT_EQ(Trash::filesFolder(), home.home() + "/.local/share/Trash/files");
    EXPECT_EQ(Trash::infoFolder(), home.home() + "/.local/share/Trash/info");
    {
        ScopedEnv noOverride("OSTREVANE_HOME", std::nullopt);
        ScopedEnv userHome("HOME", home.home());
        ScopedEnv data("XDG_DATA_HOME", home.scratch().string() + "/data//");
        ScopedHooks<Platform::Hooks> decided(Platform::Hooks::decidedOnce());
        EXPECT_EQ(Trash::homeTrash(), home.scratch().string() + "/data/Trash");
        ScopedEnv relativeData("XDG_DATA_HOME", "relative/data");
        EXPECT_EQ(Trash::homeTrash(), home.home() + "/.local/share/Trash");
    }
}

TEST_F(TrashTest, MoveRenamesTheItemAndRecordsWhereItCameFrom) {
    fs::path item = writeFile(home.path("Projects/old notes 旧.txt"), 5000);
    ino_t inode = inodeOf(item);

    std::string moved = Trash::moveToTrash(item.string());

    EXPECT_EQ(moved, (files() / "old notes 旧.txt").string());
    EXPECT_FALSE(fs::exists(item));
    EXPECT_EQ(inodeOf(moved), inode) << "moved by rename, not copied";
    EXPECT_EQ(fs::file_size(moved), 5000u);
    std::string text = infoText("old notes 旧.txt");
    EXPECT_TRUE(std::regex_match(text, std::regex("\\[Trash Info\\]\nPath=[^\n]+\n"
                                                  "DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
        << text;
    EXPECT_EQ(recordedPath("old notes 旧.txt"), home.home() + "/Projects/old%20notes%20%E6%97%A7.txt");
    auto mode = fs::status(Trash::homeTrash()).permissions();
    EXPECT_EQ(mode & fs::perms::all, fs::perms::owner_all);
}

TEST_F(TrashTest, DeletionDateIsLocalTime) {
    auto localHour = [] {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char hour[8];
        std::strftime(hour, sizeof hour, "T%H:", &local);
        return std::string(hour);
    };
    std::string text;
    std::string before, after;
    {
        ScopedEnv zone("TZ", "Asia/Tokyo");
        tzset();
        before = localHour();
        Trash::moveToTrash(writeFile(home.path("a.log")).string());
        after = localHour();
        text = infoText("a.log");
    }
    tzset();
    EXPECT_TRUE(text.find(before) != std::string::npos || text.find(after) != std::string::npos) << text;
}

TEST_F(TrashTest, NameCollisionsGetUniqueNamesAndNeverReplaceAnything) {
    fs::path first = writeFile(home.path("one/report.txt"), 10, 'a');
    fs::path second = writeFile(home.path("two/report.txt"), 20, 'b');
    fs::path third = writeFile(home.path("three/report.txt"), 30, 'c');
    fs::create_directories(home.path("one/build"));
    fs::create_directories(home.path("two/build"));
    // An entry some other program left without an info file still holds its name.
    writeFile(files() / "notes.md", 1);
    fs::path notes = writeFile(home.path("notes.md"), 2);

    EXPECT_EQ(Trash::moveToTrash(first.string()), (files() / "report.txt").string());
    EXPECT_EQ(Trash::moveToTrash(second.string()), (files() / "report.2.txt").string());
    EXPECT_EQ(Trash::moveToTrash(third.string()), (files() / "report.3.txt").string());
    EXPECT_EQ(Trash::moveToTrash(home.path("one/build").string()), (files() / "build").string());
    EXPECT_EQ(Trash::moveToTrash(home.path("two/build").string()), (files() / "build.2").string());
    EXPECT_EQ(Trash::moveToTrash(notes.string()), (files() / "notes.2.md").string());

    EXPECT_EQ(fs::file_size(files() / "report.txt"), 10u);
    EXPECT_EQ(fs::file_size(files() / "report.2.txt"), 20u);
    EXPECT_EQ(fs::file_size(files() / "notes.md"), 1u);
    EXPECT_EQ(recordedPath("report.2.txt"), home.home() + "/two/report.txt");
    EXPECT_EQ(recordedPath("build.2"), home.home() + "/two/build");
    EXPECT_FALSE(fs::exists(info() / "notes.md.trashinfo")) << "a failed reservation leaves nothing behind";
}

TEST_F(TrashTest, OverlongNamesAreCutToLeaveRoomForTheInfoFile) {
    // A valid UTF-8 name of 250 bytes: 118 times 'x', then 44 three-byte characters.
    std::string utf8(118, 'x');
    for (int i = 0; i < 44; ++i) utf8 += "界";
    // Names on disk need not be UTF-8: bytes that would be continuation bytes.
    const std::string latin1(250, '\xB0');
    for (const auto& name : {utf8, latin1}) {
        ASSERT_EQ(name.size(), 250u);
        fs::path item = writeFile(home.path(name));

        std::string moved = Trash::moveToTrash(item.string());

        std::string trashName = fs::path(moved).filename().string();
        EXPECT_FALSE(trashName.empty());
        EXPECT_LE(trashName.size() + std::string(".trashinfo").size(), 255u);
        EXPECT_EQ(Text::isValidUTF8(trashName), Text::isValidUTF8(name));
        EXPECT_TRUE(name.starts_with(trashName));
        EXPECT_EQ(recordedPath(trashName), Paths::percentEncoded(item.string()));
    }
}

TEST_F(TrashTest, LinksAreMovedAsLinksAndFoldersAboveThemResolved) {
    fs::path target = writeFile(home.path("Real/keep/data.bin"), 100).parent_path();
    fs::create_directory_symlink(target, home.path("shortcut"));
    std::string moved = Trash::moveToTrash(home.path("shortcut").string());
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(moved)));
    EXPECT_TRUE(fs::exists(target / "data.bin"));

    // Through a linked folder the item is recorded where it really lies.
    fs::create_directory_symlink(home.path("Real"), home.path("via"));
    Trash::moveToTrash(home.path("via/keep").string());
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(recordedPath("keep"), home.home() + "/Real/keep");
}

TEST_F(TrashTest, MissingItemsAndTheRootAreNotMoved) {
    try {
        Trash::moveToTrash(home.path("nothing-here").string());
        FAIL() << "expected an error";
    } catch (const OstrevaneError& error) {
        EXPECT_EQ(error.message, std::strerror(ENOENT));
    }
    EXPECT_THROW(Trash::moveToTrash("/"), OstrevaneError);
    EXPECT_FALSE(fs::exists(info()) && !fs::is_empty(info()));
}

TEST_F(TrashTest, AnUnusableHomeTrashFailsTheMoveInsteadOfFallingBack) {
    writeFile(Trash::homeTrash(), 1);  // a file where the trash folder belongs
    fs::path item = writeFile(home.path("keep.txt"));
    const std::string rootTrash = "/.Trash-" + std::to_string(getuid());
    bool rootTrashExisted = fs::exists(rootTrash);
    try {
        Trash::moveToTrash(item.string());
        FAIL() << "expected an error";
    } catch (const OstrevaneError& error) {
        EXPECT_EQ(error.message, std::strerror(ENOTDIR));
    }
    EXPECT_TRUE(fs::exists(item));
    EXPECT_EQ(fs::exists(rootTrash), rootTrashExisted);
}

TEST_F(TrashTest, OtherFileSystemsUseTheirOwnTrash) {
    ScopedTmpfs volume(home.scratch() / "volume");
    if (!volume.isMounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs CAP_SYS_ADMIN)";
    const std::string uid = std::to_string(getuid());

    fs::path item = writeFile(volume.path() / "Videos/clip.mov", 4096);
    ino_t inode = inodeOf(item);
    std::string moved = Trash::moveToTrash(item.string());
    fs::path ownTrash = volume.path() / (".Trash-" + uid);
    EXPECT_EQ(moved, (ownTrash / "files/clip.mov").string());
    EXPECT_EQ(inodeOf(moved), inode);
    EXPECT_EQ(fs::status(ownTrash).permissions() & fs::perms::all, fs::perms::owner_all);
    // Per-device trashes record the path relative to the device's top folder.
    EXPECT_NE(readText(ownTrash / "info/clip.mov.trashinfo").find("\nPath=Videos/clip.mov\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(files() / "clip.mov"));

    // A shared ".Trash" that is not sticky is not to be trusted.
    fs::create_directory(volume.path() / ".Trash");
    fs::permissions(volume.path() / ".Trash", fs::perms::all);
    Trash::moveToTrash(writeFile(volume.path() / "a.txt").string());
    EXPECT_TRUE(fs::exists(ownTrash / "files/a.txt"));

    // A sticky one gets a folder per user.
    fs::permissions(volume.path() / ".Trash", fs::perms::all | fs::perms::sticky_bit);
    std::string shared = Trash::moveToTrash(writeFile(volume.path() / "b.txt").string());
    EXPECT_EQ(shared, (volume.path() / ".Trash" / uid / "files/b.txt").string());
}

// The top folder of the disk belongs to another user, who can rename any
// folder of the user's to ".Trash-<uid>": nothing goes there, nor into a
// shared ".Trash" of theirs, and the engine says why.
TEST_F(TrashTest, NothingIsTrashedOntoADiskWhoseTopAnotherUserOwns) {
    ScopedTmpfs volume(home.scratch() / "volume");
    if (!volume.isMounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs CAP_SYS_ADMIN)";
    const std::string top = volume.path().string();
    const fs::path renamed = volume.path() / (".Trash-" + std::to_string(getuid()));
    fs::create_directories(renamed / "files");
    fs::create_directories(renamed / "info");
    fs::create_directory(volume.path() / ".Trash");
    fs::permissions(volume.path() / ".Trash", fs::perms::all | fs::perms::sticky_bit);
    const std::string shared = (volume.path() / ".Trash").string();
    // Root owns every folder it makes: the other owner comes from the hook.
    auto realStatus = trash->statusAt;
    trash->statusAt = [&](int folder, const std::string& name, struct stat& status) {
        const int error = realStatus(folder, name, status);
        if (error == 0 && folder == AT_FDCWD && (name == top || name == shared)) status.st_uid = 12345;
        return error;
    };
    const fs::path item = writeFile(volume.path() / "Documents/report.odt", 10);
    try {
        Trash::moveToTrash(item.string());
        FAIL() << "expected a refusal";
    } catch (const Trash::UnusableTrash& error) {
        EXPECT_EQ(error.disk, top);
    }
    const CleanResult result = Cleaner::trash({item.string()}, false);
    EXPECT_TRUE(result.trashed.empty());
    EXPECT_EQ(result.failed,
              (std::vector<CleanFailure>{{item.string(), "The top folder of its disk, " + top +
                                                             ", belongs to another user, who can "
                                                             "choose where its Trash puts it; not moved"}}));
    EXPECT_TRUE(fs::exists(item));
    EXPECT_TRUE(fs::is_empty(renamed / "files"));
    EXPECT_TRUE(fs::is_empty(renamed / "info"));
    EXPECT_TRUE(fs::is_empty(shared));
}

// A disk whose Trash the tool may not use, or cannot make, keeps the item
// where it is, and its line says which disk and why.
TEST_F(TrashTest, AnItemOnADiskWithNoUsableTrashStaysAndItsLineSaysWhy) {
    ScopedTmpfs volume(home.scratch() / "volume");
    if (!volume.isMounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs CAP_SYS_ADMIN)";
    const std::string top = volume.path().string();
    const std::string own = top + "/.Trash-" + std::to_string(getuid());
    const struct {
        const char* disk;
        mode_t mode;
        bool fileInTheWay;  // a file where its ".Trash-<uid>" would be made
        std::string line;
    } cases[] = {
        {"a top open to all, not sticky", 0777, false,
         "The Trash of the disk " + top + ", " + own + ", can’t be trusted: other users can write to " + top +
             ", so they could choose where it puts things; not moved"},
        {"no Trash can be made", 0755, true,
         "The disk " + top + " has no Trash this tool can use: " + own + " couldn’t be made or opened (" +
             std::strerror(ENOTDIR) + "); not moved"},
    };
    for (const auto& disk : cases) {
        SCOPED_TRACE(disk.disk);
        ASSERT_EQ(::chmod(top.c_str(), disk.mode), 0);
        if (disk.fileInTheWay) writeFile(own, 1);
        const fs::path item = writeFile(volume.path() / "Documents/report.odt", 10);
        const CleanResult result = Cleaner::trash({item.string()}, false);
        EXPECT_TRUE(result.trashed.empty());
        EXPECT_EQ(result.failed, (std::vector<CleanFailure>{{item.string(), disk.line}}));
        EXPECT_TRUE(fs::exists(item));
        fs::remove_all(own);
    }
}

TEST_F(TrashTest, EntriesAndRemovalNeverFollowLinks) {
    EXPECT_TRUE(Trash::entries().empty()) << "a trash never used is empty";

    fs::path outside = writeFile(home.scratch() / "outside/precious.txt", 10).parent_path();
    fs::create_directory_symlink(outside, home.path("link-to-outside"));
    fs::create_directories(home.path("folder"));
    fs::create_directory_symlink(outside, home.path("folder/inner-link"));
    writeFile(home.path("folder/junk.bin"), 100);
    Trash::moveToTrash(home.path("link-to-outside").string());
    Trash::moveToTrash(home.path("folder").string());

    auto names = Trash::entries();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"folder", "link-to-outside"}));

    for (const auto& name : names) Trash::removeEntry(name);
    EXPECT_TRUE(Trash::entries().empty());
    EXPECT_TRUE(fs::is_empty(info()));
    EXPECT_TRUE(fs::exists(outside / "precious.txt"));
}

TEST_F(TrashTest, AFailedRemovalKeepsItsInfoFile) {
    Trash::moveToTrash(writeFile(home.path("stuck.txt")).string());
    trash->removeItem = [](int, const std::string&, const std::string& path) {
        throw std::system_error(EACCES, std::generic_category(), path);
    };
    EXPECT_THROW(Trash::removeEntry("stuck.txt"), std::system_error);
    EXPECT_TRUE(fs::exists(files() / "stuck.txt"));
    EXPECT_TRUE(fs::exists(info() / "stuck.txt.trashinfo"));

    trash->listFolder = [](int, const std::string& folder) -> std::vector<std::string> {
        throw std::system_error(EACCES, std::generic_category(), folder);
    };
    EXPECT_THROW(Trash::entries(), std::system_error);
}

TEST_F(TrashTest, FreeSpaceIsMeasuredOnTheTrashFileSystem) {
    std::string asked;
    trash->freeBytes = [&](const std::string& path) -> std::optional<int64_t> {
        asked = path;
        return 1234;
    };
    EXPECT_EQ(Trash::freeBytes(), 1234);
    // The trash does not exist yet: its nearest existing folder stands in.
    EXPECT_EQ(asked, home.home());
    Trash::moveToTrash(writeFile(home.path("x")).string());
    Trash::freeBytes();
    EXPECT_EQ(asked, Trash::homeTrash());

    trash->freeBytes = trash.previous().freeBytes;
    EXPECT_GT(Trash::freeBytes(), 0);
}

TEST_F(TrashTest, TheDesktopEmptiesTheEnginesOwnTrash) {
    std::string executable;
    std::vector<std::string> arguments;
    trash->run = [&](const std::string& program, const std::vector<std::string>& words, double timeout) {
        executable = program;
        arguments = words;
        EXPECT_EQ(timeout, 300);
        return Shell::Output{0, "", ""};
    };
    Trash::emptyThroughDesktop();
    EXPECT_EQ(executable, "/usr/bin/env");
    ASSERT_EQ(arguments.size(), 12u);
    EXPECT_EQ(std::vector<std::string>(arguments.begin(), arguments.begin() + 7),
              (std::vector<std::string>{"-u", "XDG_DATA_HOME", "-u", "XDG_RUNTIME_DIR", "-u",
                                        "DBUS_SESSION_BUS_ADDRESS", "HOME=" + home.home()}));
    EXPECT_TRUE(arguments[7].ends_with("dbus-run-session"));
    EXPECT_EQ(arguments[8], "--");
    EXPECT_TRUE(arguments[9].ends_with("gio"));
    EXPECT_EQ(std::vector<std::string>(arguments.begin() + 10, arguments.end()),
              (std::vector<std::string>{"trash", "--empty"}));
}

TEST_F(TrashTest, TheDesktopIsNotAskedOnARedirectedSystem) {
    // gio would empty the Trash of every disk the real machine has mounted,
    // whatever the mount table the engine was shown: the one of the real "/"
    // among them. Here that is the sealed machine's stand-in.
    const fs::path onTheRoot = writeFile(sealedRoot() / (".Trash-" + std::to_string(getuid())) / "files/planted", 10);
    Trash::moveToTrash(writeFile(home.path("junk.bin"), 10).string());

    Shell::Output emptied = Trash::emptyThroughDesktop();

    EXPECT_NE(emptied.status, 0);
    EXPECT_NE(emptied.stderrText.find("real machine"), std::string::npos) << emptied.stderrText;
    EXPECT_TRUE(fs::exists(files() / "junk.bin"));
    EXPECT_TRUE(fs::exists(onTheRoot));
    fs::remove_all(onTheRoot.parent_path().parent_path());
}

TEST(TrashEncoding, PercentEncodingKeepsOnlyUnreservedBytesAndSlashes) {
    EXPECT_EQ(Paths::percentEncoded("/a b/é'%#?~_.-Z9"), "/a%20b/%C3%A9%27%25%23%3F~_.-Z9");
}

TEST_F(TrashTest, EveryTrashFolderOfTheUserIsFoundOnce) {
    const std::string uid = std::to_string(getuid());
    const fs::path usb = home.scratch() / "usb";
    const fs::path disk = home.scratch() / "disk";
    const fs::path untrusted = home.scratch() / "untrusted";
    fs::create_directories(usb / (".Trash-" + uid));
    fs::create_directories(disk / ".Trash" / uid);
    fs::permissions(disk / ".Trash", fs::perms::all | fs::perms::sticky_bit);
    fs::create_directories(untrusted / ".Trash" / uid);  // not sticky: never used
    fs::create_directories(untrusted / ".Trash-12345");  // another user's
    {
        ScopedMountTable table({usb, disk, untrusted, usb});  // usb twice: a bind mount
        EXPECT_EQ(Trash::trashFolders(),
                  (std::vector<std::string>{Trash::homeTrash(), (usb / (".Trash-" + uid)).string(),
                                            (disk / ".Trash" / uid).string()}));
    }

    for (const std::string& path :
         std::vector<std::string>{Trash::homeTrash(), Trash::filesFolder() + "/a", "/media/x/.Trash-" + uid,
                                  "/mnt/d/.Trash-0/files/a", "/mnt/d/.Trash/1000/files"})
        EXPECT_TRUE(Trash::isInsideTrash(path)) << path;
    for (const std::string& path :
         std::vector<std::string>{"/mnt/d/.Trash-", "/mnt/d/.Trash-x1", "/mnt/d/.Trash/files", "/mnt/d/my.Trash-1",
                                  home.home() + "/.local/share/Trash2", home.home() + "/.local/share"})
        EXPECT_FALSE(Trash::isInsideTrash(path)) << path;
}

TEST_F(TrashTest, AHeldItemMovesFromTheFolderHeldWhateverThePathBecomes) {
    writeFile(home.path("A/x"), 10);
    writeFile(home.path("B/x"), 20);
    fs::create_directory_symlink(home.path("A"), home.path("l"));
    Trash::HeldItem held(home.path("l/x").string());
    fs::remove(home.path("l"));
    fs::create_directory_symlink(home.path("B"), home.path("l"));

    EXPECT_EQ(held.realPath(), home.path("A/x").string());
    EXPECT_EQ(Trash::moveToTrash(held), (files() / "x").string());
    EXPECT_FALSE(fs::exists(home.path("A/x")));
    EXPECT_EQ(fs::file_size(home.path("B/x")), 20u);
    EXPECT_EQ(recordedPath("x"), home.home() + "/A/x");
}

// The kernel names a removed folder with " (deleted)" after its path; a
// folder really named so is still where it is, and its items move.
TEST_F(TrashTest, AFolderNamedAsIfRemovedIsToldApartFromARemovedOne) {
    writeFile(home.path("old (deleted)/x"), 10);
    EXPECT_EQ(Trash::moveToTrash(home.path("old (deleted)/x").string()), (files() / "x").string());
    EXPECT_FALSE(fs::exists(home.path("old (deleted)/x")));

    // Removed once held, with a folder of the kernel's name for it beside.
    writeFile(home.path("gone/y"), 10);
    const Trash::HeldFolder held(home.path("gone").string());
    fs::remove_all(home.path("gone"));
    writeFile(home.path("gone (deleted)/y"), 20);
    EXPECT_THROW(Trash::HeldItem(held, "y"), OstrevaneError);
    EXPECT_EQ(fs::file_size(home.path("gone (deleted)/y")), 20u);
}

TEST_F(TrashTest, ATrashFolderOthersCanWriteToTakesNothing) {
    fs::path item = writeFile(home.path("keep.txt"));
    fs::create_directories(files());
    fs::create_directories(info());
    for (const fs::path& folder : {fs::path(Trash::homeTrash()), files(), info()}) {
        fs::permissions(folder, fs::perms::all);
        try {
            Trash::moveToTrash(item.string());
            ADD_FAILURE() << "expected an error for " << folder;
        } catch (const OstrevaneError& error) {
            EXPECT_EQ(error.message, std::strerror(EACCES));
        }
        EXPECT_TRUE(fs::exists(item));
        fs::permissions(folder, fs::perms::owner_all);
    }
}
