#include <gtest/gtest.h>

#include "TestSupport.hpp"
#include "pages/OverviewCards.hpp"

namespace {
SuggestionReport reportWith(size_t count, std::vector<std::string> notes = {}) {
    SuggestionReport report;
    report.totalReclaimable = "9 GB";
    report.safeReclaimable = "2 GB";
    report.safeReclaimableBytes = 2'000'000'000;
    report.suggestions.resize(count);
    report.notes = std::move(notes);
    return report;
}

class OverviewCardsTest : public testing_support::HomeTest {
protected:
    OverviewFacts facts;
    void SetUp() override { facts.now = std::chrono::system_clock::now(); }
};
}  // namespace

TEST_F(OverviewCardsTest, ReclaimCardAndTheListFollowTheReport) {
    EXPECT_FALSE(OverviewCards::showsPermissionBanner(facts));
    facts.fullDiskAccess = false;
    EXPECT_TRUE(OverviewCards::showsPermissionBanner(facts));

    SummaryCard card = OverviewCards::reclaim(facts);
    EXPECT_EQ(card.figure, "—");
    EXPECT_TRUE(card.dim);
    EXPECT_FALSE(card.enabled);
    EXPECT_EQ(card.button, "See Suggestions");  // no count before there is one
    EXPECT_FALSE(OverviewCards::safeLine(facts));
    facts.isAnalyzing = true;
    EXPECT_EQ(OverviewCards::reclaim(facts).figure, "Analyzing…");

    // A report shown while a new analysis runs keeps its figure.
    const SuggestionReport one = reportWith(1);
    facts.report = &one;
    card = OverviewCards::reclaim(facts);
    EXPECT_EQ(card.figure, "9 GB");
    EXPECT_FALSE(card.dim);
    EXPECT_TRUE(card.enabled);
    EXPECT_EQ(card.button, "See 1 Suggestion");
    const SafeLine line = *OverviewCards::safeLine(facts);
    EXPECT_EQ(line.lead + line.safe + line.tail, "Of this, 2 GB is safe to clean");
    EXPECT_EQ(OverviewCards::topCount(facts), 1u);

    const SuggestionReport seven = reportWith(7);
    facts.report = &seven;
    EXPECT_EQ(OverviewCards::topCount(facts), 5u);
    const SuggestionReport notesOnly = reportWith(0, {"a", "b"});
    facts.report = &notesOnly;
    EXPECT_EQ(OverviewCards::topCount(facts), 0u);
    // No suggestion: no "See 0 Suggestions" to press.
    card = OverviewCards::reclaim(facts);
    EXPECT_EQ(card.button, "See Suggestions");
    EXPECT_FALSE(card.enabled);

    // Nothing safe to clean: no "of this" line naming a share of nothing.
    SuggestionReport noneSafe = reportWith(2);
    noneSafe.safeReclaimable = "Zero KB";
    noneSafe.safeReclaimableBytes = 0;
    facts.report = &noneSafe;
    EXPECT_FALSE(OverviewCards::safeLine(facts));
}

TEST_F(OverviewCardsTest, HomeCardStates) {
    SummaryCard card = OverviewCards::scan(facts);
    EXPECT_EQ(OverviewCards::scanState(facts), OverviewCards::ScanState::none);
    EXPECT_EQ(card.figure, "—");
    EXPECT_TRUE(card.dim);
    EXPECT_EQ(card.button, "Start Scan");

    ScanResult scan;
    scan.root.size = 2'500'000;
    scan.fileCount = 12'000;
    scan.scannedAt = facts.now - std::chrono::minutes(5);
    facts.scan = &scan;
    card = OverviewCards::scan(facts);
    EXPECT_EQ(card.figure, "2.5 MB");
    EXPECT_EQ(card.line, "12,000 files · scanned 5 minutes ago");
    EXPECT_EQ(card.button, "Open Space Map");

    // Scanning wins over an older scan; before any progress it counts from 0.
    facts.isScanning = true;
    card = OverviewCards::scan(facts);
    EXPECT_EQ(card.figure, "0 KB");
    EXPECT_EQ(card.line, "Scanned 0 files");
    EXPECT_EQ(card.button, "Stop");
    facts.scanProgress = ScanProgress{1, 4000, "/x"};
    EXPECT_EQ(OverviewCards::scan(facts).line, "Scanned 1 file");
}

TEST_F(OverviewCardsTest, BackupCardLines) {
    SummaryCard card = OverviewCards::backup(facts);
    EXPECT_EQ(card.figure, "Not connected");
    EXPECT_TRUE(card.dim);
    EXPECT_EQ(card.line, "Detected once you sign in to a cloud drive");
    EXPECT_EQ(card.button, "Set Up Backup");

    facts.destinations = {"iCloud Drive", "Dropbox"};
    facts.plans = 1;
    card = OverviewCards::backup(facts);
    EXPECT_EQ(card.figure, "2 destinations");
    EXPECT_FALSE(card.dim);
    EXPECT_EQ(card.line, "iCloud Drive, Dropbox");
    EXPECT_EQ(card.button, "Manage 1 Backup Plan");

    facts.lastBackup = facts.now - std::chrono::hours(2);
    facts.destinations.resize(1);
    card = OverviewCards::backup(facts);
    EXPECT_EQ(card.figure, "1 destination");
    EXPECT_EQ(card.line, "Last backup: 2 hours ago");
}

TEST_F(OverviewCardsTest, DiskWarningFromNinetyPercent) {
    VolumeInfo volume;
    volume.usedPercent = 89.9;
    EXPECT_FALSE(OverviewCards::diskWarning(volume));
    volume.usedPercent = 90;
    EXPECT_EQ(OverviewCards::diskWarning(volume),
              "Disk is 90% full. The system needs about 10% free space to run smoothly.");
    EXPECT_EQ(OverviewCards::percentText(92.5), "92.5");
}
