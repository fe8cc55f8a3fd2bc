// Destinations that take names differing only in case (or in how an accent
// is composed) for one: exFAT, FAT, NTFS and SMB disks. Two source names
// that share one place there are neither copied nor trashed, a copy counts
// as checked only when its folder lists it under that place once, and an
// offload's archive is found whatever the case of the name that would
// replace it.
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>

#include "TestDestinations.hpp"
#include "TestSupport.hpp"
#include "backup/Archive.hpp"
#include "backup/Backup.hpp"
#include "base/Shell.hpp"
#include "platform/Mounts.hpp"
#include "platform/ProgramSearch.hpp"
#include "platform/Trash.hpp"

using namespace testing_support;

namespace {

class OffloadCaseTest : public HomeTest {
protected:
    fs::path source = home.path("C");
    fs::path drive = home.scratch() / "drive";
    BackupDestination destination = folderDestination(drive);
    ScopedHooks<Archive::Hooks> archive;

    void SetUp() override {
        fs::create_directories(drive);
        archive->ignoresCase = [](const std::string&) { return true; };
    }
    fs::path copyOf(const fs::path& path) const { return drive / BackupEngine::relativeTarget(path.string()); }
};

std::string sharedPlace(const std::string& path, const std::string& other) {
    return path + ": The destination ignores case, so this would take the same place there as " + other +
           "; none of them was copied";
}

}  // namespace

TEST_F(OffloadCaseTest, NamesThatShareOnePlaceAtTheDestinationAreNeitherCopiedNorTrashed) {
    writeText(source / "Report.txt", "upper: only copy");
    writeText(source / "report.txt", "lower: a different text");
    writeText(source / "Docs/a.txt", "a");
    writeText(source / "docs/b.txt", "b");
    writeText(source / "caf\xc3\xa9.txt", "composed");
    writeText(source / "cafe\xcc\x81.txt", "decomposed");
    writeText(source / "plain.txt", "plain");

    OffloadReport report = BackupEngine::offload(source.string(), destination, false);
    EXPECT_FALSE(report.sourceTrashed);
    EXPECT_EQ(report.backup.status, BackupStatus::completedWithErrors);
    std::vector<std::string> errors = report.backup.errors;
    std::sort(errors.begin(), errors.end());
    std::vector<std::string> expected = {
        sharedPlace("~/C/Docs", "docs"),
        sharedPlace("~/C/Report.txt", "report.txt"),
        sharedPlace("~/C/caf\xc3\xa9.txt", "cafe\xcc\x81.txt"),
        sharedPlace("~/C/cafe\xcc\x81.txt", "caf\xc3\xa9.txt"),
        sharedPlace("~/C/docs", "Docs"),
        sharedPlace("~/C/report.txt", "Report.txt"),
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(errors, expected);
    EXPECT_EQ(report.backup.filesFailed, 6);
    EXPECT_EQ(readText(source / "Report.txt"), "upper: only copy");
    EXPECT_EQ(readText(source / "report.txt"), "lower: a different text");
    EXPECT_EQ(entriesOf(copyOf(source)), std::vector<std::string>{"plain.txt"}) << "the rest is copied";
}

// A fresh lookup by name goes through the kernel's case-exact name cache,
// which may still show a name the disk has given to another file: the check
// goes by the folder's own listing, where the copy's place must be taken once.
TEST_F(OffloadCaseTest, ACopyWhosePlaceItsFolderListsUnderTwoNamesIsNoCheckedCopy) {
    const fs::path file = source / "report.txt";
    for (const fs::path& offloaded : {source, file}) {
        SCOPED_TRACE(offloaded.string());
        fs::remove_all(drive);
        writeText(file, "the only text");
        writeText(copyOf(source) / "Report.txt", "stale");
        writeText(copyOf(source) / "REPORT.TXT", "stale too");
        OffloadReport report = BackupEngine::offload(offloaded.string(), destination, false);
        EXPECT_FALSE(report.verified);
        EXPECT_FALSE(report.sourceTrashed);
        EXPECT_EQ(report.message, "The backup finished but didn’t pass the check; local files were left alone.");
        EXPECT_EQ(readText(file), "the only text");
    }
}

TEST_F(OffloadCaseTest, AnArchiveIsKeptFromANameSpelledInAnotherCase) {
    const fs::path archived = home.path("Documents/Report.txt"), rewritten = home.path("Documents/report.txt");
    writeText(archived, "ORIGINAL v1");
    OffloadReport offloaded = BackupEngine::offload(archived.string(), destination, false);
    ASSERT_TRUE(offloaded.sourceTrashed) << offloaded.message;
    fs::remove_all(Trash::filesFolder());
    writeText(rewritten, "NEW unrelated");

    BackupReport report = BackupEngine::run(home.path("Documents").string(), destination);
    EXPECT_EQ(report.conflicts, std::vector<std::string>{"~/Documents/report.txt"});
    EXPECT_EQ(entriesOf(copyOf(home.path("Documents"))), std::vector<std::string>{"Report.txt"});
    EXPECT_EQ(readText(copyOf(archived)), "ORIGINAL v1");
}

// The same on a real exFAT disk, an image mounted through its FUSE driver.
TEST_F(OffloadCaseTest, OnARealExFATDiskBothTextsStay) {
    const auto mounter = Shell::which("mount.exfat-fuse"), maker = Shell::which("mkfs.exfat");
    if (!mounter || !maker) GTEST_SKIP() << "mount.exfat-fuse or mkfs.exfat is not installed";
    if (::geteuid() != 0 || ::access("/dev/fuse", R_OK | W_OK) != 0)
        GTEST_SKIP() << "mounting needs root and /dev/fuse";
    archive->ignoresCase = archive.previous().ignoresCase;
    const fs::path image = home.scratch() / "exfat.img";
    writeFile(image, 0);
    fs::resize_file(image, 16 << 20);
    ASSERT_EQ(Shell::run(*maker, {image.string()}, 60).status, 0);
    ASSERT_EQ(Shell::run(*mounter, {image.string(), drive.string()}, 60).status, 0);
    struct Unmount {
        fs::path point;
        ~Unmount() { ::umount2(point.c_str(), MNT_DETACH); }
    } unmount{drive};
    // The sealed machine's mount table lists the disk as the real one would.
    ScopedHooks<Mounts::Hooks> mounts;
    const std::string table = "1 0 8:1 / " + sealedRoot().string() + " rw - ext4 /dev/sda1 rw\n2 1 0:99 / " +
                              drive.string() + " rw - fuse.exfat /dev/loop9 rw\n";
    mounts->readTable = [table] { return std::optional<std::string>(table); };
    writeText(source / "Report.txt", "upper: only copy");
    writeText(source / "report.txt", "lower: a different text");

    OffloadReport report = BackupEngine::offload(source.string(), destination, false);
    EXPECT_FALSE(report.sourceTrashed);
    EXPECT_EQ(report.backup.status, BackupStatus::completedWithErrors);
    EXPECT_EQ(readText(source / "Report.txt"), "upper: only copy");
    EXPECT_EQ(readText(source / "report.txt"), "lower: a different text");
}

TEST_F(OffloadCaseTest, ThroughRcloneARemoteThatIgnoresCaseTakesNeitherOfTwoNamesForOnePlace) {
    if (!Shell::which("rclone")) GTEST_SKIP() << "rclone is not installed";
    const fs::path remoteFolder = home.scratch() / "remote";
    ScopedEnv config("RCLONE_CONFIG", (home.scratch() / "rclone.conf").string());
    // Remotes of rclone's local type, with paths relative to the folder it runs in.
    ScopedEnv ignoringType("RCLONE_CONFIG_IGNORING_TYPE", "local");
    ScopedEnv ignoring("RCLONE_CONFIG_IGNORING_CASE_INSENSITIVE", "true");
    ScopedEnv exactType("RCLONE_CONFIG_EXACT_TYPE", "local");
    for (const auto& [remote, ignoresCase] :
         std::vector<std::pair<std::string, bool>>{{"ignoring:", true}, {"exact:", false}}) {
        SCOPED_TRACE(remote);
        fs::remove_all(remoteFolder);
        fs::create_directories(remoteFolder);
        writeText(source / "Report.txt", "upper: only copy");
        writeText(source / "report.txt", "lower: a different text");
        writeText(source / "plain.txt", "plain");
        writeText(source / "Docs/a.txt", "a");
        writeText(source / "docs/b.txt", "b");
        const fs::path previous = fs::current_path();
        fs::current_path(remoteFolder);
        OffloadReport report = BackupEngine::offload(source.string(), rcloneDestination(remote), false);
        fs::current_path(previous);
        const fs::path landed = remoteFolder / BackupEngine::relativeTarget(source.string());
        EXPECT_EQ(report.sourceTrashed, !ignoresCase) << report.message;
        if (ignoresCase) {
            std::vector<std::string> errors = report.backup.errors;
            std::sort(errors.begin(), errors.end());
            EXPECT_EQ(errors, (std::vector<std::string>{
                                  sharedPlace("~/C/Docs", "docs"), sharedPlace("~/C/Report.txt", "report.txt"),
                                  sharedPlace("~/C/docs", "Docs"), sharedPlace("~/C/report.txt", "Report.txt")}));
            EXPECT_EQ(readText(source / "Report.txt"), "upper: only copy");
            EXPECT_EQ(readText(source / "report.txt"), "lower: a different text");
            EXPECT_EQ(entriesOf(landed), std::vector<std::string>{"plain.txt"});
        } else {
            EXPECT_EQ(entriesOf(landed),
                      (std::vector<std::string>{"Docs", "Report.txt", "docs", "plain.txt", "report.txt"}));
        }
        fs::remove_all(source);
        fs::remove_all(Trash::filesFolder());
    }
}
