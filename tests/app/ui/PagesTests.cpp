#include <gtest/gtest.h>

#include <QLabel>
#include <filesystem>

#include "clean/Cleaner.hpp"

#include <QTest>
#include <chrono>
#include <cstdlib>

#include "../logic/ModelHarness.hpp"
#include "TestSupport.hpp"
#include "demo/Demo.hpp"
#include "desktop/Desktop.hpp"
#include "snapshot/PageImages.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/PageScroll.hpp"
#include "ui/controls/TextLink.hpp"
#include "ui/pages/AddPlanSheet.hpp"
#include "ui/pages/BackupPage.hpp"
#include "ui/pages/SuggestionsPage.hpp"

namespace {
void click(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

class PagesTest : public testing_support::HomeTest {
protected:
    PagesTest() { frame.resize(964, 730); }

    /// Two safe suggestions with one path each, and a command on the second.
    void reportTwoSuggestions() {
        harness.engine.suggestions = {
            Suggestion("caches", "cache", "Caches", "d", {home.home() + "/Library/Caches"}, 3'000'000, Risk::safe,
                       CleanAction::trashContents),
            Suggestion("npm", "developer", "npm", "d", {home.home() + "/.npm"}, 2'000'000, Risk::safe,
                       CleanAction::trashContents, "npm cache clean --force"),
        };
        harness.model->analyze();
        harness.settle();
    }

    ModelHarness harness;
    QWidget frame;
    ConfirmSheetHost* host = new ConfirmSheetHost(&frame);
};

TEST_F(PagesTest, ConfirmingACleanAppliesThatSuggestionOnce) {
    reportTwoSuggestions();
    SuggestionsPage page(PageContext::over(harness.model, host));
    ASSERT_EQ(page.cards().size(), 2u);
    click(page.cards()[1]->secondButton());
    ASSERT_TRUE(host->request());
    EXPECT_TRUE(host->request()->destructive);
    EXPECT_TRUE(harness.engine.applied.empty());
    click(host->sheet()->confirmButton());
    harness.settle();
    EXPECT_EQ(harness.engine.applied, std::vector<std::string>{"npm"});
}

TEST_F(PagesTest, CleanSafeItemsMovesWhatItsSheetNamedThoughANewReportLandedMeanwhile) {
    const std::string caches = home.home() + "/Library/Caches", npm = home.home() + "/.npm";
    harness.engine.suggestions = {
        Suggestion("caches", "cache", "Caches", "d", {caches}, 3'000'000, Risk::safe, CleanAction::trashContents)};
    harness.engine.analyzeHook = [](SuggestionReport& report) {
        for (const Suggestion& suggestion : report.suggestions)
            report.safeReclaimableBytes += suggestion.reclaimableBytes;
        report.safeReclaimable = Fmt::bytes(report.safeReclaimableBytes);
    };
    harness.model->analyze();
    harness.settle();
    SuggestionsPage page(PageContext::over(harness.model, host));
    click(page.allSafeButton());
    ASSERT_TRUE(host->request());
    const std::string named = host->request()->message;
    // A rescan's analysis lands while the sheet is open and finds one more safe item.
    harness.engine.suggestions.push_back(
        Suggestion("npm", "developer", "npm", "d", {npm}, 2'000'000, Risk::safe, CleanAction::trashContents));
    harness.model->analyze();
    harness.settle();
    ASSERT_EQ(harness.model->report()->suggestions.size(), 2u);
    ASSERT_TRUE(host->request());
    EXPECT_EQ(host->request()->message, named);
    click(host->sheet()->confirmButton());
    harness.settle();
    EXPECT_EQ(harness.engine.applied, std::vector<std::string>{"caches"});
}

TEST_F(PagesTest, ABusyCleanShowsItsSpinnerAndDisablesTheOtherCleaningControls) {
    reportTwoSuggestions();
    SuggestionsPage page(PageContext::over(harness.model, host));
    harness.model->apply(harness.model->report()->suggestions[0]);
    ASSERT_EQ(harness.model->busySuggestion(), "caches");
    // The page may have rebuilt its cards; read them afresh.
    EXPECT_TRUE(page.cards()[0]->showsSpinner());
    EXPECT_EQ(page.cards()[0]->secondButton(), nullptr);
    EXPECT_FALSE(page.cards()[1]->showsSpinner());
    ASSERT_NE(page.cards()[1]->secondButton(), nullptr);
    EXPECT_FALSE(page.cards()[1]->secondButton()->isEnabled());
    EXPECT_FALSE(page.allSafeButton()->isEnabled());
    harness.settle();
    EXPECT_FALSE(harness.model->busySuggestion());
    ASSERT_NE(page.cards()[1]->secondButton(), nullptr);
    EXPECT_TRUE(page.cards()[1]->secondButton()->isEnabled());
}

TEST_F(PagesTest, WithNoSafeItemsTheHeaderNamesNoShareOfNothing) {
    harness.engine.suggestions = {Suggestion("old", "downloads", "Old", "d", {home.home() + "/Downloads/x"}, 4'000'000,
                                             Risk::review, CleanAction::trash)};
    harness.engine.analyzeHook = [](SuggestionReport& report) {
        report.safeReclaimable = "0 KB";
        report.safeReclaimableBytes = 0;
    };
    harness.model->analyze();
    harness.settle();
    SuggestionsPage page(PageContext::over(harness.model, host));
    ASSERT_NE(page.allSafeButton(), nullptr);
    EXPECT_EQ(page.allSafeButton()->label(), "Clean Safe Items");
    EXPECT_FALSE(page.allSafeButton()->isEnabled());
    for (const QLabel* label : page.findChildren<QLabel*>()) {
        EXPECT_FALSE(label->text().startsWith("Of this")) << label->text().toStdString();
        EXPECT_FALSE(label->text().contains("0 KB")) << label->text().toStdString();
    }
}

TEST_F(PagesTest, AnArchiveOfAProtectedFolderIsRefusedBeforeItIsOffered) {
    const std::string desktop = home.home() + "/Desktop", old = home.home() + "/Old Projects";
    std::filesystem::create_directories(desktop);
    std::filesystem::create_directories(old);
    harness.engine.destinations = {
        BackupDestination{"folder:B", DestinationKind::folder, "B", home.home() + "/../b", {}, true, {}}};
    harness.engine.suggestions = {
        Suggestion("desk", "archive", "Desktop", "d", {desktop}, 9'000'000, Risk::review, CleanAction::offload),
        Suggestion("old", "archive", "Old", "d", {old}, 9'000'000, Risk::review, CleanAction::offload),
    };
    harness.model->analyze();
    harness.settle();
    SuggestionsPage page(PageContext::over(harness.model, host));
    ASSERT_EQ(page.cards().size(), 2u);
    QAbstractButton* refused = page.cards()[0]->secondButton();
    QAbstractButton* offered = page.cards()[1]->secondButton();
    ASSERT_TRUE(refused && offered);
    EXPECT_FALSE(refused->isEnabled());
    EXPECT_EQ(refused->toolTip(), Qt::convertFromPlainText(QString::fromStdString(*Cleaner::refusal(desktop))));
    // A place the rules allow is offered even before it exists (as the demo's are).
    EXPECT_FALSE(Cleaner::refusalOfPlace(home.home() + "/Not There"));
    EXPECT_TRUE(offered->isEnabled());
    EXPECT_TRUE(offered->toolTip().isEmpty());
}

TEST_F(PagesTest, ACardOfAnArchiveRefreshesWithoutLookingAtTheMountedDisks) {
    const std::string desktop = home.home() + "/Desktop";
    std::filesystem::create_directories(desktop);
    harness.engine.destinations = {
        BackupDestination{"folder:B", DestinationKind::folder, "B", home.home() + "/../b", {}, true, {}}};
    harness.engine.suggestions = {
        Suggestion("desk", "archive", "Desktop", "d", {desktop}, 9'000'000, Risk::review, CleanAction::offload)};
    harness.model->analyze();
    harness.settle();
    SuggestionsPage page(PageContext::over(harness.model, host));
    const QString reason = Qt::convertFromPlainText(QString::fromStdString(*Cleaner::refusal(desktop)));

    HungMounts mounts;
    // A clean starting refreshes the cards on the UI thread.
    const auto start = std::chrono::steady_clock::now();
    harness.model->trash({});
    EXPECT_LT(std::chrono::steady_clock::now() - start, HungMounts::hung / 4);
    EXPECT_EQ(mounts.tableReads, 0);
    QAbstractButton* refused = page.cards()[0]->secondButton();
    ASSERT_NE(refused, nullptr);
    EXPECT_FALSE(refused->isEnabled());
    EXPECT_EQ(refused->toolTip(), reason);

    // The clean's analysis reads the place again, away from the window.
    harness.settle();
    EXPECT_GT(mounts.tableReads, 0);
    EXPECT_FALSE(page.cards()[0]->secondButton()->isEnabled());
    EXPECT_EQ(page.cards()[0]->secondButton()->toolTip(), reason);
}

TEST_F(PagesTest, TheCopiedMarkOutlivesANewReport) {
    std::vector<std::string> copied;
    ScopedHooks<Desktop::Hooks> hooks;
    hooks->copy = [&](const std::string& text) { copied.push_back(text); };
    reportTwoSuggestions();
    SuggestionsPage page(PageContext::over(harness.model, host));
    click(page.cards()[1]->copyButton());
    EXPECT_EQ(copied, std::vector<std::string>{"npm cache clean --force"});
    harness.model->analyze();
    harness.settle();
    ASSERT_NE(page.cards()[1]->copyButton(), nullptr);
    EXPECT_EQ(page.cards()[1]->copyButton()->accessibleName(), "Copied");
}

TEST_F(PagesTest, TheAddPlanFlowWritesExactlyOnePlan) {
    harness.engine.realConfig = true;
    BackupDestination drive;
    drive.id = "folder:Drive";
    drive.name = "Drive";
    drive.path = home.home() + "/Drive";
    drive.available = true;
    harness.engine.destinations = {drive};
    harness.model->analyze();
    harness.settle();

    const std::string folder = home.home() + "/Documents";
    ScopedHooks<Desktop::Hooks> hooks;
    hooks->chooseFolder = [&](QWidget*) { return std::optional<std::string>(folder); };
    BackupPage page(PageContext::over(harness.model, host));
    click(page.addPlanButton());
    ASSERT_NE(page.sheet(), nullptr);
    EXPECT_EQ(page.addPlanState().newDestination, "folder:Drive");
    click(page.sheet()->addButton());
    EXPECT_EQ(page.sheet(), nullptr);

    const AppConfig config = ConfigStore::load();
    ASSERT_EQ(config.plans.size(), 1u);
    EXPECT_EQ(config.plans[0].source, folder);
    EXPECT_EQ(config.plans[0].destinationId, "folder:Drive");
    EXPECT_EQ(harness.model->plans().size(), 1u);
}

// The running card's Cancel stops the model's backup: the run the engine is
// doing sees its token set and ends as cancelled, and the card goes.
TEST_F(PagesTest, CancelOnTheRunningCardStopsTheModelsBackup) {
    bool sawCancel = false;
    harness.engine.backup = [&](const std::string& source, const CancelTokenPtr& token, const BackupProgressHandler&) {
        sawCancel = isCancelled(token);
        BackupReport report;
        report.source = source;
        report.status = sawCancel ? BackupStatus::cancelled : BackupStatus::ok;
        report.summary = sawCancel ? "Stopped." : "Copied.";
        return report;
    };
    BackupDestination drive;
    drive.id = "folder:Drive", drive.name = "Drive", drive.path = home.home() + "/Drive", drive.available = true;
    harness.model->backup(home.home() + "/Documents", drive);
    BackupPage page(PageContext::over(harness.model, host));
    MonoButton* cancel = nullptr;
    for (MonoButton* button : page.findChildren<MonoButton*>())
        if (button->label() == QStringLiteral("Cancel") && button->isVisibleTo(&page)) cancel = button;
    click(cancel);
    harness.settle();
    EXPECT_TRUE(sawCancel);
    EXPECT_FALSE(harness.model->runningBackup());
    ASSERT_TRUE(harness.model->notice());
    EXPECT_TRUE(harness.model->notice()->text.starts_with("Stopped.")) << harness.model->notice()->text;
}

TEST_F(PagesTest, TheDemoPagesRenderWithThreeDestinationColumns) {
    Demo::load(*harness.model);
    BackupPage page(PageContext::over(harness.model, host));
    page.resize(PageImages::pageSize);
    page.setAttribute(Qt::WA_DontShowOnScreen);
    page.show();
    QApplication::processEvents();
    EXPECT_EQ(page.destinationCardCount(), 3);
    EXPECT_EQ(page.destinationColumns(), 3);

    const QImage suggestions = PageImages::suggestions(harness.model);
    const QImage backup = PageImages::backup(harness.model);
    EXPECT_EQ(suggestions.size(), PageImages::pageSize);
    EXPECT_EQ(backup.size(), PageImages::pageSize);
    // Set to a folder to look at the two pages.
    if (const char* folder = std::getenv("OSTREVANE_PAGE_IMAGES")) {
        suggestions.save(QString(folder) + "/3-suggestions.png");
        backup.save(QString(folder) + "/4-backup.png");
    }
}
}  // namespace

namespace {
TEST_F(PagesTest, ReturnAddsOnlyWhenADestinationIsPickedAndEscapeCloses) {
    harness.engine.realConfig = true;
    ScopedHooks<Desktop::Hooks> hooks;
    hooks->chooseFolder = [&](QWidget*) { return std::optional<std::string>(home.home() + "/Music"); };
    BackupPage page(PageContext::over(harness.model, host));
    page.resize(PageImages::pageSize);
    page.addPlan();  // no destination at all: nothing is picked
    ASSERT_NE(page.sheet(), nullptr);
    // On the window's one sheet host, not an overlay of the page's own.
    EXPECT_EQ(host->panel(), page.sheet());
    EXPECT_FALSE(page.sheet()->addButton()->isEnabled());
    QTest::keyClick(page.sheet(), Qt::Key_Return);
    EXPECT_NE(page.sheet(), nullptr);
    QTest::keyClick(page.sheet(), Qt::Key_Escape);
    EXPECT_EQ(page.sheet(), nullptr);
    EXPECT_TRUE(ConfigStore::load().plans.empty());

    // Another sheet on the shared host replaces it: the plan being made goes too.
    page.addPlan();
    ASSERT_NE(page.sheet(), nullptr);
    host->present(ConfirmRequest::make("Title", "Message", "OK", false, {}));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(page.sheet(), nullptr);
    EXPECT_FALSE(page.addPlanState().isOpen());
    host->dismiss();
}

TEST_F(PagesTest, WithoutDestinationsThePageNamesWhatALinuxDesktopOffers) {
    ASSERT_TRUE(harness.model->destinations().empty());
    BackupPage page(PageContext::over(harness.model, host));
    QString shown;
    for (const QLabel* label : page.findChildren<QLabel*>())
        if (label->text().startsWith("No cloud drives found")) shown = label->text();
    ASSERT_FALSE(shown.isEmpty());
    for (const char* place : {"Nextcloud", "Google account", "rclone", "external drive"})
        EXPECT_TRUE(shown.contains(place)) << place;
    EXPECT_FALSE(shown.contains("iCloud"));
}

TEST_F(PagesTest, TheScrollIndicatorFollowsTheOffsetAndHidesWhenAllFits) {
    EXPECT_TRUE(PageScroll::indicatorRect({900, 700}, 700, 0).isEmpty());
    const QRectF top = PageScroll::indicatorRect({900, 700}, 1400, 0);
    const QRectF bottom = PageScroll::indicatorRect({900, 700}, 1400, 700);
    EXPECT_GT(top.left(), 890);  // drawn over the content's right edge, taking no width
    EXPECT_DOUBLE_EQ(top.height(), bottom.height());
    EXPECT_LT(top.top(), bottom.top());
    EXPECT_LE(bottom.bottom(), 700);
    EXPECT_EQ(PageScroll::indicatorRect({900, 700}, 1400, 5000), bottom);  // overscroll is clamped
}
}  // namespace
