#include "ui/controls/MonoButton.hpp"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "ui/controls/FocusRing.hpp"
#include "ui/controls/Shapes.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Symbols.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr double symbolSpacing = 5;
constexpr double trailingSpacing = 4;
constexpr double disabledOpacity = 0.35;
/// A filled button's ring keeps clear of the fill, which may be its colour.
constexpr double filledRingGap = 2;
}  // namespace

MonoButton::MonoButton(const QString& text, MonoButtonStyle style, QWidget* parent)
    : QAbstractButton(parent), labelText(text), style(style) {
    setFocusPolicy(Qt::TabFocus);
    FocusRing::setRadius(this, FocusRing::capsule);
    FocusRing::setGap(this, style.filled ? filledRingGap : 0);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(text);
}

void MonoButton::setLabel(const QString& text) {
    labelText = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void MonoButton::setControlSize(ControlSize size) {
    controlSize = size;
    updateGeometry();
    update();
}

void MonoButton::setSymbol(const std::string& name) {
    symbol = name;
    updateGeometry();
    update();
}

void MonoButton::setTrailingSymbol(const std::string& name, double textSize) {
    trailingSymbol = name;
    trailingSize = textSize;
    updateGeometry();
    update();
}

MonoButton::SizeClass MonoButton::sizeClass(ControlSize size) {
    switch (size) {
    case ControlSize::mini:
    case ControlSize::small: return SizeClass::small;
    case ControlSize::large: return SizeClass::large;
    default: return SizeClass::regular;
    }
}

MonoButton::Metrics MonoButton::metrics(SizeClass sizeClass) {
    switch (sizeClass) {
    case SizeClass::small: return {11.5, 10, 4};
    case SizeClass::large: return {14, 18, 9};
    case SizeClass::regular: break;
    }
    return {12.5, 13, 6};
}

MonoButton::Look MonoButton::look(const MonoButtonStyle& style, bool pressed, bool hovering, bool enabled) {
    Look look;
    look.opacity = enabled ? 1 : disabledOpacity;
    if (style.filled) {
        const double strength = pressed ? 0.75 : hovering ? 0.88 : 1;
        look.foreground = qColor(Theme::ink);
        look.background = qColor(style.tint.rgb, style.tint.opacity * strength);
        look.border = Qt::transparent;
    } else {
        const double strength = pressed ? 0.22 : (hovering && enabled) ? 0.1 : 0;
        look.foreground = qColor(Theme::paper);
        look.background = qColor(Theme::paper.rgb, strength);
        look.border = qColor(Theme::paper.rgb, 0.42);
    }
    return look;
}

QFont MonoButton::labelFont() const {
    return Typography::font(metrics(sizeClass(controlSize)).fontSize, QFont::DemiBold);
}

double MonoButton::contentWidth() const {
    const double textSize = metrics(sizeClass(controlSize)).fontSize;
    double width = Typography::width(labelFont(), labelText);
    if (!symbol.empty()) width += Symbols::side(textSize) + symbolSpacing;
    if (!trailingSymbol.empty()) width += trailingSpacing + Symbols::side(trailingSize);
    return width;
}

QSize MonoButton::sizeHint() const {
    const Metrics m = metrics(sizeClass(controlSize));
    return QSize(int(std::ceil(contentWidth() + 2 * m.horizontal)),
                 int(std::ceil(Typography::lineHeight(labelFont()) + 2 * m.vertical)));
}

void MonoButton::paintEvent(QPaintEvent*) {
    const Metrics m = metrics(sizeClass(controlSize));
    const Look colors = look(style, isDown(), hovering, isEnabled());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(colors.opacity);
    Shapes::fillCapsule(painter, QRectF(rect()), colors.background, colors.border);

    const double center = height() / 2.0;
    double x = std::max(m.horizontal, (width() - contentWidth()) / 2);
    if (!symbol.empty()) {
        const double side = Symbols::side(m.fontSize);
        Symbols::draw(painter, QRectF(x, center - side / 2, side, side), symbol, colors.foreground, m.fontSize);
        x += side + symbolSpacing;
    }
    painter.setFont(labelFont());
    painter.setPen(colors.foreground);
    // Squeezed below its size by a crowded row, the label is cut with an ellipsis rather than clipped.
    const double room = width() - (contentWidth() - Typography::width(labelFont(), labelText)) - 2 * m.horizontal;
    const QString shown = QFontMetricsF(labelFont()).elidedText(labelText, Qt::ElideRight, std::max(0.0, room));
    const double textWidth = Typography::width(labelFont(), shown);
    Typography::drawLine(painter, QRectF(x, 0, textWidth, height()), shown);
    x += textWidth;
    if (!trailingSymbol.empty()) {
        const double side = Symbols::side(trailingSize);
        Symbols::draw(painter, QRectF(x + trailingSpacing, center - side / 2, side, side), trailingSymbol,
                      colors.foreground, trailingSize);
    }
}

bool MonoButton::hitButton(const QPoint& position) const {
    return Shapes::capsule(QRectF(rect())).contains(QPointF(position) + QPointF(0.5, 0.5));
}

void MonoButton::setHovering(bool value) {
    if (hovering == value) return;
    hovering = value;
    update();
}

void MonoButton::enterEvent(QEnterEvent* event) { setHovering(hitButton(event->position().toPoint())); }
void MonoButton::leaveEvent(QEvent*) { setHovering(false); }
void MonoButton::mouseMoveEvent(QMouseEvent* event) {
    setHovering(hitButton(event->position().toPoint()));
    QAbstractButton::mouseMoveEvent(event);
}
