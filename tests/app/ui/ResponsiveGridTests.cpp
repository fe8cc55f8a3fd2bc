#include <gtest/gtest.h>

#include <QWidget>
#include <vector>

#include "ui/controls/ResponsiveGrid.hpp"

namespace {
/// A box with a fixed preferred size; with `wrapsAt` set its height grows as its width shrinks below it.
class Box : public QWidget {
public:
    Box(QSize hint, int wrapsAt = 0) : hint(hint), wrapsAt(wrapsAt) {}
    QSize sizeHint() const override { return hint; }
    bool hasHeightForWidth() const override { return wrapsAt > 0; }
    int heightForWidth(int width) const override { return width < wrapsAt ? 2 * hint.height() : hint.height(); }

private:
    QSize hint;
    int wrapsAt;
};

struct Grid {
    QWidget host;
    ResponsiveGrid* layout;
    std::vector<Box*> boxes;

    Grid(double minimumColumn, double gap, int rowGap, const std::vector<Box*>& items)
        : layout(new ResponsiveGrid(minimumColumn, gap, rowGap, &host)), boxes(items) {
        for (Box* box : boxes) layout->addWidget(box);
    }
    std::vector<QRect> placedAt(int width) {
        host.resize(width, 500);
        layout->activate();
        layout->setGeometry(QRect(0, 0, width, 500));
        std::vector<QRect> result;
        for (Box* box : boxes) result.push_back(box->geometry());
        return result;
    }
};

TEST(ResponsiveGrid, ColumnsAreTheMostThatFitAndAtLeastOne) {
    const struct {
        double width;
        int expected;
    } cases[] = {{0, 1}, {299, 1}, {300, 1}, {607, 1}, {608, 2}, {916, 3}, {-50, 1}};
    for (const auto& c : cases) EXPECT_EQ(ResponsiveGrid::columns(c.width, 300, 8), c.expected) << c.width;
}

TEST(ResponsiveGrid, RoundedCellsShareTheWidthAndRowsFollowEachOther) {
    Grid grid(100, 10, 5, {new Box({50, 20}), new Box({50, 20}), new Box({50, 20})});
    // 215 wide: two columns of 102.5, edges rounded; the third item opens the second row.
    const auto cells = grid.placedAt(215);
    EXPECT_EQ(cells[0], QRect(0, 0, 103, 20));
    EXPECT_EQ(cells[1], QRect(113, 0, 102, 20));
    EXPECT_EQ(cells[2], QRect(0, 25, 103, 20));
    EXPECT_EQ(grid.layout->heightForWidth(215), 45);
    EXPECT_EQ(grid.layout->heightForWidth(100), 70);  // one column, three rows
}

TEST(ResponsiveGrid, WholeCellsLeaveTheRemainderAndRowsTakeTheirTallestItem) {
    // The first box wraps below 110: in a 102-wide cell it is twice as tall, and so is its row.
    Grid grid(100, 10, 5, {new Box({50, 20}, 110), new Box({50, 30}), new Box({50, 20})});
    grid.layout->setCellWidth(ResponsiveGrid::CellWidth::whole);
    const auto cells = grid.placedAt(215);
    EXPECT_EQ(cells[0], QRect(0, 0, 102, 40));
    EXPECT_EQ(cells[1], QRect(112, 0, 102, 30));
    EXPECT_EQ(cells[2], QRect(0, 45, 102, 20));
    EXPECT_EQ(grid.layout->heightForWidth(215), 65);
}

TEST(ResponsiveGrid, ItemsThatKeepTheirWidthStayWithinTheirHintAndTheirColumn) {
    Grid grid(100, 10, 5, {new Box({50, 20}), new Box({400, 20})});
    grid.layout->setItemsKeepTheirWidth(true);
    const auto cells = grid.placedAt(215);
    EXPECT_EQ(cells[0].width(), 50);
    EXPECT_EQ(cells[1], QRect(113, 0, 102, 20));  // the column's whole pixels, not the rounded edge
}

TEST(ResponsiveGrid, HiddenItemsKeepTheirCellsAndTheHintFollowsThePreferredWidth) {
    Grid grid(100, 10, 5, {new Box({50, 20}), new Box({50, 20}), new Box({50, 20})});
    grid.boxes[0]->hide();
    EXPECT_EQ(grid.placedAt(215)[1].topLeft(), QPoint(113, 0));
    EXPECT_EQ(grid.layout->sizeHint(), QSize(100, 70));
    grid.layout->setPreferredWidth(215);
    EXPECT_EQ(grid.layout->sizeHint(), QSize(215, 45));
    EXPECT_EQ(grid.layout->minimumSize(), QSize(0, 0));
}
}  // namespace
