// The "Language" submenu of the Ostrevane menu: the three choices with one
// check mark. A new pick is stored at once and offers to reopen, since the
// running process keeps its language.
#pragma once

#include <QMenu>
#include <functional>
#include <map>

#include "model/LanguageChoice.hpp"

class LanguageMenu : public QMenu {
    Q_OBJECT
public:
    /// Checks `initial`, the stored choice; while OSTREVANE_LANG fixes the
    /// language, the check mark stays on the language it fixes instead.
    explicit LanguageMenu(LanguageChoice initial, QWidget* parent = nullptr);

    LanguageChoice choice() const { return current; }
    QAction* action(LanguageChoice choice) const { return items.at(choice); }
    /// Runs after a changed choice was stored; by default askToReopen().
    /// Picking the checked item again runs nothing.
    std::function<void()> onChanged;
    /// What "Reopen Now" does; the application sets it to the relaunch.
    std::function<void()> reopen;

    /// The modal alert "reopen to switch language" with "Reopen Now" and
    /// "Later"; Reopen Now runs `reopen`. While OSTREVANE_LANG fixes the
    /// language, a reopen would change nothing: the alert says so instead,
    /// with one button that only closes it.
    void askToReopen();

private:
    void pick(LanguageChoice choice);

    LanguageChoice current;
    /// The language OSTREVANE_LANG fixed when the menu was made.
    std::optional<LanguageChoice> fixed;
    std::map<LanguageChoice, QAction*> items;
};
