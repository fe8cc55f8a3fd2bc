// The explorer's list of a folder's children: at most 300 painted rows, each
// with its icon, name, size and a colour bar; hover, double click and the
// context menu are the page's to act on.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "pages/Explorer.hpp"

class ExplorerChildList : public QWidget {
    Q_OBJECT
public:
    explicit ExplorerChildList(QWidget* parent = nullptr);

    /// Shows the rows of `folder` (none for a file or an empty folder).
    void setFolder(const NodeRef& folder);
    const std::vector<ChildRow>& rows() const { return shown; }

    /// A row was double-clicked.
    std::function<void(const NodeRef& child)> onActivate;
    /// A row asked for its context menu at `globalPosition`.
    std::function<void(const NodeRef& child, const QPoint& globalPosition)> onMenu;

    /// A row's height: 7 points of padding, the name line, 5 points, the 3-point bar, 7 points.
    static double rowHeight();
    /// Row `index` in a list `width` wide: 6 points in from the sides, from 6 points down.
    static QRectF rowRect(size_t index, double width);
    /// The row under a point, if any.
    std::optional<size_t> rowAt(const QPointF& point) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void paintRow(QPainter& painter, const ChildRow& row, const QRectF& rect, bool hovering) const;

    std::vector<ChildRow> shown;
    std::optional<size_t> hovered;
};
