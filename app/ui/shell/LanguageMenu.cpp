#include "ui/shell/LanguageMenu.hpp"

#include <QActionGroup>
#include <QMessageBox>
#include <QPushButton>

#include "Localization.hpp"
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
    } catch (const std::exception&) {
        // Not stored, so a reopen would change nothing: the check goes back.
        items.at(current)->setChecked(true);
        return;
    }
    current = choice;
    // The stored pick waits for a start without the variable; the running
    // language is still the one the variable fixes.
    if (fixed) items.at(*fixed)->setChecked(true);
    if (onChanged) onChanged();
}

void LanguageMenu::askToReopen() {
    QMessageBox alert(parentWidget() ? parentWidget()->window() : nullptr);
    alert.setTextFormat(Qt::PlainText);
    if (fixed) {
        alert.setText(QString::fromStdString(L("界面语言由环境变量 OSTREVANE_LANG 决定")));
        alert.setInformativeText(
            QString::fromStdString(L("你的选择已保存,在不设置 OSTREVANE_LANG 的情况下打开 Ostrevane 时生效。")));
        alert.addButton(menuText(L("好")), QMessageBox::AcceptRole);
        alert.exec();
        return;
    }
    alert.setText(QString::fromStdString(L("重新打开 Ostrevane 后切换语言")));
    alert.setInformativeText(QString::fromStdString(L("扫描结果会保留,重新打开后不用再扫描。")));
    QPushButton* reopenButton = alert.addButton(menuText(L("现在重新打开")), QMessageBox::AcceptRole);
    alert.addButton(menuText(L("稍后")), QMessageBox::RejectRole);
    alert.setDefaultButton(reopenButton);
    alert.exec();
    if (alert.clickedButton() == reopenButton && reopen) reopen();
}
