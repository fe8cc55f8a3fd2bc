// `backup`, `offload`, `evict`, `history` and `plans run` of the built tool,
// run on a temporary home.
#include <signal.h>
#include <sys/resource.h>

#include <cstring>

#include "Support.hpp"
#include "TestSupport.hpp"
#include "backup/Backup.hpp"

using namespace testing_support;

namespace {

class BackupCommandsTest : public HomeTest {
protected:
    fs::path source = home.path("Projects/app");
    fs::path drive = home.scratch() / "drive";

    void SetUp() override {
        // A silent rclone stand-in keeps discovery quick and away from any
        // real rclone configuration.
        fs::path bin = home.scratch() / "bin";
        writeText(bin / "rclone", "#!/bin/sh\nexit 0\n");
        fs::permissions(bin / "rclone", fs::perms::owner_all);
        path = std::make_unique<ScopedEnv>("PATH", bin.string() + ":" + std::getenv("PATH"));
        fs::create_directories(drive);
        writeFile(source / "a.txt", 1000);
        writeFile(source / "lib/b.txt", 2000);
        writeFile(source / "node_modules/c.js", 10);
    }
    fs::path target() const { return drive / BackupEngine::relativeTarget(source.string()); }
    json config() const { return json::parse(readText(home.path(".config/Ostrevane/config.json"))); }

    std::unique_ptr<ScopedEnv> path;
};

void expectUsage(const CLIResult& result, const std::string& usage) {
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, usage + "\n");
}

/// Files written larger than `bytes` fail with EFBIG for the life of the
/// object, in this process and the programs it starts: a full disk as far as
/// the tool can tell, which root cannot get from permissions.
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &previous);
        previousSignal = ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = previous;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~ScopedFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous);
        ::signal(SIGXFSZ, previousSignal);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

private:
    struct rlimit previous {};
    void (*previousSignal)(int) = SIG_DFL;
};

json parsed(const CLIResult& result) {
    EXPECT_EQ(result.status, 0) << result.err;
    return JSONOut::parse(result.out);
}

}  // namespace

TEST_F(BackupCommandsTest, UsageLines) {
    const std::string backup = "Usage: ostrevane backup <path> --to <destination> [--dry-run]";
    expectUsage(runCLI({"backup"}), backup);
    expectUsage(runCLI({"backup", source.string()}), backup);
    expectUsage(runCLI({"backup", "--to", drive.string()}), backup);
    expectUsage(runCLI({"offload", source.string()}), "Usage: ostrevane offload <path> --to <destination> [--execute]");
    expectUsage(runCLI({"evict"}), "Usage: ostrevane evict <path>");
}

TEST_F(BackupCommandsTest, BackupPrintsWhereItWentAndTheSummary) {
    auto result = runCLI({"backup", "~/Projects/app", "--to", drive.string(), "--exclude", "lib"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "") << "no progress lines off a terminal";
    EXPECT_EQ(result.out, "  Source       ~/Projects/app\n  Destination  drive → " + target().string() +
                              "\nCopied 1 file (1 KB); 0 already up to date.\n");
    EXPECT_TRUE(fs::exists(target() / "a.txt"));
    EXPECT_FALSE(fs::exists(target() / "lib"));
    EXPECT_FALSE(fs::exists(target() / "node_modules"));

    json report = parsed(runCLI({"backup", source.string(), "--to", drive.string(), "--json"}));
    EXPECT_EQ(report["filesCopied"], 1);
    EXPECT_EQ(report["filesSkipped"], 1);
    EXPECT_EQ(report.get<BackupReport>().target, target().string());
}

TEST_F(BackupCommandsTest, DryRunAndFailures) {
    json dry = parsed(runCLI({"backup", source.string(), "--to", drive.string(), "--dry-run", "--json"}));
    EXPECT_EQ(dry["dryRun"], true);
    EXPECT_EQ(dry["filesCopied"], 2);
    EXPECT_FALSE(fs::exists(drive / "Ostrevane Backups"));
    EXPECT_EQ(runCLI({"history"}).out, "No backups yet.\n");

    auto missing = runCLI({"backup", "~/nothing", "--to", drive.string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "Error: The path to back up doesn’t exist: " + home.home() + "/nothing\n");

    auto unknown = runCLI({"backup", source.string(), "--to", "nowhere"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(unknown.err.starts_with("Error: No backup destination “nowhere”.")) << unknown.err;

    // An entry that fails makes the run, and the tool, fail.
    fs::create_directories(target());
    writeFile(target() / "lib", 5);  // a file where a folder belongs
    auto partial = runCLI({"backup", source.string(), "--to", drive.string()});
    EXPECT_EQ(partial.status, 1);
    EXPECT_NE(partial.out.find("1 failed."), std::string::npos) << partial.out;
    EXPECT_NE(partial.out.find("  ~/Projects/app/lib/b.txt: Not a directory\n"), std::string::npos) << partial.out;
}

TEST_F(BackupCommandsTest, OffloadIsADryRunUntilExecute) {
    auto dry = runCLI({"offload", source.string(), "--to", drive.string()});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_TRUE(dry.out.ends_with(" to the Trash.\n\nThis was a dry run. Add --execute to do it for real.\n"))
        << dry.out;
    EXPECT_TRUE(fs::exists(source));
    EXPECT_FALSE(fs::exists(drive / "Ostrevane Backups"));

    auto refused = runCLI({"offload", "~", "--to", drive.string(), "--execute"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.starts_with("Error: Can’t archive " + home.home() + ": ")) << refused.err;

    json report = parsed(runCLI({"offload", source.string(), "--to", drive.string(), "--execute", "--json"}));
    EXPECT_EQ(report["sourceTrashed"], true);
    EXPECT_EQ(report["verified"], true);
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(fs::file_size(target() / "node_modules/c.js"), 10u);
}

TEST_F(BackupCommandsTest, EvictReportsWhatItReleased) {
    auto missing = runCLI({"evict", "~/nothing"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "Error: Path doesn’t exist: " + home.home() + "/nothing\n");

    auto result = runCLI({"evict", source.string()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              "No cloud drive on this computer keeps files online-only, so there are no local copies to release.\n");
    json report = parsed(runCLI({"evict", source.string(), "--json"}));
    EXPECT_EQ(report["failed"], 3);
    EXPECT_EQ(report["path"], source.string());
}

TEST_F(BackupCommandsTest, HistoryNewestFirstWithALimit) {
    ASSERT_EQ(runCLI({"backup", source.string(), "--to", drive.string()}).status, 0);
    writeFile(source / "new.txt", 5);
    ASSERT_EQ(runCLI({"backup", source.string(), "--to", drive.string()}).status, 0);

    json all = parsed(runCLI({"history", "--json"}));
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0]["filesCopied"], 1);
    EXPECT_EQ(all[1]["filesCopied"], 2);
    json one = parsed(runCLI({"history", "-n", "1", "--json"}));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0]["id"], all[0]["id"]);

    auto text = runCLI({"history", "-n", "1"});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("  ok  ~/Projects/app → drive\n    Copied 1 file (5 bytes); 2 already up to date.\n"),
              std::string::npos)
        << text.out;
}

TEST_F(BackupCommandsTest, HistoryReadsInTheReadersLanguageAndSaysWhenItIsUnreadable) {
    ASSERT_EQ(runCLI({"backup", source.string(), "--to", drive.string()}).status, 0);
    {
        ScopedEnv chinese("OSTREVANE_LANG", "zh");
        EXPECT_NE(runCLI({"history"}).out.find("    已复制 2 个文件(3 KB),0 个已是最新。\n"), std::string::npos);
        json listed = json::parse(runCLI({"history", "--json"}).out);
        EXPECT_EQ(listed[0]["summary"], "已复制 2 个文件(3 KB),0 个已是最新。");
    }

    writeText(BackupHistory::filePath(), "[{\"id\": ");
    const std::string ignored = "The backup history file " + Paths::abbreviate(BackupHistory::filePath().string()) +
                                " couldn’t be read and was ignored.\n";
    for (const auto& arguments : {std::vector<std::string>{"history"}, {"history", "--json"}}) {
        auto unreadable = runCLI(arguments);
        EXPECT_EQ(unreadable.status, 0) << "a file that cannot be read holds no reports";
        EXPECT_EQ(unreadable.err, ignored);
        EXPECT_EQ(unreadable.out, arguments.size() == 1 ? "No backups yet.\n" : "[]\n");
    }
    {
        ScopedEnv chinese("OSTREVANE_LANG", "zh");
        EXPECT_EQ(runCLI({"history"}).out, "还没有备份记录。\n");
    }
    auto next = runCLI({"backup", source.string(), "--to", drive.string(), "--json"});
    EXPECT_EQ(next.status, 0);
    EXPECT_TRUE(next.err.starts_with("The backup history file couldn’t be read; its contents were kept in ~/"))
        << next.err;
    EXPECT_TRUE(json::parse(next.out).contains("historyNotice"));
    EXPECT_EQ(runCLI({"history"}).status, 0);
}

TEST_F(BackupCommandsTest, PlansRunOneOrAllAndRecordTheOutcome) {
    EXPECT_EQ(runCLI({"plans", "run"}).out, "No backup plans to run.\n");

    ASSERT_EQ(runCLI({"plans", "add", source.string(), "--to", drive.string()}).status, 0);
    ASSERT_EQ(runCLI({"plans", "add", "~/gone", "--to", drive.string()}).status, 0);
    json plans = config()["plans"];
    ASSERT_EQ(plans.size(), 2u);
    const std::string first = plans[0]["id"], second = plans[1]["id"];

    json dry = json::parse(runCLI({"plans", "run", "--dry-run", "--json"}).out);
    ASSERT_EQ(dry.size(), 2u);
    EXPECT_EQ(dry[0]["report"]["dryRun"], true);
    EXPECT_EQ(dry[1]["error"], "The path to back up doesn’t exist: " + home.home() + "/gone");
    EXPECT_FALSE(dry[1].contains("report"));
    EXPECT_FALSE(config()["plans"][0].contains("lastRun")) << "a dry run never touches the plans";
    EXPECT_FALSE(fs::exists(drive / "Ostrevane Backups"));

    json one = parsed(runCLI({"plans", "run", first, "--json"}));
    EXPECT_EQ(one["plan"]["id"], first);
    EXPECT_EQ(one["report"]["status"], "ok");
    json stored = config()["plans"][0];
    EXPECT_EQ(stored["lastStatus"], "ok");
    EXPECT_EQ(stored["lastSummary"], one["report"]["summary"]);
    EXPECT_EQ(stored["lastRun"], one["report"]["finishedAt"]);
    EXPECT_TRUE(fs::exists(target() / "lib/b.txt"));

    auto failing = runCLI({"plans", "run", second});
    EXPECT_EQ(failing.status, 1);
    EXPECT_EQ(config()["plans"][1]["lastStatus"], "failed");
    EXPECT_EQ(config()["plans"][1]["lastSummary"], "The path to back up doesn’t exist: " + home.home() + "/gone");

    auto unknown = runCLI({"plans", "run", "ffffffff"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "Error: No backup plan with id ffffffff. Run ostrevane plans to see them.\n");
}

TEST_F(BackupCommandsTest, NulBytesInStoredPathsAreRefused) {
    using namespace std::string_literals;
    json stored = {
        {"customDestinations", {{{"name", "nul"}, {"path", drive.string() + "\0x"s}}}},
        {"plans", {{{"id", "0000000a"}, {"source", "~/Projects/app\0x"s}, {"destinationId", drive.string()}}}}};
    writeText(home.path(".config/Ostrevane/config.json"), stored.dump());

    auto plan = runCLI({"plans", "run", "0000000a"});
    EXPECT_EQ(plan.status, 1);
    EXPECT_NE(plan.err.find("Error: The path contains a NUL byte\n"), std::string::npos) << plan.err;
    auto backup = runCLI({"backup", "~/Projects/app", "--to", "folder:nul"});
    EXPECT_EQ(backup.status, 1);
    EXPECT_NE(backup.err.find("The path contains a NUL byte"), std::string::npos) << backup.err;
    EXPECT_TRUE(fs::is_empty(drive));
}

// The copy succeeds but its report cannot be written to the history (the disk
// under the support folder is full): the run says so, in its report and on
// standard error, rather than pass for a run the history will show.
TEST_F(BackupCommandsTest, ABackupWhoseHistoryCannotBeWrittenSaysSo) {
    const fs::path notes = home.path("Notes");
    writeFile(notes / "a.txt", 10);
    const std::string failure = BackupHistory::filePath().string() + ": " + std::strerror(EFBIG);
    const std::string notice = "This backup wasn’t recorded in the backup history: " + failure + ".";
    CLIResult asJSON, asText;
    {
        ScopedFileSizeLimit full(200);
        asJSON = runCLI({"backup", notes.string(), "--to", drive.string(), "--json"});
        asText = runCLI({"backup", notes.string(), "--to", drive.string()});
    }
    const auto report = parsed(asJSON);
    EXPECT_EQ(report["status"], "ok");
    EXPECT_EQ(report.value("historyNotice", ""), notice);
    EXPECT_EQ(asJSON.err, notice + "\n");
    EXPECT_EQ(asText.status, 0);
    EXPECT_EQ(asText.err, notice + "\n");
    EXPECT_EQ(readText(drive / BackupEngine::relativeTarget(notes.string()) / "a.txt"), std::string(10, 'x'));
    EXPECT_TRUE(BackupHistory::load().empty());
}

// A drive mounted under a name in a legacy code page: the run is reported and
// recorded like any other, under the name it has on disk.
TEST_F(BackupCommandsTest, ADestinationNamedInNoUTF8IsReportedAndRecorded) {
    const fs::path legacy = home.scratch() / "M\xfcll";
    fs::create_directories(legacy);
    auto result = runCLI({"backup", source.string(), "--to", legacy.string(), "--json"});
    const json report = parsed(result);
    EXPECT_EQ(report.value("destinationId", ""), legacy.string());
    EXPECT_EQ(report.value("destinationName", ""), "M\xfcll");
    EXPECT_EQ(result.err, "");
    const auto history = BackupHistory::load();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].destinationId, legacy.string());
}
