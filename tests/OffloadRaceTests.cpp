// The offload raced for real: a writer rewriting a file of the source while
// it is backed up, checked and moved (under the coarse clock of older
// kernels), and a link above the source swapped toward places whose items
// must never move.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <random>
#include <thread>

#include "LinkSwapper.hpp"
#include "TestDestinations.hpp"
#include "TestSupport.hpp"
#include "backup/Backup.hpp"
#include "platform/Trash.hpp"

using namespace testing_support;

namespace {

constexpr int raceRounds = 200;

ino_t inodeOf(const fs::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

/// How the writer puts its new bytes into the file.
enum class Rewrite { inPlace, replaced, inPlaceKeepingTime };

/// Rewrites one file with numbered contents for `writingTime`, pausing up to
/// `longestPause` between writes. Every content differs from all before it;
/// with `resized`, consecutive ones also differ in size.
class Rewriter {
public:
    Rewriter(fs::path file, fs::path spare, Rewrite how, bool resized, std::string initial,
             std::chrono::microseconds writingTime, std::chrono::microseconds longestPause)
        : file(std::move(file)),
          spare(std::move(spare)),
          how(how),
          resized(resized),
          writingTime(writingTime),
          longestPause(longestPause),
          newest(std::move(initial)) {
        struct stat status {};
        ::stat(this->file.c_str(), &status);
        modified = status.st_mtim;
        worker = std::thread([this] { loop(); });
    }
    ~Rewriter() { finish(); }
    Rewriter(const Rewriter&) = delete;
    Rewriter& operator=(const Rewriter&) = delete;

    /// Stops the writer; after this the results below hold still.
    void finish() {
        stop = true;
        if (worker.joinable()) worker.join();
    }
    /// The last bytes written in full.
    const std::string& newestBytes() const { return newest; }
    /// Whether those bytes went through a file or folder found before the
    /// source moved, and may have landed after the offload's last look at it.
    bool newestMayBeLate() const { return mayBeLate; }

private:
    void loop() {
        std::minstd_rand random(std::random_device{}());
        const auto end = std::chrono::steady_clock::now() + writingTime;
        for (int number = 1; !stop && std::chrono::steady_clock::now() < end; ++number) {
            std::string bytes = contentNumbered(number);
            bool late = false;
            if (how == Rewrite::replaced ? replace(bytes, late) : writeInPlace(bytes, late)) {
                newest = std::move(bytes);
                mayBeLate = late;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(random() % (longestPause.count() + 1)));
        }
    }

    std::string contentNumbered(int number) const {
        const size_t size = resized ? 3000 + static_cast<size_t>(number % 2) * 1000 : 3000;
        std::string bytes = "write " + std::to_string(number) + "\n";
        bytes.resize(size, static_cast<char>('a' + number % 26));
        return bytes;
    }

    /// Through the file's own inode; `late` when the file was no longer at
    /// its place once written.
    bool writeInPlace(const std::string& bytes, bool& late) {
        int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC | (resized ? O_TRUNC : 0));
        if (fd < 0) return false;
        bool written = ::pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
        // Setting the modification time back leaves the change time and the
        // content as the only signs of the write.
        const struct timespec times[2] = {{0, UTIME_OMIT}, modified};
        if (how == Rewrite::inPlaceKeepingTime) written = written && ::futimens(fd, times) == 0;
        std::error_code error;
        late = fs::read_symlink("/proc/self/fd/" + std::to_string(fd), error) != file;
        ::close(fd);
        return written;
    }

    /// A new file renamed over the old one: all or nothing, but into the
    /// folder the rename found at the file's path, which may have moved
    /// before the rename landed; `late` when the file isn't at its place then.
    bool replace(const std::string& bytes, bool& late) {
        writeText(spare, bytes);
        const ino_t renamed = inodeOf(spare);
        if (::rename(spare.c_str(), file.c_str()) != 0) return false;
        late = inodeOf(file) != renamed;
        return true;
    }

    const fs::path file, spare;
    const Rewrite how;
    struct timespec modified {};
    const bool resized;
    const std::chrono::microseconds writingTime, longestPause;
    std::string newest;
    bool mayBeLate = false;
    std::atomic<bool> stop{false};
    std::thread worker;
};

/// A memory file system for the temporary home where there is one: each
/// round syncs the backup's records, which on a disk makes every round tens
/// of times slower (the race holds there too, only the test takes a minute).
std::optional<std::string> temporaryFolder() { return memoryFolder().string(); }

class OffloadRaceTest : public ::testing::Test {
protected:
    ScopedEnv temporary{"TMPDIR", temporaryFolder()};  // before the home that lies in it
    ScopedHome home;
    fs::path source = home.path("Projects/old");
    fs::path drive = home.scratch() / "drive";
    BackupDestination destination = folderDestination(drive);

    ScopedHooks<Backup::Hooks> coarseClock;

    void SetUp() override {
        fs::create_directories(drive);
        // Kernels before 6.13 stamp files with a clock that moves once a tick
        // (4 ms on Debian's), so a rewrite soon after a check may keep every
        // stamp; newer ones give a fresh stamp after each look. The offload
        // sees the older clock here, whatever kernel runs the race.
        coarseClock->readStamp = [](struct stat& status) {
            constexpr long tick = 4'000'000;
            status.st_mtim.tv_nsec -= status.st_mtim.tv_nsec % tick;
            status.st_ctim.tv_nsec -= status.st_ctim.tv_nsec % tick;
        };
    }
    fs::path target() const { return drive / BackupEngine::relativeTarget(source.string()); }
    /// Back to a source never offloaded, with `report` holding `initial`.
    void startOver(const std::string& initial) {
        for (const fs::path& place : {source, drive, fs::path(Trash::filesFolder()), fs::path(Trash::infoFolder())})
            fs::remove_all(place);
        fs::remove(BackupHistory::filePath());
        fs::create_directories(drive);
        writeText(source / "report.txt", initial);
        writeFile(source / "notes/today.txt", 500);
    }
};

std::string bytesOf(const fs::path& path) { return fs::exists(path) ? readText(path) : "(missing)"; }

/// Which of the writer's contents `bytes` is, short enough for a failure message.
std::string described(const std::string& bytes) {
    return bytes.substr(0, bytes.find('\n')) + " (" + std::to_string(bytes.size()) + " bytes)";
}

}  // namespace

// Each round offloads a small source while one of its files is rewritten,
// in place or replaced, keeping its size or not. Whatever the timing, the
// newest bytes are never only in the Trash: an offloaded source went to the
// Trash holding what the backup holds, and a source kept (or put back) holds
// the newest bytes. Only a write through a file opened before the move, or
// a rename that found the folder before it, can land after the offload's
// last look; that one may be in the Trash alone.
TEST_F(OffloadRaceTest, ASourceRewrittenDuringTheOffloadNeverLeavesItsNewestBytesOnlyInTheTrash) {
    struct Case {
        const char* what;
        Rewrite how;
        bool resized;
    };
    const Case cases[] = {
        {"in place, same size", Rewrite::inPlace, false},
        {"in place, new size", Rewrite::inPlace, true},
        {"replaced, same size", Rewrite::replaced, false},
        {"replaced, new size", Rewrite::replaced, true},
    };
    const fs::path file = source / "report.txt";
    const fs::path inTrash = fs::path(Trash::filesFolder()) / "old/report.txt";
    // Timed against a quiet offload, whatever the file system: the writer
    // writes every tenth of it or so, and stops at a random moment up to one
    // and a half times it, so that its last write falls on every step.
    const std::string initial = "write 0\n" + std::string(2992, 'x');
    startOver(initial);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(BackupEngine::offload(source.string(), destination, false).sourceTrashed);
    const auto quiet = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    std::minstd_rand random(std::random_device{}());
    for (const Case& c : cases) {
        int offloaded = 0, kept = 0;
        for (int round = 0; round < raceRounds; ++round) {
            startOver(initial);
            Rewriter writer(file, home.path("Projects/.next"), c.how, c.resized, initial,
                            quiet * (random() % 150) / 100, quiet / 10);
            OffloadReport report = BackupEngine::offload(source.string(), destination, false);
            writer.finish();
            const std::string& newest = writer.newestBytes();
            if (report.sourceTrashed) {
                ++offloaded;
                ASSERT_TRUE(report.verified) << c.what << ", round " << round;
                ASSERT_FALSE(fs::exists(source)) << c.what << ", round " << round;
                const std::string trashed = bytesOf(inTrash);
                if (writer.newestMayBeLate() && trashed == newest) continue;
                const std::string backedUp = bytesOf(target() / "report.txt");
                ASSERT_TRUE(trashed == backedUp) << c.what << ", round " << round << ": offloaded, but the Trash holds "
                                                 << described(trashed) << " and the backup " << described(backedUp);
                ASSERT_TRUE(trashed == newest) << c.what << ", round " << round << ": " << described(newest)
                                               << " is lost, the Trash holds " << described(trashed);
            } else {
                ++kept;
                const std::string inSource = bytesOf(file);
                ASSERT_TRUE(inSource == newest)
                    << c.what << ", round " << round << ": " << described(newest) << " is lost, the source holds "
                    << described(inSource) << "; " << report.message;
                ASSERT_TRUE(entriesOf(Trash::filesFolder()).empty()) << c.what << ", round " << round;
            }
        }
        EXPECT_GT(offloaded, 0) << c.what << ": no round got as far as the move";
        EXPECT_GT(kept, 0) << c.what << ": no write ever met the offload";
    }
}

// Each round offloads a single file whose stamps are old enough to prove
// it unchanged, and rewrites it from its last check on, keeping its size
// and its modification time: the move gives it a new change time that
// hides any such write, yet what goes to the Trash as offloaded is always
// what the backup holds.
TEST_F(OffloadRaceTest, ASingleFileRewrittenAfterItsLastCheckIsNeverTrashedAsVerified) {
    coarseClock->stampStep = [] { return std::chrono::nanoseconds(0); };
    const fs::path file = home.path("Projects/report.bin");
    const fs::path inTrash = fs::path(Trash::filesFolder()) / "report.bin";
    const fs::path copy = drive / BackupEngine::relativeTarget(file.string());
    const std::string initial = "write 0\n" + std::string(2992, 'x');
    int kept = 0;
    for (int round = 0; round < raceRounds; ++round) {
        for (const fs::path& place : {drive, fs::path(Trash::filesFolder()), fs::path(Trash::infoFolder())})
            fs::remove_all(place);
        fs::create_directories(drive);
        writeText(file, initial);
        // From the check on, for longer than the offload takes.
        std::optional<Rewriter> writer;
        coarseClock->afterCheck = [&] {
            writer.emplace(file, home.path("Projects/.next"), Rewrite::inPlaceKeepingTime, false, initial,
                           std::chrono::seconds(10), std::chrono::microseconds(20));
        };
        OffloadReport report = BackupEngine::offload(file.string(), destination, false);
        ASSERT_TRUE(writer) << "round " << round << ": " << report.message;
        writer->finish();
        const std::string& newest = writer->newestBytes();
        if (report.sourceTrashed) {
            ASSERT_TRUE(report.verified) << "round " << round;
            const std::string trashed = bytesOf(inTrash);
            if (writer->newestMayBeLate() && trashed == newest) continue;
            ASSERT_TRUE(trashed == bytesOf(copy))
                << "round " << round << ": offloaded, but the Trash holds " << described(trashed) << " and the backup "
                << described(bytesOf(copy));
        } else {
            ++kept;
            ASSERT_EQ(bytesOf(file), newest) << "round " << round << ": " << report.message;
            ASSERT_TRUE(entriesOf(Trash::filesFolder()).empty()) << "round " << round;
        }
    }
    EXPECT_GT(kept, 0) << "no write ever met the offload";
}

// Each round offloads "~/l/<name>" while "~/l" is swapped between a folder
// where that is fine and one where the refusal rules forbid it: whatever
// the timing, what they protect never moves.
TEST_F(OffloadRaceTest, RefusalsHoldWhileALinkAboveTheSourceIsSwapped) {
    struct Case {
        const char* what;
        std::string guarded;  // the folder the link leads to when it should not
        std::string name;     // the item's name in either folder
    };
    const fs::path harmless = home.path("Projects");
    const Case cases[] = {
        {"a key", home.path(".ssh").string(), "victim"},
        {"a protected folder", home.home(), "Documents"},
        {"an item already in the Trash", Trash::filesFolder(), "old"},
    };
    for (const Case& c : cases) {
        const fs::path guarded = fs::path(c.guarded) / c.name / "inside.txt";
        writeFile(guarded, 10);
        const ino_t guardedInode = inodeOf(guarded.parent_path());
        fs::remove(home.path("l"));
        fs::create_directory_symlink(harmless, home.path("l"));
        int moved = 0;
        {
            LinkSwapper swapper(home.path("l"), harmless, c.guarded);
            for (int round = 0; round < raceRounds; ++round) {
                if (!fs::exists(harmless / c.name)) writeFile(harmless / c.name / "inside.txt", 10);
                try {
                    moved += BackupEngine::offload("~/l/" + c.name, destination, false).sourceTrashed;
                } catch (const OstrevaneError&) {
                    // Refused: the link led to the guarded folder at that moment.
                }
                ASSERT_EQ(inodeOf(guarded.parent_path()), guardedInode) << c.what << " moved in round " << round;
                ASSERT_TRUE(fs::exists(guarded)) << c.what << ": its content moved in round " << round;
            }
        }
        EXPECT_GT(moved, 0) << c.what;
    }
}
