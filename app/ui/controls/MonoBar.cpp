#include "ui/controls/MonoBar.hpp"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "ui/controls/Shapes.hpp"
#include "ui/theme/QtTheme.hpp"

MonoBar::MonoBar(double value, double height, const ThemeColor& tint, QWidget* parent)
    : QWidget(parent), fraction(value), barHeight(height), tint(tint) {
    setFixedHeight(int(std::ceil(height)));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void MonoBar::setValue(double value) {
    fraction = value;
    update();
}

void MonoBar::setTint(const ThemeColor& value) {
    tint = value;
    update();
}

double MonoBar::fillWidth(double value, double width, double height) {
    double filled = 0;
    if (std::isfinite(value) && value >= 1) {
        filled = width;
    } else if (std::isfinite(value) && value >= 0) {
        filled = width * value;
    }
    return std::max(filled, height);
}

QSize MonoBar::sizeHint() const { return QSize(100, int(std::ceil(barHeight))); }

void MonoBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!isEnabled()) painter.setOpacity(0.35);
    const QRectF track(0, 0, width(), barHeight);
    Shapes::fillCapsule(painter, track, qColor(Theme::paper.rgb, 0.16), Qt::transparent);
    const QRectF fill(0, 0, fillWidth(fraction, width(), barHeight), barHeight);
    Shapes::fillCapsule(painter, fill, qColor(tint), Qt::transparent);
}
