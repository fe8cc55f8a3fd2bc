#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <thread>

#include "Localization.hpp"
#include "TestSupport.hpp"
#include "desktop/Relaunch.hpp"
#include "platform/Platform.hpp"
#include "ui/shell/LanguageMenu.hpp"

using namespace testing_support;

namespace {
/// A test home in English whose language OSTREVANE_LANG no longer fixes:
/// the language is decided first, then the variable is taken away.
struct UnfixedHome {
    ScopedHome home;
    bool decided = (static_cast<void>(Langs::current()), true);
    ScopedEnv unfixed{"OSTREVANE_LANG", std::nullopt};
};
}  // namespace

TEST(LanguageMenu, OneCheckMarkAndOnlyAChangeIsStoredAndAsked) {
    UnfixedHome home;
    LanguageMenu menu(LanguageChoice::system);
    int asked = 0;
    menu.onChanged = [&] { ++asked; };
    ASSERT_EQ(menu.actions().size(), 3);
    EXPECT_EQ(menu.actions()[1]->text(), "English");
    EXPECT_EQ(menu.actions()[2]->text(), "简体中文");
    EXPECT_TRUE(menu.action(LanguageChoice::system)->isChecked());

    menu.action(LanguageChoice::system)->trigger();  // the current item again
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(UserDefaults::value(LanguageChoices::key));

    menu.action(LanguageChoice::chinese)->trigger();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(UserDefaults::value(LanguageChoices::key), nlohmann::json::array({"zh-Hans"}));
    int checked = 0;
    for (QAction* item : menu.actions()) checked += item->isChecked();
    EXPECT_EQ(checked, 1);
    EXPECT_TRUE(menu.action(LanguageChoice::chinese)->isChecked());

    menu.action(LanguageChoice::english)->trigger();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(LanguageChoices::saved(), LanguageChoice::english);
}

TEST(LanguageMenu, AChoiceThatCannotBeStoredKeepsTheOldCheckAndAsksNothing) {
    UnfixedHome fixture;
    ScopedHome& home = fixture.home;
    writeText(home.scratch() / "config-file", "");
    ScopedEnv config("XDG_CONFIG_HOME", (home.scratch() / "config-file").string());
    LanguageMenu menu(LanguageChoice::english);
    int asked = 0;
    menu.onChanged = [&] { ++asked; };
    std::vector<std::string> failures;
    menu.onSaveFailed = [&](const std::string& reason) { failures.push_back(reason); };
    menu.action(LanguageChoice::chinese)->trigger();
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(menu.choice(), LanguageChoice::english);
    EXPECT_TRUE(menu.action(LanguageChoice::english)->isChecked());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("config-file"), std::string::npos) << failures[0];
}

/// Presses the button at `index` of the alert that is about to open.
void answerAlert(int index, QStringList& seen) {
    QTimer::singleShot(0, [index, &seen] {
        auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(alert);
        seen = {alert->text(), alert->informativeText()};
        for (QAbstractButton* button : alert->buttons()) seen << button->text();
        alert->buttons().size() > index ? alert->buttons()[index]->click() : alert->reject();
    });
}

TEST(LanguageMenu, TheAlertReopensOnlyWithItsFirstButton) {
    UnfixedHome home;
    LanguageMenu menu(LanguageChoice::system);
    int reopened = 0;
    menu.reopen = [&] { ++reopened; };
    QStringList seen;
    for (int button : {1, 0}) {
        answerAlert(button, seen);
        menu.askToReopen();
    }
    EXPECT_EQ(reopened, 1);
    const QStringList expected{"The new language takes effect when Ostrevane reopens",
                               "Your scan results are kept, so there’s no need to scan again.", "Reopen Now",
                               "Later"};
    EXPECT_EQ(seen, expected);
}

TEST(LanguageMenu, WhileTheVariableFixesTheLanguageTheCheckFollowsItAndTheAlertSaysSo) {
    for (const auto& [variable, fixed] : {std::pair{"en", LanguageChoice::english}, {"zh_CN", LanguageChoice::chinese}}) {
        ScopedHome home(variable);
        UserDefaults::set(LanguageChoices::key, nlohmann::json::array({"fr"}));
        LanguageMenu menu(LanguageChoices::saved());
        EXPECT_TRUE(menu.action(fixed)->isChecked()) << variable;

        int reopened = 0;
        menu.reopen = [&] { ++reopened; };
        QStringList seen;
        answerAlert(0, seen);
        menu.action(LanguageChoice::system)->trigger();
        // Stored for a start without the variable; the check stays on the fixed language.
        EXPECT_EQ(LanguageChoices::saved(), LanguageChoice::system);
        EXPECT_TRUE(menu.action(fixed)->isChecked()) << variable;
        EXPECT_EQ(reopened, 0);
        ASSERT_EQ(seen.size(), 3) << seen.join("|").toStdString();
        EXPECT_TRUE(seen[0].contains("OSTREVANE_LANG"));
        EXPECT_TRUE(seen[1].contains("OSTREVANE_LANG"));
    }
}

TEST(Relaunch, TheShellStartsAnExecutableWhosePathHoldsSpaces) {
    TempDir dir;
    const fs::path app = dir.path() / "my apps" / "Ostre vane";
    const fs::path marker = dir.path() / "started";
    writeText(app, "#!/bin/sh\necho \"$0\" > '" + marker.string() + "'\n");
    fs::permissions(app, fs::perms::owner_all);

    const QStringList arguments = Relaunch::arguments(QString::fromStdString(app.string()));
    ASSERT_EQ(arguments.size(), 3);
    EXPECT_EQ(arguments[0], "-c");
    EXPECT_EQ(arguments[2].toStdString(), app.string());
    // The process ends after about a second, once the shell's wait is over.
    QProcess shell;
    shell.start(Relaunch::shell, arguments);
    ASSERT_TRUE(shell.waitForFinished(10000));
    EXPECT_EQ(shell.exitCode(), 0);
    EXPECT_EQ(readText(marker), app.string() + "\n");
}
