// Backups while someone else changes the source: a named pipe exchanged with
// a source file must never hold a run (nor whatever serves it, the MCP
// server included), and only the file's own bytes may reach the destination.
// A destination mounted inside the source must never be copied into itself,
// nor a backup written into the empty folder of a drive not connected.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "LinkSwapper.hpp"
#include "TestSupport.hpp"
#include "backup/Backup.hpp"
#include "platform/Mounts.hpp"

using namespace testing_support;

namespace {

constexpr int raceRounds = 200;
constexpr const char* boundChildVariable = "OSTREVANE_BACKUP_BOUND_CHILD";

/// Opens each of the names for writing without waiting, which lets a reader
/// blocked in opening a pipe go on: how a hung run is ended.
void releasePipeReaders(const std::vector<fs::path>& names) {
    for (const auto& name : names) {
        int writer = ::open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0) ::close(writer);
    }
}

class BackupHazardsTest : public HomeTest {
protected:
    fs::path source = home.path("Projects/app");
    fs::path drive = home.scratch() / "drive";

    BackupDestination folderDestination() const {
        BackupDestination destination;
        destination.id = "folder:Backups";
        destination.kind = DestinationKind::folder;
        destination.name = "Backups";
        destination.path = drive.string();
        destination.available = true;
        return destination;
    }
};

}  // namespace

TEST_F(BackupHazardsTest, APipeSwappedInForASourceFileNeverHoldsTheBackup) {
    const fs::path file = source / "data.bin";
    const fs::path pipe = source / "pipe";
    const std::string contents(4096, 'd');
    writeText(file, contents);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    fs::create_directories(drive);
    const BackupDestination destination = folderDestination();
    const fs::path target = drive / BackupEngine::relativeTarget(source.string());

    std::future<BackupReport> run;
    int hungInRound = -1;
    int pipeMet = 0;
    {
        NameExchanger exchanger(file, pipe);
        for (int round = 0; round < raceRounds; ++round) {
            run = std::async(std::launch::async, [&] { return BackupEngine::run(source.string(), destination); });
            if (run.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
                hungInRound = round;
                break;
            }
            const BackupReport report = run.get();
            ASSERT_NE(report.status, BackupStatus::cancelled) << "round " << round;
            // A pipe met where a file was listed is a failure of that entry.
            if (report.filesFailed > 0) ++pipeMet;
            // Whichever name the file had when it was copied, the copy holds
            // its bytes; the pipe is never copied as a file.
            for (const auto& name : entriesOf(target)) {
                const fs::path copy = target / name;
                if (!fs::is_regular_file(fs::symlink_status(copy))) continue;
                ASSERT_EQ(readText(copy), contents) << name << " in round " << round;
            }
        }
    }
    if (hungInRound >= 0) {
        releasePipeReaders({file, pipe});
        run.wait();
        FAIL() << "a backup waited on the pipe in round " << hungInRound;
    }
    EXPECT_GT(pipeMet, 0) << "no run met the pipe where it had listed the file";
}

// Runs only as the child of the test below, in a mount namespace of its own so
// that its bind mount goes with it: binds the destination folder onto the
// source's empty folder "drive" and backs the source up. A run that copies its
// own output never ends by itself; it is cancelled after a few seconds.
TEST(BackupBoundChild, BacksUpASourceTheDestinationIsMountedIn) {
    const char* drive = std::getenv(boundChildVariable);
    if (!drive) GTEST_SKIP() << "runs only inside the bind-mount test";
    const std::string source = std::getenv("BOUND_SOURCE");
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(drive, (source + "/drive").c_str(), nullptr, MS_BIND, nullptr) != 0) {
        // Without the right to mount there is nothing to stage; the parent skips.
        writeText(source + "/cannot-mount", std::strerror(errno));
        return;
    }
    // The engine must see the bind mount: the table of this namespace of its
    // own, read on purpose past the sealed machine's.
    ScopedHooks<Mounts::Hooks> ownNamespace;
    ownNamespace->readTable = [] { return Files::read("/proc/self/mountinfo"); };

    BackupDestination destination;
    destination.id = "folder:drive";
    destination.name = "drive";
    destination.path = drive;
    destination.available = true;
    auto cancel = std::make_shared<CancelToken>();
    std::atomic<bool> finished{false};
    std::thread stopper([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!finished && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        cancel->cancel();
    });
    const BackupReport report = BackupEngine::run(source, destination, BackupOptions(), cancel);
    finished = true;
    stopper.join();
    EXPECT_EQ(report.status, BackupStatus::ok) << report.summary;
    EXPECT_EQ(report.filesCopied, 2);
}

TEST_F(BackupHazardsTest, ADestinationMountedInsideTheSourceIsNeverCopiedIntoItself) {
    writeText(source / "notes.txt", "notes");
    fs::create_directories(source / "drive");
    writeText(drive / "own.txt", "the user's own file");
    ScopedEnv child(boundChildVariable, drive.string());
    ScopedEnv from("BOUND_SOURCE", source.string());
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // A fresh image of this test program: one thread, free to take a mount namespace of its own.
        ::execl("/proc/self/exe", "EngineTests", "--gtest_filter=BackupBoundChild.*", nullptr);
        ::_exit(127);
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            FAIL() << "the backup never ended";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (fs::exists(source / "cannot-mount")) GTEST_SKIP() << "no bind mount: " << readText(source / "cannot-mount");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child's run failed";

    // The user's own file beside the backup folder is backed up; the backup folder is not.
    const fs::path target = drive / BackupEngine::relativeTarget(source.string());
    EXPECT_EQ(readText(target / "notes.txt"), "notes");
    EXPECT_EQ(entriesOf(target / "drive"), std::vector<std::string>{"own.txt"});
    EXPECT_EQ(readText(target / "drive/own.txt"), "the user's own file");
}

TEST_F(BackupHazardsTest, ADriveNotConnectedTakesNoBackupIntoItsEmptyFolder) {
    // A folder fstab mounts a drive on, or a drive found mounted earlier
    // (by id "volume:"), whose folder stays behind once it is unmounted.
    struct Case {
        std::string id;
        std::string declared;
        bool mounted;
        fs::path destination;
        bool refused;
    };
    const std::string fstabLine = " ext4 defaults,nofail 0 2\n";
    const std::vector<Case> cases = {
        {"folder:Backups", drive.string(), false, drive, true},
        {"folder:Backups", drive.string(), false, drive / "sub", true},
        {"folder:Backups", drive.string(), true, drive, false},
        {"folder:Backups", (drive / "other").string(), false, drive, false},
        {"volume:Backups", "", false, drive, true},
        {"volume:Backups", "", true, drive, false},
    };
    writeText(source / "notes.txt", "notes");
    for (const auto& [id, declared, mounted, where, refused] : cases) {
        SCOPED_TRACE(id + " at " + where.string() + (mounted ? " mounted" : " not mounted"));
        fs::remove_all(drive);
        fs::create_directories(where);
        ScopedMountTable table(mounted ? std::vector<fs::path>{drive} : std::vector<fs::path>{});
        ScopedHooks<Mounts::Hooks> fstab;
        fstab->readFstab = [line = declared.empty() ? "" : "LABEL=backup " + declared + fstabLine] { return line; };
        BackupDestination destination = folderDestination();
        destination.id = id;
        destination.path = where.string();
        std::string refusal;
        try {
            BackupEngine::run(source.string(), destination);
        } catch (const OstrevaneError& error) {
            refusal = error.message;
        }
        if (refused) {
            EXPECT_EQ(refusal,
                      "Backup destination “Backups” isn’t available right now. Folder not available right now "
                      "(external drive not connected?)");
            EXPECT_TRUE(entriesOf(where).empty()) << "nothing is written to the disk below";
        } else {
            EXPECT_EQ(refusal, "");
            EXPECT_EQ(readText(where / BackupEngine::relativeTarget(source.string()) / "notes.txt"), "notes");
        }
    }
}
