// What a copy to an rclone remote holds, with the real program and a remote
// of its alias type in the scratch machine: the names left out are names,
// and an offload trashes its source only when every folder of it arrived.
#include <sys/stat.h>

#include "TestDestinations.hpp"
#include "TestSupport.hpp"
#include "backup/Backup.hpp"
#include "config/Rclone.hpp"
#include "platform/FileReading.hpp"
#include "platform/Trash.hpp"

using namespace testing_support;

namespace {

class RcloneCopyTest : public HomeTest {
protected:
    fs::path source = home.path("Projects/p1");
    fs::path remoteFolder = home.scratch() / "remote";
    fs::path drive = home.scratch() / "drive";
    ScopedEnv type{"RCLONE_CONFIG_LOC_TYPE", "alias"};
    ScopedEnv where{"RCLONE_CONFIG_LOC_REMOTE", remoteFolder.string()};
    ScopedEnv config{"RCLONE_CONFIG", (home.scratch() / "rclone.conf").string()};
    ScopedHooks<FileReading::Hooks> reading;
    ScopedHooks<Rclone::Hooks> rclone;

    void SetUp() override {
        if (!Shell::which("rclone")) GTEST_SKIP() << "rclone is not installed";
        fs::create_directories(remoteFolder);
        fs::create_directories(drive);
    }
    fs::path landed(const fs::path& root) const { return root / BackupEngine::relativeTarget(source.string()); }
};

}  // namespace

TEST_F(RcloneCopyTest, AnExcludeLeavesOutExactlyThatNameOnEveryDestination) {
    writeFile(source / "[old]/x", 10);
    writeFile(source / "keep/o", 10);
    writeFile(source / "keep/d", 10);
    const BackupOptions options(false, {"[old]"});
    for (const auto& [destination, root] :
         {std::pair{folderDestination(drive), drive}, std::pair{rcloneDestination("loc:"), remoteFolder}}) {
        SCOPED_TRACE(destination.id);
        BackupReport report = BackupEngine::run(source.string(), destination, options);
        EXPECT_EQ(report.status, BackupStatus::ok) << report.summary;
        EXPECT_EQ(entriesOf(landed(root)), (std::vector<std::string>{"keep"}));
        EXPECT_EQ(entriesOf(landed(root) / "keep"), (std::vector<std::string>{"d", "o"}));
    }
}

TEST_F(RcloneCopyTest, AnOffloadTrashesItsSourceOnlyWhenEveryFolderArrived) {
    const std::string program = *Shell::which("rclone");
    const fs::path inner = BackupEngine::relativeTarget(source.string()) / fs::path("keepme/inner");
    // Stands in for a remote that drops empty folders: the real copy, then the folder gone.
    fs::path dropping = home.scratch() / "dropping-rclone";
    writeText(dropping, "#!/bin/sh\n\"" + program + "\" \"$@\" || exit $?\n[ \"$1\" = copy ] && rmdir '" +
                            (remoteFolder / inner).string() + "'\nexit 0\n");
    fs::permissions(dropping, fs::perms::owner_all);
    struct Case {
        std::string rclone;
        bool trashed;
    };
    for (const Case& each : {Case{program, true}, Case{dropping.string(), false}}) {
        SCOPED_TRACE(each.rclone);
        fs::remove_all(remoteFolder);
        fs::create_directories(remoteFolder);
        writeFile(source / "a.txt", 100);
        fs::create_directories(source / "keepme/inner");
        rclone->locate = [each] { return each.rclone; };

        OffloadReport report = BackupEngine::offload(source.string(), rcloneDestination("loc:"), false);
        EXPECT_EQ(report.sourceTrashed, each.trashed) << report.message;
        EXPECT_EQ(report.verified, each.trashed) << report.message;
        EXPECT_EQ(fs::is_directory(remoteFolder / inner), each.trashed);
        EXPECT_EQ(fs::is_directory(source / "keepme/inner"), !each.trashed);
        if (!each.trashed) {
            EXPECT_EQ(report.message, "The backup finished but didn’t pass the check; local files were left alone.");
        }
    }
}
