#include <sys/stat.h>

#include <chrono>

#include "TestSupport.hpp"
#include "config/Config.hpp"
#include "config/Destinations.hpp"
#include "config/Rclone.hpp"
#include "platform/Host.hpp"
#include "platform/ICloud.hpp"
#include "platform/Mounts.hpp"
#include "text/Localization.hpp"

using namespace testing_support;

namespace {

/// Discovery on a temporary home; rclone counts as not installed unless a
/// test puts a stand-in on PATH.
class DestinationsTest : public HomeTest {
protected:
    ScopedHooks<Mounts::Hooks> mounts;
    ScopedHooks<Destinations::Hooks> places;
    ScopedHooks<Rclone::Hooks> rclone;
    /// Signed out, as on every Linux machine, unless a test signs in.
    ScopedHooks<ICloud::Hooks> icloud;

    void SetUp() override {
        rclone->locate = [] { return std::optional<std::string>(); };
        // The session's runtime folder and the mounted drives are fixtures.
        const std::string scratch = home.scratch().string();
        places->runtimeFolder = [scratch] { return scratch + "/run"; };
        places->volumeRoots = [scratch] {
            return std::vector<std::string>{scratch + "/media/me", scratch + "/run-media/me", scratch + "/mnt"};
        };
        mounts->readTable = [] { return std::optional<std::string>("1 0 259:2 / / rw - ext4 /dev/nvme0n1p2 rw\n"); };
        mounts->readFstab = [] { return std::optional<std::string>(); };
    }

    fs::path folder(const std::string& relative) {
        fs::path path = home.path(relative);
        fs::create_directories(path);
        return path;
    }

    void addCustom(const std::string& name, const std::string& path) {
        ConfigStore::update([&](AppConfig& config) { config.customDestinations.push_back({name, path}); });
    }

    /// A stand-in rclone running `script` (a shell body) with PATH pointing
    /// at it first; discovery then finds it through the normal lookup.
    void useFakeRclone(const std::string& script) {
        fs::path bin = home.scratch() / "bin";
        fs::create_directories(bin);
        writeText(bin / "rclone", "#!/bin/sh\n" + script + "\n");
        fs::permissions(bin / "rclone", fs::perms::owner_all);
        pathOverride = std::make_unique<ScopedEnv>("PATH", bin.string() + ":" + std::getenv("PATH"));
        rclone->locate = rclone.previous().locate;
    }

    std::unique_ptr<ScopedEnv> pathOverride;
};

std::vector<std::string> ids(const std::vector<BackupDestination>& list) {
    std::vector<std::string> result;
    for (const auto& destination : list) result.push_back(destination.id);
    return result;
}

const BackupDestination& byId(const std::vector<BackupDestination>& list, const std::string& id) {
    for (const auto& destination : list)
        if (destination.id == id) return destination;
    throw std::runtime_error("no destination " + id);
}

std::string thrownMessage(const std::function<void()>& action) {
    try {
        action();
    } catch (const OstrevaneError& error) {
        return error.message;
    }
    return "(nothing thrown)";
}

}  // namespace

TEST_F(DestinationsTest, NothingFoundOnAnEmptyHome) { EXPECT_TRUE(Destinations::discover(true).empty()); }

TEST_F(DestinationsTest, DiscoversEverySourceInItsFixedOrder) {
    icloud->isSignedIn = [] { return true; };
    folder("Library/Mobile Documents/com~apple~CloudDocs");
    const std::string storage = "Library/CloudStorage/";
    folder(storage + "Box-Box");
    folder(storage + "Dropbox");
    folder(storage + "GoogleDrive-me@example.com/My Drive");
    folder(storage + "GoogleDrive-me@example.com/Shared drives");
    folder(storage + "GoogleDrive-nodrive@example.com/Shared drives");
    folder(storage + "GoogleDrive-nodrive@example.com/.tmp");
    folder(storage + "GoogleDrive-renamed@example.com/Other computers");
    folder(storage + "GoogleDrive-renamed@example.com/Unser Laufwerk");
    folder(storage + "iCloudDrive-x");
    folder(storage + "ICLOUD-y");
    folder(storage + "OneDrive-Personal");
    folder(storage + ".Hidden-z");
    folder(storage + "Weird Provider");
    folder(storage + "pCloud-acc-more");
    writeText(home.path(storage + "Stray-file"), "not a folder");
    // The home's Dropbox link leads to the CloudStorage folder found before it.
    fs::create_directory_symlink(home.path(storage + "Dropbox"), home.path("Dropbox"));
    folder("Google Drive");
    folder("BaiduSyncdisk");
    folder("MEGA");
    // Different ids, one folder: the link is still recognised.
    fs::create_directory_symlink(home.path(storage + "OneDrive-Personal"), home.path("OneDrive"));
    writeText(home.path("MEGA.txt"), "");
    writeText(home.path("Sync"), "a file, not a folder");

    fs::path disk = folder("Volumes/Disk");
    addCustom("Archive", home.home() + "/Volumes/Gone");
    addCustom("Disk", "~/Volumes/Disk");
    addCustom("Disk", "~/Volumes/Other");  // same id: dropped
    addCustom("Same", disk.string());      // same folder: dropped
    fs::create_directory_symlink(disk, home.path("DiskLink"));
    addCustom("ViaLink", "~/DiskLink");  // same folder through a link: dropped
    folder("Volumes/Other");

    useFakeRclone("printf 'a:\\n  b: \\n:\\nc\\n'");

    auto list = Destinations::discover(true);
    EXPECT_EQ(ids(list), (std::vector<std::string>{
                             "icloud",
                             "box-box",
                             "dropbox",
                             "googledrive-me@example.com",
                             "googledrive-nodrive@example.com",
                             "googledrive-renamed@example.com",
                             "onedrive-personal",
                             "weird-provider",
                             "pcloud-acc-more",
                             "google-drive",
                             "baidusyncdisk",
                             "mega",
                             "folder:Archive",
                             "folder:Disk",
                             "rclone:a",
                             "rclone:b",
                         }));

    const auto& icloud = byId(list, "icloud");
    EXPECT_EQ(icloud.kind, DestinationKind::icloud);
    EXPECT_EQ(icloud.name, "iCloud Drive");
    EXPECT_EQ(icloud.path, home.home() + "/Library/Mobile Documents/com~apple~CloudDocs");
    EXPECT_TRUE(icloud.available);
    EXPECT_TRUE(icloud.note && icloud.note->starts_with("Files copied into iCloud Drive"));

    const auto& box = byId(list, "box-box");
    EXPECT_EQ(box.kind, DestinationKind::box);
    EXPECT_EQ(box.name, "Box (Box)");

    const auto& dropbox = byId(list, "dropbox");
    EXPECT_EQ(dropbox.kind, DestinationKind::dropbox);
    EXPECT_EQ(dropbox.name, "Dropbox");
    EXPECT_EQ(dropbox.path, home.home() + "/" + storage + "Dropbox");
    EXPECT_FALSE(dropbox.note);

    const auto& google = byId(list, "googledrive-me@example.com");
    EXPECT_EQ(google.kind, DestinationKind::googleDrive);
    EXPECT_EQ(google.name, "Google Drive (me@example.com)");
    EXPECT_EQ(google.path, home.home() + "/" + storage + "GoogleDrive-me@example.com/My Drive");
    EXPECT_TRUE(google.available);

    const auto& noDrive = byId(list, "googledrive-nodrive@example.com");
    EXPECT_FALSE(noDrive.path);
    EXPECT_FALSE(noDrive.available);
    EXPECT_EQ(noDrive.note, "No writable “My Drive” folder found. Make sure the Google Drive app is signed in.");

    // A My Drive under a name not in the list is the first ordinary folder.
    EXPECT_EQ(byId(list, "googledrive-renamed@example.com").path,
              home.home() + "/" + storage + "GoogleDrive-renamed@example.com/Unser Laufwerk");

    const auto& oneDrive = byId(list, "onedrive-personal");
    EXPECT_EQ(oneDrive.kind, DestinationKind::oneDrive);
    EXPECT_EQ(oneDrive.name, "OneDrive (Personal)");

    const auto& weird = byId(list, "weird-provider");
    EXPECT_EQ(weird.kind, DestinationKind::cloudFolder);
    EXPECT_EQ(weird.name, "Weird Provider");
    EXPECT_EQ(byId(list, "pcloud-acc-more").name, "pCloud (acc-more)");

    const auto& googleHome = byId(list, "google-drive");
    EXPECT_EQ(googleHome.kind, DestinationKind::googleDrive);
    EXPECT_EQ(googleHome.name, "Google Drive");
    EXPECT_EQ(byId(list, "baidusyncdisk").name, "Baidu Netdisk Sync");
    EXPECT_EQ(byId(list, "baidusyncdisk").kind, DestinationKind::cloudFolder);

    const auto& archive = byId(list, "folder:Archive");
    EXPECT_EQ(archive.kind, DestinationKind::folder);
    EXPECT_FALSE(archive.available);
    EXPECT_EQ(archive.note, "Folder not available right now (external drive not connected?)");
    const auto& customDisk = byId(list, "folder:Disk");
    EXPECT_EQ(customDisk.path, disk.string());  // stored with "~", listed expanded
    EXPECT_TRUE(customDisk.available);
    EXPECT_FALSE(customDisk.note);

    const auto& remote = byId(list, "rclone:b");
    EXPECT_EQ(remote.kind, DestinationKind::rclone);
    EXPECT_EQ(remote.name, "rclone · b");
    EXPECT_EQ(remote.rcloneRemote, "b:");
    EXPECT_FALSE(remote.path);
    EXPECT_TRUE(remote.available);
    EXPECT_EQ(remote.note, "Uploads directly through rclone without using local space.");
}

TEST_F(DestinationsTest, FindsTheLinuxSyncFoldersOnlineAccountsAndDrives) {
    for (const char* name : {"Nextcloud", "ownCloud", "pCloudDrive", "Yandex.Disk", "OneDrive"}) folder(name);
    folder("Insync/me@gmail.com/Google Drive");
    folder("Insync/me@gmail.com/Shared with me");
    folder("Insync/me@live.com/OneDrive");
    writeText(home.path("Insync/me@live.com/stray"), "not a drive");
    const fs::path scratch = home.scratch();
    fs::create_directories(scratch / "run/gvfs/google-drive:host=gmail.com,user=me");
    fs::create_directories(scratch / "run/gvfs/smb-share:server=nas,share=backup");
    for (const char* mountPoint :
         {"media/me/T7", "run-media/me/stick", "mnt/inside", "media/me/image", "elsewhere/usb"})
        fs::create_directories(scratch / mountPoint);
    const std::string s = scratch.string();
    const std::string table =
        "1 0 259:2 / / rw - ext4 /dev/nvme0n1p2 rw\n"
        "2 1 8:17 / " +
        s +
        "/media/me/T7 rw - exfat /dev/sdb1 rw\n"
        "3 1 8:33 / " +
        s +
        "/run-media/me/stick rw - vfat /dev/sdc1 rw\n"
        "4 1 259:3 / " +
        s +
        "/mnt/inside rw - ext4 /dev/nvme0n1p3 rw\n"
        "5 1 11:0 / " +
        s +
        "/media/me/image ro - iso9660 /dev/sr0 ro\n"
        "6 1 8:49 / " +
        s +
        "/elsewhere/usb rw - ext4 /dev/sdd1 rw\n"
        "7 1 0:55 / " +
        s + "/mnt/nas rw - nfs4 nas:/export rw\n";
    mounts->readTable = [table] { return std::optional<std::string>(table); };
    mounts->isInternal = [](const Mounts::Mount& mount) { return mount.major == 259; };
    mounts->label = [](const Mounts::Mount& mount) -> std::optional<std::string> {
        if (mount.source == "/dev/sdb1") return "T7 SSD";
        return std::nullopt;
    };

    auto list = Destinations::discover(false);
    EXPECT_EQ(ids(list), (std::vector<std::string>{
                             "onedrive",
                             "nextcloud",
                             "owncloud",
                             "pclouddrive",
                             "yandex.disk",
                             "insync-me@gmail.com-google-drive",
                             "insync-me@gmail.com-shared-with-me",
                             "insync-me@live.com-onedrive",
                             "gnome-google-drive-me@gmail.com",
                             "volume:T7 SSD",
                             "volume:stick",
                         }));
    EXPECT_EQ(byId(list, "pclouddrive").name, "pCloud");
    EXPECT_EQ(byId(list, "insync-me@live.com-onedrive").kind, DestinationKind::oneDrive);
    EXPECT_EQ(byId(list, "insync-me@gmail.com-google-drive").name, "Google Drive (me@gmail.com)");
    const auto& online = byId(list, "gnome-google-drive-me@gmail.com");
    EXPECT_EQ(online.kind, DestinationKind::googleDrive);
    EXPECT_EQ(online.name, "Google Drive (me@gmail.com)");
    EXPECT_EQ(online.path, s + "/run/gvfs/google-drive:host=gmail.com,user=me");
    const auto& drive = byId(list, "volume:T7 SSD");
    EXPECT_EQ(drive.kind, DestinationKind::folder);
    EXPECT_EQ(drive.name, "T7 SSD");
    EXPECT_EQ(drive.path, s + "/media/me/T7");
    EXPECT_TRUE(drive.available);
    // A drive is offered only while it is mounted.
    mounts->readTable = [] { return std::optional<std::string>(); };
    EXPECT_EQ(Destinations::discover(false).size(), 9u);
}

TEST(DestinationsLanguage, HomeSyncNamesFollowTheLanguage) {
    ScopedHome home("zh");
    ScopedHooks<Rclone::Hooks> rclone;
    rclone->locate = [] { return std::optional<std::string>(); };
    ScopedHooks<ICloud::Hooks> icloud;
    icloud->isSignedIn = [] { return true; };
    fs::create_directories(home.path("Nutstore Files"));
    fs::create_directories(home.path("Sync"));
    fs::create_directories(home.path("Library/Mobile Documents/com~apple~CloudDocs"));
    auto list = Destinations::discover(true);
    EXPECT_EQ(ids(list), (std::vector<std::string>{"icloud", "nutstore-files", "sync"}));
    EXPECT_EQ(byId(list, "icloud").name, "iCloud 云盘");
    EXPECT_EQ(byId(list, "nutstore-files").name, "坚果云");
    EXPECT_EQ(byId(list, "sync").name, "Sync 同步文件夹");
}

TEST_F(DestinationsTest, ACustomPathWithANulHidesNoValidDestinationOnTheSameFolder) {
    const fs::path disk = folder("Disk");
    ConfigStore::update([&](AppConfig& config) {
        config.customDestinations.push_back({"Bad", disk.string() + std::string("\0junk", 5)});
        config.customDestinations.push_back({"Good", disk.string()});
    });
    auto list = Destinations::discover(false);
    EXPECT_FALSE(byId(list, "folder:Bad").available);
    EXPECT_EQ(byId(list, "folder:Good").path, disk.string());
    EXPECT_TRUE(byId(list, "folder:Good").available);
}

TEST_F(DestinationsTest, AnUndecodableConfigurationGivesNoCustomFolders) {
    folder("MEGA");
    writeText(home.path(".config/Ostrevane/config.json"), "{broken");
    EXPECT_EQ(ids(Destinations::discover(true)), (std::vector<std::string>{"mega"}));
}

TEST_F(DestinationsTest, RcloneIsRunOnlyWhenAskedAndWithListremotesAlone) {
    fs::path record = home.scratch() / "arguments";
    useFakeRclone("echo \"$@\" >> '" + record.string() + "'; echo 'remote:'");
    EXPECT_TRUE(Destinations::discover(false).empty());
    EXPECT_FALSE(fs::exists(record));
    EXPECT_EQ(ids(Destinations::discover(true)), (std::vector<std::string>{"rclone:remote"}));
    EXPECT_EQ(readText(record), "listremotes\n");
}

TEST_F(DestinationsTest, FailingRcloneGivesNoRemotes) {
    folder("MEGA");
    useFakeRclone("echo 'a:'; exit 1");
    EXPECT_EQ(ids(Destinations::discover(true)), (std::vector<std::string>{"mega"}));
}

TEST_F(DestinationsTest, HangingRcloneIsStoppedAfterItsTimeLimit) {
    folder("MEGA");
    useFakeRclone("echo 'late:'; exec sleep 60");
    auto started = std::chrono::steady_clock::now();
    auto list = Destinations::discover(true);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(ids(list), (std::vector<std::string>{"mega"}));
    EXPECT_GE(seconds, Rclone::listRemotesTimeout - 0.5);
    EXPECT_LT(seconds, Rclone::listRemotesTimeout + 5);
}

TEST_F(DestinationsTest, RealRcloneListsARemoteDefinedInItsEnvironment) {
    rclone->locate = rclone.previous().locate;
    if (!Rclone::executable()) GTEST_SKIP() << "rclone is not installed";
    // Keep rclone away from any configuration in the real home.
    ScopedEnv config("RCLONE_CONFIG", (home.scratch() / "rclone.conf").string());
    ScopedEnv remote("RCLONE_CONFIG_SCRATCHDISK_TYPE", "local");
    auto list = Destinations::discover(true);
    const auto& found = byId(list, "rclone:scratchdisk");
    EXPECT_EQ(found.rcloneRemote, "scratchdisk:");
    EXPECT_EQ(found.kind, DestinationKind::rclone);
    EXPECT_TRUE(found.available);
}

TEST(Rclone, ParsesRemotesFromListremotesOutput) {
    EXPECT_EQ(Rclone::parseRemotes("a:\n  b:  \n:\nc\n\n"), (std::vector<std::string>{"a:", "b:"}));
    // Unicode space separators are blanks too; a carriage return is not.
    EXPECT_EQ(Rclone::parseRemotes("\t\u3000d:\u00a0\ne:\r\n"), (std::vector<std::string>{"d:"}));
    EXPECT_TRUE(Rclone::parseRemotes("").empty());
}

TEST(Rclone, CommandLines) {
    EXPECT_EQ(Rclone::copyArguments("/src", "r:Ostrevane Backups/Mac/Home", {"node_modules", ".git"}, true),
              (std::vector<std::string>{"copy", "/src", "r:Ostrevane Backups/Mac/Home", "--create-empty-src-dirs",
                                        "--use-json-log", "--stats", "1s", "--stats-log-level", "NOTICE", "--exclude",
                                        "node_modules", "--exclude", "node_modules/**", "--exclude", ".git",
                                        "--exclude", ".git/**", "--dry-run"}));
    EXPECT_EQ(Rclone::copyArguments("/s", "r:t", {}, false).size(), 9u);
    EXPECT_EQ(Rclone::checkArguments("/s", "r:t"),
              (std::vector<std::string>{"check", "/s", "r:t", "--one-way", "--size-only", "--exclude", ".DS_Store",
                                        "--exclude", ".localized"}));
    EXPECT_EQ(Rclone::remotePath("r:", "Ostrevane Backups/Mac"), "r:Ostrevane Backups/Mac");
}

TEST(Rclone, ReadsLogLines) {
    EXPECT_FALSE(Rclone::parseLogLine("2026/12/08 NOTICE: plain text"));
    EXPECT_FALSE(Rclone::parseLogLine("[1, 2]"));
    auto error = Rclone::parseLogLine(R"({"level":"error","msg":"failed to copy: disk full"})");
    ASSERT_TRUE(error);
    EXPECT_EQ(Rclone::errorMessage(*error), "failed to copy: disk full");
    EXPECT_FALSE(Rclone::statsObject(*error));
    EXPECT_FALSE(Rclone::errorMessage(json{{"level", "notice"}, {"msg", "x"}}));

    Rclone::Stats stats;
    auto first = Rclone::parseLogLine(
        R"({"level":"notice","stats":{"transfers":2,"totalTransfers":5,"checks":1,"errors":0,"bytes":100,"totalBytes":900}})");
    ASSERT_TRUE(first && Rclone::statsObject(*first));
    stats.absorb(*Rclone::statsObject(*first));
    stats.absorb(json{{"transfers", 3}, {"bytes", "not a number"}});
    EXPECT_EQ(stats.transfers, 3);
    EXPECT_EQ(stats.totalTransfers, 5);  // kept from the earlier line
    EXPECT_EQ(stats.checks, 1);
    EXPECT_EQ(stats.bytes, 100);
    EXPECT_EQ(stats.totalBytes, 0);  // this line had none
}

TEST_F(DestinationsTest, CheckIsFalseWithoutRcloneAndFollowsTheExitStatus) {
    EXPECT_FALSE(Rclone::check("/s", "r:t"));
    useFakeRclone("test \"$1\" = check && test \"$4\" = --one-way");
    EXPECT_TRUE(Rclone::check("/s", "r:t"));
    useFakeRclone("exit 1");
    EXPECT_FALSE(Rclone::check("/s", "r:t"));
}

// Resolving

namespace {
std::vector<BackupDestination> sampleList() {
    return {
        {"icloud", DestinationKind::icloud, "iCloud Drive", "/h/icloud", std::nullopt, true, "note"},
        {"folder:Archive", DestinationKind::folder, "Archive", "/gone", std::nullopt, false,
         "Folder not available right now (external drive not connected?)"},
        {"folder:Bare", DestinationKind::folder, "Bare", "/gone2", std::nullopt, false, std::nullopt},
        {"rclone:b", DestinationKind::rclone, "rclone · b", std::nullopt, "b:", true, std::nullopt},
    };
}
}  // namespace

TEST_F(DestinationsTest, ResolvesByIdInAnyCaseOrByExactName) {
    auto list = sampleList();
    EXPECT_EQ(Destinations::resolve("ICLOUD", list).id, "icloud");
    EXPECT_EQ(Destinations::resolve(" \t\u3000Rclone:B ", list).id, "rclone:b");
    EXPECT_EQ(Destinations::resolve("iCloud Drive", list).id, "icloud");
    EXPECT_EQ(Destinations::resolve("rclone · b", list).rcloneRemote, "b:");
    // Names match exactly, in the process's language.
    EXPECT_THROW(Destinations::resolve("icloud drive", list), OstrevaneError);
    EXPECT_THROW(Destinations::resolve("iCloud 云盘", list), OstrevaneError);
}

TEST_F(DestinationsTest, ACustomFolderWhoseDriveIsNotMountedIsUnavailable) {
    // The folder a drive mounts on stays behind, empty, while the drive is away.
    const fs::path mountPoint = folder("backup drive");
    addCustom("Drive", mountPoint.string());
    mounts->readFstab = [mountPoint] {
        return std::optional<std::string>("UUID=1234\t/" + mountPoint.relative_path().parent_path().string() +
                                          "/backup\\040drive ext4 nofail 0 2\n");
    };
    const auto away = byId(Destinations::discover(false), "folder:Drive");
    EXPECT_FALSE(away.available);
    EXPECT_EQ(away.note, "Folder not available right now (external drive not connected?)");

    mounts->readTable = [mountPoint] {
        return std::optional<std::string>("1 0 259:2 / / rw - ext4 /dev/nvme0n1p2 rw\n2 1 8:1 / " +
                                          mountPoint.parent_path().string() +
                                          "/backup\\040drive rw - ext4 /dev/sdb1 rw\n");
    };
    EXPECT_TRUE(byId(Destinations::discover(false), "folder:Drive").available);
}

// Case folds by Unicode's rules, but an id whose folder name is not UTF-8 is
// matched by its own bytes only: every such byte would read as U+FFFD.
TEST_F(DestinationsTest, IdsMatchWithoutCaseButUnreadableBytesOnlyThemselves) {
    std::vector<BackupDestination> list = {
        {"folder:\xc3\x89t\xc3\xa9", DestinationKind::folder, "Summer", "/s", std::nullopt, true, std::nullopt},
        {"folder:a\xff", DestinationKind::folder, "Odd", "/o", std::nullopt, true, std::nullopt},
    };
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"FOLDER:\xc3\xa9T\xc3\x89", "Summer"},  // "FOLDER:éTÉ"
        {"folder:a\xff", "Odd"},
        {"folder:A\xff", std::nullopt},
        {"folder:a\xfe", std::nullopt},
    };
    for (const auto& [query, name] : cases) {
        auto found = Destinations::match(query, list);
        EXPECT_EQ(found ? std::optional(found->name) : std::nullopt, name) << query;
    }
}

TEST_F(DestinationsTest, ResolvingAnUnavailableDestinationSaysWhy) {
    auto list = sampleList();
    EXPECT_EQ(thrownMessage([&] { Destinations::resolve("folder:archive", list); }),
              "Backup destination “Archive” isn’t available right now. "
              "Folder not available right now (external drive not connected?)");
    EXPECT_EQ(thrownMessage([&] { Destinations::resolve("Bare", list); }),
              "Backup destination “Bare” isn’t available right now. ");
    // A match by id comes first even when a folder of that path exists.
    EXPECT_TRUE(Destinations::match("FOLDER:ARCHIVE", list).has_value());
}

TEST_F(DestinationsTest, ResolvesAFolderPath) {
    fs::path backups = folder("Backups");
    auto found = Destinations::resolve("~/Backups", sampleList());
    EXPECT_EQ(found.id, backups.string());
    EXPECT_EQ(found.kind, DestinationKind::folder);
    EXPECT_EQ(found.name, "Backups");
    EXPECT_EQ(found.path, backups.string());
    EXPECT_TRUE(found.available);
    EXPECT_FALSE(found.note);
    EXPECT_EQ(Destinations::resolve(backups.string() + "/./", std::vector<BackupDestination>{}).path, backups.string());

    EXPECT_EQ(thrownMessage([&] { Destinations::resolve("~/Missing", sampleList()); }),
              "Destination folder doesn’t exist: " + home.home() + "/Missing");
}

TEST_F(DestinationsTest, UnknownDestinationListsEveryCandidateId) {
    EXPECT_EQ(thrownMessage([&] { Destinations::resolve("nas", sampleList()); }),
              "No backup destination “nas”. Available: icloud, folder:Archive, folder:Bare, rclone:b. "
              "You can also pass a folder path.");
    EXPECT_EQ(thrownMessage([&] { Destinations::resolve("nas", std::vector<BackupDestination>{}); }),
              "No backup destination “nas”. Available: (none). You can also pass a folder path.");
}

TEST_F(DestinationsTest, ResolveDiscoversWhenGivenNoList) {
    icloud->isSignedIn = [] { return true; };
    folder("Library/Mobile Documents/com~apple~CloudDocs");
    folder("Disks/T7");
    addCustom("T7", "~/Disks/T7");
    EXPECT_EQ(Destinations::resolve("icloud").kind, DestinationKind::icloud);
    EXPECT_EQ(Destinations::resolve("folder:t7").path, home.home() + "/Disks/T7");
}

TEST(DestinationRecords, JSONLeavesOutAbsentFieldsAndRejectsUnknownKinds) {
    BackupDestination remote{"rclone:b", DestinationKind::rclone, "rclone · b", std::nullopt, "b:", true, std::nullopt};
    json encoded = remote;
    EXPECT_EQ(encoded, (json{{"id", "rclone:b"},
                             {"kind", "rclone"},
                             {"name", "rclone · b"},
                             {"rcloneRemote", "b:"},
                             {"available", true}}));
    EXPECT_EQ(encoded.get<BackupDestination>(), remote);

    for (auto kind :
         {DestinationKind::icloud, DestinationKind::googleDrive, DestinationKind::dropbox, DestinationKind::oneDrive,
          DestinationKind::box, DestinationKind::cloudFolder, DestinationKind::rclone, DestinationKind::folder})
        EXPECT_EQ(json(kind).get<DestinationKind>(), kind);
    EXPECT_EQ(json(DestinationKind::googleDrive), "googleDrive");
    encoded["kind"] = "nas";
    EXPECT_ANY_THROW(encoded.get<BackupDestination>());
    encoded["kind"] = "rclone";
    encoded.erase("available");
    EXPECT_ANY_THROW(encoded.get<BackupDestination>());
}

// Platform pieces

TEST(Host, ComputerNamePrefersThePrettyName) {
    EXPECT_EQ(Host::computerName("PRETTY_HOSTNAME=\"Lena's Laptop\"\nCHASSIS=laptop\n", "lena-pc"), "Lena's Laptop");
    EXPECT_EQ(Host::computerName("PRETTY_HOSTNAME='Studio: 2/3'\n", "x"), "Studio- 2-3");
    EXPECT_EQ(Host::computerName("# PRETTY_HOSTNAME=No\nPRETTY_HOSTNAME=Plain\\ Name\n", "x"), "Plain Name");
    EXPECT_EQ(Host::computerName("PRETTY_HOSTNAME=\"\"\n", "build:box"), "build-box");
    EXPECT_EQ(Host::computerName(std::nullopt, "host"), "host");
    EXPECT_EQ(Host::computerName(std::nullopt, ""), "Mac");
    EXPECT_EQ(Host::computerName(std::nullopt, std::nullopt), "Mac");
    std::string here = Host::computerName();
    EXPECT_FALSE(here.empty());
    EXPECT_EQ(here.find_first_of("/:"), std::string::npos);
}

TEST(ICloud, LinuxHasNoAccountAndReleasesNothing) {
    ScopedHome home;
    EXPECT_FALSE(ICloud::isSignedIn());
    auto status = ICloud::itemStatus(home.home());
    EXPECT_FALSE(status.isUploaded);
    EXPECT_FALSE(status.downloadingStatus);
    EXPECT_TRUE(ICloud::evict(home.home()).has_value());
    EXPECT_EQ(ICloud::driveFolder(), home.home() + "/Library/Mobile Documents/com~apple~CloudDocs");
    EXPECT_EQ(ICloud::containersFolder(), home.home() + "/Library/Mobile Documents");
}

TEST(ICloud, HooksStandInForASignedInMachineAndAreRestored) {
    {
        std::vector<std::string> evicted;
        ScopedHooks<ICloud::Hooks> hooks;
        hooks->isSignedIn = [] { return true; };
        hooks->itemStatus = [](const std::string&) {
            return ICloud::ItemStatus{true, ICloud::DownloadingStatus::current};
        };
        hooks->evict = [&](const std::string& path) {
            evicted.push_back(path);
            return std::optional<std::string>();
        };
        EXPECT_TRUE(ICloud::isSignedIn());
        EXPECT_EQ(ICloud::itemStatus("/f").downloadingStatus, ICloud::DownloadingStatus::current);
        EXPECT_FALSE(ICloud::evict("/f"));
        EXPECT_EQ(evicted, std::vector<std::string>{"/f"});
    }
    EXPECT_FALSE(ICloud::isSignedIn());
    {
        // A hook not replaced keeps the Linux behaviour.
        ScopedHooks<ICloud::Hooks> hooks;
        hooks->isSignedIn = [] { return true; };
        EXPECT_FALSE(ICloud::itemStatus("/f").isUploaded);
        EXPECT_TRUE(ICloud::evict("/f"));
    }
}
