// The destinations' adaptive grid: as many columns of at least 296 points as
// fit, 12 apart, cells top-aligned, rows 12 apart, each row as tall as its
// tallest card.
#pragma once

#include <QWidget>
#include <vector>

class DestinationGrid : public QWidget {
    Q_OBJECT
public:
    explicit DestinationGrid(QWidget* parent = nullptr);

    /// Appends a card; the grid owns it.
    void add(QWidget* card);
    int count() const { return int(cards.size()); }
    /// The columns at the current width.
    int columns() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    /// Lays the cards out at `width` (when `place`) and returns the total height.
    int arrange(int width, bool place) const;

    std::vector<QWidget*> cards;
};
