#include "ui/controls/FocusRing.hpp"

#include <QEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QVariant>
#include <algorithm>

#include "ui/controls/Shapes.hpp"
#include "ui/theme/QtTheme.hpp"

namespace {
constexpr double ringWidth = 2;
const char* const radiusProperty = "ostrevaneFocusRingRadius";
const char* const gapProperty = "ostrevaneFocusRingGap";
const char* const ownRingProperty = "ostrevaneDrawsFocusRing";
constexpr double widestGap = 2;

/// What the frame asks its style: to lie above the control in the window or
/// the scroll area's viewport rather than under it in the control's parent,
/// with room for the ring and a gap around the control.
class AboveStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_FocusFrame_AboveWidget) return 1;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        if (metric == PM_FocusFrameHMargin || metric == PM_FocusFrameVMargin) return int(ringWidth + widestGap);
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};
}  // namespace

FocusRing::FocusRing(QWidget* parent) : QFocusFrame(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    auto* style = new AboveStyle;
    style->setParent(this);
    setStyle(style);
}

void FocusRing::setRadius(QWidget* widget, double radius) { widget->setProperty(radiusProperty, radius); }

double FocusRing::radius(const QWidget* widget) {
    const QVariant value = widget->property(radiusProperty);
    return value.isValid() ? value.toDouble() : defaultRadius;
}

void FocusRing::setGap(QWidget* widget, double gap) { widget->setProperty(gapProperty, std::min(gap, widestGap)); }

double FocusRing::gap(const QWidget* widget) { return widget->property(gapProperty).toDouble(); }

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

bool FocusRing::eventFilter(QObject* watched, QEvent* event) {
    const bool handled = QFocusFrame::eventFilter(watched, event);
    // The frame decides whether it is seen only when it starts following a
    // control; a control scrolled into view after taking the focus (as Tab
    // scrolls) would keep it hidden.
    const QWidget* target = widget();
    if (target && target->isVisible() && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        setVisible(parentWidget() && parentWidget()->rect().intersects(geometry()));
    return handled;
}

void FocusRing::paintEvent(QPaintEvent*) {
    const QWidget* target = widget();
    if (!target || !isShownOn(target)) return;
    QPainter painter(this);
    const QRectF control(QRect(target->mapToGlobal(QPoint()) - mapToGlobal(QPoint()), target->size()));
    const double spacing = gap(target);
    const double cornerRadius = radius(target);
    const QRectF outside = control.adjusted(-spacing, -spacing, spacing, spacing);
    // A control flush with the edge of the area the ring lies in (a list
    // filling its scroll area) would lose the part of the ring outside it:
    // that ring is drawn just inside the control instead.
    const QRect visible = parentWidget() ? parentWidget()->rect().translated(-pos()) : rect();
    if (QRectF(visible).contains(outside.adjusted(-ringWidth, -ringWidth, ringWidth, ringWidth)))
        paint(painter, outside, cornerRadius > 0 ? cornerRadius + spacing : cornerRadius);
    else
        paint(painter, control.adjusted(ringWidth, ringWidth, -ringWidth, -ringWidth),
              cornerRadius > 0 ? std::max(0.0, cornerRadius - ringWidth) : cornerRadius);
}
