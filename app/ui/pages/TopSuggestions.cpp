#include "ui/pages/TopSuggestions.hpp"

#include <QBoxLayout>
#include <QLabel>
#include <QPainter>

#include "text/Localization.hpp"
#include "ui/controls/Card.hpp"
#include "ui/controls/SectionTitle.hpp"
#include "ui/controls/SymbolView.hpp"
#include "ui/controls/Tags.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/controls/TextLink.hpp"
#include "ui/controls/TextRuns.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace {
/// The hairline between two rows, inset 16 points from the leading edge.
class Divider : public QWidget {
public:
    Divider() { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(QRect(16, 0, width() - 16, 1), qColor(Theme::line));
    }
};

/// Child widgets of a row leave its clicks to the row.
template <class Widget>
Widget* passive(Widget* widget) {
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    return widget;
}

void clear(QBoxLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        if (QLayout* inner = item->layout()) {
            clear(static_cast<QBoxLayout*>(inner));
        }
        delete item;
    }
}
}  // namespace

SuggestionRow::SuggestionRow(const Suggestion& suggestion, QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(QString::fromStdString(suggestion.title));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 11, 16, 11);
    row->setSpacing(12);
    const RiskAppearance risk = RiskTag::appearance(suggestion.risk);
    row->addWidget(passive(new SymbolView(risk.symbol, qColor(risk.color), 10, QSizeF(12, 0))), 0, Qt::AlignVCenter);
    auto* title = passive(new TextRuns(
        {{shownText(suggestion.title), Typography::font(TextStyle::body, QFont::Medium), Foreground::primary()}}));
    title->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    row->addWidget(title, 0, Qt::AlignVCenter);
    row->addWidget(passive(new RiskTag(suggestion.risk)), 0, Qt::AlignVCenter);
    row->addStretch(1);
    const QFont size = Typography::monospacedDigits(Typography::font(TextStyle::body, QFont::Bold));
    row->addWidget(passive(textLabel(QString::fromStdString(suggestion.reclaimable), size, Foreground::primary())), 0,
                   Qt::AlignVCenter);
    row->addWidget(
        passive(new SymbolView("chevron.right", Foreground::tertiary(), Typography::size(TextStyle::caption))), 0,
        Qt::AlignVCenter);
}

void SuggestionRow::paintEvent(QPaintEvent*) {}

TopSuggestions::TopSuggestions(std::function<void()> openPage, QWidget* parent)
    : QWidget(parent), open(std::move(openPage)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    auto* header = new QHBoxLayout;
    header->addWidget(new SectionTitle(QString::fromStdString(L("最值得处理的"))));
    header->addStretch(1);
    all = new TextLink(QString::fromStdString(L("全部建议")), Typography::font(TextStyle::callout));
    connect(all, &QAbstractButton::clicked, this, [this] { open(); });
    header->addWidget(all, 0, Qt::AlignVCenter);
    column->addLayout(header);
    auto* card = new Card(0);
    card->content()->setAlignment(Qt::Alignment());
    listCard = card;
    list = card->content();
    column->addWidget(card);
    notes = new QVBoxLayout;
    notes->setSpacing(10);
    column->addLayout(notes);
}

void TopSuggestions::show(const SuggestionReport& report, size_t count) {
    std::vector<Suggestion> first(report.suggestions.begin(), report.suggestions.begin() + long(count));
    if (first == listed && report.notes == noteTexts) return;
    listed = first;
    noteTexts = report.notes;
    clear(list);
    entries.clear();
    for (const Suggestion& suggestion : listed) {
        if (!entries.empty()) list->addWidget(new Divider);
        auto* row = new SuggestionRow(suggestion);
        connect(row, &QAbstractButton::clicked, this, [this] { open(); });
        entries.push_back(row);
        list->addWidget(row);
    }
    clear(notes);
    const QFont caption = Typography::font(TextStyle::caption);
    for (const std::string& note : noteTexts) {
        auto* line = new QHBoxLayout;
        line->setSpacing(5);
        line->addWidget(new SymbolView("info.circle", Foreground::secondary(), Typography::size(TextStyle::caption)), 0,
                        Qt::AlignTop);
        QLabel* text = textLabel(shownText(note), caption, Foreground::secondary());
        text->setWordWrap(true);
        line->addWidget(text, 1);
        notes->addLayout(line);
    }
}
