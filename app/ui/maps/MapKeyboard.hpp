// The explorer's maps by keyboard: the map is one Tab stop; the arrow keys
// step through its regions (showing each one's highlight and pill, as a
// hover does), Home and End jump to the first and last, Return or Space
// opens the region's folder, Backspace or Alt+Up goes to the enclosing
// folder, and the Menu key or Shift+F10 opens the region's actions.
#pragma once

#include <QObject>
#include <QPoint>
#include <functional>

#include "maps/MapItem.hpp"

class QKeyEvent;
class QWidget;

/// What the keys ask of the page around the map.
struct MapKeyActions {
    /// Return or Space on a folder's region.
    std::function<void(const NodeRef&)> open;
    /// Backspace or Alt+Up: the enclosing folder.
    std::function<void()> back;
    /// The Menu key or Shift+F10: the actions of a region's item, shown at a global position.
    std::function<void(const NodeRef&, const QPoint&)> menu;
};

class MapKeyboard : public QObject {
    Q_OBJECT
public:
    /// Makes `view` (a map MapRegions knows) take Tab focus, follow the keys
    /// and name them in its tooltip. The handler lives as long as the view.
    static void attach(QWidget* view, MapKeyActions keys);

    /// The keys that go to the enclosing folder (Backspace, Alt+Up) and that
    /// open the actions menu (Menu, Shift+F10), here and in the child list.
    static bool isBackKey(const QKeyEvent& key);
    static bool isMenuKey(const QKeyEvent& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MapKeyboard(QWidget* view, MapKeyActions keys);
    /// The region the key leads to from the hovered one; none when the map has no regions.
    std::optional<int> step(int key) const;
    bool handleKey(const QKeyEvent& key);
    /// The hovered region's item; the first region is hovered when none is.
    NodeRef currentItem(bool hoverFirst) const;
    void openMenu();

    QWidget* view;
    MapKeyActions keys;
};
