#include "ui/theme/AppPalette.hpp"

#include <QApplication>
#include <QStyleFactory>

#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace AppPalette {

namespace {
/// Graphite: the neutral grey accent that "AppleAccentColor" = -1 selects.
const QColor graphite = QColor::fromRgbF(0.557f, 0.557f, 0.576f);
}  // namespace

QPalette dark() {
    QPalette palette;
    const QColor ground = qColor(Theme::ground);
    const QColor panel = qColor(Theme::panel);
    const QColor paper = qColor(Theme::paper);
    palette.setColor(QPalette::Window, ground);
    palette.setColor(QPalette::WindowText, paper);
    palette.setColor(QPalette::Base, panel);
    palette.setColor(QPalette::AlternateBase, qColor(Theme::raised));
    palette.setColor(QPalette::Text, paper);
    palette.setColor(QPalette::Button, panel);
    palette.setColor(QPalette::ButtonText, paper);
    palette.setColor(QPalette::ToolTipBase, qColor(Theme::raised));
    palette.setColor(QPalette::ToolTipText, paper);
    palette.setColor(QPalette::PlaceholderText, qColor(Theme::paper.rgb, 0.45));
    palette.setColor(QPalette::Highlight, graphite);
    palette.setColor(QPalette::HighlightedText, paper);
    palette.setColor(QPalette::Link, qColor(Theme::accent));
    // The bevel roles around the dark surfaces: Qt's defaults are light-theme
    // greys, and the style etches disabled menu text with Light, which drew a
    // white shadow that made disabled entries brighter than enabled ones.
    palette.setColor(QPalette::Light, qColor(Theme::raised));
    palette.setColor(QPalette::Midlight, QColor::fromRgbF(0.12f, 0.12f, 0.12f));
    palette.setColor(QPalette::Mid, QColor::fromRgbF(0.06f, 0.06f, 0.06f));
    palette.setColor(QPalette::Dark, QColor::fromRgbF(0.02f, 0.02f, 0.02f));
    palette.setColor(QPalette::Shadow, Qt::black);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, qColor(Theme::paper.rgb, 0.35));
    // Disabled text carries no etched shadow at all.
    palette.setColor(QPalette::Disabled, QPalette::Light, Qt::transparent);
    palette.setColor(QPalette::Disabled, QPalette::Midlight, Qt::transparent);
    return palette;
}

QFont menuFont() { return Typography::font(TextStyle::body); }

void apply(QApplication& application) {
    application.setStyle(QStyleFactory::create("Fusion"));
    application.setPalette(dark());
    // Menus otherwise take the desktop's font rather than the application's.
    for (const char* kind : {"QMenu", "QMenuBar"}) QApplication::setFont(menuFont(), kind);
}

QColor accent() { return QApplication::palette().color(QPalette::Highlight); }

}  // namespace AppPalette
