// The offload (back up, verify, then move the source to the Trash), the two
// verifications, and the release of iCloud local copies through its hooks.
#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <set>

#include "TestDestinations.hpp"
#include "TestSupport.hpp"
#include "backup/Backup.hpp"
#include "config/Rclone.hpp"
#include "platform/FileReading.hpp"
#include "platform/Host.hpp"
#include "platform/ICloud.hpp"
#include "platform/Trash.hpp"
#include "scan/ScanStore.hpp"
#include "scan/Scanner.hpp"

using namespace testing_support;

namespace {

class OffloadTest : public HomeTest {
protected:
    fs::path source = home.path("Projects/old");
    fs::path drive = home.scratch() / "drive";
    BackupDestination destination = folderDestination(drive);
    ScopedHooks<FileReading::Hooks> reading;
    ScopedHooks<Rclone::Hooks> rclone;
    ScopedHooks<Backup::Hooks> faults;

    void SetUp() override {
        fs::create_directories(drive);
        writeFile(source / "report.txt", 3000);
        writeFile(source / "node_modules/dep/index.js", 2000);
        writeFile(source / ".DS_Store", 10);
    }
    fs::path target() const { return drive / BackupEngine::relativeTarget(source.string()); }
    fs::path trashed(const std::string& name) const { return fs::path(Trash::filesFolder()) / name; }
};

std::string messageOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const OstrevaneError& error) {
        return error.message;
    }
    return "(no error)";
}

}  // namespace

TEST_F(OffloadTest, ProtectedPlacesAreRefusedBeforeAnythingIsCopied) {
    const std::string protectedReason = "Protected folder: only its contents can be cleaned, not the folder itself";
    EXPECT_EQ(messageOf([&] { BackupEngine::offload("~", destination, false); }),
              "Can’t archive " + home.home() + ": " + protectedReason);
    writeFile(home.path("Documents/a.txt"), 10);
    EXPECT_EQ(messageOf([&] { BackupEngine::offload(home.path("Documents").string(), destination, false); }),
              "Can’t archive " + home.home() + "/Documents: " + protectedReason);
    EXPECT_TRUE(entriesOf(drive).empty());
    EXPECT_TRUE(BackupHistory::load().empty());
}

TEST_F(OffloadTest, ADryRunCopiesNothingAndNamesTheTarget) {
    OffloadReport report = BackupEngine::offload(source.string(), destination, true);
    EXPECT_TRUE(report.dryRun);
    EXPECT_FALSE(report.verified);
    EXPECT_FALSE(report.sourceTrashed);
    const int64_t size = Scanner::quickSize(source.string());
    EXPECT_EQ(report.bytes, size);
    EXPECT_EQ(report.message, "Dry run: would back up to " + target().string() +
                                  ", check the copy, then move the local " + Fmt::bytes(size) + " to the Trash.");
    EXPECT_EQ(report.backup.filesCopied, 2) << "development folders are copied too, .DS_Store is not";
    EXPECT_TRUE(entriesOf(drive).empty());
    EXPECT_TRUE(BackupHistory::load().empty());
    EXPECT_TRUE(fs::exists(source / "report.txt"));
}

TEST_F(OffloadTest, AnIncompleteBackupLeavesTheSourceAlone) {
    faults->readAttributes = [](const std::string& path) { return path.ends_with("index.js") ? EIO : 0; };
    OffloadReport report = BackupEngine::offload(source.string(), destination, false);
    EXPECT_FALSE(report.verified);
    EXPECT_FALSE(report.sourceTrashed);
    EXPECT_EQ(report.bytes, 0);
    EXPECT_EQ(report.backup.filesFailed, 1);
    EXPECT_EQ(report.message,
              "The backup didn’t fully succeed (" + report.backup.summary + "); local files were left alone.");
    EXPECT_TRUE(fs::exists(source / "node_modules/dep/index.js"));
    EXPECT_EQ(BackupHistory::load().size(), 1u) << "the backup step records its run";
}

TEST_F(OffloadTest, AFailedCheckLeavesTheSourceAlone) {
    const std::vector<std::pair<std::string, std::function<void()>>> failures = {
        // A folder named like an excluded file is passed over by the copy but
        // still compared by the check.
        {"an excluded name", [&] { writeFile(source / "sub/.DS_Store/inside.bin", 10); }},
        // The check reads the copies back from memory; only the flush tells
        // whether the drive stored them.
        {"a drive's write-back error", [&] { faults->flushCopies = [](const std::string&) { return EIO; }; }},
    };
    for (const auto& [failure, arrange] : failures) {
        SCOPED_TRACE(failure);
        ScopedHooks<Backup::Hooks> restored;
        arrange();
        OffloadReport report = BackupEngine::offload(source.string(), destination, false);
        EXPECT_EQ(report.backup.status, BackupStatus::ok);
        EXPECT_FALSE(report.verified);
        EXPECT_FALSE(report.sourceTrashed);
        EXPECT_EQ(report.message, "The backup finished but didn’t pass the check; local files were left alone.");
        EXPECT_TRUE(fs::exists(source / "report.txt"));
        EXPECT_FALSE(fs::exists(trashed("old")));
        fs::remove_all(source / "sub");
    }
}

TEST_F(OffloadTest, VerifyLocalComparesSizesOfEveryRegularFile) {
    BackupEngine::run(source.string(), destination, BackupOptions(false, BackupOptions::offloadExcludes));
    EXPECT_TRUE(BackupEngine::verifyLocal(source.string(), target().string())) << ".DS_Store may be missing";
    writeFile(target() / "only-at-target.txt", 5);
    EXPECT_TRUE(BackupEngine::verifyLocal(source.string(), target().string()));

    writeFile(target() / "report.txt", 2999);
    EXPECT_FALSE(BackupEngine::verifyLocal(source.string(), target().string()));
    writeFile(target() / "report.txt", 3000);
    fs::remove_all(target() / "node_modules");
    EXPECT_FALSE(BackupEngine::verifyLocal(source.string(), target().string()));

    EXPECT_TRUE(BackupEngine::verifyLocal((source / "report.txt").string(), (target() / "report.txt").string()));
    EXPECT_FALSE(BackupEngine::verifyLocal((source / "nothing").string(), target().string()));
    // A folder at the target where the file should be is not the file.
    fs::create_directories(target() / "node_modules/dep/index.js");
    EXPECT_FALSE(BackupEngine::verifyLocal(source.string(), target().string()));
}

TEST_F(OffloadTest, ACopyThatDiffersInContentIsCopiedAgainBeforeTheSourceMoves) {
    // A stale copy with the size and time of the source: the backup step
    // takes it for current, so only the check can find it; it is copied
    // again, checked again, and the source goes only once it matches.
    for (const fs::path& offloaded : {source / "report.txt", source}) {
        writeFile(source / "report.txt", 3000);
        BackupEngine::run(offloaded.string(), destination, BackupOptions(false, BackupOptions::offloadExcludes));
        const fs::path copy = target() / "report.txt";
        writeFile(copy, 3000, 'y');
        struct stat original;
        ASSERT_EQ(::stat((source / "report.txt").c_str(), &original), 0);
        struct timespec times[2] = {original.st_mtim, original.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, copy.c_str(), times, 0), 0);

        OffloadReport report = BackupEngine::offload(offloaded.string(), destination, false);
        EXPECT_EQ(report.backup.filesCopied, 1) << offloaded;
        EXPECT_TRUE(report.verified) << offloaded;
        EXPECT_TRUE(report.sourceTrashed) << offloaded;
        EXPECT_EQ(readText(copy), std::string(3000, 'x'));
    }
}

TEST_F(OffloadTest, ACopyThatStillDiffersAfterASecondCopyKeepsTheSource) {
    const std::string copy = (target() / "report.txt").string();
    reading->canOpen = [copy](const std::string& path) { return path != copy; };
    OffloadReport report = BackupEngine::offload(source.string(), destination, false);
    EXPECT_FALSE(report.verified);
    EXPECT_FALSE(report.sourceTrashed);
    EXPECT_EQ(report.message, "The backup finished but didn’t pass the check; local files were left alone.");
    EXPECT_EQ(BackupHistory::load().size(), 2u) << "the copy was made a second time";
    EXPECT_TRUE(fs::exists(source / "report.txt"));
}

TEST_F(OffloadTest, ASourceChangedAfterItsCheckIsPutBackFromTheTrash) {
    // Each change lands between the check and the move. Under a coarse
    // clock (older kernels' file systems stamp with one that moves in steps;
    // here a step of a day) a rewrite of the same size keeps every stamp:
    // only its content tells.
    struct Case {
        const char* name;
        std::function<void()> change;
        std::string changed;
        bool coarseClock = false;
        bool offloadsTheFile = false;
    };
    auto dayOf = [](struct timespec& time) { time = {time.tv_sec - time.tv_sec % 86400, 0}; };
    const Case cases[] = {
        {"appended", [&] { std::ofstream(source / "report.txt", std::ios::app) << "more"; }, "report.txt"},
        {"rewritten, time set back",
         [&] {
             struct stat before;
             ::stat((source / "report.txt").c_str(), &before);
             writeFile(source / "report.txt", 3000, 'z');
             struct timespec times[2] = {before.st_atim, before.st_mtim};
             ::utimensat(AT_FDCWD, (source / "report.txt").c_str(), times, 0);
         },
         "report.txt"},
        {"a new file", [&] { writeFile(source / "node_modules/new.txt", 5); }, "node_modules"},
        {"rewritten within one step of a coarse clock", [&] { writeFile(source / "report.txt", 3000, 'z'); },
         "report.txt", true},
        {"one file rewritten within one step of a coarse clock", [&] { writeFile(source / "report.txt", 3000, 'z'); },
         "report.txt", true, true},
    };
    for (const Case& c : cases) {
        SetUp();
        ScopedHooks<Backup::Hooks> clock;
        clock->afterCheck = c.change;
        if (c.coarseClock) {
            clock->stampStep = [] { return std::chrono::hours(24); };
            clock->readStamp = [&](struct stat& status) {
                dayOf(status.st_mtim);
                dayOf(status.st_ctim);
            };
        }
        const fs::path offloaded = c.offloadsTheFile ? source / "report.txt" : source;
        OffloadReport report = BackupEngine::offload(offloaded.string(), destination, false);
        EXPECT_FALSE(report.verified) << c.name;
        EXPECT_FALSE(report.sourceTrashed) << c.name;
        EXPECT_EQ(report.message, (source / c.changed).string() +
                                      " changed after the check; the local files were put back where they were and "
                                      "nothing was archived.")
            << c.name;
        EXPECT_TRUE(fs::exists(source / "report.txt")) << c.name;
        EXPECT_TRUE(entriesOf(Trash::filesFolder()).empty()) << c.name;
        EXPECT_TRUE(entriesOf(Trash::infoFolder()).empty()) << c.name;
        fs::remove_all(source);
    }
}

TEST_F(OffloadTest, OnlyFilesStampedWithinAStepOfTheirCheckAreReadAgainAfterTheMove) {
    // Stamps older than the clock's step prove their files unchanged: a big
    // offload of old files is read once, not twice.
    for (const bool fresh : {false, true}) {
        SetUp();
        ScopedHooks<Backup::Hooks> clock;
        if (fresh) {
            clock->stampStep = [] { return std::chrono::hours(24); };
        } else {
            clock->readStamp = [](struct stat& status) {
                status.st_mtim.tv_sec -= 86400;
                status.st_ctim.tv_sec -= 86400;
            };
        }
        bool moving = false;
        std::set<std::string> readAgain;
        clock->afterCheck = [&] { moving = true; };
        ScopedHooks<FileReading::Hooks> reads;
        reads->canOpen = [&](const std::string& path) {
            if (moving && path.starts_with(source.string())) readAgain.insert(path);
            return true;
        };
        ASSERT_TRUE(BackupEngine::offload(source.string(), destination, false).sourceTrashed) << fresh;
        const std::set<std::string> expected = {(source / "report.txt").string(),
                                                (source / "node_modules/dep/index.js").string()};
        EXPECT_EQ(readAgain, fresh ? expected : std::set<std::string>{});
    }
}

TEST_F(OffloadTest, ACancelDuringTheCheckOrTheFlushLeavesTheSource) {
    for (int index = 0; index < 20; ++index) writeFile(source / ("part" + std::to_string(index)), 100);
    for (const bool duringCheck : {true, false}) {
        SCOPED_TRACE(duringCheck ? "during the check" : "during the flush");
        ScopedHooks<FileReading::Hooks> restoredReading;
        ScopedHooks<Backup::Hooks> restoredFaults;
        auto cancel = std::make_shared<CancelToken>();
        int opened = 0;
        // Only the check reads through FileReading: with the first file it opens, the cancel comes.
        reading->canOpen = [&](const std::string&) {
            ++opened;
            if (duringCheck) cancel->cancel();
            return true;
        };
        faults->flushCopies = [&](const std::string&) {
            cancel->cancel();
            return 0;
        };
        OffloadReport report = BackupEngine::offload(source.string(), destination, false, cancel);
        EXPECT_EQ(report.backup.status, BackupStatus::ok);
        EXPECT_FALSE(report.verified);
        EXPECT_FALSE(report.sourceTrashed);
        EXPECT_TRUE(fs::exists(source / "report.txt"));
        EXPECT_EQ(report.message, "The backup didn’t fully succeed (" + report.backup.summary +
                                      " (cancelled)); local files were left alone.");
        if (duringCheck) {
            EXPECT_LE(opened, 2) << "the check read on after the cancel";
        }
    }
}

TEST_F(OffloadTest, ALinkIsRefusedNamingWhereItLeads) {
    fs::create_symlink(source, home.path("Projects/link"));
    EXPECT_EQ(messageOf([&] { BackupEngine::offload(home.path("Projects/link").string(), destination, false); }),
              "Can’t archive " + home.path("Projects/link").string() + ": It’s a symbolic link to " + source.string() +
                  "; archive the place it leads to instead");
    EXPECT_TRUE(entriesOf(drive).empty());
    EXPECT_TRUE(fs::exists(source / "report.txt"));
}

TEST_F(OffloadTest, ASuccessfulOffloadMovesTheSourceToTheTrash) {
    const int64_t size = Scanner::quickSize(source.string());
    OffloadReport report = BackupEngine::offload(source.string(), destination, false);
    EXPECT_TRUE(report.verified);
    EXPECT_TRUE(report.sourceTrashed);
    EXPECT_FALSE(report.dryRun);
    EXPECT_EQ(report.bytes, size);
    EXPECT_EQ(report.message, "Backed up to " + target().string() + " and checked; the local copy (" +
                                  Fmt::bytes(size) + ") is in the Trash. Empty the Trash to free the space.");
    EXPECT_FALSE(fs::exists(source));
    EXPECT_TRUE(fs::exists(trashed("old") / "report.txt"));
    EXPECT_EQ(fs::file_size(target() / "node_modules/dep/index.js"), 2000u);

    json document = report;
    EXPECT_EQ(document["backup"]["status"], "ok");
    EXPECT_EQ(document.get<OffloadReport>().message, report.message);
}

TEST_F(OffloadTest, NamesThatAreNotUTF8AreCheckedWhereTheyWereCopied) {
    struct Case {
        std::string name;
        bool folder;
        std::string drive;
    };
    const std::vector<Case> cases = {
        {"caf\xe9", true, "drive"},
        {"caf\xe9.txt", false, "drive"},
        {"plain", true, "dr\xefve"},
    };
    for (const auto& [name, folder, driveName] : cases) {
        SCOPED_TRACE(Text::replacingInvalidUTF8(name + " into " + driveName));
        const fs::path item = home.path(name);
        writeFile(folder ? item / "inside.txt" : item, 100, 'i');
        const fs::path into = home.scratch() / driveName;
        fs::create_directories(into);
        OffloadReport report = BackupEngine::offload(item.string(), folderDestination(into), false);
        EXPECT_TRUE(report.verified) << report.message;
        EXPECT_TRUE(report.sourceTrashed);
        EXPECT_FALSE(fs::exists(item));
        const fs::path copy = into / BackupEngine::relativeTarget(item.string());
        EXPECT_EQ(readText(folder ? copy / "inside.txt" : copy), std::string(100, 'i'));
    }
}

TEST_F(OffloadTest, AnOffloadIntoICloudDriveAddsTheEvictNote) {
    OffloadReport report = BackupEngine::offload(source.string(),
                                                 folderDestination(drive, "Drive", DestinationKind::icloud), false);
    ASSERT_TRUE(report.sourceTrashed);
    EXPECT_TRUE(report.message.ends_with(
        "Empty the Trash to free the space. The backup in iCloud Drive still uses local space; once it’s uploaded, "
        "release the local copy with evict."))
        << report.message;
}

TEST_F(OffloadTest, ThroughRcloneTheSourceGoesOnlyAfterACleanCopyAndCheck) {
    fs::path script = home.scratch() / "rclone";
    // The records' listing is empty (the offload's record then lists nothing);
    // the listing of the copied folders holds every folder of the source.
    writeText(script,
              "#!/bin/sh\n[ \"$1\" = check ] && exit \"$CHECK_STATUS\"\n"
              "[ \"$1\" = lsjson ] && case \"$*\" in *--dirs-only*) "
              "echo '[{\"Path\":\"node_modules\"},{\"Path\":\"node_modules/dep\"}]';; *) echo '[]';; esac\nexit 0\n");
    fs::permissions(script, fs::perms::owner_all);
    rclone->locate = [script] { return script.string(); };

    {
        ScopedEnv checkFails("CHECK_STATUS", "1");
        OffloadReport report = BackupEngine::offload(source.string(), rcloneDestination("cloud:"), false);
        EXPECT_EQ(report.backup.status, BackupStatus::ok);
        EXPECT_FALSE(report.verified);
        EXPECT_TRUE(fs::exists(source));
    }
    {
        // rclone would skip the link without a word, and its check would pass.
        ScopedEnv checkPasses("CHECK_STATUS", "0");
        fs::create_symlink("report.txt", source / "link");
        OffloadReport report = BackupEngine::offload(source.string(), rcloneDestination("cloud:"), false);
        EXPECT_EQ(report.backup.status, BackupStatus::completedWithErrors);
        EXPECT_FALSE(report.sourceTrashed);
        EXPECT_TRUE(fs::exists(source / "link"));
        fs::remove(source / "link");

        OffloadReport clean = BackupEngine::offload(source.string(), rcloneDestination("cloud:"), false);
        EXPECT_TRUE(clean.verified);
        EXPECT_TRUE(clean.sourceTrashed);
        EXPECT_FALSE(fs::exists(source));
    }

    rclone->locate = [] { return std::nullopt; };
    fs::create_directories(source);
    EXPECT_FALSE(BackupEngine::verifyRclone(source.string(), "cloud:x"));
    EXPECT_TRUE(messageOf([&] {
                    BackupEngine::offload(source.string(), rcloneDestination("cloud:"), false);
                }).starts_with("rclone not found."));
    EXPECT_TRUE(fs::exists(source));
}

TEST_F(OffloadTest, ThroughRcloneAFileRewrittenAfterItsUploadStaysInPlace) {
    // rclone's check compares sizes only: a rewrite of the same size after
    // the file went up, before the check, passes it.
    fs::path script = home.scratch() / "rclone";
    writeText(
        script,
        "#!/bin/sh\n[ \"$1\" = lsjson ] && echo '[]'\n[ \"$1\" = copy ] || exit 0\nfile=\"$2\"\n[ -d \"$file\" ] && file=\"$file/report.txt\"\n"
        "sleep 0.05\nhead -c 3000 /dev/zero > \"$file\"\n");
    fs::permissions(script, fs::perms::owner_all);
    rclone->locate = [script] { return script.string(); };
    const std::string rewritten(3000, '\0');

    for (const fs::path& offloaded : {source, source / "report.txt"}) {
        SCOPED_TRACE(offloaded.string());
        writeFile(source / "report.txt", 3000);
        OffloadReport report = BackupEngine::offload(offloaded.string(), rcloneDestination("cloud:"), false);
        EXPECT_EQ(report.backup.status, BackupStatus::ok);
        EXPECT_FALSE(report.sourceTrashed) << report.message;
        EXPECT_TRUE(readText(source / "report.txt") == rewritten) << "the rewritten file is not in place";
    }
}

TEST_F(OffloadTest, RealRcloneOffloadToALocalRemote) {
    if (!Shell::which("rclone")) GTEST_SKIP() << "rclone is not installed";
    const fs::path remoteFolder = home.scratch() / "remote";
    ScopedEnv config("RCLONE_CONFIG", (home.scratch() / "rclone.conf").string());
    // A remote of rclone's local type has its paths relative to the folder
    // rclone runs in, this process's; an alias has them below its folder.
    ScopedEnv relativeType("RCLONE_CONFIG_CLOUD_TYPE", "local");
    ScopedEnv aliasType("RCLONE_CONFIG_ROOTED_TYPE", "alias");
    ScopedEnv where("RCLONE_CONFIG_ROOTED_REMOTE", remoteFolder.string());
    for (const std::string remote : {"cloud:", "rooted:"}) {
        SCOPED_TRACE(remote);
        fs::remove_all(remoteFolder);
        fs::create_directories(remoteFolder);
        writeFile(source / "report.txt", 3000);
        writeFile(source / "node_modules/dep/index.js", 2000);
        const fs::path previous = fs::current_path();
        fs::current_path(remoteFolder);
        OffloadReport report = BackupEngine::offload(source.string(), rcloneDestination(remote), false);
        fs::current_path(previous);
        EXPECT_TRUE(report.verified) << report.backup.summary;
        EXPECT_TRUE(report.sourceTrashed) << report.message;
        const fs::path backups = remoteFolder / "Ostrevane Backups";
        EXPECT_EQ(entriesOf(remoteFolder), std::vector<std::string>{"Ostrevane Backups"});
        EXPECT_EQ(entriesOf(backups / ".offloads" / Host::computerName()).size(), 1u) << "the record";
        fs::path landed = remoteFolder / BackupEngine::relativeTarget(source.string());
        EXPECT_EQ(fs::file_size(landed / "node_modules/dep/index.js"), 2000u);
        fs::remove_all(Trash::filesFolder());
    }
}

TEST_F(OffloadTest, RealRcloneOffloadOfASingleFile) {
    if (!Shell::which("rclone")) GTEST_SKIP() << "rclone is not installed";
    fs::path remoteFolder = home.scratch() / "remote";
    fs::create_directories(remoteFolder);
    ScopedEnv type("RCLONE_CONFIG_FILEREMOTE_TYPE", "alias");
    ScopedEnv where("RCLONE_CONFIG_FILEREMOTE_REMOTE", remoteFolder.string());
    ScopedEnv config("RCLONE_CONFIG", (home.scratch() / "rclone.conf").string());
    BackupDestination remote = rcloneDestination("cloud:");
    remote.rcloneRemote = "fileremote:";

    fs::path file = source / "report.txt";
    fs::path landed = remoteFolder / BackupEngine::relativeTarget(file.string());
    BackupEngine::run(file.string(), remote);
    ASSERT_EQ(fs::file_size(landed), 3000u);
    const std::string folder = "fileremote:" + BackupEngine::relativeTarget(source.string());
    EXPECT_TRUE(BackupEngine::verifyRclone(file.string(), folder));
    writeFile(landed, 2999);
    EXPECT_FALSE(BackupEngine::verifyRclone(file.string(), folder));

    OffloadReport report = BackupEngine::offload(file.string(), remote, false);
    EXPECT_TRUE(report.verified) << report.message;
    EXPECT_TRUE(report.sourceTrashed);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(fs::file_size(landed), 3000u);
}

// Evict

namespace {

class EvictTest : public HomeTest {
protected:
    fs::path drive = home.path("Library/Mobile Documents/com~apple~CloudDocs");
    void SetUp() override {
        writeFile(drive / "uploaded.txt", 100);
        writeFile(drive / "sub/also-uploaded.txt", 100);
        writeFile(drive / "pending.txt", 100);
        writeFile(drive / "cloud-only.txt", 0);
        writeFile(drive / "refuses.txt", 100);
    }
    bool homeScanCached() { return ScanStore::cached(home.home(), 1e9).has_value(); }
    void storeHomeScan() { ScanStore::store(Scanner::scan(home.home()), home.home()); }
};

ICloud::ItemStatus statusFor(const std::string& path) {
    ICloud::ItemStatus status;
    if (path.ends_with("cloud-only.txt")) {
        status.downloadingStatus = ICloud::DownloadingStatus::notDownloaded;
    } else if (path.ends_with("pending.txt")) {
        status.isUploaded = false;
        status.downloadingStatus = ICloud::DownloadingStatus::current;
    } else {
        status.isUploaded = true;
        status.downloadingStatus = ICloud::DownloadingStatus::current;
    }
    return status;
}

}  // namespace

TEST_F(EvictTest, AMissingPathIsTheOnlyError) {
    EXPECT_EQ(messageOf([&] { BackupEngine::evict("~/nowhere"); }), "Path doesn’t exist: " + home.home() + "/nowhere");
}

// On Linux no drive keeps files online-only: the message says so plainly
// rather than calling the files "not fully uploaded yet".
TEST_F(EvictTest, WithoutICloudEveryFileIsCountedAsNotHandled) {
    storeHomeScan();
    EvictReport report = BackupEngine::evict(drive.string());
    EXPECT_EQ(report.path, drive.string());
    EXPECT_EQ(report.evicted, 0);
    EXPECT_EQ(report.failed, 5);
    EXPECT_GE(report.freedBytes, 0);
    EXPECT_EQ(report.message,
              "No cloud drive on this computer keeps files online-only, so there are no local copies to release.");
    EXPECT_TRUE(homeScanCached());
}

TEST_F(EvictTest, UploadedFilesAreReleasedAndTheOthersCounted) {
    std::vector<std::string> asked;
    ScopedHooks<ICloud::Hooks> hooks;
    hooks->isSignedIn = [] { return true; };
    hooks->itemStatus = statusFor;
    hooks->evict = [&](const std::string& path) -> std::optional<std::string> {
        asked.push_back(path);
        if (path.ends_with("refuses.txt")) return std::string("busy");
        return std::nullopt;
    };
    storeHomeScan();
    EvictReport report = BackupEngine::evict("~/Library/Mobile Documents/com~apple~CloudDocs");
    EXPECT_EQ(report.evicted, 2);
    EXPECT_EQ(report.failed, 2);
    EXPECT_EQ(asked.size(), 3u) << "only uploaded files are asked for";
    EXPECT_EQ(report.message,
              "Released the local copies of 2 files (still in the cloud); 2 skipped (not fully uploaded yet, or not in "
              "iCloud Drive).");
    EXPECT_FALSE(homeScanCached()) << "sizes on disk changed";

    EvictReport single = BackupEngine::evict((drive / "uploaded.txt").string());
    EXPECT_EQ(single.evicted, 1);
    EXPECT_EQ(single.message, "Released the local copy of 1 file (still in the cloud).");
    json document = single;
    EXPECT_EQ(document.get<EvictReport>().evicted, 1);
}

TEST_F(EvictTest, CloudOnlyFilesCountNothingAndKeepTheScanCache) {
    ScopedHooks<ICloud::Hooks> hooks;
    hooks->isSignedIn = [] { return true; };
    hooks->itemStatus = [](const std::string&) {
        ICloud::ItemStatus status;
        status.downloadingStatus = ICloud::DownloadingStatus::notDownloaded;
        return status;
    };
    storeHomeScan();
    EvictReport report = BackupEngine::evict(drive.string());
    EXPECT_EQ(report.evicted, 0);
    EXPECT_EQ(report.failed, 0);
    EXPECT_EQ(report.message, "Released the local copies of 0 files (still in the cloud).");
    EXPECT_TRUE(homeScanCached());
}

TEST_F(OffloadTest, ATreeDeeperThanPathMaxIsCheckedToTheBottomAndOffloaded) {
    // 300 levels of 21 characters: paths of up to 6,600 characters.
    DeepTree deep(source, 300, "a-folder-of-21-chars-", 100);
    BackupReport backup = BackupEngine::run(source.string(), destination,
                                            BackupOptions(false, BackupOptions::offloadExcludes));
    ASSERT_EQ(backup.status, BackupStatus::ok) << backup.summary;
    EXPECT_TRUE(BackupEngine::verifyLocal(source.string(), backup.target));
    deep.growDeepestFile(backup.target);
    EXPECT_FALSE(BackupEngine::verifyLocal(source.string(), backup.target));

    OffloadReport report = BackupEngine::offload(source.string(), destination, false);
    EXPECT_TRUE(report.verified) << report.message;
    EXPECT_TRUE(report.sourceTrashed);
    removeTree(home.scratch() / "");
}
