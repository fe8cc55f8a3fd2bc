// The "Language" submenu of the Ostrevane menu: the three choices with one
// check mark. A new pick is stored at once and offers to reopen, since the
// running process keeps its language.
#pragma once

#include <QMenu>
#include <functional>
#include <map>
#include <string>

#include "model/LanguageChoice.hpp"
#include "pages/ConfirmRequest.hpp"

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
    /// Runs, with the reason, when a pick could not be stored; the check mark
    /// has then gone back to the stored choice.
    std::function<void(const std::string& reason)> onSaveFailed;
    /// What "Reopen Now" does; the application sets it to the relaunch.
    std::function<void()> reopen;
    /// Shows a sheet; the window sets it to its sheet host. Without it nothing is asked.
    std::function<void(ConfirmRequest)> present;

    /// The sheet "reopen to switch language" with "Later" and "Reopen Now";
    /// Reopen Now runs `reopen`. While OSTREVANE_LANG fixes the language, a
    /// reopen would change nothing: the sheet says so instead, with one
    /// button that only closes it.
    void askToReopen();

private:
    void pick(LanguageChoice choice);
    ConfirmRequest reopenRequest() const;

    LanguageChoice current;
    /// The language OSTREVANE_LANG fixed when the menu was made.
    std::optional<LanguageChoice> fixed;
    std::map<LanguageChoice, QAction*> items;
};
