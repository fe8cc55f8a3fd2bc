#include "ui/shell/LanguageMenu.hpp"

#include <QActionGroup>

#include "text/Localization.hpp"
#include "ui/shell/MenuText.hpp"

LanguageMenu::LanguageMenu(LanguageChoice initial, QWidget* parent)
    : QMenu(menuText(L("语言")), parent), current(initial), fixed(LanguageChoices::forced()) {
    onChanged = [this] { askToReopen(); };
    auto* group = new QActionGroup(this);
    group->setExclusive(true);
    for (LanguageChoice choice : LanguageChoices::all()) {
        QAction* item = addAction(menuText(LanguageChoices::title(choice)));
        item->setCheckable(true);
        item->setChecked(choice == fixed.value_or(initial));
        group->addAction(item);
        items[choice] = item;
        connect(item, &QAction::triggered, this, [this, choice] { pick(choice); });
    }
}

void LanguageMenu::pick(LanguageChoice choice) {
    if (choice == current) return;
    try {
        LanguageChoices::save(choice);
    } catch (const std::exception& error) {
        // Not stored, so a reopen would change nothing: the check goes back.
        items.at(current)->setChecked(true);
        if (onSaveFailed) onSaveFailed(error.what());
        return;
    }
    current = choice;
    // The stored pick waits for a start without the variable; the running
    // language is still the one the variable fixes.
    if (fixed) items.at(*fixed)->setChecked(true);
    if (onChanged) onChanged();
}

void LanguageMenu::askToReopen() {
    if (present) present(reopenRequest());
}

ConfirmRequest LanguageMenu::reopenRequest() const {
    if (fixed) {
        ConfirmRequest request = ConfirmRequest::make(
            L("界面语言由环境变量 OSTREVANE_LANG 决定"),
            L("你的选择已保存,在不设置 OSTREVANE_LANG 的情况下打开 Ostrevane 时生效。"), L("好"), false, {});
        request.cancellable = false;
        return request;
    }
    ConfirmRequest request = ConfirmRequest::make(L("重新打开 Ostrevane 后切换语言"),
                                                  L("扫描结果会保留,重新打开后不用再扫描。"), L("现在重新打开"), false,
                                                  [reopen = reopen] {
                                                      if (reopen) reopen();
                                                  });
    request.cancel = L("稍后");
    return request;
}
