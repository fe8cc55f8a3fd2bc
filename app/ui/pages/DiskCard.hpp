// The startup disk on the overview: name and free space, the capacity bar,
// a legend whose entries open their folders in the explorer, and a warning
// when the disk is nearly full. The bar and the legend share one hover.
#pragma once

#include <QAbstractButton>
#include <functional>
#include <memory>
#include <vector>

#include "model/AppModel.hpp"
#include "pages/UsageSegments.hpp"
#include "ui/controls/Card.hpp"
#include "ui/controls/ResponsiveGrid.hpp"

class CapacityBar;
class QLabel;
class TextRuns;

/// One legend entry: the segment's colour, its label and its size. Disabled
/// (and faded) when the segment has no folder to open.
class LegendEntry : public QAbstractButton {
    Q_OBJECT
public:
    explicit LegendEntry(UsageSegment segment, QWidget* parent = nullptr);

    const UsageSegment& segment() const { return shown; }
    /// Faded to 0.4 while another segment is hovered.
    void setDimmed(bool value);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    UsageSegment shown;
    bool dimmed = false;
};

/// The legend's adaptive grid: as many columns of at least 190 points as fit,
/// 14 points apart, rows 8 points apart; an entry no wider than it needs.
class LegendGrid : public QWidget {
    Q_OBJECT
public:
    explicit LegendGrid(QWidget* parent = nullptr);

    /// Replaces the entries; the grid owns them.
    void setEntries(std::vector<LegendEntry*> entries);
    const std::vector<LegendEntry*>& entries() const { return items; }

private:
    ResponsiveGrid* grid;
    std::vector<LegendEntry*> items;
};

class DiskCard : public Card {
    Q_OBJECT
public:
    /// `model` receives the legend's navigation.
    explicit DiskCard(std::shared_ptr<AppModel> model, QWidget* parent = nullptr);

    /// Shows `volume` split into `segments`.
    void show(const VolumeInfo& volume, const std::vector<UsageSegment>& segments);

protected:
    /// The legend entries' hover.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setHovered(const QString& id);

    std::shared_ptr<AppModel> model;
    QLabel* name;
    TextRuns* available;
    CapacityBar* capacity;
    LegendGrid* grid;
    QWidget* warningRow;
    QLabel* warningText;
    std::vector<UsageSegment> segments;
    QString hovered;
};
