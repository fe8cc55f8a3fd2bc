// The rounded panel that groups content on a page, and the callout that puts
// an icon beside a message.
#pragma once

#include <QWidget>
#include <string>

#include "theme/Theme.hpp"

class QBoxLayout;

/// Content `padding` points in from every edge, the full available width,
/// its own height; panel fill, corner radius 16, a 1-point hairline inside.
class Card : public QWidget {
    Q_OBJECT
public:
    explicit Card(int padding, QWidget* parent = nullptr);

    /// Where the content goes: a vertical layout, leading-aligned.
    QBoxLayout* content() const { return column; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QBoxLayout* column;
};

/// A row of the symbol `icon` (title2 size, 30 points wide, in `tint`) and the
/// content 12 points after it, padded 14, on the panel with a 1-point border
/// in `tint` at 0.55; as wide as its content.
class Callout : public QWidget {
    Q_OBJECT
public:
    Callout(const std::string& icon, const ThemeColor& tint, QWidget* parent = nullptr);

    /// Where the content goes, after the icon.
    QBoxLayout* content() const { return column; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ThemeColor tint;
    QBoxLayout* column;
};
