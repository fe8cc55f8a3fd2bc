// The keyboard stays where the user works: after an action that rebuilds
// part of a page (a confirmed clean, a backup, a removal, a rescan) the
// focus is on the control that started it, or on the one that took its
// place or follows it on the same page, never on the sidebar.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>

#include "pages/Chrome.hpp"
#include "support/WindowWalk.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/FocusChain.hpp"
#include "ui/controls/FocusKeeper.hpp"
#include "ui/controls/FocusRing.hpp"
#include "ui/controls/IconButton.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/MonoMenu.hpp"
#include "ui/pages/ExplorerChildList.hpp"
#include "ui/pages/ExplorerPage.hpp"
#include "ui/pages/SuggestionCard.hpp"
#include "ui/pages/SuggestionsPage.hpp"
#include "ui/shell/ContentView.hpp"
#include "ui/shell/MainWindow.hpp"
#include "ui/shell/PageHeader.hpp"

namespace {
/// Lets the pages and the focus settle after the model changed.
void letEventsRun() {
    for (int round = 0; round < 4; ++round) {
        QApplication::sendPostedEvents();
        QApplication::processEvents();
    }
}

/// Runs the model's jobs and lets the pages and the focus settle.
void settle(DemoWindow& demo) {
    for (int round = 0; round < 4; ++round) {
        demo.harness().settle();
        letEventsRun();
    }
}

QWidget* page(DemoWindow& demo) { return contentOf(demo)->page(); }

QString nameOf(QWidget* widget) {
    return widget ? QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name) : QString();
}

/// A window whose start-up has run, showing `section`.
void openSettled(DemoWindow& demo, AppModel::Section section) {
    settle(demo);
    demo.open(section);
    settle(demo);
}

/// The card of `widget`; null when it is on none.
SuggestionCard* cardOf(QWidget* widget) {
    for (QWidget* w = widget; w; w = w->parentWidget())
        if (auto* card = qobject_cast<SuggestionCard*>(w)) return card;
    return nullptr;
}

SuggestionsPage* suggestionsOf(DemoWindow& demo) { return static_cast<SuggestionsPage*>(page(demo)); }

/// The page's Tab stops in order.
std::vector<QWidget*> stops(DemoWindow& demo) { return FocusChain::visualOrder(page(demo)); }

/// The `occurrence`-th Tab stop of type `T` named `name` on the page; null when there is none.
template <class T>
T* control(DemoWindow& demo, const QString& name, int occurrence = 0) {
    for (QWidget* stop : stops(demo)) {
        auto* found = qobject_cast<T*>(stop);
        if (found && nameOf(found) == name && occurrence-- == 0) return found;
    }
    return nullptr;
}

/// Confirms the open sheet from the keyboard: Tab to its confirm button, then Space.
void confirmByKeyboard(DemoWindow& demo) {
    ConfirmSheetHost* host = contentOf(demo)->sheet();
    ASSERT_TRUE(host->request());
    for (int i = 0; i < 3 && QApplication::focusWidget() != host->sheet()->confirmButton(); ++i) DemoWindow::pressTab();
    ASSERT_EQ(QApplication::focusWidget(), host->sheet()->confirmButton());
    DemoWindow::press(Qt::Key_Space);
}

/// The focused control, which must be one of the Tab stops of the page or
/// its header (not the sidebar's, not nothing).
QWidget* focusOnPage(DemoWindow& demo) {
    QWidget* focused = QApplication::focusWidget();
    auto all = stops(demo);
    for (QWidget* stop : FocusChain::visualOrder(contentOf(demo)->header())) all.push_back(stop);
    EXPECT_NE(std::find(all.begin(), all.end(), focused), all.end()) << describe(focused) << " is not on the page";
    return focused;
}

TEST(FocusKeeping, DetailsKeepsTheFocusOnItselfNowReadingHide) {
    DemoWindow demo;
    openSettled(demo, AppModel::Section::suggestions);
    MonoButton* details = control<MonoButton>(demo, "Details", 1);
    ASSERT_NE(details, nullptr);
    const std::string id = cardOf(details)->suggestion().id;
    tabTo(details);
    for (const char* now : {"Hide", "Details"}) {
        DemoWindow::press(Qt::Key_Space);
        settle(demo);
        QWidget* focused = focusOnPage(demo);
        ASSERT_NE(cardOf(focused), nullptr) << describe(focused);
        EXPECT_EQ(cardOf(focused)->suggestion().id, id);
        EXPECT_EQ(nameOf(focused), QString(now));
    }
}

TEST(FocusKeeping, AConfirmedCleanHandsTheFocusToTheNextCard) {
    DemoWindow demo;
    FakeEngine& engine = demo.harness().engine;
    openSettled(demo, AppModel::Section::suggestions);
    const auto& cards = suggestionsOf(demo)->cards();
    size_t cleaned = 0;
    while (cleaned + 1 < cards.size() && nameOf(cards[cleaned]->secondButton()) != "Clean…") ++cleaned;
    ASSERT_LT(cleaned + 1, cards.size());
    const std::string next = cards[cleaned + 1]->suggestion().id;
    tabTo(cards[cleaned]->secondButton());
    DemoWindow::press(Qt::Key_Space);
    confirmByKeyboard(demo);
    settle(demo);
    ASSERT_EQ(engine.applied.size(), 1u);
    QWidget* focused = focusOnPage(demo);
    ASSERT_NE(cardOf(focused), nullptr) << describe(focused);
    EXPECT_EQ(cardOf(focused)->suggestion().id, next);
    // Its first control: the first of its stops in the page's Tab order.
    const auto all = stops(demo);
    const auto first = std::find_if(all.begin(), all.end(),
                                    [&](QWidget* stop) { return cardOf(stop) == cardOf(focused); });
    EXPECT_EQ(focused, *first) << describe(focused);
}

TEST(FocusKeeping, AfterAKeyboardCleanOrEmptyingTheFocusStaysOnTheCleanupPage) {
    for (const bool emptying : {false, true}) {
        DemoWindow demo;
        openSettled(demo, AppModel::Section::suggestions);
        AppModelTestAccess::setTrashPending(*demo.harness().model, true);
        settle(demo);
        SuggestionsPage* cleanup = suggestionsOf(demo);
        tabTo(emptying ? cleanup->emptyTrashButton() : cleanup->allSafeButton());
        DemoWindow::press(Qt::Key_Space);
        confirmByKeyboard(demo);
        settle(demo);
        EXPECT_EQ(Chrome::shown(demo.harness().model->section()), AppModel::Section::suggestions);
        QWidget* focused = focusOnPage(demo);
        EXPECT_TRUE(FocusRing::isShownOn(focused)) << describe(focused);
    }
}

TEST(FocusKeeping, APageLeftWithoutControlsKeepsTheKeyboardOnItsHeader) {
    DemoWindow demo;
    FakeEngine& engine = demo.harness().engine;
    openSettled(demo, AppModel::Section::suggestions);
    // Only the Trash is left to clean.
    std::erase_if(engine.suggestions, [](const Suggestion& s) { return s.id != "trash"; });
    engine.analyzeHook = [demoReport = engine.analyzeHook](SuggestionReport& report) {
        demoReport(report);
        report.safeReclaimableBytes = 0;
    };
    demo.harness().model->analyze();
    settle(demo);
    ASSERT_EQ(suggestionsOf(demo)->cards().size(), 1u);
    tabTo(suggestionsOf(demo)->cards()[0]->secondButton());
    DemoWindow::press(Qt::Key_Space);
    confirmByKeyboard(demo);
    settle(demo);
    ASSERT_TRUE(suggestionsOf(demo)->cards().empty());
    ASSERT_TRUE(stops(demo).empty()) << describe(stops(demo).front());
    QWidget* focused = focusOnPage(demo);
    EXPECT_TRUE(contentOf(demo)->header()->isAncestorOf(focused)) << describe(focused);
}

TEST(FocusKeeping, BackUpNowKeepsTheFocusOnItsButtonThroughTheRun) {
    DemoWindow demo;
    demo.harness().engine.runPlan = [](const BackupPlan& plan, auto&, auto&) {
        BackupReport report;
        report.id = "run";
        report.status = BackupStatus::ok;
        report.source = plan.source;
        return PlanRun{plan, report, {}};
    };
    openSettled(demo, AppModel::Section::backup);
    ASSERT_GE(demo.harness().model->plans().size(), 2u);
    tabTo(control<MonoButton>(demo, "Back Up Now", 1));
    DemoWindow::press(Qt::Key_Space);
    letEventsRun();
    ASSERT_TRUE(demo.harness().model->runningBackup());
    // While it runs the button is disabled: the keyboard waits on the next control of the page.
    focusOnPage(demo);
    settle(demo);
    ASSERT_FALSE(demo.harness().model->runningBackup());
    EXPECT_EQ(focusOnPage(demo), control<MonoButton>(demo, "Back Up Now", 1));
}

TEST(FocusKeeping, AnArchiveFromACardKeepsTheFocusOnItsMenu) {
    DemoWindow demo;
    demo.harness().engine.offload = [](const std::string&, auto&, auto&) {
        OffloadReport report;
        report.message = "archived";
        return report;
    };
    openSettled(demo, AppModel::Section::suggestions);
    auto* archive = control<MonoMenu>(demo, "Archive to");
    ASSERT_NE(archive, nullptr);
    ASSERT_TRUE(archive->isEnabled());
    const std::string id = cardOf(archive)->suggestion().id;
    tabTo(archive);
    // Its first destination, as chosen in its menu (a popup takes the
    // activation from the window on the offscreen platform).
    archive->menu()->actions().front()->trigger();
    letEventsRun();
    ASSERT_TRUE(demo.harness().model->runningBackup());
    // The menu is disabled while the archive runs: the keyboard waits on the page.
    focusOnPage(demo);
    settle(demo);
    ASSERT_FALSE(demo.harness().model->runningBackup());
    QWidget* focused = focusOnPage(demo);
    ASSERT_NE(cardOf(focused), nullptr) << describe(focused);
    EXPECT_EQ(cardOf(focused)->suggestion().id, id);
    EXPECT_EQ(nameOf(focused), "Archive to");
}

TEST(FocusKeeping, RemovingADestinationOrAPlanHandsTheFocusToTheNextControl) {
    struct Case {
        QString remove;
        bool destination;
    };
    for (const Case& c : {Case{"Remove this destination (the backups in it are kept)", true},
                          Case{"Delete this plan (existing backups are kept)", false}}) {
        DemoWindow demo;
        openSettled(demo, AppModel::Section::backup);
        IconButton* button = control<IconButton>(demo, c.remove);
        ASSERT_NE(button, nullptr) << c.remove.toStdString();
        const auto before = stops(demo);
        const auto at = std::find(before.begin(), before.end(), button);
        ASSERT_LT(at + 1, before.end());
        const std::string next = FocusKeeper::keyOf(*(at + 1));
        if (c.destination) {
            // What discovery finds once the folder is no longer configured.
            std::erase_if(demo.harness().engine.destinations,
                          [](const BackupDestination& d) { return d.kind == DestinationKind::folder; });
        }
        const size_t destinations = demo.harness().model->destinations().size();
        const size_t plans = demo.harness().model->plans().size();
        tabTo(button);
        DemoWindow::press(Qt::Key_Space);
        settle(demo);
        EXPECT_EQ(demo.harness().model->destinations().size(), destinations - (c.destination ? 1 : 0));
        EXPECT_EQ(demo.harness().model->plans().size(), plans - (c.destination ? 0 : 1));
        QWidget* focused = focusOnPage(demo);
        ASSERT_NE(focused, nullptr);
        EXPECT_EQ(FocusKeeper::keyOf(focused), next) << describe(focused);
    }
}

TEST(FocusKeeping, ARescanReturnsTheFocusToTheControlThatHadIt) {
    DemoWindow demo;
    openSettled(demo, AppModel::Section::suggestions);
    SuggestionCard* third = suggestionsOf(demo)->cards()[2];
    tabTo(third->firstButton());
    const std::string started = FocusKeeper::keyOf(third->firstButton());
    QTest::keyClick(&demo.window(), Qt::Key_R, Qt::ControlModifier);
    letEventsRun();
    ASSERT_TRUE(demo.harness().model->isScanning());
    focusOnPage(demo);
    settle(demo);
    ASSERT_FALSE(demo.harness().model->isScanning());
    EXPECT_EQ(FocusKeeper::keyOf(focusOnPage(demo)), started);

    ExplorerPage* explorer = explorerOf(demo);
    tabTo(explorer->childList());
    QTest::keyClick(&demo.window(), Qt::Key_R, Qt::ControlModifier);
    settle(demo);
    EXPECT_EQ(focusOnPage(demo), explorer->childList());
}

TEST(FocusKeeping, TrashingARowFromTheListKeepsTheKeyboardOnTheList) {
    DemoWindow demo;
    ExplorerPage* explorer = explorerOf(demo);
    settle(demo);
    ExplorerChildList* list = explorer->childList();
    tabTo(list);
    DemoWindow::press(Qt::Key_Home);
    DemoWindow::press(Qt::Key_Down);
    ASSERT_EQ(list->currentIndex().row(), 1);
    const std::string trashed = list->rows()[1].node->path;
    const std::string following = list->rows()[2].node->path;
    contentOf(demo)->sheet()->present(Explorer::askTrash(*list->rows()[1].node, false, [&] {
        ExplorerActions actions;
        actions.trash = [&](const std::vector<std::string>& paths) { demo.harness().model->trash(paths); };
        return actions;
    }()));
    confirmByKeyboard(demo);
    settle(demo);
    EXPECT_EQ(QApplication::focusWidget(), list);
    ASSERT_GT(list->rows().size(), 1u);
    EXPECT_NE(list->rows()[1].node->path, trashed);
    // The row that followed the trashed one is the keyboard's.
    EXPECT_EQ(list->rows()[size_t(list->currentIndex().row())].node->path, following);
}

}  // namespace
