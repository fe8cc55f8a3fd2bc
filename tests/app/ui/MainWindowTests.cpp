#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QApplication>
#include <QThread>
#include <thread>

#include "../logic/ModelHarness.hpp"
#include "TestSupport.hpp"
#include "platform/QtDispatcher.hpp"
#include "platform/Platform.hpp"
#include "ui/shell/LanguageMenu.hpp"
#include "ui/shell/MainWindow.hpp"

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
