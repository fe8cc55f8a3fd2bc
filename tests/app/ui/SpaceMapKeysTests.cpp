// The Space Map by keyboard, from its list and from its map alike:
// Backspace and Alt+Up go to the enclosing folder, the Menu key and
// Shift+F10 open the actions of the row or of the map's current region, and
// the tooltips name these keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "base/ScopedHooks.hpp"
#include "desktop/Desktop.hpp"
#include "support/WindowWalk.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/MonoSegments.hpp"
#include "ui/maps/MapRegions.hpp"
#include "ui/maps/TreemapView.hpp"
#include "ui/maps/VoronoiView.hpp"
#include "ui/pages/ExplorerChildList.hpp"
#include "ui/pages/ExplorerPage.hpp"
#include "ui/shell/ContentView.hpp"

namespace {
enum class Target { list, map };

QWidget* widgetOf(ExplorerPage* page, Target target) {
    return target == Target::list ? static_cast<QWidget*>(page->childList()) : page->mapWidget();
}

std::string nameOf(Target target) { return target == Target::list ? "the list" : "the map"; }

struct Key {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* name;
};

void press(const Key& key) { QTest::keyClick(QApplication::focusWidget(), key.key, key.modifiers); }

/// The first folder among the open folder's rows.
NodeRef firstFolder(ExplorerPage* page) {
    for (const ChildRow& row : page->childList()->rows())
        if (row.node->isDirectory) return row.node;
    return nullptr;
}

/// The item the keyboard is on: the list's current row, or the map's hovered region.
NodeRef keyboardItem(ExplorerPage* page, Target target) {
    if (target == Target::list) {
        const int row = page->childList()->currentIndex().row();
        return row < 0 ? nullptr : page->childList()->rows()[size_t(row)].node;
    }
    const auto hovered = MapRegions::hovered(page->mapWidget());
    return hovered ? MapRegions::of(page->mapWidget())[size_t(*hovered)].item.node : nullptr;
}

QStringList titles(const QMenu* menu) {
    QStringList all;
    for (const QAction* action : menu->actions())
        if (!action->isSeparator()) all << action->text();
    return all;
}

TEST(SpaceMapKeys, BackspaceAndAltUpGoToTheEnclosingFolderFromTheListAndTheMap) {
    for (const Target target : {Target::list, Target::map}) {
        for (const Key& key :
             {Key{Qt::Key_Backspace, Qt::NoModifier, "Backspace"}, Key{Qt::Key_Up, Qt::AltModifier, "Alt+Up"}}) {
            SCOPED_TRACE(nameOf(target) + ", " + key.name);
            DemoWindow demo;
            AppModel& model = *demo.harness().model;
            ExplorerPage* page = explorerOf(demo);
            const std::string root = model.explorerPath();
            const NodeRef folder = firstFolder(page);
            ASSERT_NE(folder, nullptr);
            model.setExplorerPath(folder->path);
            QApplication::processEvents();
            ASSERT_EQ(page->childList()->accessibleName().toStdString(), folder->name);
            QWidget* widget = widgetOf(page, target);
            tabTo(widget);
            press(key);
            EXPECT_EQ(model.explorerPath(), root);
            EXPECT_EQ(page->childList()->accessibleName().toStdString(), Paths::lastComponent(root));
            EXPECT_TRUE(widget->hasFocus()) << describe(QApplication::focusWidget());
            // At the root there is nowhere further up.
            press(key);
            EXPECT_EQ(model.explorerPath(), root);
        }
    }
}

TEST(SpaceMapKeys, TheMenuKeyAndShiftF10OpenTheActionsOfTheRowOrTheMapsRegion) {
    for (const Target target : {Target::list, Target::map}) {
        for (const Key& key :
             {Key{Qt::Key_Menu, Qt::NoModifier, "Menu"}, Key{Qt::Key_F10, Qt::ShiftModifier, "Shift+F10"}}) {
            SCOPED_TRACE(nameOf(target) + ", " + key.name);
            DemoWindow demo;
            ExplorerPage* page = explorerOf(demo);
            tabTo(widgetOf(page, target));
            // The second item: the menu must be the current one's, not the first's.
            DemoWindow::press(Qt::Key_Home);
            DemoWindow::press(target == Target::list ? Qt::Key_Down : Qt::Key_Right);
            const NodeRef item = keyboardItem(page, target);
            ASSERT_NE(item, nullptr);
            press(key);
            // The menu opens once the cleaner's checks answer from the background.
            demo.harness().settle();
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr) << "no menu opened";
            std::unique_ptr<QMenu> expected(page->makeMenu(item, ExplorerPage::MenuRefusals::of(item->path)));
            EXPECT_EQ(titles(menu), titles(expected.get()));
            for (const char* title : {"Open", "Show in the file manager", "Copy Path", "Move to Trash…"})
                EXPECT_TRUE(titles(menu).contains(QString(title))) << title;
            // Its entries act on that item.
            QAction* copyPath = nullptr;
            for (QAction* action : menu->actions())
                if (action->text() == "Copy Path") copyPath = action;
            ASSERT_NE(copyPath, nullptr);
            std::vector<std::string> copied;
            ScopedHooks<Desktop::Hooks> hooks;
            hooks->copy = [&](const std::string& text) { copied.push_back(text); };
            copyPath->trigger();
            menu->close();
            EXPECT_EQ(copied, std::vector<std::string>{item->path});
        }
    }
}

/// The menu's "Move to Trash…" entry, when it is there and enabled.
QAction* trashEntry(const QMenu* menu) {
    for (QAction* action : menu->actions())
        if (action->text() == "Move to Trash…" && action->isEnabled()) return action;
    return nullptr;
}

TEST(SpaceMapKeys, AMoveToTheTrashConfirmedAfterTheTreeChangedMovesTheItemTheMenuWasFor) {
    for (const Target target : {Target::list, Target::map}) {
        SCOPED_TRACE(nameOf(target));
        DemoWindow demo;
        ModelHarness& harness = demo.harness();
        ExplorerPage* page = explorerOf(demo);
        // The home's own folders are protected: one level down, in a folder
        // whose later items the Trash may take, on disk as in the tree.
        std::vector<NodeRef> folders;
        for (const ChildRow& row : page->childList()->rows())
            if (row.node->isDirectory) folders.push_back(row.node);
        for (const NodeRef& folder : folders) {
            harness.model->setExplorerPath(folder->path);
            QApplication::processEvents();
            for (const ChildRow& row : page->childList()->rows()) {
                std::filesystem::create_directories(row.node->isDirectory ? row.node->path
                                                                          : Paths::parentFolder(row.node->path));
                if (!row.node->isDirectory) std::ofstream(row.node->path) << "x";
            }
            const auto& rows = page->childList()->rows();
            const bool takes = std::any_of(
                rows.begin() + std::min<size_t>(1, rows.size()), rows.end(), [&](const ChildRow& row) {
                    std::unique_ptr<QMenu> probe(
                        page->makeMenu(row.node, ExplorerPage::MenuRefusals::of(row.node->path)));
                    return trashEntry(probe.get()) != nullptr;
                });
            if (takes) break;
        }
        tabTo(widgetOf(page, target));
        // A later item the Trash may take, so that removing the first shifts it.
        DemoWindow::press(Qt::Key_Home);
        NodeRef item;
        for (int step = 0; step < 8 && !item; ++step) {
            DemoWindow::press(target == Target::list ? Qt::Key_Down : Qt::Key_Right);
            const NodeRef current = keyboardItem(page, target);
            std::unique_ptr<QMenu> probe(page->makeMenu(current, ExplorerPage::MenuRefusals::of(current->path)));
            if (trashEntry(probe.get())) item = current;
        }
        ASSERT_NE(item, nullptr) << "no item the Trash may take";
        const std::string first = page->childList()->rows().front().node->path;
        ASSERT_NE(first, item->path);
        press(Key{Qt::Key_Menu, Qt::NoModifier, "Menu"});
        demo.harness().settle();  // the menu opens once the cleaner's checks answer
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QAction* trash = trashEntry(menu);
        ASSERT_NE(trash, nullptr);
        trash->trigger();
        menu->close();
        ConfirmSheetHost* sheet = contentOf(demo)->sheet();
        ASSERT_TRUE(sheet->request());
        EXPECT_NE(sheet->request()->title.find(item->name), std::string::npos) << sheet->request()->title;
        // While the sheet is up the tree is replaced: the first item went, every later one moved up.
        AppModelTestAccess::removeFromScan(*harness.model, {first});
        QApplication::processEvents();
        std::vector<std::vector<std::string>> moved;
        harness.engine.trash = [&](const std::vector<std::string>& paths) {
            moved.push_back(paths);
            return CleanResult(false, paths, {}, 0, "trashed");
        };
        QTest::mouseClick(sheet->sheet()->confirmButton(), Qt::LeftButton);
        harness.settle();
        EXPECT_EQ(moved, std::vector<std::vector<std::string>>{{item->path}});
    }
}

/// Where a pointer goes to light an item inside a region (over the region,
/// then over the item), and that item's path; none when the map holds none.
struct LitPath {
    std::vector<Point> moves;
    std::string path;
};

std::optional<LitPath> litPath(QWidget* map) {
    if (auto* voronoi = qobject_cast<VoronoiView*>(map)) {
        for (const VoronoiBlob& blob : voronoi->blobs())
            for (const VoronoiChild& child : blob.children)
                if (child.item.node) return LitPath{{blob.center, child.center}, child.item.node->path};
    } else if (auto* treemap = qobject_cast<TreemapView*>(map)) {
        for (const TreemapCell& cell : treemap->cells())
            if (cell.level == 1 && cell.node) {
                const Rect& r = cell.rect;
                const Point middle{r.origin.x + r.size.width / 2, r.origin.y + r.size.height / 2};
                return LitPath{{middle, middle}, cell.node->path};
            }
    }
    return std::nullopt;
}

TEST(SpaceMapKeys, TheMenuKeyActsOnTheItemThePointerLitInsideARegion) {
    // The Voronoi map and the treemap, in the mode switch's order.
    for (const size_t mode : {size_t(0), size_t(2)}) {
        SCOPED_TRACE(mode);
        DemoWindow demo;
        ExplorerPage* page = explorerOf(demo);
        page->modeSwitch()->choose(mode);
        QApplication::processEvents();
        auto* map = qobject_cast<MapView*>(page->mapWidget());
        ASSERT_NE(map, nullptr);
        tabTo(map);
        const std::optional<LitPath> lit = litPath(map);
        ASSERT_TRUE(lit) << "no region holds items";
        for (const Point& point : lit->moves) map->pointerMoved(point);
        press(Key{Qt::Key_Menu, Qt::NoModifier, "Menu"});
        demo.harness().settle();  // the menu opens once the cleaner's checks answer
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr) << "no menu opened";
        std::vector<std::string> copied;
        ScopedHooks<Desktop::Hooks> hooks;
        hooks->copy = [&](const std::string& text) { copied.push_back(text); };
        for (QAction* action : menu->actions())
            if (action->text() == "Copy Path") action->trigger();
        menu->close();
        // The item the pill names, not the region around it.
        EXPECT_EQ(copied, std::vector<std::string>{lit->path});
    }
}

TEST(SpaceMapKeys, TheMapAndTheListNameTheirKeysInTheirTooltips) {
    struct Case {
        std::string language;
        QStringList words;
    };
    for (const Case& c : {Case{"en", {"Backspace", "Alt+Up", "Menu key", "Shift+F10", "Return"}},
                          Case{"zh", {"Backspace", "Alt+↑", "菜单键", "Shift+F10", "回车"}}}) {
        DemoWindow demo(c.language);
        ExplorerPage* page = explorerOf(demo);
        for (const Target target : {Target::list, Target::map}) {
            const QString tip = widgetOf(page, target)->toolTip();
            for (const QString& word : c.words)
                EXPECT_TRUE(tip.contains(word)) << c.language << ", " << nameOf(target) << ": " << tip.toStdString();
        }
    }
}
}  // namespace
