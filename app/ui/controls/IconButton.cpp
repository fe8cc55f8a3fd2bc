#include "ui/controls/IconButton.hpp"

#include <QPainter>
#include <QTextDocument>

#include "ui/theme/Symbols.hpp"
#include "ui/theme/Typography.hpp"

IconButton::IconButton(const std::string& symbol, const QString& help, std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent), symbolName(symbol) {
    setFocusPolicy(Qt::TabFocus);
    setFixedSize(sizeHint());
    if (!help.isEmpty()) setToolTip(Qt::convertFromPlainText(help, Qt::WhiteSpaceNormal));
    setAccessibleName(help);
    if (action) connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

void IconButton::setSymbol(const std::string& symbol) {
    symbolName = symbol;
    update();
}

void IconButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!isEnabled()) painter.setOpacity(0.35);
    Symbols::draw(painter, QRectF(rect()), symbolName, Foreground::secondary(), Typography::size(TextStyle::body));
}
