// The desktop calls: those that may wait run on the application's pool, never
// on a thread of their own that would outlive the application's shutdown,
// and tests replace them one by one for a scope.
#include <gtest/gtest.h>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>

#include <unistd.h>

#include <algorithm>
#include <thread>

#include "TestSupport.hpp"
#include "desktop/Desktop.hpp"
#include "model/Executor.hpp"
#include "platform/FileManager.hpp"

TEST(Desktop, RevealRunsOnTheApplicationsPool) {
    auto pool = std::make_shared<ManualExecutor>();
    Desktop::useExecutor(pool);
    Desktop::reveal("/nonexistent/ostrevane-reveal-test", {});
    Desktop::useExecutor(nullptr);
    // Queued there, so stopping the pool drops it or waits for it; it is dropped unrun here.
    EXPECT_EQ(pool->pending(), 1u);
    EXPECT_EQ(pool->priorities(), std::vector<Priority>{Priority::userInitiated});
}

// A path as the user typed it is shown where it leads.
TEST(Desktop, RevealShowsTheExpandedPath) {
    testing_support::ScopedHome home;
    ScopedHooks<FileManager::Hooks> programs;
    std::vector<std::string> seen;
    programs->run = [&](const std::string&, const std::vector<std::string>& arguments, double timeout) {
        EXPECT_EQ(timeout, 10);
        seen.insert(seen.end(), arguments.begin(), arguments.end());
        return Shell::Output{0, "", ""};
    };
    Desktop::reveal(" ~/Documents/a.txt ", {});
    if (access("/usr/bin/gdbus", X_OK) == 0) {
        EXPECT_NE(std::find(seen.begin(), seen.end(), "['file://" + home.home() + "/Documents/a.txt']"), seen.end());
    }
}

// The file manager's silence is waited for on the pool and told back on the UI thread.
TEST(Desktop, NoAnswerIsToldOnTheUIThread) {
    auto pool = std::make_shared<ManualExecutor>();
    ScopedHooks<Desktop::Hooks> hooks;
    std::thread::id askedOn, toldOn;
    hooks->openTrash = [&] {
        askedOn = std::this_thread::get_id();
        return false;
    };
    Desktop::useExecutor(pool);
    Desktop::openTrash([&] { toldOn = std::this_thread::get_id(); });
    Desktop::useExecutor(nullptr);
    ASSERT_EQ(pool->pending(), 1u);
    std::thread([&] { pool->runAll(); }).join();
    EXPECT_NE(askedOn, std::thread::id());
    EXPECT_NE(askedOn, std::this_thread::get_id());
    EXPECT_EQ(toldOn, std::thread::id());
    QCoreApplication::processEvents();
    EXPECT_EQ(toldOn, std::this_thread::get_id());
}

// A test replaces one desktop call and leaves the others the desktop's own;
// when it ends, its replacement is gone.
TEST(Desktop, AScopedReplacementCoversOnlyItsCallAndEndsWithItsScope) {
    std::vector<std::string> copied;
    {
        ScopedHooks<Desktop::Hooks> hooks;
        hooks->copy = [&](const std::string& text) { copied.push_back(text); };
        Desktop::copy("stubbed");
    }
    Desktop::copy("real");
    EXPECT_EQ(copied, std::vector<std::string>{"stubbed"});
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "real");
}
