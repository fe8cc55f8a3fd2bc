// Where the keyboard's focus is must be seen at every Tab stop of every page,
// in both languages: the screen around each control, rendered with its
// keyboard focus, differs from the same screen without it; focus given by
// the pointer draws nothing but a text field's caret.
#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <cstdlib>

#include "TestSupport.hpp"
#include "desktop/Desktop.hpp"
#include "desktop/QtDispatcher.hpp"
#include "model/Executor.hpp"
#include "platform/HomeFolder.hpp"
#include "snapshot/PageRender.hpp"
#include "support/WindowWalk.hpp"
#include "ui/access/Accessibility.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/FocusChain.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/pages/AddPlanSheet.hpp"
#include "ui/pages/AgentPage.hpp"
#include "ui/pages/BackupPage.hpp"
#include "ui/shell/ContentView.hpp"
#include "ui/shell/MainWindow.hpp"

using namespace testing_support;

namespace {

/// The window's pixels around `widget`: the control and a margin wide
/// enough for a ring outside it.
QImage around(QWidget* widget) {
    QWidget* window = widget->window();
    const QRect control(widget->mapTo(window, QPoint()), widget->size());
    return window->grab(control.adjusted(-6, -6, 6, 6) & window->rect()).toImage();
}

/// The pixels of two renders of the same region that a person tells apart:
/// a channel moved by more than a shade.
int visiblyChanged(const QImage& one, const QImage& other) {
    if (one.size() != other.size()) return one.width() * one.height();
    int changed = 0;
    for (int y = 0; y < one.height(); ++y)
        for (int x = 0; x < one.width(); ++x) {
            const QColor a = one.pixelColor(x, y), b = other.pixelColor(x, y);
            const int delta = std::max(
                {std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
            changed += delta > 40;
        }
    return changed;
}

/// Gives `widget` the focus as a click would: the window is no longer keyboard-led.
void focusByPointer(QWidget* widget) {
    widget->window()->setAttribute(Qt::WA_KeyboardFocusChange, false);
    widget->setFocus(Qt::MouseFocusReason);
}

/// Tabs to each of `stops` from the one before it and renders its
/// surroundings with the keyboard's focus, with the pointer's and with none.
/// Returns the stops the keyboard's focus leaves unseen; a stop where the
/// pointer's focus shows fails the test.
std::vector<std::string> unseenStops(const std::vector<QWidget*>& stops) {
    std::vector<std::string> unseen;
    for (QWidget* stop : stops) {
        focusByPointer(stop);
        DemoWindow::pressTab(true);
        DemoWindow::pressTab();
        EXPECT_EQ(QApplication::focusWidget(), stop) << describe(stop);
        const QImage keyboard = around(stop);
        stop->clearFocus();
        const QImage none = around(stop);
        focusByPointer(stop);
        const QImage pointer = around(stop);
        // A two-pixel ring round even the smallest control changes far more than this.
        if (std::min(visiblyChanged(keyboard, none), visiblyChanged(keyboard, pointer)) < 40)
            unseen.push_back(describe(stop));
        if (!qobject_cast<QLineEdit*>(stop)) {
            EXPECT_EQ(visiblyChanged(pointer, none), 0) << describe(stop) << " shows a focus after the pointer";
        }
    }
    return unseen;
}

std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += "\n  " + name;
    return text;
}

using Page = std::tuple<std::string, AppModel::Section>;

class EveryStop : public testing::TestWithParam<Page> {};

TEST_P(EveryStop, ShowsTheKeyboardFocusAndOnlyForTheKeyboard) {
    const auto& [language, section] = GetParam();
    DemoWindow demo(language);
    // With suggestions, a folder destination and a plan to it: each brings controls of its own.
    AppModel& model = *demo.harness().model;
    ASSERT_FALSE(model.report()->suggestions.empty());
    ASSERT_TRUE(std::any_of(model.destinations().begin(), model.destinations().end(),
                            [](const BackupDestination& d) { return d.id == "folder:t7"; }));
    const size_t plansBefore = model.plans().size();
    model.addPlan(Paths::home() + "/Code", "folder:t7");
    ASSERT_EQ(model.plans().size(), plansBefore + 1);
    demo.open(section);
    const std::vector<QWidget*> order = demo.tabOrder();
    ASSERT_GT(order.size(), 5u);
    const std::vector<std::string> unseen = unseenStops(order);
    EXPECT_TRUE(unseen.empty()) << unseen.size() << " of " << order.size()
                                << " stops show no keyboard focus:" << listed(unseen);
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, EveryStop,
                         testing::Combine(testing::Values("en", "zh"), testing::ValuesIn(AppModel::sections())),
                         [](const testing::TestParamInfo<Page>& info) {
                             return std::get<0>(info.param) + "_" +
                                    std::to_string(static_cast<int>(std::get<1>(info.param)));
                         });

TEST(EveryStop, ShowsTheKeyboardFocusInsideASheet) {
    DemoWindow demo;
    auto* content = static_cast<ContentView*>(demo.window().centralWidget());
    // The confirm sheet, with its filled destructive button.
    content->sheet()->present(ConfirmRequest::make("Title", "Message", "Move to Trash", true, [] {}));
    QApplication::processEvents();
    std::vector<QWidget*> stops = FocusChain::visualOrder(content->sheet()->sheet());
    ASSERT_EQ(stops.size(), 2u);
    std::vector<std::string> unseen = unseenStops(stops);
    EXPECT_TRUE(unseen.empty()) << listed(unseen);
    content->sheet()->dismiss();

    // The backup page's sheet for a new plan: its folder and destination choices.
    demo.open(AppModel::Section::backup);
    auto* page = static_cast<BackupPage*>(content->page());
    ScopedHooks<Desktop::Hooks> hooks;
    hooks->chooseFolder = [](QWidget*) { return std::optional<std::string>(Paths::home() + "/Documents"); };
    page->addPlan();
    QApplication::processEvents();
    ASSERT_NE(page->sheet(), nullptr);
    stops = FocusChain::visualOrder(page->sheet());
    ASSERT_GT(stops.size(), 2u);
    unseen = unseenStops(stops);
    EXPECT_TRUE(unseen.empty()) << unseen.size() << " of " << stops.size() << listed(unseen);
}

TEST(EveryStop, ShowsTheKeyboardFocusOnTheSetupStepsStillToDo) {
    // Outside the demo, with the command-line tool beside the app and nothing
    // installed yet, the setup's buttons are stops too.
    TempDir dir;
    ScopedEnv home("HOME", dir.path().string());
    writeText(dir.path() / "app" / "ostrevane", "#!/bin/sh\n");
    fs::permissions(dir.path() / "app" / "ostrevane", fs::perms::owner_all);
    Accessibility::install();
    QtDispatcher dispatcher;
    ManualExecutor executor;
    AgentPage page(dispatcher, executor, (dir.path() / "app").string(), [] { return false; });
    page.resize(PageRender::pageSize);
    page.show();
    QApplication::setActiveWindow(&page);
    QApplication::processEvents();
    const std::vector<QWidget*> stops = FocusChain::visualOrder(&page);
    const QString install = QString::fromStdString(L("安装到 ~/.local/bin"));
    EXPECT_TRUE(std::any_of(stops.begin(), stops.end(), [&](QWidget* stop) {
        auto* button = qobject_cast<MonoButton*>(stop);
        return button && button->label() == install;
    })) << "the install button is no stop";
    const std::vector<std::string> unseen = unseenStops(stops);
    EXPECT_TRUE(unseen.empty()) << unseen.size() << " of " << stops.size()
                                << " stops show no keyboard focus:" << listed(unseen);
}

}  // namespace
