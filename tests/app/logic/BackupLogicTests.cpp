#include <gtest/gtest.h>

#include "TestSupport.hpp"
#include "pages/BackupLogic.hpp"
#include "platform/Host.hpp"

namespace {
using namespace BackupPageLogic;

BackupDestination destination(std::string id, std::optional<std::string> path,
                              std::optional<std::string> remote = std::nullopt) {
    BackupDestination d;
    d.id = id;
    d.name = "Name " + id;
    d.path = std::move(path);
    d.rcloneRemote = std::move(remote);
    d.available = true;
    return d;
}

class BackupLogicTest : public testing_support::HomeTest {};

TEST_F(BackupLogicTest, ProgressFractionIsEmptyWithoutATotalAndFullAtMost) {
    const struct {
        int64_t done, total;
        double fraction;
    } cases[] = {{5, 0, 0}, {0, 0, 0}, {50, 200, 0.25}, {300, 200, 1}, {200, 200, 1}};
    for (const auto& c : cases) {
        BackupProgress progress;
        progress.bytesDone = c.done;
        progress.bytesTotal = c.total;
        EXPECT_DOUBLE_EQ(progressFraction(progress), c.fraction) << c.done << "/" << c.total;
    }
}

TEST_F(BackupLogicTest, ThreeColumnsFitTheDefaultPageAndNeverFewerThanOne) {
    EXPECT_EQ(gridColumns(964 - 48), 3);
    EXPECT_EQ(gridColumns(912), 3);
    EXPECT_EQ(gridColumns(911), 2);
    EXPECT_EQ(gridColumns(296), 1);
    EXPECT_EQ(gridColumns(100), 1);
}

TEST_F(BackupLogicTest, LastRunLineWithSummaryStatusOrNeither) {
    const Date now = std::chrono::system_clock::now();
    BackupPlan plan("/h/Documents", "icloud");
    EXPECT_FALSE(lastRunLine(plan, now));
    plan.lastRun = now - std::chrono::hours(3);
    const std::string ago = Fmt::ago(*plan.lastRun, now);
    const struct {
        std::optional<std::string> status, summary;
        std::string text;
        bool ok;
    } cases[] = {
        {"ok", "copied 3", ago + " · copied 3", true},
        {"cancelled", "copied 1", ago + " · copied 1", false},
        {"completed_with_errors", std::nullopt, ago + " · completed_with_errors", false},
        {std::nullopt, std::nullopt, ago + " · ", false},
    };
    for (const auto& c : cases) {
        plan.lastStatus = c.status;
        plan.lastSummary = c.summary;
        const auto line = lastRunLine(plan, now);
        ASSERT_TRUE(line);
        EXPECT_EQ(line->text, c.text);
        EXPECT_EQ(line->ok, c.ok) << c.text;
    }
}

TEST_F(BackupLogicTest, TheLastRunsSummaryReadsInTheReadersLanguage) {
    const Date now = std::chrono::system_clock::now();
    BackupPlan plan("/h/Documents", "icloud");
    plan.lastRun = now - std::chrono::hours(1);
    plan.lastStatus = "ok";
    plan.lastSummary = "已复制 2 个文件(3 KB),0 个已是最新。";
    BackupReport run;
    run.source = "/h/Documents", run.finishedAt = *plan.lastRun, run.status = BackupStatus::ok;
    run.filesCopied = 2, run.bytesCopied = 3000;
    BackupReport other = run;
    other.source = "/h/Other", other.filesCopied = 9;
    const std::string ago = Fmt::ago(*plan.lastRun, now) + " · ";
    EXPECT_EQ(lastRunLine(plan, now, {other, run})->text, ago + "Copied 2 files (3 KB); 0 already up to date.");
    EXPECT_EQ(lastRunLine(plan, now, {other})->text, ago + *plan.lastSummary) << "an old run holds only its text";
}

TEST_F(BackupLogicTest, RowsLabelsAndRunAll) {
    EXPECT_TRUE(revealable("/mnt/disk/Ostrevane Backups/x"));
    EXPECT_TRUE(revealable("/odd:name/folder"));
    EXPECT_TRUE(revealable("relative/folder"));
    EXPECT_FALSE(revealable("backup:Ostrevane Backups/x"));

    EXPECT_FALSE(offersRunAll(0));
    EXPECT_FALSE(offersRunAll(1));
    EXPECT_TRUE(offersRunAll(2));

    EXPECT_TRUE(planIsRunning(std::string("all"), "p1"));
    EXPECT_TRUE(planIsRunning(std::string("p1"), "p1"));
    EXPECT_FALSE(planIsRunning(std::string("p2"), "p1"));
    EXPECT_FALSE(planIsRunning(std::nullopt, "p1"));

    const std::vector<BackupDestination> all = {destination("a", "/x"), destination("b", std::nullopt, "r:")};
    EXPECT_EQ(destinationLabel(BackupPlan("/s", "b"), all), "Name b");
    EXPECT_EQ(destinationLabel(BackupPlan("/s", "gone"), all), "gone");
    EXPECT_EQ(location(all[1]), "r:");
    EXPECT_EQ(location(destination("c", std::nullopt)), "");
}

TEST_F(BackupLogicTest, AddPlanSheetTransitions) {
    const std::vector<BackupDestination> available = {destination("a", home.home() + "/A"),
                                                      destination("b", std::nullopt, "remote:")};
    AddPlanState state;
    state.newDestination = "old";
    state.chose(std::nullopt, available);  // a cancelled chooser changes nothing
    EXPECT_FALSE(state.isOpen());
    EXPECT_EQ(state.newDestination, "old");

    state.chose(home.home() + "/Documents", available);
    EXPECT_TRUE(state.isOpen());
    EXPECT_EQ(state.selectedRow(available), 0u);
    EXPECT_EQ(state.locationLine(available), "Location: ~/A/Ostrevane Backups/" + Host::computerName() + "/Documents");

    state.select("b");
    EXPECT_EQ(state.selectedRow(available), 1u);
    EXPECT_EQ(state.locationLine(available),
              "Location: remote:Ostrevane Backups/" + Host::computerName() + "/Documents");

    // A destination that went away: no row, no location, but adding still works.
    state.select("gone");
    EXPECT_FALSE(state.selectedRow(available));
    EXPECT_FALSE(state.locationLine(available));
    EXPECT_TRUE(state.canAdd());
    EXPECT_EQ(state.add(), std::make_pair(home.home() + "/Documents", std::string("gone")));
    EXPECT_FALSE(state.isOpen());
    EXPECT_EQ(state.newDestination, "gone");

    // No destinations: nothing picked, "Add" only closes.
    state.chose(home.home() + "/Music", {});
    EXPECT_FALSE(state.canAdd());
    EXPECT_FALSE(state.add());
    EXPECT_FALSE(state.isOpen());
}
}  // namespace
