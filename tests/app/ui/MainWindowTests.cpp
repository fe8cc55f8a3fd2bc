#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QThread>
#include <thread>

#include "../logic/ModelHarness.hpp"
#include "TestSupport.hpp"
#include "desktop/Desktop.hpp"
#include "desktop/QtDispatcher.hpp"
#include "platform/Platform.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/shell/ContentView.hpp"
#include "ui/shell/LanguageMenu.hpp"
#include "ui/shell/MainWindow.hpp"
#include "ui/shell/PageHeader.hpp"
#include "ui/theme/AppPalette.hpp"

#include <QFileDialog>

TEST(MainWindow, RescanIsDisabledWhileAScanRunsAndStartUpRunsOnce) {
    testing_support::ScopedHome home;
    ModelHarness harness;
    MainWindow window(harness.model);
    EXPECT_EQ(window.rescanAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    EXPECT_GE(window.centralWidget()->minimumWidth(), 980);
    EXPECT_GE(window.centralWidget()->minimumHeight(), 640);
    window.show();
    window.hide();
    window.show();
    EXPECT_TRUE(harness.model->started());
    harness.settle();  // no cache: the start-up rescans once
    EXPECT_EQ(harness.engine.scans, 1);

    window.rescanAction()->trigger();
    EXPECT_TRUE(harness.model->isScanning());
    EXPECT_FALSE(window.rescanAction()->isEnabled());
    harness.settle();
    EXPECT_TRUE(window.rescanAction()->isEnabled());
    EXPECT_EQ(harness.engine.scans, 2);
}

TEST(MainWindow, TheOstrevaneMenuOffersTheLanguagesFromTheStoredChoice) {
    testing_support::ScopedHome home;
    UserDefaults::set("AppleLanguages", nlohmann::json::array({"zh-Hant"}));
    ModelHarness harness;
    MainWindow window(harness.model);
    const QAction* application = window.menuBar()->actions().front();
    EXPECT_EQ(application->text(), "Ostrevane");
    EXPECT_EQ(application->menu()->actions().front()->menu(), window.languageMenu());
    EXPECT_EQ(window.languageMenu()->choice(), LanguageChoice::chinese);

    // A new pick asks on the window's own sheet, over its content, like every other question.
    window.languageMenu()->action(LanguageChoice::english)->trigger();
    auto* content = static_cast<ContentView*>(window.centralWidget());
    ASSERT_NE(content->sheet()->sheet(), nullptr);
    EXPECT_EQ(content->sheet()->parentWidget(), content);
    EXPECT_FALSE(QApplication::activeModalWidget());
}

TEST(PageHeader, TheRescanTooltipNamesTheShortcutOfThisPlatform) {
    testing_support::ScopedHome home;
    ModelHarness harness;
    PageHeader header(harness.model);
    const QString tip = header.rescanButton()->toolTip();
    EXPECT_TRUE(tip.contains("Ctrl+R")) << tip.toStdString();
    EXPECT_FALSE(tip.contains(QChar(0x2318)));
}

TEST(AppPalette, DisabledTextHasNoLightEtchAndMenusUseTheApplicationsFont) {
    const QPalette palette = AppPalette::dark();
    // Every bevel role is a dark-theme grey: none is Qt's light-theme white.
    for (auto role : {QPalette::Light, QPalette::Midlight, QPalette::Mid, QPalette::Dark})
        EXPECT_LT(palette.color(QPalette::Active, role).lightnessF(), 0.3) << role;
    EXPECT_EQ(palette.color(QPalette::Disabled, QPalette::Light).alpha(), 0);
    EXPECT_LT(palette.color(QPalette::Disabled, QPalette::WindowText).alphaF(),
              palette.color(QPalette::Active, QPalette::WindowText).alphaF());

    const QPalette before = QApplication::palette();
    const QFont menuBefore = QApplication::font("QMenu");
    AppPalette::apply(*qApp);
    EXPECT_EQ(QApplication::font("QMenu").family(), AppPalette::menuFont().family());
    EXPECT_EQ(QApplication::font("QMenuBar").pixelSize(), AppPalette::menuFont().pixelSize());
    QApplication::setPalette(before);
    QApplication::setFont(menuBefore, "QMenu");
}

TEST(Desktop, TheFolderChooserMayBeNativeAndOpensInTheHomeFolder) {
    testing_support::ScopedHome home;
    QFileDialog dialog;
    dialog.setDirectory(QDir::rootPath());
    Desktop::prepareFolderDialog(dialog);
    EXPECT_FALSE(dialog.testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(dialog.fileMode(), QFileDialog::Directory);
    EXPECT_EQ(dialog.directory().absolutePath().toStdString(), home.home());
}

TEST(Desktop, ThePortalThemeOnlyWhereItRunsAndNoThemeWasChosen) {
    struct Case {
        std::optional<std::string> theme;
        bool bus, portal, expected;
    };
    const Case cases[] = {
        {std::nullopt, true, true, true},   {"", true, true, true},
        {"gtk3", true, true, false},        {std::nullopt, false, true, false},
        {std::nullopt, true, false, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Desktop::usesPortalTheme(c.theme, c.bus, c.portal), c.expected)
            << c.theme.value_or("unset") << c.bus << c.portal;
}

TEST(QtDispatcher, RunsJobsFromOtherThreadsOnItsOwnThreadInPostingOrder) {
    QtDispatcher dispatcher;
    std::vector<int> order;
    std::vector<bool> onUIThread;
    std::thread poster([&] {
        for (int i = 0; i < 50; ++i)
            dispatcher.post([&, i] {
                order.push_back(i);
                onUIThread.push_back(QThread::currentThread() == qApp->thread());
            });
    });
    poster.join();
    QApplication::processEvents();
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
    EXPECT_EQ(std::count(onUIThread.begin(), onUIThread.end(), true), 50);
}
