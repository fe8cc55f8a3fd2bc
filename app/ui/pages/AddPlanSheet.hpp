// The add-plan sheet's panel: the chosen folder, one choice row per available
// destination, where the backup would land, Cancel and Add. It only shows
// the state it is given; the backup page owns the state and the actions.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "pages/BackupLogic.hpp"

class MonoButton;
class QAbstractButton;

class AddPlanSheet : public QWidget {
    Q_OBJECT
public:
    /// What the sheet's controls do.
    struct Actions {
        std::function<void(const std::string& destinationId)> select;
        std::function<void()> cancel;
        std::function<void()> add;
    };

    /// A 460-point panel, padded 22, for `state` over the available destinations.
    AddPlanSheet(const AddPlanState& state, const std::vector<BackupDestination>& available, Actions actions,
                 QWidget* parent = nullptr);

    MonoButton* addButton() const { return add; }

private:
    std::vector<QAbstractButton*> rows;
    MonoButton* add = nullptr;
    MonoButton* cancel = nullptr;
};
