#include "ui/controls/SymbolView.hpp"

#include <QPainter>
#include <cmath>

#include "ui/theme/Symbols.hpp"

SymbolView::SymbolView(const std::string& symbol, const QColor& color, double textSize, QSizeF frame, QWidget* parent)
    : QWidget(parent), symbolName(symbol), color(color), textSize(textSize) {
    const double side = Symbols::side(textSize);
    frameSize = QSize(int(std::ceil(std::max(frame.width(), side))), int(std::ceil(std::max(frame.height(), side))));
    setFixedSize(frameSize);
}

void SymbolView::setSymbol(const std::string& symbol, const QColor& value) {
    symbolName = symbol;
    color = value;
    update();
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Symbols::draw(painter, QRectF(rect()), symbolName, color, textSize);
}
