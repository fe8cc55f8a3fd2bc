#include "ui/controls/BrandMark.hpp"

#include <QPainter>
#include <cmath>

#include "maps/BrandMarkCells.hpp"
#include "ui/controls/Shapes.hpp"
#include "ui/theme/QtTheme.hpp"

BrandMark::BrandMark(double size, QWidget* parent) : QWidget(parent), side(size) {
    setFixedSize(int(std::ceil(size)), int(std::ceil(size)));
}

void BrandMark::paint(QPainter& painter, const QPointF& origin, double size) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(origin);
    for (const BrandCellShape& cell : BrandMarkCells::shapes(size)) {
        painter.fillPath(Shapes::path(cell.path), qColor(cell.accent ? Theme::accent : Theme::paper));
    }
    painter.restore();
}

void BrandMark::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, QPointF(0, 0), side);
}
