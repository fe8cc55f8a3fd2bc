// The overview's list of the largest suggestions: a heading with a link to
// all of them, up to five rows in a card, and the report's notes under it.
// Every row only switches to the suggestions page.
#pragma once

#include <QAbstractButton>
#include <QWidget>
#include <functional>
#include <vector>

#include "clean/SuggestionTypes.hpp"

class QBoxLayout;
class TextLink;

/// One suggestion: risk symbol, title, risk tag, size and a chevron; the
/// whole row is clickable.
class SuggestionRow : public QAbstractButton {
    Q_OBJECT
public:
    explicit SuggestionRow(const Suggestion& suggestion, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TopSuggestions : public QWidget {
    Q_OBJECT
public:
    /// `open` switches to the suggestions page.
    explicit TopSuggestions(std::function<void()> open, QWidget* parent = nullptr);

    /// Lists the first `count` suggestions of `report` and its notes; rebuilds only when they changed.
    void show(const SuggestionReport& report, size_t count);

private:
    std::function<void()> open;
    TextLink* all;
    QWidget* listCard;
    QBoxLayout* list;
    QBoxLayout* notes;
    std::vector<SuggestionRow*> entries;
    std::vector<Suggestion> listed;
    std::vector<std::string> noteTexts;
};
