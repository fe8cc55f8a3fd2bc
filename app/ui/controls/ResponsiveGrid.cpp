#include "ui/controls/ResponsiveGrid.hpp"

#include <QWidget>
#include <algorithm>
#include <cmath>

#include "pages/GridColumns.hpp"

namespace {
/// An item's height in a cell `width` wide.
int itemHeight(const QLayoutItem* item, int width) {
    if (const QWidget* widget = item->widget())
        return widget->hasHeightForWidth() ? widget->heightForWidth(width) : widget->sizeHint().height();
    return item->hasHeightForWidth() ? item->heightForWidth(width) : item->sizeHint().height();
}

/// Moves the item without the size policy's bounds: the grid alone decides a cell's size.
void place(QLayoutItem* item, const QRect& cell) {
    if (QWidget* widget = item->widget())
        widget->setGeometry(cell);
    else
        item->setGeometry(cell);
}
}  // namespace

ResponsiveGrid::ResponsiveGrid(double minimumColumn, double columnGap, int rowGap, QWidget* parent)
    : QLayout(parent),
      minimumColumn(minimumColumn),
      columnGap(columnGap),
      rowGap(rowGap),
      preferredWidth(int(minimumColumn)) {
    setContentsMargins(0, 0, 0, 0);
}

ResponsiveGrid::~ResponsiveGrid() {
    for (QLayoutItem* item : items) delete item;
}

int ResponsiveGrid::columns(double width, double minimumColumn, double columnGap) {
    return GridColumns::fitting(width, minimumColumn, columnGap);
}

void ResponsiveGrid::addItem(QLayoutItem* item) {
    items.push_back(item);
    invalidate();
}

QLayoutItem* ResponsiveGrid::itemAt(int index) const {
    return index >= 0 && index < count() ? items[size_t(index)] : nullptr;
}

QLayoutItem* ResponsiveGrid::takeAt(int index) {
    if (index < 0 || index >= count()) return nullptr;
    QLayoutItem* item = items[size_t(index)];
    items.erase(items.begin() + index);
    invalidate();
    return item;
}

int ResponsiveGrid::heightForWidth(int width) const { return arrange(QRect(0, 0, width, 0), false); }

QSize ResponsiveGrid::sizeHint() const { return {preferredWidth, heightForWidth(preferredWidth)}; }

void ResponsiveGrid::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int ResponsiveGrid::arrange(const QRect& rect, bool move) const {
    const int width = rect.width();
    const int columnCount = columns(width);
    const double fractional = (width - columnGap * (columnCount - 1)) / columnCount;
    const int whole = std::max(1, int(width - (columnCount - 1) * columnGap) / columnCount);
    int top = 0;
    for (size_t start = 0; start < items.size(); start += size_t(columnCount)) {
        const size_t end = std::min(items.size(), start + size_t(columnCount));
        std::vector<QRect> cells;
        for (size_t i = start; i < end; ++i) {
            const int column = int(i - start);
            int left = 0, cell = 0;
            if (cellWidth == CellWidth::whole) {
                left = column * (whole + int(columnGap));
                cell = whole;
            } else {
                const double edge = column * (fractional + columnGap);
                left = int(std::lround(edge));
                cell = int(std::lround(edge + fractional)) - left;
            }
            if (keepWidth) cell = std::min({cell, int(fractional), items[i]->sizeHint().width()});
            cells.emplace_back(left, top, cell, itemHeight(items[i], cell));
        }
        int rowHeight = 0;
        for (const QRect& cell : cells) rowHeight = std::max(rowHeight, cell.height());
        for (size_t i = start; move && i < end; ++i) place(items[i], cells[i - start].translated(rect.topLeft()));
        top += rowHeight + (end < items.size() ? rowGap : 0);
    }
    return top;
}
