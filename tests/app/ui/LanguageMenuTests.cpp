#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <chrono>
#include <thread>

#include "TestSupport.hpp"
#include "desktop/Relaunch.hpp"
#include "platform/Platform.hpp"
#include "text/Localization.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/MonoButton.hpp"
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

/// The window's sheet host over a frame; the menu presents its sheets there.
struct SheetFrame {
    QWidget frame;
    ConfirmSheetHost* host = new ConfirmSheetHost(&frame);

    explicit SheetFrame(LanguageMenu& menu) {
        frame.resize(964, 730);
        menu.present = [this](ConfirmRequest request) { host->present(std::move(request)); };
    }
    /// What the shown sheet says: its heading, its explanation and the labels of its buttons as laid out.
    QStringList seen() const {
        QStringList texts;
        if (!host->sheet()) return texts;
        for (const QLabel* label : host->sheet()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
            texts << label->text();
        for (const MonoButton* button : {host->sheet()->cancelButton(), host->sheet()->confirmButton()})
            if (button->isVisibleTo(host->sheet())) texts << button->label();
        return texts;
    }
};

TEST(LanguageMenu, TheSheetReopensOnlyWithReopenNowOrReturn) {
    UnfixedHome home;
    LanguageMenu menu(LanguageChoice::system);
    SheetFrame frame(menu);
    int reopened = 0;
    menu.reopen = [&] { ++reopened; };

    menu.askToReopen();
    ASSERT_NE(frame.host->sheet(), nullptr);
    const QStringList expected{"The new language takes effect when Ostrevane reopens",
                               "Your scan results are kept, so there’s no need to scan again.", "Later", "Reopen Now"};
    EXPECT_EQ(frame.seen(), expected);
    QTest::mouseClick(frame.host->sheet()->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(frame.host->sheet(), nullptr);
    EXPECT_EQ(reopened, 0);

    menu.askToReopen();
    QTest::mouseClick(frame.host->sheet()->confirmButton(), Qt::LeftButton);
    EXPECT_EQ(frame.host->sheet(), nullptr);
    EXPECT_EQ(reopened, 1);

    menu.askToReopen();
    QTest::keyClick(frame.host->sheet(), Qt::Key_Return);
    EXPECT_EQ(frame.host->sheet(), nullptr);
    EXPECT_EQ(reopened, 2);
}

TEST(LanguageMenu, WhileTheVariableFixesTheLanguageTheCheckFollowsItAndTheSheetSaysSo) {
    for (const auto& [variable, fixed] :
         {std::pair{"en", LanguageChoice::english}, {"zh_CN", LanguageChoice::chinese}}) {
        ScopedHome home(variable);
        UserDefaults::set(LanguageChoices::key, nlohmann::json::array({"fr"}));
        LanguageMenu menu(LanguageChoices::saved());
        SheetFrame frame(menu);
        EXPECT_TRUE(menu.action(fixed)->isChecked()) << variable;

        int reopened = 0;
        menu.reopen = [&] { ++reopened; };
        menu.action(LanguageChoice::system)->trigger();
        // Stored for a start without the variable; the check stays on the fixed language.
        EXPECT_EQ(LanguageChoices::saved(), LanguageChoice::system);
        EXPECT_TRUE(menu.action(fixed)->isChecked()) << variable;
        const QStringList seen = frame.seen();
        ASSERT_EQ(seen.size(), 3) << seen.join("|").toStdString();
        EXPECT_TRUE(seen[0].contains("OSTREVANE_LANG"));
        EXPECT_TRUE(seen[1].contains("OSTREVANE_LANG"));
        // Its one button only closes it.
        QTest::mouseClick(frame.host->sheet()->confirmButton(), Qt::LeftButton);
        EXPECT_EQ(frame.host->sheet(), nullptr);
        EXPECT_EQ(reopened, 0);
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
