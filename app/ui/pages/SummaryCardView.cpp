#include "ui/pages/SummaryCardView.hpp"

#include <QBoxLayout>
#include <QLabel>

#include "ui/controls/Spinner.hpp"
#include "ui/controls/SymbolView.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/controls/TextRuns.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace {
/// A symbol and a text, as the platform's label shows them.
QWidget* headerLabel(const std::string& symbol, const std::string& title) {
    auto* label = new QWidget;
    auto* row = new QHBoxLayout(label);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(5);
    const QFont font = Typography::font(TextStyle::subheadline, QFont::DemiBold);
    row->addWidget(new SymbolView(symbol, Foreground::secondary(), Typography::size(TextStyle::subheadline)));
    row->addWidget(textLabel(QString::fromStdString(title), font, Foreground::secondary()));
    row->addStretch(1);
    return label;
}
}  // namespace

SummaryCardView::SummaryCardView(const std::string& symbol, const std::string& title, MonoButtonStyle style,
                                 std::function<void()> run, QWidget* parent)
    : Card(16, parent) {
    // Cards of a row share the tallest one's height; the button stays at the bottom.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    content()->setSpacing(8);
    content()->setAlignment(Qt::Alignment());  // the content fills the card
    content()->addWidget(headerLabel(symbol, title));
    number = textLabel({}, Typography::font(30, QFont::ExtraBold), Foreground::primary());
    number->setFixedHeight(Typography::lineHeight(number->font()));
    content()->addWidget(number);
    lineRow = new QWidget;
    auto* row = new QHBoxLayout(lineRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    spinner = new Spinner(ControlSize::small);
    lineText = new TextRuns;
    row->addWidget(spinner, 0, Qt::AlignVCenter);
    row->addWidget(lineText, 1, Qt::AlignVCenter);
    content()->addWidget(lineRow);
    // Spacing 8, a spacer of at least 4, spacing 8: the layout adds no spacing next to a spacer.
    content()->addSpacerItem(new QSpacerItem(0, 20, QSizePolicy::Minimum, QSizePolicy::MinimumExpanding));
    action = new MonoButton({}, style);
    connect(action, &QAbstractButton::clicked, this, [run = std::move(run)] { run(); });
    content()->addWidget(action, 0, Qt::AlignLeft);
}

void SummaryCardView::show(const SummaryCard& card, const std::optional<SafeLine>& safe, bool spinning) {
    number->setText(QString::fromStdString(card.figure));
    QPalette palette = number->palette();
    palette.setColor(QPalette::WindowText, card.dim ? Foreground::secondary() : Foreground::primary());
    number->setPalette(palette);
    const QFont callout = Typography::font(TextStyle::callout);
    const QColor secondary = Foreground::secondary();
    if (safe) {
        lineText->setRuns({{QString::fromStdString(safe->lead), callout, secondary},
                           {QString::fromStdString(safe->safe), Typography::font(TextStyle::callout, QFont::Bold),
                            qColor(Theme::accent)},
                           {QString::fromStdString(safe->tail), callout, secondary}});
    } else if (card.line) {
        lineText->setRuns({{QString::fromStdString(*card.line), Typography::monospacedDigits(callout), secondary}});
    }
    lineRow->setVisible(safe || card.line);
    spinner->setVisible(spinning);
    action->setLabel(QString::fromStdString(card.button));
    action->setEnabled(card.enabled);
}
