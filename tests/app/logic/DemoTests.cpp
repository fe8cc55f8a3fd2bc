#include <gtest/gtest.h>

#include "ModelHarness.hpp"
#include "TestSupport.hpp"
#include "demo/Demo.hpp"

using testing_support::ScopedHome;

namespace {

struct Loaded {
    ScopedHome home;
    ModelHarness harness;
    explicit Loaded(const std::string& language) : home(language) { Demo::load(*harness.model); }
    const AppModel& model() const { return *harness.model; }
};

const FileNode& child(const FileNode& node, const std::string& name) {
    for (const FileNode& entry : *node.children)
        if (entry.name == name) return entry;
    throw std::runtime_error("no child " + name);
}

TEST(Demo, TheTreeHasTheDesignedFiguresAndOrder) {
    Loaded demo("en");
    EXPECT_TRUE(Demo::isActive());
    const ScanResult& scan = *demo.model().scan();
    const FileNode& root = scan.root;
    EXPECT_EQ(root.path, Paths::home());
    EXPECT_EQ(root.name, Paths::lastComponent(Paths::home()));
    EXPECT_EQ(root.size, 285'700'000'000);
    EXPECT_EQ(root.fileCount, 247'460);
    EXPECT_EQ(scan.fileCount, 247'460);
    EXPECT_EQ(scan.minNodeSize, 1'048'576);

    std::vector<std::string> order;
    for (const FileNode& entry : *root.children) order.push_back(entry.name);
    EXPECT_EQ(order,
              (std::vector<std::string>{"Library", "Movies", "Code", "Downloads", ".ollama", "Pictures", "Documents",
                                        ".cache", "Desktop", "Music", ".npm", ".Trash", ".gradle", ".cargo"}));
    struct Figure {
        const FileNode& node;
        int64_t size, files;
    };
    for (const Figure& f :
         {Figure{child(root, "Library"), 123'700'000'000, 111'341},
          Figure{child(root, "Downloads"), 21'000'000'000, 8'644}, Figure{child(root, ".Trash"), 3'100'000'000, 2'790},
          Figure{child(child(root, "Library"), "Group Containers"), 3'400'000'000, 3'060},
          Figure{child(child(root, "Downloads"), "open-dataset.zip"), 4'200'000'000, 1}}) {
        EXPECT_EQ(f.node.size, f.size) << f.node.name;
        EXPECT_EQ(f.node.fileCount, f.files) << f.node.name;
    }
    const FileNode& code = child(root, "Code");
    EXPECT_EQ((*code.children)[3].name, "design-system");  // ties keep the entries' order
    EXPECT_EQ((*code.children)[4].name, "ios-app");
    // Half a day: the folder's own date is newer than its children's.
    const Date loaded = scan.scannedAt + std::chrono::seconds(720);
    EXPECT_NEAR(std::chrono::duration<double>(loaded - *child(root, "Downloads").modified).count(), 43'200, 2);
}

TEST(Demo, TheReportKeepsItsOrderAndTotals) {
    Loaded demo("en");
    const SuggestionReport& report = *demo.model().report();
    ASSERT_EQ(report.suggestions.size(), 15u);
    EXPECT_EQ(report.totalReclaimableBytes, 160'400'000'000);
    EXPECT_EQ(report.safeReclaimableBytes, 32'700'000'000);
    EXPECT_EQ(report.mode, "full");
    EXPECT_EQ(report.suggestions[4].id, "docker-data");  // 12.3 GB before 12.8 GB: not re-sorted
    int autoApplicable = 0;
    for (const Suggestion& suggestion : report.suggestions) {
        autoApplicable += suggestion.autoApplicable;
        for (const std::string& path : suggestion.paths)  // every path is a node of the tree
            EXPECT_TRUE(demo.model().scan()->root.find(path)) << path;
    }
    EXPECT_EQ(autoApplicable, 7);
    EXPECT_EQ(report.suggestions[1].paths[0], Paths::home() + "/Movies/Travel Vlog Footage 2024");
    EXPECT_EQ((*report.suggestions[5].items)[3].note, "Untouched for 400 days");
}

TEST(Demo, TheBackupHalfAndTheVolume) {
    Loaded demo("zh");
    const AppModel& model = demo.model();
    ASSERT_EQ(model.volumes().size(), 1u);
    EXPECT_EQ(model.rootVolume()->usedPercent, 430.98 / 494.38 * 100);
    EXPECT_EQ(model.availableDestinations().size(), 3u);
    EXPECT_EQ(model.destinations()[0].name, "iCloud 云盘");
    EXPECT_FALSE(model.destinations()[1].note);
    ASSERT_EQ(model.plans().size(), 3u);
    EXPECT_FALSE(model.plans()[2].lastRun);
    EXPECT_EQ(model.plans()[0].lastRun, model.history()[0].startedAt);
    ASSERT_EQ(model.history().size(), 3u);
    for (const BackupReport& report : model.history()) {
        EXPECT_EQ(report.filesCopied + report.filesSkipped, report.filesTotal);
        EXPECT_EQ(report.finishedAt - report.startedAt, std::chrono::seconds(140));
    }
    EXPECT_EQ(model.history()[1].target, "/Volumes/T7/Ostrevane Backups/MacBook Pro/Code");
    EXPECT_NE(model.history()[0].id, model.history()[2].id);
    // The demo starts no engine work and leaves the operation state alone.
    EXPECT_EQ(demo.harness.executor->pending(), 0u);
    EXPECT_FALSE(model.isScanning() || model.isAnalyzing() || model.notice() || model.started());
}

}  // namespace
