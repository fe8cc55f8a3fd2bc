// The Space Map by keyboard, from its list and from its map alike:
// Backspace and Alt+Up go to the enclosing folder, the Menu key and
// Shift+F10 open the actions of the row or of the map's current region, and
// the tooltips name these keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>

#include "base/ScopedHooks.hpp"
#include "desktop/Desktop.hpp"
#include "support/WindowWalk.hpp"
#include "ui/maps/MapRegions.hpp"
#include "ui/pages/ExplorerChildList.hpp"
#include "ui/pages/ExplorerPage.hpp"

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
            for (const QString& title : {"Open", "Show in the file manager", "Copy Path", "Move to Trash…"})
                EXPECT_TRUE(titles(menu).contains(title)) << title.toStdString();
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
