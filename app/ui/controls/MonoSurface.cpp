#include "ui/controls/MonoSurface.hpp"

#include <QPalette>
#include <QWidget>

#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

void monoSurface(QWidget* widget, const ThemeColor& color) {
    QPalette palette = widget->palette();
    const QColor background = qColor(color);
    const QColor paper = qColor(Theme::paper);
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button}) palette.setColor(role, background);
    palette.setColor(QPalette::AlternateBase, qColor(Theme::panel));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::BrightText}) {
        palette.setColor(role, paper);
    }
    palette.setColor(QPalette::PlaceholderText, Foreground::tertiary());
    palette.setColor(QPalette::Highlight, qColor(Theme::accent));
    palette.setColor(QPalette::HighlightedText, qColor(Theme::ink));
    palette.setColor(QPalette::Link, qColor(Theme::accent));
    palette.setColor(QPalette::ToolTipBase, qColor(Theme::raised));
    palette.setColor(QPalette::ToolTipText, paper);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, Foreground::tertiary());
    palette.setColor(QPalette::Disabled, QPalette::Text, Foreground::tertiary());
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
    widget->setFont(Typography::font(TextStyle::body));
}
