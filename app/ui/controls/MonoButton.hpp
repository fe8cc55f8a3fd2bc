// The capsule button of the flat look: outlined in paper for secondary
// actions, filled with a tint for the primary one. Its clickable area is the
// capsule; disabled, the whole button is drawn at 35 % opacity.
#pragma once

#include <QAbstractButton>
#include <string>

#include "theme/Theme.hpp"

/// The platform's control sizes; they fold into three size classes.
enum class ControlSize { mini, small, regular, large, extraLarge };

/// How a button looks: filled with `tint`, or outlined (tint unused).
struct MonoButtonStyle {
    bool filled = false;
    ThemeColor tint = Theme::accent;
};

class MonoButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class SizeClass { small, regular, large };
    /// Label size and padding of a size class, in points.
    struct Metrics {
        double fontSize;
        double horizontal;
        double vertical;
    };
    /// Colours of one state; `opacity` applies to the whole button.
    struct Look {
        QColor foreground;
        QColor background;
        QColor border;
        double opacity;
    };

    /// A button labelled `text` (plain text: "&" is shown as it is).
    explicit MonoButton(const QString& text, MonoButtonStyle style = {}, QWidget* parent = nullptr);

    void setLabel(const QString& text);
    const QString& label() const { return labelText; }
    void setControlSize(ControlSize size);
    /// A symbol before the label (empty for none).
    void setSymbol(const std::string& symbol);

    /// Small and mini give the small class, large the large class, every other size the regular one.
    static SizeClass sizeClass(ControlSize size);
    static Metrics metrics(SizeClass sizeClass);
    /// The colours for a state. Pressed wins over hovering; an outlined button
    /// shows no hover fill while disabled, a filled one does (under the 35 %).
    static Look look(const MonoButtonStyle& style, bool pressed, bool hovering, bool enabled);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    /// The trailing symbol of a subclass (a menu's chevron), drawn after the label.
    void setTrailingSymbol(const std::string& symbol, double textSize);
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QFont labelFont() const;
    double contentWidth() const;
    void setHovering(bool value);

    QString labelText;
    MonoButtonStyle style;
    ControlSize controlSize = ControlSize::regular;
    std::string symbol;
    std::string trailingSymbol;
    double trailingSize = 0;
    bool hovering = false;
};
