// The window by keyboard on the demo model: Tab visits every control once in
// the order it is seen, Space and Return act as a click, the sidebar, the
// segmented control, the explorer's list, breadcrumb and map follow their
// keys, sheets keep the keyboard, and the focus ring shows only for it.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <set>

#include "support/WindowWalk.hpp"
#include "ui/access/KeyboardAccess.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/FocusRing.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/MonoMenu.hpp"
#include "ui/controls/MonoSegments.hpp"
#include "ui/controls/TextLink.hpp"
#include "ui/maps/MapRegions.hpp"
#include "ui/maps/TerrainView.hpp"
#include "ui/maps/VoronoiView.hpp"
#include "ui/pages/DiskCard.hpp"
#include "ui/pages/ExplorerBreadcrumb.hpp"
#include "ui/pages/ExplorerChildList.hpp"
#include "ui/pages/ExplorerPage.hpp"
#include "ui/pages/TopSuggestions.hpp"
#include "ui/shell/ContentView.hpp"
#include "ui/shell/MainWindow.hpp"
#include "ui/shell/Sidebar.hpp"
#include "ui/theme/QtTheme.hpp"

namespace {

/// What the mouse can use: buttons, the segmented control, the breadcrumb,
/// lists, maps and text fields that are shown and enabled.
std::set<QWidget*> mouseControls(QWidget* window) {
    std::set<QWidget*> found;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisible() || !widget->isEnabled()) continue;
        if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<MonoSegments*>(widget) ||
            qobject_cast<ExplorerBreadcrumb*>(widget) || qobject_cast<QAbstractItemView*>(widget) ||
            qobject_cast<QLineEdit*>(widget) || MapRegions::isMap(widget))
            found.insert(widget);
    }
    return found;
}

/// Reading order is never broken: no control comes after one that lies both
/// below it and to its right (a new column starts at the top, a new row on the left).
void expectReadingOrder(const std::vector<QWidget*>& order) {
    for (size_t i = 1; i < order.size(); ++i) {
        const QRect before = laidOutRect(order[i - 1]);
        const QRect after = laidOutRect(order[i]);
        const bool above = after.bottom() < before.top();
        const bool leftOf = after.right() < before.left();
        EXPECT_FALSE(above && leftOf) << describe(order[i]) << " comes after " << describe(order[i - 1]);
    }
}

class EveryPageByKeys : public testing::TestWithParam<AppModel::Section> {};

TEST_P(EveryPageByKeys, TabVisitsEveryControlOnceInReadingOrder) {
    DemoWindow demo;
    demo.open(GetParam());
    const std::vector<QWidget*> order = demo.tabOrder();
    const std::set<QWidget*> visited(order.begin(), order.end());
    EXPECT_EQ(visited.size(), order.size()) << "a control is visited twice";
    for (QWidget* control : mouseControls(&demo.window()))
        EXPECT_TRUE(visited.count(control)) << describe(control) << " cannot be reached with Tab";
    for (QWidget* stop : order) EXPECT_TRUE(mouseControls(&demo.window()).count(stop)) << describe(stop);
    expectReadingOrder(order);
    // The sidebar's rows first, top to bottom.
    const auto& rows = contentOf(demo)->sidebar()->rows();
    ASSERT_GE(order.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(order[i], rows[i]);

    // Shift+Tab walks the same cycle backwards.
    std::vector<QWidget*> backwards;
    for (size_t i = 0; i < order.size(); ++i) {
        DemoWindow::pressTab(true);
        backwards.push_back(QApplication::focusWidget());
    }
    // Tab came round to the first control; from there Shift+Tab goes to the last.
    EXPECT_EQ(backwards, std::vector<QWidget*>(order.rbegin(), order.rend()));
}

INSTANTIATE_TEST_SUITE_P(Pages, EveryPageByKeys, testing::ValuesIn(AppModel::sections()),
                         [](const testing::TestParamInfo<AppModel::Section>& info) {
                             return std::to_string(static_cast<int>(info.param));
                         });

TEST(Keyboard, SpaceAndReturnActLikeAClickOnEveryKindOfButton) {
    DemoWindow demo;
    AppModel& model = *demo.harness().model;
    ContentView* content = contentOf(demo);
    // Each kind, the section it leads to from the overview.
    struct Case {
        std::string kind;
        std::function<QWidget*()> find;
        AppModel::Section leadsTo;
    };
    const std::vector<Case> cases{
        {"sidebar row", [&] { return content->sidebar()->rows()[2]; }, AppModel::Section::suggestions},
        {"capsule button", [&] { return findNamed<MonoButton>(content, "Open Space Map"); },
         AppModel::Section::explorer},
        {"text link", [&] { return findNamed<TextLink>(content, "All suggestions"); }, AppModel::Section::suggestions},
        {"suggestion row", [&] { return findVisible<SuggestionRow>(content); }, AppModel::Section::suggestions},
        {"legend entry", [&] { return findNamed<LegendEntry>(content, "Downloads, 21 GB"); },
         AppModel::Section::explorer},
    };
    for (const Case& c : cases) {
        for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
            demo.open(AppModel::Section::overview);
            tabTo(c.find());
            DemoWindow::press(key);
            EXPECT_EQ(model.section(), c.leadsTo) << c.kind << ", key " << key;
            // The focus stays with the keyboard, on the row of the section led to.
            const auto* row = qobject_cast<const SidebarRow*>(QApplication::focusWidget());
            EXPECT_TRUE(row && row->section == c.leadsTo && FocusRing::isShownOn(row))
                << c.kind << ": focus on " << describe(QApplication::focusWidget());
        }
    }
}

TEST(Keyboard, UpAndDownMoveThroughTheSidebarAndSelect) {
    DemoWindow demo;
    AppModel& model = *demo.harness().model;
    const auto& rows = contentOf(demo)->sidebar()->rows();
    tabTo(rows[0]);
    DemoWindow::press(Qt::Key_Up);  // already at the top
    EXPECT_EQ(model.section(), AppModel::Section::overview);
    EXPECT_TRUE(rows[0]->hasFocus());
    for (size_t i = 1; i < rows.size(); ++i) {
        DemoWindow::press(Qt::Key_Down);
        EXPECT_TRUE(rows[i]->hasFocus());
        EXPECT_EQ(model.section(), rows[i]->section);
    }
    DemoWindow::press(Qt::Key_Down);  // already at the bottom
    EXPECT_TRUE(rows.back()->hasFocus());
    DemoWindow::press(Qt::Key_Up);
    EXPECT_EQ(model.section(), rows[rows.size() - 2]->section);
}

TEST(Keyboard, LeftAndRightMoveTheMapSwitch) {
    DemoWindow demo;
    ExplorerPage* page = explorerOf(demo);
    MonoSegments* segments = page->modeSwitch();
    tabTo(segments);
    DemoWindow::press(Qt::Key_Left);  // already the first
    EXPECT_EQ(segments->selection(), "voronoi");
    DemoWindow::press(Qt::Key_Right);
    EXPECT_EQ(segments->selection(), "terrain");
    EXPECT_EQ(ExplorerPage::storedMode(), "terrain");
    EXPECT_NE(dynamic_cast<TerrainView*>(page->mapWidget()), nullptr);
    DemoWindow::press(Qt::Key_Right);
    DemoWindow::press(Qt::Key_Right);  // already the last
    EXPECT_EQ(segments->selection(), "grid");
    DemoWindow::press(Qt::Key_Left);
    EXPECT_EQ(segments->selection(), "terrain");
}

TEST(Keyboard, TheChildListMovesOpensAFolderAndGoesBackUp) {
    DemoWindow demo;
    AppModel& model = *demo.harness().model;
    ExplorerPage* page = explorerOf(demo);
    ExplorerChildList* list = page->childList();
    const std::string root = model.explorerPath();
    tabTo(list);
    const int last = int(list->rows().size()) - 1;
    ASSERT_GT(last, 2);
    DemoWindow::press(Qt::Key_Down);
    EXPECT_EQ(list->currentIndex().row(), 1);
    DemoWindow::press(Qt::Key_End);
    EXPECT_EQ(list->currentIndex().row(), last);
    DemoWindow::press(Qt::Key_Home);
    EXPECT_EQ(list->currentIndex().row(), 0);
    DemoWindow::press(Qt::Key_Up);  // already the first
    EXPECT_EQ(list->currentIndex().row(), 0);

    // Return opens the current folder; the keyboard stays on its first row.
    DemoWindow::press(Qt::Key_Down);
    const ChildRow opened = list->rows()[1];
    ASSERT_TRUE(opened.node->isDirectory);
    DemoWindow::press(Qt::Key_Return);
    EXPECT_EQ(model.explorerPath(), opened.node->path);
    EXPECT_EQ(list->rows().size(), std::min(opened.node->children->size(), Explorer::maxRows));
    EXPECT_TRUE(list->hasFocus());
    EXPECT_EQ(list->currentIndex().row(), 0);

    // Backspace goes up a level, and does nothing more at the root.
    DemoWindow::press(Qt::Key_Backspace);
    EXPECT_EQ(model.explorerPath(), root);
    DemoWindow::press(Qt::Key_Backspace);
    EXPECT_EQ(model.explorerPath(), root);
}

TEST(Keyboard, TheBreadcrumbAndTheMapOpenFoldersFromTheKeyboard) {
    DemoWindow demo;
    AppModel& model = *demo.harness().model;
    ExplorerPage* page = explorerOf(demo);
    const std::string root = model.explorerPath();

    // The map: arrows step through the regions (hovering them), Return opens a folder.
    QWidget* map = page->mapWidget();
    ASSERT_NE(dynamic_cast<VoronoiView*>(map), nullptr);
    tabTo(map);
    DemoWindow::press(Qt::Key_Right);
    EXPECT_EQ(MapRegions::hovered(map), 0);
    DemoWindow::press(Qt::Key_Right);
    EXPECT_EQ(MapRegions::hovered(map), 1);
    // Leaving the map ends the keyboard's hover; coming back starts again at the first region.
    tabTo(page->modeSwitch());
    EXPECT_EQ(MapRegions::hovered(map), std::nullopt);
    tabTo(map);
    DemoWindow::press(Qt::Key_Right);
    EXPECT_EQ(MapRegions::hovered(map), 0);
    const NodeRef first = MapRegions::of(map)[0].item.node;
    ASSERT_TRUE(first && first->isDirectory);
    DemoWindow::press(Qt::Key_Return);
    EXPECT_EQ(model.explorerPath(), first->path);

    // The breadcrumb starts on the open folder's crumb; Left reaches the root's.
    ExplorerBreadcrumb* crumbs = page->breadcrumb();
    tabTo(crumbs);
    EXPECT_EQ(crumbs->currentPart(), crumbs->crumbs().size());
    DemoWindow::press(Qt::Key_Left);
    DemoWindow::press(Qt::Key_Space);
    EXPECT_EQ(model.explorerPath(), root);
}

TEST(Keyboard, AConfirmSheetKeepsTheKeyboardAndReturnNeverConfirmsADestructiveOne) {
    DemoWindow demo;
    ConfirmSheetHost* host = contentOf(demo)->sheet();
    int confirmed = 0;
    QWidget* before = contentOf(demo)->sidebar()->rows()[1];
    tabTo(before);
    for (bool destructive : {true, false}) {
        host->present(ConfirmRequest::make("Title", "Message", "Go", destructive, [&] { ++confirmed; }));
        ConfirmSheet* sheet = host->sheet();
        // Tab goes round the two buttons only.
        std::vector<QWidget*> visited;
        for (int i = 0; i < 4; ++i) {
            DemoWindow::pressTab();
            visited.push_back(QApplication::focusWidget());
        }
        const std::vector<QWidget*> expected{sheet->cancelButton(), sheet->confirmButton(), sheet->cancelButton(),
                                             sheet->confirmButton()};
        EXPECT_EQ(visited, expected);
        // Return on the focused confirm button: only a request that is not destructive runs.
        DemoWindow::press(Qt::Key_Return);
        EXPECT_EQ(confirmed, destructive ? 0 : 1);
        EXPECT_EQ(host->request().has_value(), destructive);
        if (host->request()) {
            DemoWindow::press(Qt::Key_Escape);
            EXPECT_FALSE(host->request());
        }
        EXPECT_TRUE(before->hasFocus()) << "the focus goes back where it was";
    }
    // Space is an explicit click: it confirms even a destructive request.
    host->present(ConfirmRequest::make("Title", "Message", "Go", true, [&] { ++confirmed; }));
    tabTo(host->sheet()->confirmButton());
    DemoWindow::press(Qt::Key_Space);
    EXPECT_EQ(confirmed, 2);
}

TEST(Keyboard, EscapeClosesAPullDownMenu) {
    DemoWindow demo;
    demo.open(AppModel::Section::suggestions);
    auto* pullDown = findNamed<MonoMenu>(contentOf(demo), "Archive to");
    ASSERT_NE(pullDown, nullptr);
    tabTo(pullDown);
    DemoWindow::press(Qt::Key_Space);
    ASSERT_TRUE(pullDown->menu()->isVisible());
    QTest::keyClick(pullDown->menu(), Qt::Key_Escape);
    EXPECT_FALSE(pullDown->menu()->isVisible());
}

TEST(Keyboard, TheFocusRingShowsOnlyForKeyboardFocus) {
    DemoWindow demo;
    const auto& rows = contentOf(demo)->sidebar()->rows();
    // Focus given by the window or the pointer draws nothing.
    rows[1]->setFocus(Qt::ActiveWindowFocusReason);
    EXPECT_FALSE(FocusRing::isShownOn(rows[1]));
    EXPECT_TRUE(!KeyboardAccess::ring() || !KeyboardAccess::ring()->isVisible());

    demo.tabOrder(1);
    ASSERT_EQ(QApplication::focusWidget(), rows[0]);
    EXPECT_TRUE(FocusRing::isShownOn(rows[0]));
    ASSERT_NE(KeyboardAccess::ring(), nullptr);
    EXPECT_TRUE(KeyboardAccess::ring()->isVisible());
    EXPECT_EQ(KeyboardAccess::ring()->widget(), rows[0]);
    // The ring is drawn in the accent colour around the row, and only there.
    const QImage image = demo.window().grab().toImage();
    const QRect row(rows[0]->mapTo(&demo.window(), QPoint()), rows[0]->size());
    const QColor accent = qColor(Theme::accent);
    auto isAccent = [&](QPoint p) {
        const QColor c = image.pixelColor(p);
        return std::abs(c.red() - accent.red()) < 40 && std::abs(c.green() - accent.green()) < 40 &&
               std::abs(c.blue() - accent.blue()) < 40;
    };
    EXPECT_TRUE(isAccent(QPoint(row.center().x(), row.top() - 1)));
    EXPECT_FALSE(isAccent(QPoint(row.center().x(), row.bottom() + 20)));

    // A click hands over to the pointer: the ring goes until a key moves the focus again.
    QTest::mouseClick(rows[3], Qt::LeftButton, {}, rows[3]->rect().center());
    EXPECT_FALSE(FocusRing::isShownOn(QApplication::focusWidget()));
    EXPECT_FALSE(KeyboardAccess::ring()->isVisible());
    DemoWindow::pressTab();
    EXPECT_TRUE(KeyboardAccess::ring()->isVisible());
}

TEST(Keyboard, ASheetClosedWithThePointerLeavesNoRingBehind) {
    DemoWindow demo;
    ConfirmSheetHost* host = contentOf(demo)->sheet();
    QWidget* before = contentOf(demo)->sidebar()->rows()[1];
    for (const bool byKeyboard : {false, true}) {
        host->present(ConfirmRequest::make("Title", "Message", "Go", true, [] {}));
        if (byKeyboard) {
            DemoWindow::pressTab();
            DemoWindow::press(Qt::Key_Space);
        } else {
            QTest::mouseClick(host->sheet()->confirmButton(), Qt::LeftButton);
        }
        ASSERT_FALSE(host->request());
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        // The ring belongs to the keyboard: closing the sheet with it shows where the focus went.
        EXPECT_EQ(FocusRing::isShownOn(focused), byKeyboard) << describe(focused);
        EXPECT_EQ(KeyboardAccess::ring() && KeyboardAccess::ring()->isVisible(), byKeyboard);
        before->setFocus(Qt::MouseFocusReason);
    }
}

TEST(Keyboard, TheChildListLeavesTheWheelToThePage) {
    DemoWindow demo;
    // The smallest window: the home's rows no longer fit.
    demo.window().resize(MainWindow::minimumWidth, MainWindow::minimumHeight);
    ExplorerPage* page = explorerOf(demo);
    ExplorerChildList* list = page->childList();
    QAbstractScrollArea* scroller = nullptr;
    for (QWidget* w = list->parentWidget(); w && !scroller; w = w->parentWidget())
        scroller = qobject_cast<QAbstractScrollArea*>(w);
    ASSERT_NE(scroller, nullptr);
    ASSERT_GT(scroller->verticalScrollBar()->maximum(), 0) << "the demo's home lists more rows than fit";
    const QPoint at(list->viewport()->width() / 2, 40);
    QWheelEvent wheel(at, list->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    // Sent directly, the event does not travel on; a user's goes on to the
    // page's scroll area when the list leaves it unaccepted.
    QApplication::sendEvent(list->viewport(), &wheel);
    EXPECT_FALSE(wheel.isAccepted());
    QApplication::sendEvent(scroller->viewport(), &wheel);
    EXPECT_GT(scroller->verticalScrollBar()->value(), 0);
}

}  // namespace
