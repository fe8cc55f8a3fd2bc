#include "ui/controls/TextLink.hpp"

#include <QPainter>
#include <cmath>

#include "ui/controls/FocusRing.hpp"
#include "ui/theme/QtTheme.hpp"

TextLink::TextLink(const QString& text, const QFont& font, QWidget* parent) : QAbstractButton(parent), labelText(text) {
    setFont(font);
    setFocusPolicy(Qt::TabFocus);
    FocusRing::setRadius(this, 3);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(text);
}

QColor TextLink::color(bool pressed) { return qColor(Theme::accent.rgb, pressed ? 0.55 : 1); }

QSize TextLink::sizeHint() const {
    return QSize(int(std::ceil(Typography::width(font(), labelText))), Typography::lineHeight(font()));
}

void TextLink::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(0.35);
    QFont underlined = font();
    underlined.setUnderline(true);
    painter.setFont(underlined);
    painter.setPen(color(isDown()));
    Typography::drawLine(painter, QRectF(rect()), labelText);
}
