#include "ui/controls/ElidedLabel.hpp"

#include <QPainter>
#include <cmath>

#include "ui/theme/Typography.hpp"

ElidedLabel::ElidedLabel(const QString& text, const QFont& font, const QColor& color, Qt::TextElideMode mode,
                         QWidget* parent)
    : QWidget(parent), fullText(text), color(color), mode(mode) {
    setFont(font);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setToolTip(text.toHtmlEscaped());
}

void ElidedLabel::setText(const QString& text) {
    fullText = text;
    setToolTip(text.toHtmlEscaped());
    updateGeometry();
    update();
}

void ElidedLabel::setAlignRight(bool right) {
    alignRight = right;
    update();
}

QSize ElidedLabel::sizeHint() const {
    return {int(std::ceil(Typography::width(font(), fullText))) + 1, QFontMetrics(font()).height()};
}

QSize ElidedLabel::minimumSizeHint() const {
    return {std::min(sizeHint().width(), QFontMetrics(font()).horizontalAdvance(QStringLiteral("…")) * 6),
            sizeHint().height()};
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(color);
    const QString shown = QFontMetrics(font()).elidedText(fullText, mode, width());
    painter.drawText(rect(), Qt::AlignVCenter | (alignRight ? Qt::AlignRight : Qt::AlignLeft), shown);
}
