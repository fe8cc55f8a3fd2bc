// Type of the front end: one sans family and one monospaced family set
// explicitly, sized in pixels (a design point is one pixel at scale 1), and
// the platform text styles mapped onto fixed sizes and weights.
#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

class QPainter;

/// The named text styles of the design.
enum class TextStyle {
    largeTitle,
    title,
    title2,
    title3,
    headline,
    subheadline,
    body,
    callout,
    footnote,
    caption,
    caption2
};

namespace Typography {
/// The sans family: "Noto Sans CJK SC" for the Chinese interface. The English
/// interface takes the family's Korean face, whose Latin letters are the same
/// but whose quotes and apostrophes are proportional rather than full-width
/// ("It’s" would otherwise read "It’ s").
QString family();
inline const QString monoFamily = QStringLiteral("Noto Sans Mono CJK SC");

/// The design size of a style in points (pixels at scale 1): body 13, callout 12,
/// subheadline 11, footnote/caption/caption2 10, headline 13 semibold,
/// title3 15, title2 17, title 22, largeTitle 26.
double size(TextStyle style);
/// The style's own weight (semibold for headline, normal otherwise).
QFont::Weight weight(TextStyle style);

/// The sans family at `size` points; fractional sizes round half down
/// (the family runs large for its nominal size).
QFont font(double size, QFont::Weight weight = QFont::Normal);
/// A text style at its own weight, or at `weight`.
QFont font(TextStyle style);
QFont font(TextStyle style, QFont::Weight weight);
/// The monospaced family at `size` points.
QFont mono(double size, QFont::Weight weight = QFont::Normal);
/// Digits of equal width in the sans family (tabular figures), for counters.
QFont monospacedDigits(QFont font);

/// The height one line of `font` takes in a control: 1.25 × its size, which
/// keeps controls at the design's proportions whatever the family's own
/// (tall) line spacing.
int lineHeight(const QFont& font);
/// The baseline that centres a line of `font` on `centerY`.
double baseline(const QFont& font, double centerY);
/// Draws one line of plain text in the painter's font, centred vertically in
/// `box` and aligned horizontally by `alignment` (left, centre or right).
void drawLine(QPainter& painter, const QRectF& box, const QString& text, Qt::Alignment alignment = Qt::AlignLeft);
/// The advance width of one line of `text` in `font`.
double width(const QFont& font, const QString& text);
}  // namespace Typography

/// The foreground hierarchy on the dark surfaces: paper at full, secondary and tertiary strength.
namespace Foreground {
QColor primary();
QColor secondary();
QColor tertiary();
}  // namespace Foreground
