// A pull-down menu drawn as an outlined button: its title, then a small
// chevron. It keeps its full width and one line whatever the title.
#pragma once

#include "ui/controls/MonoButton.hpp"

class QMenu;

class MonoMenu : public MonoButton {
    Q_OBJECT
public:
    /// `title` is shown as it is; add the entries to `menu()`.
    explicit MonoMenu(const QString& title, QWidget* parent = nullptr);

    QMenu* menu() const { return entries; }

private:
    void open();

    QMenu* entries;
};
