// A thin capsule progress bar: a faint track over the full width and a
// capsule fill from the leading edge.
#pragma once

#include <QWidget>

#include "theme/Theme.hpp"

class MonoBar : public QWidget {
    Q_OBJECT
public:
    /// `value` is the filled fraction; the bar is exactly `height` points high.
    MonoBar(double value, double height, const ThemeColor& tint, QWidget* parent = nullptr);

    void setValue(double value);
    void setTint(const ThemeColor& tint);
    double value() const { return fraction; }

    /// The fill's width in a bar `width` wide: width × value for 0 <= value < 1,
    /// the full width from 1 up, 0 for negative or non-finite values, and never
    /// narrower than `height` (an empty bar still shows its round dot).
    static double fillWidth(double value, double width, double height);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double fraction;
    double barHeight;
    ThemeColor tint;
};
