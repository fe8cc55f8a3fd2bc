#include <gtest/gtest.h>

#include <cstring>

#include "ModelHarness.hpp"
#include "TestSupport.hpp"
#include "platform/Trash.hpp"

using testing_support::ScopedHome;

namespace {

BackupReport report(std::string summary, int64_t failed = 0, BackupStatus status = BackupStatus::ok) {
    BackupReport result;
    result.summary = std::move(summary);
    result.filesFailed = failed;
    result.status = status;
    return result;
}

PlanRun planRun(const BackupPlan& plan, std::optional<BackupReport> report, std::optional<std::string> error = {}) {
    return PlanRun{plan, std::move(report), std::move(error)};
}

const BackupDestination destination{"folder:Backups", DestinationKind::folder, "Backups", "/b", {}, true, {}};

using AppModelBackupsTest = ModelTest;

TEST_F(AppModelBackupsTest, ObserversHearOnlyThePartsTheyShowAndEveryChangeOfThem) {
    // A backup with three progress ticks, told to an observer of each part it
    // touches and to one of a part it never touches.
    std::vector<std::string> running, notices;
    int ticks = 0, sections = 0;
    using Change = AppModel::Change;
    model.observe([&] { running.push_back(model.runningBackup().value_or("-")); }, Change::backups);
    model.observe([&] { ++ticks; }, Change::backupProgress);
    model.observe([&] { notices.push_back(model.notice() ? model.notice()->text : "-"); }, Change::notice);
    model.observe([&] { ++sections; }, Change::section);
    engine.backup = [&](const std::string& source, const CancelTokenPtr&, const BackupProgressHandler& tick) {
        for (int64_t done : {1, 2, 3}) tick({done, 3, 0, 0, source});
        return report("Copied 3 files.");
    };
    const std::string path = root + "/x";
    model.backup(path, destination);
    harness.settle();

    EXPECT_EQ(ticks, 1 + 3 + 1);  // the start, every tick and the end
    EXPECT_EQ(sections, 0);
    // The start, the end (told with its notice) and the analysis's destinations; no tick.
    EXPECT_EQ(running, (std::vector<std::string>{path, "-", "-"}));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("Copied 3 files."), std::string::npos) << notices[0];
}

TEST_F(AppModelBackupsTest, TheRunnerPublishesProgressThenEndsTheSameWay) {
    std::vector<int64_t> seen;
    model.observe([&] {
        if (model.backupProgress()) seen.push_back(model.backupProgress()->filesDone);
    });
    engine.backup = [&](const std::string& source, const CancelTokenPtr&, const BackupProgressHandler& progress) {
        progress({1, 2, 0, 0, source});
        progress({2, 2, 0, 0, source});
        BackupReport result = report("Copied 2 files.");
        result.target = root + "/b/x";
        return result;
    };
    engine.runPlan = [](const BackupPlan& plan, auto&, auto&) { return planRun(plan, report("")); };
    engine.offload = [](const std::string&, auto&, auto&) { return OffloadReport{}; };
    const std::string path = root + "/x";
    model.backup(path, destination);
    EXPECT_EQ(model.runningBackup(), path);
    ASSERT_TRUE(model.backupCancel());
    const CancelTokenPtr token = model.backupCancel();

    // Every start while a backup runs is dropped.
    const size_t jobs = harness.executor->pending();
    BackupPlan plan("~/Docs", "folder:Backups");
    engine.config.plans = {plan};
    model.run(plan);
    model.runAllPlans();
    model.backup(root + "/y", destination);
    model.offload(root + "/y", destination);
    EXPECT_EQ(harness.executor->pending(), jobs);
    EXPECT_EQ(model.backupCancel(), token);

    const int historyLoads = engine.historyLoads, analyses = engine.analyses;
    harness.settle();
    EXPECT_EQ(seen, (std::vector<int64_t>{1, 2}));
    EXPECT_FALSE(model.runningBackup() || model.backupProgress());
    EXPECT_EQ(model.notice()->text, "Copied 2 files. Location: ~/b/x");
    EXPECT_FALSE(model.notice()->isError);
    EXPECT_EQ(model.plans().size(), 1u);  // reloaded from the configuration
    EXPECT_EQ(engine.historyLoads, historyLoads + 1);
    EXPECT_EQ(engine.analyses, analyses + 1);
}

TEST_F(AppModelBackupsTest, SingleBackupOutcomes) {
    struct Case {
        const char* name;
        std::function<void(AppModel&)> start;
        std::string text;
        bool isError;
    };
    const BackupPlan plan("~/Docs", "folder:Backups");
    engine.runPlan = [](const BackupPlan& p, auto&, auto&) {
        if (p.source == "~/ok") return planRun(p, report("All copied."));
        if (p.source == "~/partial") return planRun(p, report("Some failed.", 2));
        if (p.source == "~/error") return planRun(p, std::nullopt, "No such destination");
        if (p.source == "~/kept") {
            BackupReport kept = report("All copied.");
            kept.historyKeptAs = "/h/backup-history.unreadable-1.json";
            return planRun(p, kept);
        }
        return planRun(p, std::nullopt);
    };
    engine.backup = [&](const std::string& source, auto&, auto&) {
        if (source == "/missing") throw OstrevaneError("Path doesn’t exist");
        BackupReport result = report("Done.", 1);
        result.target = "/b/t";
        return result;
    };
    const Case cases[] = {
        {"plan ok", [](AppModel& m) { m.run(BackupPlan("~/ok", "d")); }, "All copied.", false},
        {"plan with failed files", [](AppModel& m) { m.run(BackupPlan("~/partial", "d")); }, "Some failed.", true},
        {"plan error", [](AppModel& m) { m.run(BackupPlan("~/error", "d")); }, "No such destination", true},
        {"plan that kept an unreadable history", [](AppModel& m) { m.run(BackupPlan("~/kept", "d")); },
         "All copied. The backup history file couldn’t be read; its contents were kept in "
         "/h/backup-history.unreadable-1.json.",
         false},
        {"plan without a reason", [](AppModel& m) { m.run(BackupPlan("~/odd", "d")); }, "Backup failed", true},
        {"backup with failed files", [](AppModel& m) { m.backup("/src", destination); }, "Done. Location: /b/t", true},
        {"backup that throws", [](AppModel& m) { m.backup("/missing", destination); }, "Path doesn’t exist", true},
    };
    for (const Case& c : cases) {
        c.start(model);
        harness.settle();
        EXPECT_EQ(model.notice()->text, c.text) << c.name;
        EXPECT_EQ(model.notice()->isError, c.isError) << c.name;
    }
}

TEST_F(AppModelBackupsTest, AnUnreadableHistoryIsToldOnceInANotice) {
    engine.historyUnreadable = true;
    model.refreshLight();
    ASSERT_TRUE(model.notice());
    EXPECT_EQ(model.notice()->text, BackupHistory::unreadableNotice());
    EXPECT_TRUE(model.notice()->isError);
    EXPECT_TRUE(model.history().empty());

    model.dismissNotice();
    model.refreshLight();
    EXPECT_FALSE(model.notice()) << "told once while it stays unreadable";

    engine.historyUnreadable = false;
    engine.history = {report("ok")};
    model.refreshLight();
    EXPECT_EQ(model.history().size(), 1u);
    engine.historyUnreadable = true;
    model.refreshLight();
    EXPECT_TRUE(model.notice()) << "unreadable again: told again";
}

TEST_F(AppModelBackupsTest, RunAllPlansCountsProblemsIncludingCancelledPlans) {
    struct Case {
        const char* name;
        int plans;
        std::function<PlanRun(const BackupPlan&, int index, const CancelTokenPtr&)> result;
        int runs;
        std::string text;
        bool isError;
    };
    const auto ok = [](const BackupPlan& p, int, const CancelTokenPtr&) { return planRun(p, report("ok")); };
    const Case cases[] = {
        {"all finish", 3, ok, 3, "All 3 backup plans finished.", false},
        {"one plan", 1, ok, 1, "1 backup plan finished.", false},
        {"second errors", 3,
         [](const BackupPlan& p, int i, auto&) { return i == 1 ? planRun(p, {}, "away") : planRun(p, report("")); }, 3,
         "1 of 3 plans had problems; see the backup history.", true},
        {"second has failed files", 3,
         [](const BackupPlan& p, int i, auto&) { return planRun(p, report("", i == 1 ? 1 : 0)); }, 3,
         "1 of 3 plans had problems; see the backup history.", true},
        {"cancelled during the first", 3,
         [](const BackupPlan& p, int, const CancelTokenPtr& token) {
             token->cancel();
             return planRun(p, report("Cancelled.", 0, BackupStatus::cancelled));
         },
         1, "3 of 3 plans had problems; see the backup history.", true},
        {"cancelled during the only one", 1,
         [](const BackupPlan& p, int, const CancelTokenPtr& token) {
             token->cancel();
             return planRun(p, report("Cancelled.", 0, BackupStatus::cancelled));
         },
         1, "1 of 1 plans had problems; see the backup history.", true},
    };
    for (const Case& c : cases) {
        ModelHarness run;
        for (int i = 0; i < c.plans; ++i) run.engine.config.plans.push_back(BackupPlan("~/p" + std::to_string(i), "d"));
        std::vector<std::string> ran;
        run.engine.runPlan = [&](const BackupPlan& plan, const CancelTokenPtr& token, auto&) {
            ran.push_back(plan.source);
            return c.result(plan, static_cast<int>(ran.size()) - 1, token);
        };
        run.model->refreshLight();
        run.settle();
        run.model->runAllPlans();
        EXPECT_EQ(run.model->runningBackup(), "all") << c.name;
        run.settle();
        EXPECT_EQ(static_cast<int>(ran.size()), c.runs) << c.name;
        EXPECT_EQ(run.model->notice()->text, c.text) << c.name;
        EXPECT_EQ(run.model->notice()->isError, c.isError) << c.name;
    }
    // Without plans nothing starts.
    model.runAllPlans();
    EXPECT_FALSE(model.runningBackup());
    EXPECT_EQ(harness.executor->pending(), 0u);
}

TEST_F(AppModelBackupsTest, OnlyAnOffloadThatTrashedItsSourcePrunesTheScan) {
    const std::string source = root + "/Old";
    struct Case {
        const char* name;
        std::optional<bool> trashed;  // none: the offload throws
        bool verified;
        std::string text;
        bool isError;
    };
    const Case cases[] = {
        {"trashed", true, true, "moved", false},
        {"not verified", false, false, "kept", true},
        {"changed after its check, left in the Trash", true, false, "moved", true},
        {"throws", std::nullopt, false, "cannot start", true},
    };
    for (const Case& c : cases) {
        ModelHarness run;
        run.startWith(folderNode(root, {folderNode(source, {}, 10)}));
        run.model->setExplorerPath(source);
        run.engine.offload = [&](const std::string&, auto&, auto&) {
            if (!c.trashed) throw OstrevaneError("cannot start");
            OffloadReport result;
            result.sourceTrashed = *c.trashed;
            result.verified = c.verified;
            result.message = *c.trashed ? "moved" : "kept";
            return result;
        };
        const auto notices = run.recordNotices();
        run.model->offload(source, destination);
        EXPECT_EQ(run.model->runningBackup(), source);
        run.settle();
        const bool pruned = c.trashed.value_or(false);
        ASSERT_EQ(notices->size(), 1u) << c.name;
        EXPECT_EQ(notices->back().text, c.text) << c.name;
        EXPECT_EQ(notices->back().isError, c.isError) << c.name;
        EXPECT_EQ(run.model->trashPending(), pruned) << c.name;
        EXPECT_EQ(run.model->scan()->root.find(source) == nullptr, pruned) << c.name;
        EXPECT_EQ(run.model->explorerPath(), pruned ? root : source) << c.name;
    }
}

TEST_F(AppModelBackupsTest, ConfigurationEditsGoThroughTheRealStore) {
    engine.realConfig = true;
    model.addPlan("~/Docs", "folder:Backups");
    model.addPlan("~/Docs", "folder:Backups");  // no duplicate check
    ASSERT_EQ(model.plans().size(), 2u);
    EXPECT_NE(model.plans()[0].id, model.plans()[1].id);
    const BackupPlan kept = model.plans()[1];
    model.removePlan(model.plans()[0]);
    ASSERT_EQ(model.plans().size(), 1u);
    EXPECT_EQ(model.plans()[0].id, kept.id);
    EXPECT_EQ(ConfigStore::load().plans.size(), 1u);

    const int discoveries = engine.discoveries;
    model.addCustomDestination("/x/Backups");
    model.addCustomDestination("/y/Other");
    model.addCustomDestination("/z/Backups");  // same last component: replaces the first
    auto custom = ConfigStore::load().customDestinations;
    ASSERT_EQ(custom.size(), 2u);
    EXPECT_EQ(custom[0].name, "Other");
    EXPECT_EQ(custom[1].path, "/z/Backups");

    model.removeCustomDestination(
        BackupDestination{"folder:Other", DestinationKind::folder, "Other", "/y/Other", {}, true, {}});
    custom = ConfigStore::load().customDestinations;
    ASSERT_EQ(custom.size(), 1u);
    EXPECT_EQ(custom[0].name, "Backups");
    harness.settle();
    EXPECT_EQ(engine.discoveries, discoveries + 4);  // each folder edit rediscovers the destinations
    EXPECT_EQ(ConfigStore::load().plans.size(), 1u);
}

// The folder picker takes any folder; one that emptying the Trash deletes
// would lose the only copy an offload leaves there.
TEST_F(AppModelBackupsTest, APickedFolderInTheTrashIsRefusedWithTheReason) {
    engine.realConfig = true;
    const std::string folder = Paths::joined(Trash::filesFolder(), "bk");
    model.addCustomDestination(folder);
    harness.settle();
    ASSERT_TRUE(model.notice());
    EXPECT_EQ(model.notice()->text, L("%@ 不能作为备份目的地:它在废纸篓里,清倒废纸篓会把备份一起删除。", folder));
    EXPECT_TRUE(model.notice()->isError);
    EXPECT_TRUE(ConfigStore::load().customDestinations.empty());
}

TEST_F(AppModelBackupsTest, AConfigurationWriteThatFailsIsAnErrorNoticeAndChangesNothing) {
    engine.realConfig = true;
    model.addPlan("~/Docs", "folder:Backups");
    model.addCustomDestination("/x/Backups");
    harness.settle();
    const BackupDestination backups{"folder:Backups", DestinationKind::folder, "Backups", "/x/Backups", {}, true, {}};
    const std::string diskFull = std::strerror(ENOSPC);
    struct Case {
        const char* name;
        std::function<void()> edit;
    };
    const Case cases[] = {
        {"add a plan", [&] { model.addPlan("~/Music", "folder:Backups"); }},
        {"remove a plan", [&] { model.removePlan(model.plans()[0]); }},
        {"add a folder", [&] { model.addCustomDestination("/y/Other"); }},
        {"remove a folder", [&] { model.removeCustomDestination(backups); }},
    };
    for (const Case& c : cases) {
        const AppConfig before = ConfigStore::load();
        const auto plansBefore = model.plans();
        const int discoveries = engine.discoveries;
        engine.configWriteError = diskFull;
        c.edit();
        engine.configWriteError.reset();
        harness.settle();
        ASSERT_TRUE(model.notice()) << c.name;
        EXPECT_EQ(model.notice()->text, L("无法保存设置:%@", diskFull)) << c.name;
        EXPECT_TRUE(model.notice()->isError) << c.name;
        const AppConfig after = ConfigStore::load();
        ASSERT_EQ(after.plans.size(), 1u) << c.name;
        EXPECT_EQ(after.plans[0].id, before.plans[0].id) << c.name;
        ASSERT_EQ(after.customDestinations.size(), 1u) << c.name;
        EXPECT_EQ(after.customDestinations[0].path, "/x/Backups") << c.name;
        ASSERT_EQ(model.plans().size(), 1u) << c.name;
        EXPECT_EQ(model.plans()[0].id, plansBefore[0].id) << c.name;
        EXPECT_EQ(engine.discoveries, discoveries) << c.name;
        model.dismissNotice();
    }
}

}  // namespace
