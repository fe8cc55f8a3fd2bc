// The explorer's maps by keyboard: the map is one Tab stop; the arrow keys
// step through its regions (showing each one's highlight and pill, as a
// hover does), Home and End jump to the first and last, and Return or Space
// opens the region's folder.
#pragma once

#include <QObject>
#include <functional>

#include "maps/MapItem.hpp"

class QWidget;

class MapKeyboard : public QObject {
    Q_OBJECT
public:
    /// Makes `view` (a map MapRegions knows) take Tab focus and follow the
    /// keys; `open` gets the folder to open. The handler lives as long as the view.
    static void attach(QWidget* view, std::function<void(const NodeRef&)> open);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MapKeyboard(QWidget* view, std::function<void(const NodeRef&)> open);
    /// The region the key leads to from the hovered one; none when the map has no regions.
    std::optional<int> step(int key) const;

    QWidget* view;
    std::function<void(const NodeRef&)> open;
};
