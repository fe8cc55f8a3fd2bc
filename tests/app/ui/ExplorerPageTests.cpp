// The explorer page on the demo model: it builds, lists the open folder's
// children, follows the stored map mode and opens folders from the list.
#include <gtest/gtest.h>

#include "clean/Cleaner.hpp"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "../logic/ModelHarness.hpp"
#include "TestSupport.hpp"
#include "base/ScopedHooks.hpp"
#include "demo/Demo.hpp"
#include "platform/Platform.hpp"
#include "ui/controls/MonoSegments.hpp"
#include "ui/controls/Motion.hpp"
#include "ui/maps/MapFades.hpp"
#include "ui/maps/TerrainView.hpp"
#include "ui/maps/TreemapView.hpp"
#include "ui/maps/VoronoiView.hpp"
#include "ui/pages/ExplorerChildList.hpp"
#include "ui/pages/ExplorerPage.hpp"

TEST(ExplorerPage, BuildsWithTheDemoModelAndListsTheRows) {
    testing_support::ScopedHome scopedHome;
    ModelHarness harness;
    Demo::load(*harness.model);
    std::vector<ConfirmRequest> presented;
    ExplorerPage page(
        PageContext{harness.model, [&](ConfirmRequest request) { presented.push_back(std::move(request)); }});
    page.resize(964, 730);
    page.show();

    const FileNode& root = harness.model->scan()->root;
    const auto& rows = page.childList()->rows();
    ASSERT_EQ(rows.size(), std::min(root.children->size(), Explorer::maxRows));
    EXPECT_EQ(rows.front().node->path, root.children->front().path);
    EXPECT_NE(dynamic_cast<VoronoiView*>(page.mapWidget()), nullptr);  // unset mode: the Voronoi map

    // The Trash entry: disabled on a protected folder (Library, listed
    // first), else it presents a destructive request. The cleaner also
    // refuses paths that do not exist, so the rows are created.
    const auto& home = page.childList()->rows();
    ASSERT_EQ(home[0].node->name, "Library");
    ASSERT_EQ(home[2].node->name, "Code");
    for (const ChildRow& row : {home[0], home[2]}) std::filesystem::create_directories(row.node->path);
    std::unique_ptr<QMenu> refused(page.makeMenu(home[0].node, ExplorerPage::MenuRefusals::of(home[0].node->path)));
    EXPECT_FALSE(refused->actions().back()->isEnabled());
    // The archive would end with the same refused move: it is disabled too,
    // and both say why before anything is confirmed.
    const QString reason = QString::fromStdString(Cleaner::refusalOfPlace(home[0].node->path).value_or(""));
    EXPECT_EQ(Cleaner::refusalOfPlace(home[0].node->path), Cleaner::refusal(home[0].node->path));
    ASSERT_FALSE(reason.isEmpty());
    EXPECT_TRUE(refused->toolTipsVisible());
    EXPECT_EQ(refused->actions().back()->toolTip(), reason);
    int archives = 0;
    for (QAction* action : refused->actions()) {
        if (!action->menu() || !action->text().startsWith("Archive")) continue;
        ++archives;
        EXPECT_FALSE(action->isEnabled());
        EXPECT_EQ(action->toolTip(), reason);
    }
    EXPECT_EQ(archives, 1);
    std::unique_ptr<QMenu> menu(page.makeMenu(home[2].node, ExplorerPage::MenuRefusals::of(home[2].node->path)));
    QAction* trash = menu->actions().back();
    ASSERT_TRUE(trash->isEnabled());
    trash->trigger();
    ASSERT_EQ(presented.size(), 1u);
    EXPECT_TRUE(presented.front().destructive);

    // A double click on a folder row opens it; the list follows the model.
    const QRectF first = ExplorerChildList::rowRect(0, page.childList()->width());
    QWidget* rowsArea = page.childList()->viewport();
    // As the window system delivers it: a click, then the second press that is the double click.
    const QPoint inRows = rowsArea->mapFrom(page.childList(), first.center().toPoint());
    QTest::mouseClick(rowsArea, Qt::LeftButton, {}, inRows);
    QTest::mousePress(rowsArea, Qt::LeftButton, {}, inRows);
    QTest::mouseDClick(rowsArea, Qt::LeftButton, {}, inRows);
    EXPECT_EQ(harness.model->explorerPath(), root.children->front().path);
    EXPECT_EQ(page.childList()->rows().size(), root.children->front().children->size());

    ExplorerPage::storeMode("grid");
    page.hide();
    page.show();
    EXPECT_NE(dynamic_cast<TreemapView*>(page.mapWidget()), nullptr);
}

namespace {
/// The explorer page shown on the demo model, confirmations dropped.
struct DemoExplorer {
    testing_support::ScopedHome scopedHome;
    ModelHarness harness;
    ExplorerPage page{PageContext{loaded(harness), [](ConfirmRequest) {}}};

    static std::shared_ptr<AppModel> loaded(ModelHarness& harness) {
        Demo::load(*harness.model);
        return harness.model;
    }
    DemoExplorer() {
        page.resize(964, 730);
        page.show();
    }
};
}  // namespace

TEST(ExplorerPage, AChildsMenuWaitsForTheMountedDisksAwayFromTheWindow) {
    DemoExplorer shown;
    ExplorerPage& page = shown.page;
    ModelHarness& harness = shown.harness;
    const NodeRef library = page.childList()->rows()[0].node;
    ASSERT_EQ(library->name, "Library");
    std::filesystem::create_directories(library->path);
    const QString refusal = QString::fromStdString(Cleaner::refusal(library->path).value_or(""));
    ASSERT_FALSE(refusal.isEmpty());

    HungMounts mounts;
    auto shownMenus = [&] { return page.findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly); };
    // Two right-clicks before the first answer: one menu, the newest.
    const auto start = std::chrono::steady_clock::now();
    page.childList()->onMenu(library, page.mapToGlobal(QPoint(90, 90)));
    page.childList()->onMenu(library, page.mapToGlobal(QPoint(100, 100)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, HungMounts::hung / 4);
    EXPECT_EQ(mounts.tableReads, 0);
    EXPECT_TRUE(shownMenus().isEmpty());
    // One check at a time: a hung one holds one worker, not one per click.
    EXPECT_EQ(harness.executor->pending(), 1u);

    harness.settle();
    EXPECT_GT(mounts.tableReads, 0);
    ASSERT_EQ(shownMenus().size(), 1);
    QMenu* menu = shownMenus().front();
    EXPECT_TRUE(menu->isVisible());
    // The cleaner's answer, not a guess, reaches the menu.
    EXPECT_FALSE(menu->actions().back()->isEnabled());
    EXPECT_EQ(menu->actions().back()->toolTip(), refusal);
    menu->close();
}

TEST(ExplorerPage, AModeThatCannotBeStoredIsStillShownAndNoticed) {
    DemoExplorer shown;
    ExplorerPage& page = shown.page;
    ModelHarness& harness = shown.harness;
    // A folder in the settings file's place: nothing can be written there.
    std::filesystem::create_directories(std::filesystem::path(UserDefaults::filePath()) / "in-the-way");
    auto* segments = page.findChild<MonoSegments*>();
    ASSERT_NE(segments, nullptr);
    Q_EMIT segments->selectionChanged("grid");
    EXPECT_NE(dynamic_cast<TreemapView*>(page.mapWidget()), nullptr);
    EXPECT_EQ(segments->selection(), "grid");
    ASSERT_TRUE(harness.model->notice());
    EXPECT_TRUE(harness.model->notice()->isError);
    EXPECT_TRUE(harness.model->notice()->text.starts_with("Couldn’t save the setting: "))
        << harness.model->notice()->text;
    // The model's next update keeps the chosen mode.
    harness.model->setExplorerPath(harness.model->explorerPath());
    EXPECT_NE(dynamic_cast<TreemapView*>(page.mapWidget()), nullptr);
}

namespace {
/// The demo's home, for maps drawn in their final state.
struct DemoMaps {
    testing_support::ScopedHome scopedHome;
    ModelHarness harness;
    std::shared_ptr<const ScanResult> scan;
    NodeRef root;
    ScopedHooks<Motion::Hooks> still{Motion::Hooks{false}};
    DemoMaps() {
        Demo::load(*harness.model);
        scan = harness.model->scan();
        root = NodeRef(scan, &scan->root);
    }
};
}  // namespace

TEST(MapViews, HoverLeavesTheRestingDrawingAloneAndANewFolderRedrawsIt) {
    DemoMaps demo;
    const NodeRef& root = demo.root;
    const NodeRef downloads(demo.scan, &demo.scan->root.children->at(3));
    for (MapView* view : std::initializer_list<MapView*>{new VoronoiView(root, {}), new TreemapView(root, {})}) {
        std::unique_ptr<MapView> owner(view);
        view->resize(820, 680);
        view->grab();
        EXPECT_EQ(view->restingDraws(), 1);
        view->pointerMoved({300, 300});
        EXPECT_EQ(view->layerOpacity("pill"), 1.0);
        view->grab();
        view->pointerLeft();
        view->grab();
        EXPECT_EQ(view->restingDraws(), 1);
        EXPECT_EQ(view->layerOpacity("pill"), 0.0);
        view->setNode(downloads);
        view->grab();
        EXPECT_EQ(view->restingDraws(), 2);
    }
}

TEST(MapViews, HoversDrawnAheadInIdleTimeLeaveTheViewAndItsHoverAsTheyWere) {
    DemoMaps demo;
    const NodeRef& root = demo.root;
    VoronoiView view(root, {});
    view.resize(820, 680);
    const QImage resting = view.grab().toImage();
    ASSERT_FALSE(view.hoversPrepared());
    while (!view.hoversPrepared()) QCoreApplication::processEvents();
    EXPECT_EQ(view.grab().toImage(), resting);
    EXPECT_EQ(view.restingDraws(), 1);

    // A view that drew nothing ahead shows the same hover.
    VoronoiView unprepared(root, {});
    unprepared.resize(820, 680);
    unprepared.grab();
    for (MapView* shown : {static_cast<MapView*>(&view), static_cast<MapView*>(&unprepared)})
        shown->pointerMoved({300, 300});
    EXPECT_EQ(view.grab().toImage(), unprepared.grab().toImage());
    EXPECT_NE(view.grab().toImage(), resting);
}

namespace {
// Pixels of the paper-coloured pill texts in the band the pill takes at the bottom-left.
int pillTextPixels(const QImage& image) {
    int bright = 0;
    for (int y = image.height() - 40; y < image.height() - 12; ++y)
        for (int x = 14; x < 300; ++x) bright += qGray(image.pixel(x, y)) > 200;
    return bright;
}
}  // namespace

TEST(MapViews, TerrainHoverShowsThePillAtOnceWhileMapAnimationsAreOff) {
    testing_support::ScopedHome scopedHome;
    ModelHarness harness;
    Demo::load(*harness.model);
    const auto& scan = harness.model->scan();
    ScopedHooks<Motion::Hooks> still(Motion::Hooks{false});
    TerrainView view;
    view.resize(820, 680);
    view.setNode(NodeRef(scan, &scan->root));
    const std::shared_ptr<const TerrainModel> model = view.model();
    ASSERT_GT(model->regions.size(), 3u);
    EXPECT_EQ(pillTextPixels(view.grab().toImage()), 0);

    const Point summit = model->regions[3].summit;
    const Point onScreen = IsoProjection::fit(*model, {820, 680}).project(summit, model->terrace(summit));
    view.hoverAt({onScreen.x, onScreen.y + 2});
    ASSERT_EQ(view.hover(), 3);
    const QImage hovered = view.grab().toImage();
    EXPECT_GT(pillTextPixels(hovered), 20);
    if (const char* folder = std::getenv("OSTREVANE_TERRAIN_PNG"))
        hovered.save(QString::fromUtf8(folder) + "/terrain-demo-hover.png");
}
