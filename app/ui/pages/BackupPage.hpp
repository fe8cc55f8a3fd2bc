// The backup page: the running backup, the destinations (custom folders can
// be added and removed), the plans with their last runs, and the newest
// history. New plans are made through a folder chooser and the add-plan sheet.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "model/AppModel.hpp"
#include "pages/BackupLogic.hpp"
#include "ui/shell/PageRegistry.hpp"

class ConfirmSheetHost;
class MonoBar;
class MonoButton;
class ElidedLabel;
class PageScroll;
class QLabel;
class AddPlanSheet;
class DestinationGrid;

class BackupPage : public QWidget {
    Q_OBJECT
public:
    /// Observes the model while it lives. The add-plan sheet is shown on the
    /// context's sheet host; nothing on this page asks for confirmation.
    explicit BackupPage(const PageContext& context, QWidget* parent = nullptr);
    ~BackupPage() override;

    /// The add-folder flow: a folder from the chooser becomes a custom destination.
    void addFolder();
    /// The add-plan flow: a folder from the chooser opens the sheet.
    void addPlan();
    const AddPlanState& addPlanState() const { return sheetState; }
    /// The sheet's panel while it is open, else null.
    AddPlanSheet* sheet() const;

    /// Controls for tests and the snapshot.
    MonoButton* addPlanButton() const { return addPlanControl; }
    /// Columns of the destination grid as laid out now.
    int destinationColumns() const;
    int destinationCardCount() const;

private:
    void update();
    void refreshRunning();
    QWidget* makeRunningCard();
    QWidget* makeDestinations();
    QWidget* makePlans();
    QWidget* makeHistory();
    QWidget* makePlanRow(const BackupPlan& plan);
    QWidget* makeHistoryRow(const BackupReport& report);
    void replace(QWidget*& section, QWidget* fresh, int index);
    void showSheet();
    void cancelSheet();
    /// Adds the sheet's plan; false while it cannot be added.
    bool confirmSheet();

    std::shared_ptr<AppModel> model;
    size_t observation = 0;
    PageScroll* scroll;
    QPointer<ConfirmSheetHost> sheetHost;
    /// The add-plan panel this page put on the host, until the host lets it go.
    /// Held as a plain object: its `destroyed` handler asks after it while it
    /// is no longer an AddPlanSheet.
    QPointer<QObject> shownSheet;
    /// Whether the host still shows this page's sheet; casts nothing.
    bool showsOwnSheet() const;
    AddPlanState sheetState;

    QWidget* running = nullptr;
    QWidget* destinations = nullptr;
    QWidget* plans = nullptr;
    QWidget* history = nullptr;
    DestinationGrid* grid = nullptr;
    MonoButton* runAll = nullptr;
    MonoButton* addPlanControl = nullptr;
    int historyRows = 0;

    // What each section was built from, so a model change rebuilds only what it touches.
    std::string runningKey, destinationsKey, plansKey, historyKey, availableKey;
    MonoBar* bar = nullptr;
    QLabel* counts = nullptr;
    ElidedLabel* currentPath = nullptr;
};
