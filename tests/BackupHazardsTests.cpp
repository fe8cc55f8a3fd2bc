// Backups while someone else changes the source: a named pipe exchanged with
// a source file must never hold a run (nor whatever serves it, the MCP
// server included), and only the file's own bytes may reach the destination.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "LinkSwapper.hpp"
#include "TestSupport.hpp"
#include "backup/Backup.hpp"

using namespace testing_support;

namespace {

constexpr int raceRounds = 200;

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
