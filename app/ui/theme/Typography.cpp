#include "ui/theme/Typography.hpp"

#include "text/Localization.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

#include "ui/theme/QtTheme.hpp"

namespace {
QFont make(const QString& family, double size, QFont::Weight weight) {
    QFont font(family);
    font.setPixelSize(std::max(1, int(std::ceil(size - 0.5))));
    font.setWeight(weight);
    font.setStyleHint(QFont::SansSerif);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}
}  // namespace

namespace Typography {
double size(TextStyle style) {
    switch (style) {
    case TextStyle::largeTitle: return 26;
    case TextStyle::title: return 22;
    case TextStyle::title2: return 17;
    case TextStyle::title3: return 15;
    case TextStyle::headline: return 13;
    case TextStyle::subheadline: return 11;
    case TextStyle::body: return 13;
    case TextStyle::callout: return 12;
    case TextStyle::footnote: return 10;
    case TextStyle::caption: return 10;
    case TextStyle::caption2: return 10;
    }
    return 13;
}

QFont::Weight weight(TextStyle style) { return style == TextStyle::headline ? QFont::DemiBold : QFont::Normal; }

QString family() {
    static const QString chosen = Langs::current() == Lang::zh ? QStringLiteral("Noto Sans CJK SC")
                                                               : QStringLiteral("Noto Sans CJK KR");
    return chosen;
}

QFont font(double size, QFont::Weight weight) { return make(family(), size, weight); }
QFont font(TextStyle style) { return font(size(style), weight(style)); }
QFont font(TextStyle style, QFont::Weight weight) { return font(size(style), weight); }

QFont mono(double size, QFont::Weight weight) {
    QFont font = make(monoFamily, size, weight);
    font.setStyleHint(QFont::Monospace);
    return font;
}

QFont monospacedDigits(QFont font) {
    // The family's figures already share one advance, so counters keep their width as they change.
    return font;
}

int lineHeight(const QFont& font) { return int(std::lround(font.pixelSize() * 1.25)); }

double baseline(const QFont& font, double centerY) {
    // Ideographs sit on an em box from 0.88 em above the baseline to 0.12 em
    // below; centring that box also centres Latin capitals closely enough.
    return centerY + 0.38 * font.pixelSize();
}

void drawLine(QPainter& painter, const QRectF& box, const QString& text, Qt::Alignment alignment) {
    const double advance = width(painter.font(), text);
    double x = box.left();
    if (alignment & Qt::AlignHCenter) x = box.center().x() - advance / 2;
    if (alignment & Qt::AlignRight) x = box.right() - advance;
    painter.drawText(QPointF(x, baseline(painter.font(), box.center().y())), text);
}

double width(const QFont& font, const QString& text) { return QFontMetricsF(font).horizontalAdvance(text); }
}  // namespace Typography

namespace Foreground {
QColor primary() { return qColor(Theme::paper); }
QColor secondary() { return qColor(Theme::paper.rgb, 0.55); }
QColor tertiary() { return qColor(Theme::paper.rgb, 0.3); }
}  // namespace Foreground
