// The overview page: the permission banner while full disk access is
// missing, the startup disk, the three summary cards and the largest
// suggestions, on one scrolling page. It keeps no state of its own.
#pragma once

#include <QScrollArea>
#include <memory>

#include "model/AppModel.hpp"
#include "ui/shell/PageRegistry.hpp"

class DiskCard;
class SummaryCardView;
class TopSuggestions;

class OverviewPage : public QScrollArea {
    Q_OBJECT
public:
    /// Observes the model for its whole life.
    explicit OverviewPage(const PageContext& context, QWidget* parent = nullptr);
    ~OverviewPage() override;

    static constexpr int maxColumnWidth = 1100;

    QWidget* permissionBanner() const { return banner; }
    SummaryCardView* scanCard() const { return scan; }
    TopSuggestions* topSuggestions() const { return top; }

private:
    void refresh();

    std::shared_ptr<AppModel> model;
    size_t observation = 0;
    QWidget* banner;
    DiskCard* disk;
    SummaryCardView* reclaim;
    SummaryCardView* scan;
    SummaryCardView* backup;
    TopSuggestions* top;
};
