#include "ui/controls/MonoMenu.hpp"

#include <QMenu>

#include "ui/controls/MonoSurface.hpp"

MonoMenu::MonoMenu(const QString& title, QWidget* parent)
    : MonoButton(title, MonoButtonStyle{false, Theme::accent}, parent), entries(new QMenu(this)) {
    setTrailingSymbol("chevron.down", 8);
    // The popup is a window of its own and inherits no palette from the page.
    monoSurface(entries, Theme::raised);
    connect(this, &QAbstractButton::clicked, this, &MonoMenu::open);
}

void MonoMenu::open() {
    // popup, not exec: no nested event loop; the entries' actions run from the menu's own signals.
    entries->popup(mapToGlobal(QPoint(0, height() + 2)));
}
