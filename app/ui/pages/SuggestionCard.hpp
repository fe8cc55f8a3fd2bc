// One suggestion on the suggestions page: icon, title with its risk, detail,
// the command to run by hand, the size, its actions and, on request, its items.
#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "clean/SuggestionTypes.hpp"
#include "model/AppModel.hpp"
#include "ui/controls/Card.hpp"

class QAbstractButton;
class QHBoxLayout;
class QVBoxLayout;
class MonoButton;
class TextLink;

/// What a card remembers of its suggestion while the page lives, across reports.
struct SuggestionCardState {
    bool expanded = false;
    bool copied = false;
};

class SuggestionCard : public Card {
    Q_OBJECT
public:
    /// `state` must outlive the card (the page keeps it per suggestion id);
    /// `onApply` asks the page to confirm this suggestion.
    SuggestionCard(std::shared_ptr<AppModel> model, Suggestion suggestion, SuggestionCardState& state,
                   std::function<void()> onApply, QWidget* parent = nullptr);

    const Suggestion& suggestion() const { return shown; }
    /// Rebuilds the controls that follow the model's busy state and destinations.
    void refresh();

    /// The second control's button (clean, empty, release all or the menu); null for none or the spinner.
    QAbstractButton* secondButton() const { return second; }
    bool showsSpinner() const { return spinnerShown; }
    TextLink* copyButton() const { return copyLink; }
    QAbstractButton* firstButton() const { return first; }

private:
    QWidget* makeMainRow();
    QWidget* makeTexts();
    QWidget* makeCommandRow();
    QWidget* makeItemList();
    QWidget* makeItemRow(const SuggestionItem& item);
    void toggleExpanded();
    void copyCommand();
    void addSecondControl();

    std::shared_ptr<AppModel> model;
    Suggestion shown;
    SuggestionCardState& state;
    std::function<void()> onApply;

    QHBoxLayout* actions = nullptr;
    QAbstractButton* first = nullptr;
    QAbstractButton* second = nullptr;
    bool spinnerShown = false;
    TextLink* copyLink = nullptr;
    QWidget* itemList = nullptr;
    std::vector<QPointer<MonoButton>> releases;
};
