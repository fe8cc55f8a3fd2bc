// Small capsule tags in the caption2 style: a suggestion's risk level, and a
// general-purpose tag in three weights.
#pragma once

#include <QWidget>
#include <string>

#include "clean/SuggestionTypes.hpp"
#include "theme/Theme.hpp"

/// What a capsule tag draws: an optional symbol, the text, and its colours.
struct TagLook {
    std::string symbol;
    QString text;
    QColor textColor;
    QColor fill;
    QColor border;
};

/// Text padded 7 × 2 points on a capsule, an optional symbol 3.5 points before it.
class CapsuleTag : public QWidget {
    Q_OBJECT
public:
    explicit CapsuleTag(TagLook look, QWidget* parent = nullptr);

    const TagLook& look() const { return tagLook; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TagLook tagLook;
};

/// A risk level's colour, symbol and text key.
struct RiskAppearance {
    ThemeColor color;
    std::string symbol;
    std::string text;  ///< a Chinese key for L()
};

class RiskTag : public CapsuleTag {
    Q_OBJECT
public:
    explicit RiskTag(Risk risk, QWidget* parent = nullptr);

    /// safe: accent, "circle.fill"; review: warn, "circle.lefthalf.filled";
    /// caution: danger, "exclamationmark.triangle.fill".
    static RiskAppearance appearance(Risk risk);
    /// Symbol and text in the colour, on the colour at 0.14.
    static TagLook look(Risk risk);
};

class MonoTag : public CapsuleTag {
    Q_OBJECT
public:
    enum class Weight { quiet, outlined, solid };

    /// `text` is shown as it is.
    MonoTag(const QString& text, Weight weight, const ThemeColor& tint, QWidget* parent = nullptr);

    /// quiet: tint at 0.55 on nothing, border at 0.2; outlined: tint on nothing,
    /// border at 0.5; solid: ink on the tint, no border.
    static TagLook look(const QString& text, Weight weight, const ThemeColor& tint);
};
