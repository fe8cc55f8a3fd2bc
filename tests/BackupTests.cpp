// The backup engine: records and history, layout, the checks before a run,
// the local copy (incremental, never losing a file at the destination) and
// the rclone copy, both with a stand-in program and with the real one.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

#include "TestSupport.hpp"
#include "backup/Backup.hpp"
#include "backup/BackupManifest.hpp"
#include "config/Rclone.hpp"
#include "platform/FileSystem.hpp"
#include "platform/Host.hpp"

using namespace testing_support;

namespace {

BackupDestination folderDestination(const fs::path& path, const std::string& name = "Backups") {
    BackupDestination destination;
    destination.id = "folder:" + name;
    destination.kind = DestinationKind::folder;
    destination.name = name;
    destination.path = path.string();
    destination.available = true;
    return destination;
}

BackupDestination rcloneDestination(const std::string& remote) {
    BackupDestination destination;
    destination.id = "rclone:" + remote.substr(0, remote.size() - 1);
    destination.kind = DestinationKind::rclone;
    destination.name = "rclone · " + remote;
    destination.rcloneRemote = remote;
    destination.available = true;
    return destination;
}

BackupReport sampleReport(const std::string& id) {
    BackupReport report;
    report.id = id;
    report.source = "/home/a/src";
    report.destinationId = "folder:X";
    report.destinationName = "X";
    report.target = "/mnt/x/Ostrevane Backups/box/src";
    report.startedAt = *ISODate::parse("2026-03-01T10:00:00Z");
    report.finishedAt = *ISODate::parse("2026-03-01T10:05:00Z");
    report.status = BackupStatus::ok;
    report.copied = "0 KB";
    report.summary = "done";
    return report;
}

struct timespec modificationTime(const fs::path& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info.st_mtim;
}

void setModificationTime(const fs::path& path, time_t seconds, long nanoseconds) {
    struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

class BackupTest : public HomeTest {
protected:
    fs::path source = home.path("Projects/app");
    fs::path destinationFolder = home.scratch() / "drive";
    BackupDestination destination = folderDestination(destinationFolder);
    ScopedHooks<FileSystem::Hooks> fileSystem;
    ScopedHooks<Rclone::Hooks> rclone;
    ScopedHooks<Backup::Hooks> faults;

    void SetUp() override { fs::create_directories(destinationFolder); }
    fs::path target() const { return destinationFolder / BackupEngine::relativeTarget(source.string()); }
    /// Without the last run's manifest only sizes and times decide, as for
    /// a backup made by an older version: setting a time also sets the
    /// change time, which the manifest would catch first.
    void forgetLastRun() const { fs::remove_all(BackupManifest::filePath(target().string()).parent_path()); }
};

}  // namespace

// Records and history

TEST(BackupRecords, ProgressFractionAndDefaultOptions) {
    BackupProgress progress;
    progress.bytesDone = 5, progress.bytesTotal = 10;
    EXPECT_DOUBLE_EQ(progress.fraction(), 0.5);
    progress.bytesTotal = 0;
    EXPECT_DOUBLE_EQ(progress.fraction(), 0);
    progress.bytesTotal = -3;
    EXPECT_DOUBLE_EQ(progress.fraction(), 0);
    progress.bytesDone = 12, progress.bytesTotal = 10;
    EXPECT_DOUBLE_EQ(progress.fraction(), 1);

    BackupOptions options;
    EXPECT_FALSE(options.dryRun);
    EXPECT_EQ(options.excludes, (std::vector<std::string>{".DS_Store", ".localized", ".Trash", "node_modules",
                                                          "DerivedData", ".build", "__pycache__"}));
    EXPECT_EQ(BackupOptions::offloadExcludes, (std::vector<std::string>{".DS_Store", ".localized"}));
}

TEST(BackupRecords, ReportJSONWritesEveryKeyAndRequiresEveryKey) {
    json document = sampleReport("0badf00d");
    std::vector<std::string> keys;
    for (auto& [key, value] : document.items()) keys.push_back(key);
    EXPECT_EQ(keys,
              (std::vector<std::string>{"bytesCopied", "copied", "destinationId", "destinationName", "dryRun", "errors",
                                        "filesCopied", "filesFailed", "filesSkipped", "filesTotal", "finishedAt", "id",
                                        "source", "startedAt", "status", "summary", "target"}));
    EXPECT_TRUE(document["errors"].is_array());
    EXPECT_EQ(document["startedAt"], "2026-03-01T10:00:00Z");

    auto back = document.get<BackupReport>();
    EXPECT_EQ(back.finishedAt, sampleReport("x").finishedAt);
    document.erase("summary");
    EXPECT_ANY_THROW(document.get<BackupReport>());
    // The history is a file the system wrote: a count that is not whole
    // refuses the record instead of being cut to 2.
    json fractional = sampleReport("x");
    fractional["filesCopied"] = 2.5;
    EXPECT_ANY_THROW(fractional.get<BackupReport>());
}

// Agents' scripts and older histories read these words: each status keeps its
// word both ways, and a word that is none of them refuses the record.
TEST(BackupRecords, StatusesAreWrittenAndReadAsTheirWords) {
    const std::pair<BackupStatus, std::string> words[] = {
        {BackupStatus::ok, "ok"},
        {BackupStatus::completedWithErrors, "completed_with_errors"},
        {BackupStatus::cancelled, "cancelled"},
    };
    for (const auto& [status, word] : words) {
        BackupReport report = sampleReport("x");
        report.status = status;
        json document = report;
        EXPECT_EQ(document["status"], word);
        EXPECT_EQ(document.get<BackupReport>().status, status) << word;
    }
    json unknown = sampleReport("x");
    unknown["status"] = "failed";
    EXPECT_ANY_THROW(unknown.get<BackupReport>());
}

TEST_F(BackupTest, HistoryStartsEmptyKeepsTheNewest200AndSetsABrokenFileAside) {
    EXPECT_TRUE(BackupHistory::load().empty());
    BackupHistory::append(sampleReport("00000000"));
    ASSERT_EQ(BackupHistory::load().size(), 1u);

    std::vector<BackupReport> full;
    for (int i = 0; i < 200; ++i) full.push_back(sampleReport("old" + std::to_string(i)));
    Files::writeAtomically(BackupHistory::filePath(), JSONOut::encode(full));
    BackupHistory::append(sampleReport("newest00"));
    auto history = BackupHistory::load();
    ASSERT_EQ(history.size(), 200u);
    EXPECT_EQ(history.front().id, "newest00");
    EXPECT_EQ(history[1].id, "old0");
    EXPECT_EQ(history.back().id, "old198");

    std::string text = readText(BackupHistory::filePath());
    EXPECT_TRUE(text.starts_with("[\n  {\n    \"bytesCopied\": ")) << "pretty, keys sorted";
    EXPECT_EQ(text, JSONOut::encode(json::parse(text))) << "the one pretty form, slashes as they are";
    EXPECT_EQ(text.find("\\/"), std::string::npos);

    // One entry without a key makes the whole file unreadable; it is kept, not overwritten.
    json broken = json::parse(text);
    broken[3].erase("summary");
    writeText(BackupHistory::filePath(), broken.dump());
    EXPECT_TRUE(BackupHistory::load().empty());
    EXPECT_TRUE(BackupHistory::read().unreadable) << "an unreadable file is not an empty history";
    auto keptAs = BackupHistory::append(sampleReport("after000")).keptAs;
    ASSERT_TRUE(keptAs);
    EXPECT_FALSE(BackupHistory::read().unreadable);
    ASSERT_EQ(BackupHistory::load().size(), 1u);
    BackupReport told = sampleReport("x");
    told.historyKeptAs = keptAs->string();
    EXPECT_EQ(json(told)["historyNotice"], "The backup history file couldn’t be read; its contents were kept in " +
                                               Paths::abbreviate(keptAs->string()) + ".");
    EXPECT_FALSE(json(sampleReport("x")).contains("historyNotice"));
    int keptAside = 0;
    for (const auto& name : entriesOf(BackupHistory::filePath().parent_path()))
        if (name.starts_with("backup-history.unreadable-")) {
            ++keptAside;
            EXPECT_EQ(readText(BackupHistory::filePath().parent_path() / name), broken.dump());
        }
    EXPECT_EQ(keptAside, 1);
}

TEST_F(BackupTest, AppendingSweepsTemporariesOfKilledWritersOnly) {
    pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    const fs::path folder = BackupHistory::filePath().parent_path();
    const std::string stale = "backup-history.json.tmp-" + std::to_string(dead) + "-3";
    const std::string live = "backup-history.json.tmp-" + std::to_string(::getpid()) + "-99";
    for (const auto& name : {stale, live, std::string("backup-history.json.tmp-notapid")})
        writeText(folder / name, "[");
    BackupHistory::append(sampleReport("00000001"));
    EXPECT_FALSE(fs::exists(folder / stale));
    EXPECT_TRUE(fs::exists(folder / live)) << "a running writer may still rename its file";
    EXPECT_TRUE(fs::exists(folder / "backup-history.json.tmp-notapid"));
}

TEST(BackupRecords, TheSummaryIsRenderedFromTheCountsInTheReadersLanguage) {
    BackupReport report = sampleReport("x");
    report.filesCopied = 3, report.filesSkipped = 2, report.bytesCopied = 5000, report.filesFailed = 1;
    report.status = BackupStatus::cancelled;
    const std::string english = "Copied 3 files (5 KB); 2 already up to date. 1 failed. (cancelled)";
    const std::string chinese = "已复制 3 个文件(5 KB),2 个已是最新。1 个失败。(已取消)";
    struct Case {
        const char* language;
        std::string stored;
        bool dryRun;
        std::string shown;
    };
    for (const Case& c : {Case{"en", chinese, false, english}, Case{"zh", english, false, chinese},
                          Case{"zh", "", true, "试运行:将复制 3 个文件(5 KB),2 个已是最新。1 个失败。(已取消)"},
                          Case{"zh", "First backup: 3 files", false, "First backup: 3 files"}}) {
        ScopedHome reader(c.language);
        report.summary = c.stored;
        report.dryRun = c.dryRun;
        EXPECT_EQ(summaryText(report), c.shown) << c.language << " " << c.stored;
    }
}

TEST_F(BackupTest, ConcurrentAppendsKeepEveryReport) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 10; ++i) BackupHistory::append(sampleReport(std::to_string(t * 100 + i)));
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(BackupHistory::load().size(), 40u);
}

// Layout and checks

TEST_F(BackupTest, LayoutForTheHomeFolderAPathInsideItAndOneOutside) {
    const std::string computer = Host::computerName();
    const std::string prefix = "Ostrevane Backups/" + computer + "/";
    EXPECT_EQ(BackupEngine::relativeTarget(home.home()), prefix + "Home");
    EXPECT_EQ(BackupEngine::relativeTarget(home.home() + "/Documents"), prefix + "Documents");
    EXPECT_EQ(BackupEngine::relativeTarget("/opt/data"), prefix + "_root/opt/data");
    EXPECT_EQ(BackupEngine::relativeTarget(home.home() + "-other/x"), prefix + "_root" + home.home() + "-other/x");

    EXPECT_EQ(BackupEngine::targetDescription("~/Documents", destination),
              destinationFolder.string() + "/" + prefix + "Documents");
    EXPECT_EQ(BackupEngine::targetDescription("~/Documents", rcloneDestination("cloud:")),
              "cloud:" + prefix + "Documents");
}

TEST_F(BackupTest, ATargetBelowADriveRootOrATrailingSlashHasOneSlashBetween) {
    const std::string below = "Ostrevane Backups/" + Host::computerName() + "/Documents";
    const struct {
        std::string folder, target;
    } cases[] = {{"/", "/" + below},
                 {"/media/u/Drive/", "/media/u/Drive/" + below},
                 {"/media/u/Drive", "/media/u/Drive/" + below}};
    for (const auto& row : cases)
        EXPECT_EQ(BackupEngine::targetDescription("~/Documents", folderDestination(row.folder)), row.target)
            << row.folder;
}

TEST_F(BackupTest, ChecksRefuseBeforeAnythingIsCopied) {
    auto messageOf = [&](const std::string& from, const BackupDestination& to) -> std::string {
        try {
            BackupEngine::run(from, to);
        } catch (const OstrevaneError& error) {
            return error.message;
        }
        return "(no error)";
    };
    EXPECT_EQ(messageOf("~/missing", destination), "The path to back up doesn’t exist: " + home.home() + "/missing");

    writeFile(source / "a.txt", 10);
    BackupDestination away = destination;
    away.available = false;
    fs::remove_all(destinationFolder);
    EXPECT_EQ(messageOf(source.string(), away), "Backup destination “Backups” isn’t available");

    const std::string loop =
        "The backup destination is inside the folder being backed up, which would copy it into itself.";
    EXPECT_EQ(messageOf(source.string(), folderDestination(source / "inner")), loop);
    EXPECT_EQ(messageOf(source.string(), folderDestination(source)), loop);
    EXPECT_EQ(messageOf("/", folderDestination(destinationFolder)), loop);
    // The same folder reached through a link is still inside.
    fs::create_directory_symlink(source, home.scratch() / "alias");
    EXPECT_EQ(messageOf(source.string(), folderDestination(home.scratch() / "alias" / "sub")), loop);

    fs::create_directories(destinationFolder / "Ostrevane Backups" / "x");
    const std::string itself = "Can’t back up the backup folder itself.";
    EXPECT_EQ(messageOf((destinationFolder / "Ostrevane Backups").string(), destination), itself);
    EXPECT_EQ(messageOf((destinationFolder / "Ostrevane Backups" / "x").string(), destination), itself);
    fs::create_directory_symlink(destinationFolder / "Ostrevane Backups" / "x", home.path("linked"));
    EXPECT_EQ(messageOf(home.path("linked").string(), destination), itself);

    EXPECT_TRUE(BackupHistory::load().empty());

    // A sibling whose name merely begins with the source's name is fine.
    fs::create_directories(home.path("Projects/app-backup"));
    BackupReport report = BackupEngine::run(source.string(), folderDestination(home.path("Projects/app-backup")));
    EXPECT_EQ(report.status, BackupStatus::ok);
}

// Local copy

TEST_F(BackupTest, FirstRunCopiesEverythingWithTimesAndTheSecondSkipsIt) {
    writeFile(source / "a.txt", 1000);
    writeFile(source / "deep/er/b.bin", 70000);
    writeFile(source / "empty", 0);
    setModificationTime(source / "a.txt", 1700000000, 123456789);
    ::chmod((source / "deep/er/b.bin").c_str(), 0640);

    BackupReport first = BackupEngine::run(source.string(), destination);
    EXPECT_EQ(first.status, BackupStatus::ok);
    EXPECT_EQ(first.filesTotal, 3);
    EXPECT_EQ(first.filesCopied, 3);
    EXPECT_EQ(first.filesSkipped, 0);
    EXPECT_EQ(first.bytesCopied, 71000);
    EXPECT_EQ(first.target, target().string());
    EXPECT_EQ(first.source, source.string());
    EXPECT_EQ(first.destinationId, "folder:Backups");
    EXPECT_EQ(first.id.size(), 8u);
    EXPECT_EQ(first.summary, "Copied 3 files (71 KB); 0 already up to date.");
    EXPECT_EQ(fs::file_size(target() / "deep/er/b.bin"), 70000u);
    EXPECT_EQ(readText(target() / "a.txt"), readText(source / "a.txt"));
    struct timespec copiedTime = modificationTime(target() / "a.txt");
    EXPECT_EQ(copiedTime.tv_sec, 1700000000);
    EXPECT_EQ(copiedTime.tv_nsec, 123456789);
    EXPECT_EQ(fs::status(target() / "deep/er/b.bin").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entriesOf(target()), (std::vector<std::string>{"a.txt", "deep", "empty"})) << "no temporary left";

    BackupReport second = BackupEngine::run(source.string(), destination);
    EXPECT_EQ(second.filesCopied, 0);
    EXPECT_EQ(second.filesSkipped, 3);
    EXPECT_EQ(second.summary, "Copied 0 files (0 KB); 3 already up to date.");

    auto history = BackupHistory::load();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].id, second.id);
    EXPECT_EQ(history[1].id, first.id);
}

TEST_F(BackupTest, AWideAndDeepTreeIsCopiedWholeWithExactCounts) {
    int files = 0;
    for (int a = 0; a < 12; ++a)
        for (int b = 0; b < 6; ++b)
            for (int c = 0; c < 3; ++c) {
                fs::path folder = source / ("a" + std::to_string(a)) / ("b" + std::to_string(b)) / "c" / "d" / "e" /
                                  ("f" + std::to_string(c));
                writeFile(folder / "x.txt", 100 + c);
                writeFile(folder / "node_modules/skip.js", 1);
                ++files;
            }
    {
        ScopedHooks<Backup::Hooks> oneUnreadable;
        oneUnreadable->readAttributes = [](const std::string& path) {
            return path.ends_with("a7/b2/c/d/e/f1/x.txt") ? EIO : 0;
        };
        BackupReport first = BackupEngine::run(source.string(), destination);
        EXPECT_EQ(first.filesTotal, files);
        EXPECT_EQ(first.filesCopied, files - 1);
        EXPECT_EQ(first.filesFailed, 1);
        EXPECT_EQ(first.errors, (std::vector<std::string>{"~/Projects/app/a7/b2/c/d/e/f1/x.txt: Input/output error"}));
        EXPECT_EQ(fs::file_size(target() / "a11/b5/c/d/e/f2/x.txt"), 102u);
    }

    BackupReport second = BackupEngine::run(source.string(), destination);
    EXPECT_EQ(second.filesCopied, 1);
    EXPECT_EQ(second.filesSkipped, files - 1);
}

TEST_F(BackupTest, AChangedFileIsReplacedByTheTwoSecondRuleAndNothingElseGoes) {
    writeFile(source / "size.txt", 100);
    writeFile(source / "time.txt", 100);
    writeFile(source / "close.txt", 100);
    writeFile(source / "gone.txt", 100);
    for (auto name : {"size.txt", "time.txt", "close.txt"}) setModificationTime(source / name, 1700000000, 0);
    BackupEngine::run(source.string(), destination);

    writeFile(source / "size.txt", 101);
    setModificationTime(source / "size.txt", 1700000000, 0);
    setModificationTime(source / "time.txt", 1700000002, 0);           // exactly 2.0 s later
    setModificationTime(source / "close.txt", 1700000001, 900000000);  // 1.9 s later
    fs::remove(source / "gone.txt");

    forgetLastRun();
    BackupReport report = BackupEngine::run(source.string(), destination);
    EXPECT_EQ(report.filesCopied, 2);
    EXPECT_EQ(report.filesSkipped, 1);
    EXPECT_EQ(fs::file_size(target() / "size.txt"), 101u);
    EXPECT_EQ(modificationTime(target() / "time.txt").tv_sec, 1700000002);
    EXPECT_EQ(modificationTime(target() / "close.txt").tv_sec, 1700000000);
    EXPECT_TRUE(fs::exists(target() / "gone.txt")) << "a backup never removes what left the source";
}

TEST_F(BackupTest, UpToDateMeansTheSameTimeAsTheTargetsFileSystemKeepsIt) {
    const time_t t = 1700000000;
    const struct {
        long target, source;
        bool copied;
    } cases[] = {
        {0, 1'900'000'000, false},          // whole or two-second times
        {123'456'789, 123'456'790, true},   // a nanosecond later
        {123'456'789, 123'456'788, true},   // an older version put back
        {123'456'700, 123'456'789, false},  // kept in steps of 100 ns
        {120'000'000, 125'000'000, false},  // kept in steps of 10 ms
        {120'000'000, 130'000'000, true},
    };
    for (const auto& c : cases) {
        writeFile(source / "f.txt", 10);
        BackupEngine::run(source.string(), destination);
        setModificationTime(target() / "f.txt", t, c.target);
        setModificationTime(source / "f.txt", t + c.source / 1'000'000'000, c.source % 1'000'000'000);
        forgetLastRun();
        BackupReport report = BackupEngine::run(source.string(), destination);
        EXPECT_EQ(report.filesCopied, c.copied ? 1 : 0) << c.target << " " << c.source;
    }
}

TEST_F(BackupTest, SameSizeSameTimeRewritesAreCopiedAgain) {
    // What cp -p, tar x, rsync -t and touch -r leave: new bytes under the
    // old size and modification time, found by the change time or the inode.
    const struct {
        const char* name;
        bool newInode;
    } cases[] = {{"rewritten in place", false}, {"replaced by another file", true}};
    for (const auto& c : cases) {
        writeFile(source / "f.txt", 100, 'a');
        BackupEngine::run(source.string(), destination);
        const struct timespec old = modificationTime(source / "f.txt");
        const fs::path written = c.newInode ? source / "f.txt.new" : source / "f.txt";
        writeFile(written, 100, 'b');
        setModificationTime(written, old.tv_sec, old.tv_nsec);
        if (c.newInode) fs::rename(written, source / "f.txt");

        BackupReport report = BackupEngine::run(source.string(), destination);
        EXPECT_EQ(report.filesCopied, 1) << c.name;
        EXPECT_EQ(readText(target() / "f.txt"), std::string(100, 'b')) << c.name;
        EXPECT_EQ(BackupEngine::run(source.string(), destination).filesCopied, 0) << c.name << ": then current";
    }
}

TEST_F(BackupTest, RewritesInPlaceAreNeverTakenForUpToDate) {
    // A file rewritten with the same size a moment after its copy, and one
    // rewritten while it is copied (past its first chunk): after a second
    // run the destination holds what the source holds.
    const std::string later = "later.txt", during = "during.bin";
    const uintmax_t big = (8u << 20) + 4096;
    writeFile(source / later, 4096, 'a');
    writeFile(source / during, big, 'a');
    BackupEngine::run(source.string(), destination);
    writeFile(source / later, 4096, 'b');
    writeFile(source / during, big, 'c');

    {
        ScopedHooks<Backup::Hooks> rewriteWhileCopied;
        rewriteWhileCopied->copyContents = [&](const std::string& path, int64_t written) {
            if (path.ends_with(during) && written > 0) writeFile(source / during, big, 'd');
            return 0;
        };
        BackupReport first = BackupEngine::run(source.string(), destination);
        EXPECT_EQ(first.filesCopied, 1);
        EXPECT_EQ(first.errors,
                  (std::vector<std::string>{"~/Projects/app/during.bin: The file changed while it was copied"}));
        EXPECT_EQ(readText(target() / during), std::string(big, 'a')) << "the older copy stays";
    }

    BackupReport second = BackupEngine::run(source.string(), destination);
    EXPECT_EQ(second.status, BackupStatus::ok);
    for (const auto& name : {later, during}) EXPECT_EQ(readText(target() / name), readText(source / name)) << name;
    EXPECT_EQ(entriesOf(target()), (std::vector<std::string>{during, later}));
}

TEST_F(BackupTest, AKilledRunsPartialCopiesAreClearedWhenTheFolderIsWrittenAgain) {
    writeFile(source / "sub/a.txt", 10);
    BackupEngine::run(source.string(), destination);
    // Process 1 always runs; no process has a number that large.
    writeFile(target() / "sub/.ostrevane-partial-999999999-4", 30);
    writeFile(target() / "sub/.ostrevane-partial-1-2", 30);
    writeFile(target() / ".ostrevane-partial-999999999-5", 30);
    writeFile(source / "sub/b.txt", 10);

    BackupEngine::run(source.string(), destination);
    EXPECT_EQ(entriesOf(target() / "sub"), (std::vector<std::string>{".ostrevane-partial-1-2", "a.txt", "b.txt"}));
    EXPECT_TRUE(fs::exists(target() / ".ostrevane-partial-999999999-5")) << "nothing was written there";
}

TEST_F(BackupTest, ExcludedNamesAreNotEnteredButTheSourceItselfIsNeverExcluded) {
    writeFile(source / "keep.txt", 10);
    writeFile(source / "node_modules/lib/x.js", 5000);
    writeFile(source / "sub/.DS_Store", 10);
    writeFile(source / "sub/node_modules", 10);  // a file of that name too
    writeFile(source / "sub/extra-skip/y", 10);

    BackupOptions options;
    options.excludes.push_back("extra-skip");
    BackupReport report = BackupEngine::run(source.string(), destination, options);
    EXPECT_EQ(report.filesTotal, 1);
    EXPECT_EQ(report.filesCopied, 1);
    EXPECT_FALSE(fs::exists(target() / "node_modules"));
    EXPECT_FALSE(fs::exists(target() / "sub/.DS_Store"));
    EXPECT_FALSE(fs::exists(target() / "sub/extra-skip"));

    fs::path modules = home.path("node_modules");
    writeFile(modules / "pkg/index.js", 10);
    BackupReport own = BackupEngine::run(modules.string(), destination);
    EXPECT_EQ(own.filesCopied, 1);
}

TEST_F(BackupTest, LinksAreCopiedAsLinksReplacedWhenRepointedAndNeverFollowed) {
    writeFile(source / "real.txt", 10);
    fs::create_symlink("real.txt", source / "link");
    fs::create_symlink("/nonexistent/elsewhere", source / "dangling");
    fs::create_symlink("x", source / "blocked");
    writeFile(target() / "blocked", 3);  // a file where the link belongs

    BackupReport first = BackupEngine::run(source.string(), destination);
    EXPECT_EQ(first.filesTotal, 4);
    EXPECT_EQ(first.filesCopied, 3);
    EXPECT_EQ(first.filesFailed, 1);
    EXPECT_EQ(first.status, BackupStatus::completedWithErrors);
    EXPECT_EQ(fs::read_symlink(target() / "link"), "real.txt");
    EXPECT_EQ(fs::read_symlink(target() / "dangling"), "/nonexistent/elsewhere");
    EXPECT_EQ(fs::file_size(target() / "blocked"), 3u);
    ASSERT_EQ(first.errors.size(), 1u);
    EXPECT_EQ(first.errors[0], "~/Projects/app/blocked: File exists");
    EXPECT_EQ(first.summary, "Copied 3 files (10 bytes); 0 already up to date. 1 failed.");

    fs::remove(source / "link");
    fs::create_symlink("changed", source / "link");
    BackupReport second = BackupEngine::run(source.string(), destination);
    EXPECT_EQ(fs::read_symlink(target() / "link"), "changed") << "a repointed link is not up to date";
    EXPECT_EQ(second.filesCopied, 1);
    EXPECT_EQ(second.filesSkipped, 2);
    EXPECT_EQ(fs::file_size(target() / "blocked"), 3u);
    EXPECT_EQ(entriesOf(target()), (std::vector<std::string>{"blocked", "dangling", "link", "real.txt"}));
}

TEST_F(BackupTest, DryRunCountsButWritesNothingNotEvenHistory) {
    writeFile(source / "a.txt", 1500);
    writeFile(source / "b/c.txt", 500);
    fs::create_symlink("a.txt", source / "l");
    BackupReport report = BackupEngine::run(source.string(), destination, BackupOptions(true, {}));
    EXPECT_TRUE(report.dryRun);
    EXPECT_EQ(report.filesCopied, 3);
    EXPECT_EQ(report.bytesCopied, 2000);
    EXPECT_EQ(report.summary, "Dry run: would copy 3 files (2 KB); 0 already up to date.");
    EXPECT_TRUE(entriesOf(destinationFolder).empty());
    EXPECT_FALSE(fs::exists(BackupHistory::filePath()));

    BackupEngine::run(source.string(), destination);
    writeFile(source / "new.txt", 1);
    BackupReport again = BackupEngine::run(source.string(), destination, BackupOptions(true, {}));
    EXPECT_EQ(again.filesCopied, 1);
    EXPECT_EQ(again.filesSkipped, 3);
    EXPECT_FALSE(fs::exists(target() / "new.txt"));
    EXPECT_EQ(BackupHistory::load().size(), 1u);
}

TEST_F(BackupTest, ASingleFileLandsAsTheTargetFileItself) {
    fs::path file = home.path("Documents/report.pdf");
    writeFile(file, 4096);
    setModificationTime(file, 1600000000, 5);
    BackupReport report = BackupEngine::run(file.string(), destination);
    fs::path expected = destinationFolder / BackupEngine::relativeTarget(file.string());
    EXPECT_EQ(report.target, expected.string());
    EXPECT_EQ(report.filesCopied, 1);
    EXPECT_EQ(fs::file_size(expected), 4096u);
    EXPECT_EQ(modificationTime(expected).tv_nsec, 5);
    EXPECT_EQ(BackupEngine::run(file.string(), destination).filesSkipped, 1);
}

TEST_F(BackupTest, CancellationStopsTheWalkAndIsRecorded) {
    for (int i = 0; i < 50; ++i) writeFile(source / ("f" + std::to_string(i)), 10);
    auto cancel = std::make_shared<CancelToken>();
    int calls = 0;
    faults->readAttributes = [&](const std::string&) {
        if (++calls == 10) cancel->cancel();
        return 0;
    };
    BackupReport report = BackupEngine::run(source.string(), destination, BackupOptions(), cancel);
    EXPECT_EQ(report.status, BackupStatus::cancelled);
    // The tenth file was in hand when the token was set: its copy is abandoned.
    EXPECT_EQ(report.filesCopied, 9);
    EXPECT_EQ(report.filesFailed, 0);
    EXPECT_EQ(entriesOf(target()).size(), 9u);
    EXPECT_TRUE(report.summary.ends_with(" (cancelled)")) << report.summary;
    ASSERT_EQ(BackupHistory::load().size(), 1u);
    EXPECT_EQ(BackupHistory::load()[0].status, BackupStatus::cancelled);
}

TEST_F(BackupTest, ProgressIsThrottledAndNeverAboveItsTotals) {
    for (int i = 0; i < 40; ++i) writeFile(source / ("f" + std::to_string(i)), 5000);
    faults->readAttributes = [](const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return 0;
    };
    std::vector<BackupProgress> seen;
    std::vector<std::chrono::steady_clock::time_point> times;
    const auto started = std::chrono::steady_clock::now();
    BackupEngine::run(source.string(), destination, BackupOptions(), nullptr, [&](const BackupProgress& progress) {
        seen.push_back(progress);
        times.push_back(std::chrono::steady_clock::now());
    });
    // A loaded machine takes longer over the 40 files, and may report more.
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_GE(seen.size(), 1u);
    EXPECT_LE(seen.size(), static_cast<size_t>(took / std::chrono::milliseconds(150)) + 1);
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_LE(seen[i].filesDone, seen[i].filesTotal);
        EXPECT_LE(seen[i].bytesDone, seen[i].bytesTotal);
        EXPECT_EQ(seen[i].filesTotal, 40);
        if (i > 0) {
            EXPECT_GT(times[i] - times[i - 1], std::chrono::milliseconds(150));
        }
    }
}

TEST_F(BackupTest, ProgressCountsTheBytesTheReportCounts) {
    // A hard-linked file is copied once per name; an excluded folder not at all.
    writeFile(source / "a/linked.bin", 300'000);
    fs::create_directories(source / "b");
    fs::create_hard_link(source / "a/linked.bin", source / "b/second-name.bin");
    writeFile(source / "node_modules/skipped.js", 500'000);
    for (int i = 0; i < 20; ++i) writeFile(source / ("f" + std::to_string(i)), 1000);
    faults->readAttributes = [](const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return 0;
    };
    BackupProgress last;
    BackupReport report = BackupEngine::run(source.string(), destination, BackupOptions(), nullptr,
                                            [&](const BackupProgress& progress) { last = progress; });
    EXPECT_EQ(report.bytesCopied, 620'000);
    EXPECT_EQ(last.bytesTotal, report.bytesCopied);
    EXPECT_EQ(last.filesTotal, report.filesTotal);
}

// Never losing a file

TEST_F(BackupTest, AFailedCopyLeavesThePreviousCopyIntact) {
    writeFile(source / "big.bin", 20 << 20, 'a');
    BackupEngine::run(source.string(), destination);

    writeFile(source / "big.bin", 30 << 20, 'b');
    {
        ScopedHooks<Backup::Hooks> failingWrite;
        failingWrite->copyContents = [](const std::string&, int64_t written) { return written > 0 ? EIO : 0; };
        BackupReport report = BackupEngine::run(source.string(), destination);
        EXPECT_EQ(report.filesFailed, 1);
        EXPECT_EQ(report.status, BackupStatus::completedWithErrors);
        ASSERT_EQ(report.errors.size(), 1u);
        EXPECT_EQ(report.errors[0], "~/Projects/app/big.bin: Input/output error");
        EXPECT_EQ(fs::file_size(target() / "big.bin"), 20u << 20);
        EXPECT_EQ(readText(target() / "big.bin").find('b'), std::string::npos);
        EXPECT_EQ(entriesOf(target()), (std::vector<std::string>{"big.bin"}));
    }

    BackupEngine::run(source.string(), destination);
    EXPECT_EQ(fs::file_size(target() / "big.bin"), 30u << 20);
}

TEST_F(BackupTest, AFolderReplacedByAFileNeverRemovesTheOlderBackups) {
    writeFile(source / "thing/one.txt", 10);
    writeFile(source / "thing/two.txt", 10);
    BackupEngine::run(source.string(), destination);

    fs::remove_all(source / "thing");
    writeFile(source / "thing", 42);
    BackupReport report = BackupEngine::run(source.string(), destination);
    EXPECT_EQ(report.filesFailed, 1);
    EXPECT_EQ(report.errors.at(0), "~/Projects/app/thing: Is a directory");
    EXPECT_TRUE(fs::exists(target() / "thing/one.txt"));
    EXPECT_TRUE(fs::exists(target() / "thing/two.txt"));
    EXPECT_EQ(entriesOf(target() / "thing"), (std::vector<std::string>{"one.txt", "two.txt"}));
}

TEST_F(BackupTest, AFileReplacedByAFolderKeepsTheOlderFile) {
    writeFile(source / "thing", 42);
    BackupEngine::run(source.string(), destination);

    fs::remove(source / "thing");
    writeFile(source / "thing/inner.txt", 10);
    BackupReport report = BackupEngine::run(source.string(), destination);
    EXPECT_EQ(report.filesFailed, 1);
    EXPECT_EQ(report.errors.at(0), "~/Projects/app/thing/inner.txt: Not a directory");
    EXPECT_EQ(fs::file_size(target() / "thing"), 42u);
}

TEST_F(BackupTest, ALinkInsideTheBackupIsNeverFollowedWhileWriting) {
    fs::path elsewhere = home.scratch() / "users-real-files";
    writeFile(elsewhere / "precious.txt", 7);
    writeFile(source / "docs/precious.txt", 99);
    writeFile(source / "top.txt", 5);
    fs::create_directories(target());
    fs::create_directory_symlink(elsewhere, target() / "docs");

    BackupReport report = BackupEngine::run(source.string(), destination);
    EXPECT_EQ(report.filesFailed, 1);
    EXPECT_EQ(fs::file_size(elsewhere / "precious.txt"), 7u);
    EXPECT_EQ(entriesOf(elsewhere), (std::vector<std::string>{"precious.txt"}));
    EXPECT_TRUE(fs::is_symlink(target() / "docs"));

    // The same for the layout folders above the backup.
    fs::remove_all(destinationFolder / "Ostrevane Backups");
    fs::create_directories(destinationFolder / "Ostrevane Backups");
    fs::create_directory_symlink(elsewhere, destinationFolder / "Ostrevane Backups" / Host::computerName());
    EXPECT_THROW(BackupEngine::run(source.string(), destination), OstrevaneError);
    EXPECT_EQ(entriesOf(elsewhere), (std::vector<std::string>{"precious.txt"}));
}

TEST_F(BackupTest, AnEntryThatCannotBeReadIsAFailureNotAnOmission) {
    writeFile(source / "fine.txt", 10);
    writeFile(source / "hidden.txt", 10);
    writeFile(source / "closed/inside.txt", 10);
    faults->readAttributes = [](const std::string& path) { return path.ends_with("hidden.txt") ? EACCES : 0; };
    fileSystem->canOpenFolder = [](const std::string& path) { return !path.ends_with("/closed"); };
    BackupReport report = BackupEngine::run(source.string(), destination);
    EXPECT_EQ(report.filesFailed, 2);
    EXPECT_EQ(report.filesCopied, 1);
    EXPECT_EQ(report.status, BackupStatus::completedWithErrors);
    EXPECT_FALSE(BackupEngine::verifyLocal(source.string(), target().string()));
}

TEST_F(BackupTest, MoreThanTwentyFailuresKeepTheFirstTwentyTexts) {
    for (int i = 0; i < 25; ++i) writeFile(source / ("f" + std::to_string(i)), 1);
    faults->readAttributes = [](const std::string&) { return EIO; };
    BackupReport report = BackupEngine::run(source.string(), destination);
    EXPECT_EQ(report.filesFailed, 25);
    EXPECT_EQ(report.errors.size(), 20u);
    EXPECT_EQ(report.summary, "Copied 0 files (0 KB); 0 already up to date. 25 failed.");
}

TEST_F(BackupTest, ASparseFileKeepsItsHoles) {
    fs::path image = source / "disk.img";
    fs::create_directories(source);
    {
        int fd = ::open(image.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "head", 4, 0), 4);
        ASSERT_EQ(::pwrite(fd, "middle", 6, 512 << 20), 6);
        ASSERT_EQ(::ftruncate(fd, 1LL << 30), 0);
        ::close(fd);
    }
    BackupReport report = BackupEngine::run(source.string(), destination);
    EXPECT_EQ(report.bytesCopied, 1LL << 30);
    struct stat copy {};
    ASSERT_EQ(::stat((target() / "disk.img").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_size, 1LL << 30);
    EXPECT_LT(copy.st_blocks * 512, 1 << 20) << "the holes were written out as zeros";
    int fd = ::open((target() / "disk.img").c_str(), O_RDONLY);
    char middle[7] = {};
    ASSERT_EQ(::pread(fd, middle, 6, 512 << 20), 6);
    ::close(fd);
    EXPECT_STREQ(middle, "middle");
}

// A process killed mid-copy

namespace {
constexpr const char* crashChildVariable = "OSTREVANE_BACKUP_CRASH_CHILD";
}

// Runs only as the child of the test below: backs up and hangs in the middle
// of the large file, where the parent kills it.
TEST(BackupCrashChild, CopiesUntilKilled) {
    const char* marker = std::getenv(crashChildVariable);
    if (!marker) GTEST_SKIP() << "runs only inside the crash test";
    ScopedHooks<Backup::Hooks> hangMidCopy;
    hangMidCopy->copyContents = [marker](const std::string&, int64_t written) {
        if (written > 0) {
            writeText(marker, "copying");
            while (true) std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        return 0;
    };
    BackupEngine::run(std::getenv("CRASH_SOURCE"), folderDestination(std::getenv("CRASH_DESTINATION")));
}

TEST_F(BackupTest, AProcessKilledMidCopyLeavesNoTruncatedFileAndTheNextRunCompletes) {
    writeFile(source / "large.bin", 24 << 20, 'a');
    BackupEngine::run(source.string(), destination);
    writeFile(source / "large.bin", 40 << 20, 'b');

    fs::path marker = home.scratch() / "marker";
    ScopedEnv child(crashChildVariable, marker.string());
    ScopedEnv from("CRASH_SOURCE", source.string());
    ScopedEnv to("CRASH_DESTINATION", destinationFolder.string());
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // A fresh image of this test program, so no state of this process is shared.
        ::execl("/proc/self/exe", "EngineTests", "--gtest_filter=BackupCrashChild.CopiesUntilKilled", nullptr);
        ::_exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(marker) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(fs::exists(marker)) << "the child never reached the copy";
    EXPECT_TRUE(WIFSIGNALED(status));

    EXPECT_EQ(fs::file_size(target() / "large.bin"), 24u << 20);
    EXPECT_EQ(readText(target() / "large.bin").find('b'), std::string::npos);
    EXPECT_EQ(entriesOf(target()), (std::vector<std::string>{"large.bin"}));

    BackupReport next = BackupEngine::run(source.string(), destination);
    EXPECT_EQ(next.status, BackupStatus::ok);
    EXPECT_EQ(next.filesCopied, 1);
    EXPECT_EQ(fs::file_size(target() / "large.bin"), 40u << 20);
}

// rclone

namespace {

/// A stand-in rclone: lists every folder empty; for anything else records
/// its arguments, one per line, then runs `body`.
fs::path fakeRclone(const fs::path& folder, const std::string& body) {
    fs::path script = folder / "rclone";
    writeText(script, "#!/bin/sh\n[ \"$1\" = lsjson ] && echo '[]' && exit 0\nprintf '%s\\n' \"$@\" > \"" +
                          (folder / "arguments").string() + "\"\n" + body);
    fs::permissions(script, fs::perms::owner_all);
    return script;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);) result.push_back(line);
    return result;
}

std::string statsLine(int transfers, int totalTransfers, int checks, int errors, int64_t bytes, int64_t totalBytes) {
    return "{\"level\":\"notice\",\"msg\":\"stats\",\"stats\":{\"transfers\":" + std::to_string(transfers) +
           ",\"totalTransfers\":" + std::to_string(totalTransfers) + ",\"checks\":" + std::to_string(checks) +
           ",\"errors\":" + std::to_string(errors) + ",\"bytes\":" + std::to_string(bytes) +
           ",\"totalBytes\":" + std::to_string(totalBytes) + "}}";
}

}  // namespace

TEST_F(BackupTest, RcloneCopyCommandLineLogLinesAndProgress) {
    writeFile(source / "a.txt", 10);
    std::string body = "cat >&2 <<'EOF'\n" + statsLine(1, 3, 2, 0, 100, 300) +
                       "\nnot json at all\n{\"level\":\"error\",\"msg\":\"remote said no\"}\n" +
                       "{\"level\":\"notice\",\"stats\":{\"transfers\":2,\"bytes\":250}}\nEOF\n" +
                       "printf '%s' '{\"level\":\"error\",\"msg\":\"never handled\"}' >&2\nexit 3\n";
    fs::path script = fakeRclone(home.scratch(), body);
    rclone->locate = [script] { return script.string(); };

    BackupOptions options(false, {"node_modules", ".DS_Store"});
    std::vector<BackupProgress> seen;
    BackupReport report = BackupEngine::run(source.string(), rcloneDestination("cloud:"), options, nullptr,
                                            [&](const BackupProgress& progress) { seen.push_back(progress); });

    const std::string target = "cloud:" + BackupEngine::relativeTarget(source.string());
    EXPECT_EQ(lines(readText(home.scratch() / "arguments")),
              (std::vector<std::string>{"copy", source.string(), target, "--create-empty-src-dirs", "--use-json-log",
                                        "--stats", "1s", "--stats-log-level", "NOTICE", "--exclude", "node_modules",
                                        "--exclude", "node_modules/**", "--exclude", ".DS_Store", "--exclude",
                                        ".DS_Store/**"}));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].filesDone, 3);
    EXPECT_EQ(seen[0].filesTotal, 5);
    EXPECT_EQ(seen[0].bytesDone, 100);
    EXPECT_EQ(seen[0].bytesTotal, 300);
    EXPECT_EQ(seen[0].currentPath, source.string());
    EXPECT_EQ(seen[1].filesDone, 4);
    EXPECT_EQ(seen[1].bytesTotal, 250) << "totalBytes is read from each line alone";

    EXPECT_EQ(report.target, target);
    EXPECT_EQ(report.filesCopied, 2);
    EXPECT_EQ(report.filesSkipped, 2);
    EXPECT_EQ(report.filesTotal, 4);
    EXPECT_EQ(report.bytesCopied, 250);
    EXPECT_EQ(report.errors, (std::vector<std::string>{"remote said no"}));
    EXPECT_EQ(report.filesFailed, 1);
    EXPECT_EQ(report.status, BackupStatus::completedWithErrors);
    EXPECT_EQ(BackupHistory::load().size(), 1u);
}

TEST_F(BackupTest, RcloneFailingWithoutErrorLinesSingleFilesAndDryRuns) {
    fs::path script = fakeRclone(home.scratch(), "exit 1\n");
    rclone->locate = [script] { return script.string(); };
    fs::path file = home.path("Documents/notes.txt");
    writeFile(file, 10);
    BackupReport report = BackupEngine::run(file.string(), rcloneDestination("cloud:"), BackupOptions(true, {}));
    std::string folder = BackupEngine::relativeTarget(file.string());
    folder = folder.substr(0, folder.rfind('/'));
    EXPECT_EQ(report.target, "cloud:" + folder);
    EXPECT_EQ(lines(readText(home.scratch() / "arguments")).back(), "--dry-run");
    EXPECT_EQ(report.filesFailed, 1);
    EXPECT_EQ(report.status, BackupStatus::completedWithErrors);
    EXPECT_FALSE(fs::exists(BackupHistory::filePath()));

    rclone->locate = [] { return std::nullopt; };
    try {
        BackupEngine::run(file.string(), rcloneDestination("cloud:"));
        ADD_FAILURE() << "ran without rclone";
    } catch (const OstrevaneError& error) {
        EXPECT_EQ(
            error.message,
            "rclone not found. Install it with sudo apt install rclone, then run rclone config to add a cloud drive.");
    }
}

TEST_F(BackupTest, RcloneFailuresAreItsErrorCountNotItsErrorLines) {
    // As rclone logs a copy that fails twice: each file once per attempt,
    // plus one line per attempt, then the final statistics.
    writeFile(source / "a.txt", 10);
    std::string failedFiles =
        "{\"level\":\"error\",\"msg\":\"Failed to copy: a\"}\n"
        "{\"level\":\"error\",\"msg\":\"Failed to copy: b\"}\n";
    std::string body = "cat >&2 <<'EOF'\n" + failedFiles +
                       "{\"level\":\"error\",\"msg\":\"Attempt 1/2 failed with 2 errors\"}\n" + failedFiles +
                       "{\"level\":\"error\",\"msg\":\"Attempt 2/2 failed with 2 errors\"}\n" +
                       statsLine(3, 3, 1, 2, 30, 30) + "\nEOF\nexit 1\n";
    fs::path script = fakeRclone(home.scratch(), body);
    rclone->locate = [script] { return script.string(); };
    BackupReport report = BackupEngine::run(source.string(), rcloneDestination("cloud:"));
    EXPECT_EQ(report.filesFailed, 2);
    EXPECT_EQ(report.errors.size(), 6u);
    EXPECT_EQ(report.status, BackupStatus::completedWithErrors);
    EXPECT_EQ(report.summary, "Copied 3 files (30 bytes); 1 already up to date. 2 failed.");

    // A retry that succeeded leaves error lines behind but no errors.
    writeText(
        script,
        "#!/bin/sh\n[ \"$1\" = lsjson ] && echo '[]' && exit 0\ncat >&2 <<'EOF'\n{\"level\":\"error\",\"msg\":\"Attempt 1/3 failed with 1 errors\"}\n" +
            statsLine(1, 1, 0, 0, 10, 10) + "\nEOF\n");
    BackupReport retried = BackupEngine::run(source.string(), rcloneDestination("cloud:"));
    EXPECT_EQ(retried.filesFailed, 0);
    EXPECT_EQ(retried.status, BackupStatus::ok);
    EXPECT_EQ(retried.errors, (std::vector<std::string>{"Attempt 1/3 failed with 1 errors"}));
}

TEST_F(BackupTest, RcloneCountsTheLinksItWouldSilentlySkip) {
    writeFile(source / "a.txt", 10);
    fs::create_symlink("a.txt", source / "link");
    fs::create_directories(source / "node_modules");
    fs::create_symlink("x", source / "node_modules/excluded-link");
    fs::path script = fakeRclone(home.scratch(), "echo '" + statsLine(1, 1, 0, 0, 10, 10) + "' >&2\n");
    rclone->locate = [script] { return script.string(); };
    BackupReport report = BackupEngine::run(source.string(), rcloneDestination("cloud:"));
    EXPECT_EQ(report.filesCopied, 1);
    EXPECT_EQ(report.filesFailed, 1);
    EXPECT_EQ(report.filesTotal, 2);
    EXPECT_EQ(report.status, BackupStatus::completedWithErrors);
    EXPECT_EQ(report.errors, (std::vector<std::string>{"~/Projects/app/link: Operation not supported"}));
}

TEST_F(BackupTest, RcloneCancellationTerminatesTheProgram) {
    writeFile(source / "a.txt", 10);
    std::string body = "while true; do echo '" + statsLine(1, 9, 0, 0, 1, 9) + "' >&2; sleep 0.1; done\n";
    fs::path script = fakeRclone(home.scratch(), body);
    rclone->locate = [script] { return script.string(); };
    auto cancel = std::make_shared<CancelToken>();
    auto started = std::chrono::steady_clock::now();
    BackupReport report = BackupEngine::run(source.string(), rcloneDestination("cloud:"), BackupOptions(), cancel,
                                            [&](const BackupProgress&) { cancel->cancel(); });
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(report.status, BackupStatus::cancelled);
    EXPECT_TRUE(report.summary.ends_with(" (cancelled)"));
    EXPECT_GE(report.filesFailed, 1) << "a terminated rclone ends with a non-zero status";
}

TEST_F(BackupTest, RealRcloneCopiesToALocalRemoteAndChecksTheCopy) {
    if (!Shell::which("rclone")) GTEST_SKIP() << "rclone is not installed";
    fs::path remoteFolder = home.scratch() / "remote";
    fs::create_directories(remoteFolder);
    ScopedEnv type("RCLONE_CONFIG_TESTREMOTE_TYPE", "alias");
    ScopedEnv where("RCLONE_CONFIG_TESTREMOTE_REMOTE", remoteFolder.string());
    ScopedEnv config("RCLONE_CONFIG", (home.scratch() / "rclone.conf").string());

    writeFile(source / "a.txt", 1000);
    writeFile(source / "sub/b.txt", 2000);
    writeFile(source / "node_modules/c.js", 10);
    BackupReport first = BackupEngine::run(source.string(), rcloneDestination("testremote:"));
    EXPECT_EQ(first.status, BackupStatus::ok) << first.summary;
    EXPECT_EQ(first.filesCopied, 2);
    fs::path landed = remoteFolder / BackupEngine::relativeTarget(source.string());
    EXPECT_EQ(fs::file_size(landed / "sub/b.txt"), 2000u);
    EXPECT_FALSE(fs::exists(landed / "node_modules"));

    BackupReport second = BackupEngine::run(source.string(), rcloneDestination("testremote:"));
    EXPECT_EQ(second.filesCopied, 0);
    EXPECT_EQ(second.filesSkipped, 2);

    EXPECT_FALSE(BackupEngine::verifyRclone(source.string(), first.target)) << "node_modules never reached it";
    fs::remove_all(source / "node_modules");
    EXPECT_TRUE(BackupEngine::verifyRclone(source.string(), first.target));
    writeFile(landed / "sub/b.txt", 1999);
    EXPECT_FALSE(BackupEngine::verifyRclone(source.string(), first.target));
}
