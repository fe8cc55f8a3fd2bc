// One of the overview's three summary cards: a header label, a large figure,
// an optional secondary line and one button at the bottom.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "pages/OverviewCards.hpp"
#include "ui/controls/Card.hpp"
#include "ui/controls/MonoButton.hpp"

class QLabel;
class Spinner;
class TextRuns;

class SummaryCardView : public Card {
    Q_OBJECT
public:
    /// The header is `title` (already localised) after `symbol`; the button
    /// looks like `style` and runs `action`.
    SummaryCardView(const std::string& symbol, const std::string& title, MonoButtonStyle style,
                    std::function<void()> action, QWidget* parent = nullptr);

    /// Shows `card`; `safe` replaces its line with the three-part reclaim
    /// line; `spinning` puts a small spinner before the line.
    void show(const SummaryCard& card, const std::optional<SafeLine>& safe = std::nullopt, bool spinning = false);

    QLabel* figure() const { return number; }
    TextRuns* line() const { return lineText; }
    MonoButton* button() const { return action; }

private:
    QLabel* number;
    QWidget* lineRow;
    Spinner* spinner;
    TextRuns* lineText;
    MonoButton* action;
};
