#include <chrono>

#include "Service.hpp"
#include "TestSupport.hpp"
#include "config/Config.hpp"
#include "scan/ScanStore.hpp"

using namespace testing_support;
using namespace std::chrono;

namespace {

/// Scans `path` now and stores the result as if it had been made `age` ago.
ScanResult storeAged(const std::string& path, seconds age) {
    ScanResult result = Scanner::scan(path);
    result.scannedAt = system_clock::now() - age;
    ScanStore::store(result, path);
    return result;
}

VolumeInfo rootAt(double usedPercent) {
    VolumeInfo volume;
    volume.mountPoint = "/";
    volume.isRoot = true;
    volume.usedPercent = usedPercent;
    volume.available = "20.5 GB";
    return volume;
}

class ServiceTest : public HomeTest {
protected:
    void SetUp() override {
        writeFile(home.path("Movies/a.mov"), 3'000'000);
        writeFile(home.path("Movies/b.mov"), 2'000'000);
        writeFile(home.path("Documents/report.pdf"), 1'500'000);
    }
    std::string movies() const { return home.home() + "/Movies"; }
};

}  // namespace

TEST_F(ServiceTest, AYoungHomeScanAnswersForFoldersInsideIt) {
    storeAged(home.home(), minutes(10));
    // Added after the stored scan: only a new scan would see it.
    writeFile(home.path("Movies/c.mov"), 4'000'000);

    auto tree = Service::tree("~/Movies", false);
    EXPECT_TRUE(tree.cached);
    EXPECT_EQ(tree.result.root.path, home.home());
    EXPECT_EQ(tree.node.path, movies());
    EXPECT_EQ(tree.node.children->size(), 2u);

    // The home folder itself is answered by its own stored scan.
    auto whole = Service::tree(home.home(), false);
    EXPECT_TRUE(whole.cached);
    EXPECT_EQ(whole.node.path, home.home());
}

TEST_F(ServiceTest, AnOldHomeScanIsPassedOverForTheFolderItself) {
    storeAged(home.home(), minutes(16));
    writeFile(home.path("Movies/c.mov"), 4'000'000);

    auto tree = Service::tree(movies(), false);
    EXPECT_FALSE(tree.cached);
    EXPECT_EQ(tree.result.root.path, movies());
    EXPECT_EQ(tree.node.children->size(), 3u);
    // The folder is stored under its own path; the home scan stays as it was.
    auto again = Service::tree(movies(), false);
    EXPECT_TRUE(again.cached);
    EXPECT_EQ(again.result.root.path, movies());
    auto homeScan = ScanStore::cached(home.home(), 86400);
    ASSERT_TRUE(homeScan);
    EXPECT_EQ(homeScan->root.find(movies())->children->size(), 2u);
}

TEST_F(ServiceTest, AFolderTheHomeScanDoesNotHoldIsScannedOnItsOwn) {
    writeFile(home.path("tiny/note.txt"), 10);
    storeAged(home.home(), minutes(1));
    auto tree = Service::tree("~/tiny", false);
    EXPECT_FALSE(tree.cached);
    EXPECT_EQ(tree.node.path, home.home() + "/tiny");
}

TEST_F(ServiceTest, RefreshAlwaysScans) {
    storeAged(movies(), minutes(1));
    writeFile(home.path("Movies/c.mov"), 4'000'000);
    auto tree = Service::tree(movies(), true);
    EXPECT_FALSE(tree.cached);
    EXPECT_EQ(tree.node.children->size(), 3u);
    EXPECT_THROW(Service::tree("~/missing", true), OstrevaneError);
}

TEST_F(ServiceTest, StatusReportsTheLastHomeScanUpToADayOld) {
    auto status = Service::status();
    EXPECT_EQ(status.home, home.home());
    EXPECT_FALSE(status.lastHomeScan);
    EXPECT_FALSE(status.volumes.empty());
    EXPECT_TRUE(status.volumes.front().isRoot);

    auto stored = storeAged(home.home(), hours(2));
    status = Service::status();
    ASSERT_TRUE(status.lastHomeScan);
    EXPECT_EQ(status.lastHomeScan->totalBytes, stored.root.size);
    EXPECT_EQ(status.lastHomeScan->total, Fmt::bytes(stored.root.size));
    EXPECT_EQ(status.lastHomeScan->fileCount, 3);
    json document = status;
    EXPECT_EQ(document["lastHomeScan"]["fileCount"], 3);

    storeAged(home.home(), hours(25));
    EXPECT_FALSE(Service::status().lastHomeScan);
}

TEST_F(ServiceTest, AdviceFollowsTheRootVolumesFullness) {
    EXPECT_FALSE(Service::advice({rootAt(79.9)}));
    EXPECT_EQ(Service::advice({rootAt(80.0)}), "Startup disk is 80.0% full. Time to clean up.");
    EXPECT_EQ(Service::advice({rootAt(89.9)}), "Startup disk is 89.9% full. Time to clean up.");
    EXPECT_EQ(Service::advice({rootAt(91.3)}),
              "Startup disk is 91.3% full with only 20.5 GB left. Run suggest to see what can be freed.");
    VolumeInfo other = rootAt(99);
    other.isRoot = false;
    EXPECT_FALSE(Service::advice({other}));

    Service::Status status;
    json document = status;
    EXPECT_FALSE(document.contains("advice"));
    EXPECT_FALSE(document.contains("lastHomeScan"));
}

TEST_F(ServiceTest, FullDiskAccessIgnoresTheHomeOverride) {
    ScopedEnv realHome("HOME", home.scratch().string());
    EXPECT_TRUE(Service::hasFullDiskAccess());
    ScopedEnv missing("HOME", (home.scratch() / "nowhere").string());
    EXPECT_FALSE(Service::hasFullDiskAccess());
}

TEST_F(ServiceTest, LargestFilesFilterByAgeWhileCollecting) {
    setAge(home.path("Movies/a.mov"), 86400 * 40);
    setAge(home.path("Movies/b.mov"), 86400 * 5);
    auto node = Scanner::scan(home.home()).root;

    auto all = Service::largestFiles(node, 25, 1'000'000, std::nullopt);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].path, movies() + "/a.mov");
    EXPECT_EQ(all[0].idleDays, 40);

    auto old = Service::largestFiles(node, 1, 1'000'000, 30);
    ASSERT_EQ(old.size(), 1u);
    EXPECT_EQ(old[0].path, movies() + "/a.mov");
    // The limit counts only files that pass the filter.
    auto recent = Service::largestFiles(node, 1, 1'000'000, 0);
    EXPECT_EQ(recent.size(), 1u);

    FileNode undated{"x", "/x", false, 5'000'000, 1, std::nullopt, std::nullopt};
    EXPECT_TRUE(Service::largestFiles(undated, 5, 0, 0).empty());
    auto kept = Service::largestFiles(undated, 5, 0, std::nullopt);
    ASSERT_EQ(kept.size(), 1u);
    json document = kept[0];
    EXPECT_FALSE(document.contains("modified"));
    EXPECT_FALSE(document.contains("idleDays"));

    FileNode future{"y", "/y", false, 5'000'000, 1, system_clock::now() + hours(48), std::nullopt};
    EXPECT_EQ(Service::largestFiles(future, 5, 0, std::nullopt)[0].idleDays, 0);
}

TEST_F(ServiceTest, QuickSuggestionsNeverScan) {
    auto report = Service::suggestions(true, true);
    EXPECT_EQ(report.mode, "quick");
    EXPECT_FALSE(ScanStore::cached(home.home(), 86400));

    auto full = Service::suggestions(false, false);
    EXPECT_EQ(full.mode, "full");
    EXPECT_TRUE(ScanStore::cached(home.home(), 86400));
    // With a young home scan stored, quick mode still gives the full report.
    EXPECT_EQ(Service::suggestions(true, false).mode, "full");
}

TEST_F(ServiceTest, PlanRunsWriteBackOnlyWhenNotADryRun) {
    fs::create_directories(home.path("Backups"));
    BackupPlan plan;
    plan.id = "abcd1234";
    plan.source = movies();
    plan.destinationId = home.home() + "/Backups";
    ConfigStore::save(AppConfig{{}, {plan}});
    std::string before = readText(ConfigStore::filePath());

    auto dry = Service::runPlan(plan, true);
    ASSERT_TRUE(dry.report) << dry.error.value_or("");
    EXPECT_TRUE(dry.report->dryRun);
    EXPECT_EQ(readText(ConfigStore::filePath()), before);

    auto real = Service::runPlan(plan, false);
    ASSERT_TRUE(real.report);
    auto stored = ConfigStore::load().plans.at(0);
    EXPECT_EQ(stored.lastStatus, "ok");
    EXPECT_EQ(real.report->status, BackupStatus::ok);
    EXPECT_EQ(stored.lastSummary, real.report->summary);
    EXPECT_EQ(real.plan.lastStatus, std::nullopt);  // the plan as it was passed in

    BackupPlan broken = plan;
    broken.destinationId = "no-such-destination";
    auto failed = Service::runPlan(broken, false);
    EXPECT_FALSE(failed.report);
    ASSERT_TRUE(failed.error);
    stored = ConfigStore::load().plans.at(0);
    EXPECT_EQ(stored.lastStatus, "failed");
    EXPECT_EQ(stored.lastSummary, *failed.error);
    json document = failed;
    EXPECT_FALSE(document.contains("report"));
}
