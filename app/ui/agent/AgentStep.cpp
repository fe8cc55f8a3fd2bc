#include "ui/agent/AgentStep.hpp"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/controls/SymbolView.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace {
QColor iconColor(bool done) { return done ? qColor(Theme::accent) : Foreground::secondary(); }
}  // namespace

AgentStep::AgentStep(int number, const QString& title, QWidget* parent) : QWidget(parent), number(number) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    icon = new SymbolView(symbol(number, false), iconColor(false), Typography::size(TextStyle::title3));
    row->addWidget(icon, 0, Qt::AlignTop);
    column = new QVBoxLayout;
    column->setSpacing(8);
    column->addWidget(textLabel(title, Typography::font(14, QFont::Bold), Foreground::primary()));
    row->addLayout(column, 1);
}

std::string AgentStep::symbol(int number, bool done) {
    return done ? "checkmark.circle.fill" : std::to_string(number) + ".circle";
}

void AgentStep::setDone(bool value) {
    if (value == done) return;
    done = value;
    icon->setSymbol(symbol(number, done), iconColor(done));
}

SymbolMessage::SymbolMessage(const std::string& symbol, const QFont& font, const QColor& color, bool selectable,
                             QWidget* parent)
    : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    const double size = font.pixelSize() > 0 ? font.pixelSize() : Typography::size(TextStyle::body);
    auto* icon = new SymbolView(symbol, color, size, QSizeF(0, Typography::lineHeight(font)));
    row->addWidget(icon, 0, Qt::AlignTop);
    label = textLabel({}, font, color);
    label->setWordWrap(true);
    if (selectable) label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(label, 1);
}

void SymbolMessage::setText(const QString& text) { label->setText(text); }

QString SymbolMessage::text() const { return label->text(); }

QWidget* makeDivider(int inset, QWidget* parent) {
    auto* holder = new QWidget(parent);
    auto* row = new QHBoxLayout(holder);
    row->setContentsMargins(inset, 0, 0, 0);
    auto* rule = new QFrame;
    rule->setFixedHeight(1);
    rule->setAutoFillBackground(true);
    QPalette palette = rule->palette();
    palette.setColor(QPalette::Window, qColor(Theme::line));
    rule->setPalette(palette);
    row->addWidget(rule);
    holder->setFixedHeight(1);
    return holder;
}
