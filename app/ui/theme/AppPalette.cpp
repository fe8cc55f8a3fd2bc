#include "ui/theme/AppPalette.hpp"

#include <QApplication>
#include <QStyleFactory>

#include "ui/theme/QtTheme.hpp"

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
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, qColor(Theme::paper.rgb, 0.35));
    return palette;
}

void apply(QApplication& application) {
    application.setStyle(QStyleFactory::create("Fusion"));
    application.setPalette(dark());
}

QColor accent() { return QApplication::palette().color(QPalette::Highlight); }

}  // namespace AppPalette
