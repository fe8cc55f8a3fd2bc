// The suggestions page: the reclaimable total with the clean-all-safe button,
// the Trash banner, one card per suggestion and the report's notes; the
// scanning view or the analysing placeholder while there is no report yet.
#pragma once

#include <QWidget>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/AppModel.hpp"
#include "pages/SuggestionsLogic.hpp"
#include "ui/pages/SuggestionCard.hpp"
#include "ui/shell/PageRegistry.hpp"

class ConfirmSheetHost;
class MonoButton;
class PageScroll;
class QStackedLayout;
class ScanningView;
class Spinner;

class SuggestionsPage : public QWidget {
    Q_OBJECT
public:
    /// Observes the model while it lives; confirmations go through the context's sheet.
    explicit SuggestionsPage(const PageContext& context, QWidget* parent = nullptr);
    ~SuggestionsPage() override;

    const std::vector<SuggestionCard*>& cards() const { return cardList; }
    MonoButton* allSafeButton() const { return allSafe; }
    MonoButton* emptyTrashButton() const { return emptyTrash; }

    /// Asks for confirmation of one suggestion, of emptying the Trash, of every safe item.
    void ask(const Suggestion& suggestion);
    void askEmptyTrash();
    void askAllSafe(const SuggestionReport& report);

private:
    void update();
    void rebuildReport(const SuggestionReport& report);
    QWidget* makeHeader(const SuggestionReport& report);
    QWidget* makeTrashBanner();
    void refreshBusy();
    CleaningCalls calls() const;

    std::shared_ptr<AppModel> model;
    ConfirmSheetHost* confirm;
    size_t observation = 0;
    QStackedLayout* stack;
    PageScroll* reportView;
    ScanningView* scanning;
    SuggestionRequests::PageState shownState = SuggestionRequests::PageState::analyzing;
    std::optional<SuggestionReport> shownReport;
    std::map<std::string, SuggestionCardState> cardStates;
    std::vector<SuggestionCard*> cardList;
    std::string cardKey;
    bool cardsStale = true;
    std::vector<QWidget*> reportWidgets;
    MonoButton* allSafe = nullptr;
    Spinner* allSafeSpinner = nullptr;
    QWidget* banner = nullptr;
    MonoButton* emptyTrash = nullptr;
    Spinner* emptyTrashSpinner = nullptr;
};
