#include "ui/controls/Card.hpp"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include "ui/controls/Shapes.hpp"
#include "ui/controls/SymbolView.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr double cornerRadius = 16;
}

Card::Card(int padding, QWidget* parent) : QWidget(parent), column(new QVBoxLayout(this)) {
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(0);
    column->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
}

void Card::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Shapes::fillRounded(painter, QRectF(rect()), cornerRadius, qColor(Theme::panel), qColor(Theme::line));
}

Callout::Callout(const std::string& icon, const ThemeColor& tint, QWidget* parent) : QWidget(parent), tint(tint) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(12);
    const double iconSize = Typography::size(TextStyle::title2);
    row->addWidget(new SymbolView(icon, qColor(tint), iconSize, QSizeF(30, 0)), 0, Qt::AlignVCenter);
    column = new QVBoxLayout;
    column->setSpacing(0);
    row->addLayout(column);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
}

void Callout::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Shapes::fillRounded(painter, QRectF(rect()), cornerRadius, qColor(Theme::panel), qColor(tint.rgb, 0.55));
}
