// The destinations' adaptive grid: as many columns of at least 296 points as
// fit, 12 apart, cells top-aligned, rows 12 apart, each row as tall as its
// tallest card.
#pragma once

#include <QWidget>

class ResponsiveGrid;

class DestinationGrid : public QWidget {
    Q_OBJECT
public:
    explicit DestinationGrid(QWidget* parent = nullptr);

    /// Appends a card; the grid owns it.
    void add(QWidget* card);
    int count() const;
    /// The columns at the current width.
    int columns() const;

private:
    ResponsiveGrid* grid;
};
