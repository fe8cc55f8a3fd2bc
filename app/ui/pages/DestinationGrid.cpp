#include "ui/pages/DestinationGrid.hpp"

#include "pages/BackupLogic.hpp"
#include "ui/controls/ResponsiveGrid.hpp"

DestinationGrid::DestinationGrid(QWidget* parent)
    : QWidget(parent),
      grid(new ResponsiveGrid(BackupPageLogic::minimumCardWidth, int(BackupPageLogic::gridSpacing),
                              int(BackupPageLogic::gridSpacing), this)) {
    grid->setCellWidth(ResponsiveGrid::CellWidth::whole);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void DestinationGrid::add(QWidget* card) {
    card->setParent(this);
    grid->addWidget(card);
}

int DestinationGrid::count() const { return grid->count(); }

int DestinationGrid::columns() const { return BackupPageLogic::gridColumns(width()); }
