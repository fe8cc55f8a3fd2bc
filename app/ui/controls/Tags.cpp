#include "ui/controls/Tags.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

#include "text/Localization.hpp"
#include "ui/controls/Shapes.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Symbols.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr double horizontalPadding = 7;
constexpr double verticalPadding = 2;
constexpr double symbolSpacing = 3.5;
constexpr double symbolSize = 7.5;

QFont tagFont() { return Typography::font(TextStyle::caption2, QFont::DemiBold); }
}  // namespace

CapsuleTag::CapsuleTag(TagLook look, QWidget* parent) : QWidget(parent), tagLook(std::move(look)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(tagLook.text);
}

QSize CapsuleTag::sizeHint() const {
    double width = Typography::width(tagFont(), tagLook.text) + 2 * horizontalPadding;
    if (!tagLook.symbol.empty()) width += Symbols::side(symbolSize) + symbolSpacing;
    return QSize(int(std::ceil(width)), Typography::lineHeight(tagFont()) + int(2 * verticalPadding));
}

void CapsuleTag::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(0.35);
    Shapes::fillCapsule(painter, QRectF(rect()), tagLook.fill, tagLook.border);
    double x = horizontalPadding;
    if (!tagLook.symbol.empty()) {
        const double side = Symbols::side(symbolSize);
        Symbols::draw(painter, QRectF(x, (height() - side) / 2, side, side), tagLook.symbol, tagLook.textColor,
                      symbolSize);
        x += side + symbolSpacing;
    }
    painter.setFont(tagFont());
    painter.setPen(tagLook.textColor);
    const double room = std::max(0.0, width() - x - horizontalPadding);
    const QString shown = QFontMetricsF(tagFont()).elidedText(tagLook.text, Qt::ElideRight, room);
    Typography::drawLine(painter, QRectF(x, 0, room, height()), shown);
}

RiskAppearance RiskTag::appearance(Risk risk) {
    switch (risk) {
    case Risk::safe: return {Theme::accent, "circle.fill", "可放心清理"};
    case Risk::review: return {Theme::warn, "circle.lefthalf.filled", "需要确认"};
    case Risk::caution: break;
    }
    return {Theme::danger, "exclamationmark.triangle.fill", "谨慎处理"};
}

TagLook RiskTag::look(Risk risk) {
    const RiskAppearance shown = appearance(risk);
    return {shown.symbol, QString::fromStdString(L(shown.text)), qColor(shown.color.rgb), qColor(shown.color.rgb, 0.14),
            Qt::transparent};
}

RiskTag::RiskTag(Risk risk, QWidget* parent) : CapsuleTag(look(risk), parent) {}

TagLook MonoTag::look(const QString& text, Weight weight, const ThemeColor& tint) {
    const double strength = tint.opacity;
    switch (weight) {
    case Weight::quiet:
        return {{}, text, qColor(tint.rgb, strength * 0.55), Qt::transparent, qColor(tint.rgb, strength * 0.2)};
    case Weight::outlined: return {{}, text, qColor(tint), Qt::transparent, qColor(tint.rgb, strength * 0.5)};
    case Weight::solid: break;
    }
    return {{}, text, qColor(Theme::ink), qColor(tint), Qt::transparent};
}

MonoTag::MonoTag(const QString& text, Weight weight, const ThemeColor& tint, QWidget* parent)
    : CapsuleTag(look(text, weight, tint), parent) {}
