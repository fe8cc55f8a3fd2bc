#include "ui/controls/FocusRing.hpp"

#include <QPainter>
#include <QVariant>
#include <algorithm>

#include "ui/controls/Shapes.hpp"
#include "ui/theme/QtTheme.hpp"

namespace {
constexpr double ringWidth = 2;
const char* const radiusProperty = "ostrevaneFocusRingRadius";
const char* const ownRingProperty = "ostrevaneDrawsFocusRing";
}  // namespace

FocusRing::FocusRing(QWidget* parent) : QFocusFrame(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void FocusRing::setRadius(QWidget* widget, double radius) { widget->setProperty(radiusProperty, radius); }

double FocusRing::radius(const QWidget* widget) {
    const QVariant value = widget->property(radiusProperty);
    return value.isValid() ? value.toDouble() : defaultRadius;
}

void FocusRing::setDrawnByWidget(QWidget* widget) { widget->setProperty(ownRingProperty, true); }

bool FocusRing::isDrawnByWidget(const QWidget* widget) { return widget->property(ownRingProperty).toBool(); }

bool FocusRing::isShownOn(const QWidget* widget) {
    return widget && widget->hasFocus() && widget->window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

void FocusRing::paint(QPainter& painter, const QRectF& rect, double radius) {
    // The stroke is centred one unit outside the control, so it covers the
    // two units around it and never the control's own outline.
    const QRectF ring = rect.adjusted(-ringWidth / 2, -ringWidth / 2, ringWidth / 2, ringWidth / 2);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(qColor(Theme::accent), ringWidth));
    painter.setBrush(Qt::NoBrush);
    if (radius < 0) {
        painter.drawPath(Shapes::capsule(ring));
    } else {
        const double r = radius + ringWidth / 2;
        painter.drawRoundedRect(ring, r, r);
    }
    painter.restore();
}

void FocusRing::paintEvent(QPaintEvent*) {
    const QWidget* target = widget();
    if (!target || !isShownOn(target)) return;
    QPainter painter(this);
    const QPoint offset = target->mapToGlobal(QPoint()) - mapToGlobal(QPoint());
    QRectF around(QRect(offset, target->size()));
    double cornerRadius = radius(target);
    // A control flush with its container's edge (a row across a card) would
    // lose the part of the ring outside it: that ring is drawn inside instead.
    const QRect visible = parentWidget() ? parentWidget()->rect().translated(-pos()) : rect();
    if (!QRectF(visible).contains(around.adjusted(-ringWidth, -ringWidth, ringWidth, ringWidth))) {
        around.adjust(ringWidth, ringWidth, -ringWidth, -ringWidth);
        if (cornerRadius > 0) cornerRadius = std::max(0.0, cornerRadius - ringWidth);
    }
    paint(painter, around, cornerRadius);
}
