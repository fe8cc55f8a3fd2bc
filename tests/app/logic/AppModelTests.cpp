#include <gtest/gtest.h>

#include <set>

#include "ModelHarness.hpp"
#include "TestSupport.hpp"
#include "model/Launch.hpp"
#include "platform/Platform.hpp"

using testing_support::ScopedHome;

namespace {

using AppModelTest = ModelTest;

TEST_F(AppModelTest, StartsWithTheDesignedValuesAndNoWork) {
    EXPECT_EQ(model.section(), AppModel::Section::overview);
    EXPECT_EQ(model.explorerPath(), Paths::home());
    EXPECT_TRUE(model.fullDiskAccess());
    EXPECT_FALSE(model.scan() || model.report() || model.notice() || model.started());
    EXPECT_EQ(harness.executor->pending(), 0u);
    EXPECT_EQ(model.explorerNode(), nullptr);
}

TEST_F(AppModelTest, StartUpRunsOnceAndPrefersAYoungCacheToARescan) {
    struct Case {
        bool cached;
        int scans;
    };
    for (const Case& c : {Case{true, 0}, Case{false, 1}}) {
        ModelHarness run;
        run.engine.destinations = {BackupDestination{"d", DestinationKind::folder, "d", "/d", {}, true, {}}};
        if (c.cached) run.engine.cached = scanOf(folderNode(Paths::home()));
        run.model->bootstrap();
        run.model->bootstrap();
        run.settle();
        EXPECT_TRUE(run.model->started());
        EXPECT_EQ(run.engine.scans, c.scans) << c.cached;
        EXPECT_EQ(run.engine.analyses, 1) << c.cached;
        // One discovery (rclone is asked for its remotes) at the start and one
        // with the analysis; none that the analysis's answer would drop.
        EXPECT_EQ(run.engine.discoveries, 2) << c.cached;
        ASSERT_EQ(run.model->destinations().size(), 1u);
        ASSERT_TRUE(run.model->scan());
        ASSERT_TRUE(run.model->report());
        EXPECT_EQ(run.model->report()->mode, "full");
        // The start-up's cache load and the scan go ahead of background refreshes.
        EXPECT_EQ(run.executor->priorities()[2], Priority::userInitiated);
    }
}

TEST_F(AppModelTest, ASecondRescanWhileOneRunsIsDropped) {
    model.rescan();
    const CancelTokenPtr token = model.scanCancel();
    const size_t jobs = harness.executor->pending();
    model.rescan();
    EXPECT_EQ(harness.executor->pending(), jobs);
    EXPECT_EQ(model.scanCancel(), token);
    harness.settle();
    EXPECT_EQ(engine.scans, 1);
    EXPECT_FALSE(model.isScanning());
}

TEST_F(AppModelTest, ProgressArrivesInOrderBeforeTheResultAndStaysAfterIt) {
    engine.progress = {{10, 100, "/a"}, {20, 200, "/b"}};
    std::vector<int64_t> seen;
    model.observe([&] {
        if (model.scanProgress() && (seen.empty() || seen.back() != model.scanProgress()->files))
            seen.push_back(model.scanProgress()->files);
    });
    model.rescan();
    EXPECT_TRUE(model.isScanning());
    EXPECT_FALSE(model.scanProgress());
    harness.executor->runNext();  // the scan posts its progress, then its result
    harness.dispatcher->drain();
    EXPECT_EQ(seen, (std::vector<int64_t>{10, 20}));
    EXPECT_FALSE(model.isScanning());
    EXPECT_EQ(model.scanProgress()->files, 20);
    model.rescan();
    EXPECT_FALSE(model.scanProgress());
}

TEST_F(AppModelTest, AFailedScanPostsItsErrorAndACancelledOneStaysSilent) {
    struct Case {
        bool cancel;
        bool notice;
    };
    for (const Case& c : {Case{false, true}, Case{true, false}}) {
        ModelHarness run;
        run.engine.cached = scanOf(folderNode(Paths::home()));
        run.model->bootstrap();
        run.settle();
        const auto scanBefore = run.model->scan();
        const auto reportBefore = run.model->report();
        run.engine.scan = [&](const CancelTokenPtr& token, const ScanProgressHandler&) -> ScanResult {
            if (c.cancel) token->cancel();
            throw OstrevaneError(c.cancel ? L("扫描已取消") : L("路径不存在或无法访问: %@", "/gone"));
        };
        run.model->rescan();
        run.settle();
        EXPECT_FALSE(run.model->isScanning());
        EXPECT_EQ(run.model->scan(), scanBefore);
        EXPECT_EQ(run.model->report(), reportBefore);
        EXPECT_EQ(run.model->notice().has_value(), c.notice);
        if (c.notice) {
            EXPECT_EQ(run.model->notice()->text, "Path doesn’t exist or can’t be accessed: /gone");
            EXPECT_TRUE(run.model->notice()->isError);
        }
    }
}

TEST_F(AppModelTest, ANoticeClearsEightSecondsAfterItWasPostedUnlessReplaced) {
    model.notify("first", false);
    harness.timer->advance(5);
    model.notify("second", true);
    EXPECT_EQ(model.notice()->text, "second");
    harness.timer->advance(3);  // the first notice's timer fires and leaves the second alone
    ASSERT_TRUE(model.notice());
    harness.timer->advance(4.9);
    EXPECT_TRUE(model.notice());
    harness.timer->advance(0.2);
    EXPECT_FALSE(model.notice());
    // Equal texts still make distinct notices.
    model.notify("same", false);
    const auto first = *model.notice();
    model.notify("same", false);
    EXPECT_NE(first, *model.notice());
}

TEST_F(AppModelTest, OnlyTheNewestRequestOfEachKindIsApplied) {
    auto answer = [&](const std::string& name) {
        engine.destinations = {BackupDestination{name, DestinationKind::folder, name, "/" + name, {}, true, {}}};
    };
    model.refreshLight();  // destinations (and volumes)
    model.analyze();       // destinations and the report
    model.refreshLight();
    model.analyze();
    // The newer requests finish first; the older ones land afterwards with other answers.
    answer("new");
    for (int i = 0; i < 3; ++i) harness.executor->runNewest();
    harness.dispatcher->drain();
    answer("old");
    harness.settle();
    EXPECT_EQ(model.report()->notes, (std::vector<std::string>{"analysis 1"}));
    EXPECT_FALSE(model.isAnalyzing());
    EXPECT_EQ(model.destinations()[0].id, "new");
}

TEST_F(AppModelTest, VolumeReadsNeverPileUpBehindAHungOne) {
    model.refreshLight();
    const size_t jobs = harness.executor->pending();
    model.refreshLight();
    model.refreshLight();
    EXPECT_EQ(harness.executor->pending(), jobs + 2);  // two more discoveries of destinations, no volume read
    engine.volumes = {*VolumeInfo::make("disk", "/", 100, 50, 0, true)};
    harness.settle();
    EXPECT_EQ(engine.volumeReads, 2);  // the requests made meanwhile became one more read
    EXPECT_EQ(model.volumes()[0].name, "disk");
}

TEST_F(AppModelTest, AnOlderAnalysisFinishingFirstLeavesTheModelAnalyzing) {
    model.analyze();
    model.analyze();
    harness.executor->runNext();
    harness.dispatcher->drain();
    EXPECT_TRUE(model.isAnalyzing());
    EXPECT_FALSE(model.report());
    harness.settle();
    EXPECT_FALSE(model.isAnalyzing());
    EXPECT_EQ(model.report()->notes, (std::vector<std::string>{"analysis 2"}));
}

TEST_F(AppModelTest, StartingWithUnreadableStoredFilesPostsOneErrorNotice) {
    engine.startupNotices = AppEngine::live().startupNotices;
    testing_support::writeText(ConfigStore::filePath(), "{\"plans\": [");
    testing_support::writeText(UserDefaults::filePath(), "{\"AppleLanguages\": [");
    // The start-up writes the appearance defaults, keeping the damaged file aside.
    Launch::writeDefaults();
    auto notices = harness.recordNotices();
    engine.cached = scanOf(folderNode(Paths::home()));
    model.bootstrap();
    harness.settle();
    ASSERT_EQ(notices->size(), 1u);
    EXPECT_TRUE(notices->front().isError);
    const std::string config = Paths::abbreviate(ConfigStore::filePath().string());
    const std::string kept = Paths::abbreviate(*UserDefaults::keptAside());
    EXPECT_EQ(notices->front().text, "The configuration file " + config + " couldn’t be read and was ignored.\n" +
                                         "The settings file couldn’t be read; its contents were kept in " + kept + ".");
    EXPECT_EQ(testing_support::readText(*UserDefaults::keptAside()), "{\"AppleLanguages\": [");
}

TEST_F(AppModelTest, PruningStoresTheTreeExceptDuringAScanAndMovesTheExplorerUp) {
    const std::string root = Paths::home();
    auto leaf = folderNode(root + "/a/b", {}, 10);
    engine.cached = scanOf(folderNode(root, {folderNode(root + "/a", {leaf}, 5)}));
    model.bootstrap();
    harness.settle();
    model.setExplorerPath(root + "/a/b");

    AppModelTestAccess::removeFromScan(model, {root + "/a/b"});
    harness.settle();
    EXPECT_EQ(model.scan()->root.size, 5);
    EXPECT_EQ(model.explorerPath(), root + "/a");
    ASSERT_EQ(engine.stored.size(), 1u);
    EXPECT_EQ(engine.stored[0].root.size, 5);

    engine.scan = [](const CancelTokenPtr&, const ScanProgressHandler&) -> ScanResult { throw OstrevaneError("x"); };
    model.rescan();
    AppModelTestAccess::removeFromScan(model, {root + "/a"});
    harness.settle();
    EXPECT_EQ(engine.stored.size(), 1u);
}

TEST_F(AppModelTest, OnlyTheNewestPrunedTreeIsStoredWhenStoresFinishOutOfOrder) {
    const std::string root = Paths::home();
    engine.cached = scanOf(folderNode(root, {folderNode(root + "/a", {}, 1), folderNode(root + "/b", {}, 2)}));
    model.bootstrap();
    harness.settle();
    AppModelTestAccess::removeFromScan(model, {root + "/a"});
    AppModelTestAccess::removeFromScan(model, {root + "/b"});
    while (harness.executor->runNewest()) {
    }
    ASSERT_EQ(engine.stored.size(), 1u);
    EXPECT_EQ(engine.stored[0].root.size, 0);
}

TEST_F(AppModelTest, ALateCacheLoadNeverReplacesANewerScan) {
    engine.cached = scanOf(folderNode(Paths::home(), {}, 1));
    engine.scanResult = scanOf(folderNode(Paths::home(), {}, 2));
    model.bootstrap();  // the cache load waits in the queue
    model.rescan();
    while (harness.executor->runNewest()) harness.dispatcher->drain();
    harness.settle();
    EXPECT_EQ(model.scan()->root.size, 2);
}

TEST_F(AppModelTest, ResultsForAModelThatIsGoneAreDropped) {
    model.bootstrap();
    model.notify("bye", false);
    std::weak_ptr<AppModel> weak = harness.model;
    harness.model.reset();
    EXPECT_TRUE(weak.expired());
    harness.settle();
    harness.timer->advance(10);
    EXPECT_EQ(engine.scans, 0);  // the cache load's result, asking for a rescan, went nowhere
}

TEST_F(AppModelTest, SectionsAndDerivedValues) {
    EXPECT_EQ(AppModel::sectionFromRaw("explorer"), AppModel::Section::explorer);
    EXPECT_EQ(AppModel::sectionFromRaw("settings"), std::nullopt);
    EXPECT_EQ(AppModel::title(AppModel::Section::agent), "Connect AI");
    // Every section's row: a raw value that leads back to it, a title and a symbol of its own.
    std::set<std::string> titles, symbols;
    for (AppModel::Section section : AppModel::sections()) {
        EXPECT_EQ(AppModel::sectionFromRaw(AppModel::rawValue(section)), section) << AppModel::rawValue(section);
        titles.insert(AppModel::title(section));
        symbols.insert(std::string(AppModel::symbol(section)));
    }
    EXPECT_EQ(AppModel::sections().size(), 5u);
    EXPECT_EQ(titles.size(), AppModel::sections().size());
    EXPECT_EQ(symbols.size(), AppModel::sections().size());
    EXPECT_FALSE(titles.count(""));
    EXPECT_FALSE(symbols.count(""));

    VolumeInfo root = *VolumeInfo::make("root", "/", 100, 50, 0, true);
    root.isRoot = true;
    VolumeInfo homeVolume = *VolumeInfo::make("home", home.scratch().string(), 100, 50, 0, true);
    engine.volumes = {root, homeVolume};
    model.refreshLight();
    harness.settle();
    ASSERT_TRUE(model.rootVolume());
    EXPECT_EQ(model.rootVolume()->name, "home");  // the volume holding the home folder

    engine.cached = scanOf(folderNode(Paths::home(), {folderNode(Paths::home() + "/x")}));
    model.bootstrap();
    harness.settle();
    model.setExplorerPath("/elsewhere");
    EXPECT_EQ(model.explorerNode(), &model.scan()->root);
    model.setExplorerPath(Paths::home() + "/x");
    EXPECT_EQ(model.explorerNode()->name, "x");
}

}  // namespace
