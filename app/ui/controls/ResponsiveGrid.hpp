// A layout that deals its items into as many equal columns as the width
// allows (each at least a minimum wide, a fixed gap apart), row by row, top
// aligned; each row is as tall as its tallest item, so its height follows
// its width.
#pragma once

#include <QLayout>
#include <vector>

class ResponsiveGrid : public QLayout {
    Q_OBJECT
public:
    /// How the columns share the width.
    enum class CellWidth {
        /// Fractional column widths, each cell's edges rounded to the nearest pixel.
        rounded,
        /// One whole-pixel width for every column; the remainder stays at the right.
        whole,
    };

    /// Columns of at least `minimumColumn`, `columnGap` apart; rows `rowGap` apart.
    ResponsiveGrid(double minimumColumn, double columnGap, int rowGap, QWidget* parent = nullptr);
    ~ResponsiveGrid() override;

    /// The column count for `width` (at least 1).
    static int columns(double width, double minimumColumn, double columnGap);
    int columns(int width) const { return columns(width, minimumColumn, columnGap); }

    void setCellWidth(CellWidth value) { cellWidth = value; }
    /// When set, an item is no wider than its size hint (nor than the column's whole pixels).
    void setItemsKeepTheirWidth(bool value) { keepWidth = value; }
    /// The width the size hint is reported for (the minimum column unless set).
    void setPreferredWidth(int value) { preferredWidth = value; }

    void addItem(QLayoutItem* item) override;
    int count() const override { return int(items.size()); }
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;

    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override { return {0, 0}; }
    /// Places every item, hidden ones included (they keep their cells).
    void setGeometry(const QRect& rect) override;

private:
    /// Lays the items out in `rect` (moving them when `place`) and returns the height used.
    int arrange(const QRect& rect, bool place) const;

    std::vector<QLayoutItem*> items;
    double minimumColumn;
    double columnGap;
    int rowGap;
    CellWidth cellWidth = CellWidth::rounded;
    bool keepWidth = false;
    int preferredWidth;
};
