// The explorer's list of a folder's children: at most 300 rows, each painted
// with its icon, name, size and a colour bar. A list view over a
// ChildListModel, so the rows move with Up, Down, Home and End and reach
// screen readers; Return or a double click opens a row, Backspace or Alt+Up
// asks for the parent folder, and the context menu (the Menu key, Shift+F10
// or a right click) is the page's to show.
#pragma once

#include <QListView>
#include <functional>
#include <string>
#include <vector>

#include "pages/Explorer.hpp"

class ChildListModel;

class ExplorerChildList : public QListView {
    Q_OBJECT
public:
    explicit ExplorerChildList(QWidget* parent = nullptr);

    /// Shows the rows of `folder` (none for a file or an empty folder).
    void setFolder(const NodeRef& folder);
    const std::vector<ChildRow>& rows() const;
    ChildListModel* rowModel() const { return items; }

    /// A row was double-clicked, or Return pressed on it.
    std::function<void(const NodeRef& child)> onActivate;
    /// A row asked for its context menu at `globalPosition`.
    std::function<void(const NodeRef& child, const QPoint& globalPosition)> onMenu;
    /// Backspace or Alt+Up: the parent folder was asked for.
    std::function<void()> onBack;

    /// A row's height: 7 points of padding, the name line, 5 points, the 3-point bar, 7 points.
    static double rowHeight();
    /// Row `index` in a list `width` wide, in the list's coordinates: 6 points
    /// in from the sides, from 6 points down.
    static QRectF rowRect(size_t index, double width);

    QSize sizeHint() const override;

Q_SIGNALS:
    /// The current row changed (keyboard or click): where it lies, in the list's coordinates.
    void currentRowMoved(const QRect& rect);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void activateIndex(const QModelIndex& index);

    ChildListModel* items;
    /// The folder shown, by path.
    std::string shownPath;
};
