// The keyboard and the notice banner: a user who tabbed onto a notice is
// handed back to where they were when it goes, and a notice on its way out
// is no Tab stop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "support/WindowWalk.hpp"
#include "ui/controls/FocusChain.hpp"
#include "ui/controls/Motion.hpp"
#include "ui/shell/ContentView.hpp"
#include "ui/shell/NoticeBanner.hpp"

namespace {
void letEventsRun() {
    for (int round = 0; round < 4; ++round) {
        QApplication::sendPostedEvents();
        QApplication::processEvents();
    }
}

/// The suggestions page's Tab stops, in order.
std::vector<QWidget*> pageStops(DemoWindow& demo) { return FocusChain::visualOrder(contentOf(demo)->page()); }

bool onBanner(DemoWindow& demo) {
    QWidget* focused = QApplication::focusWidget();
    return focused && contentOf(demo)->banner()->isAncestorOf(focused);
}

/// A window on the suggestions page, the page's last control focused, and
/// a notice that the next Tab moves the keyboard onto.
struct TabbedOntoNotice {
    DemoWindow demo;
    QWidget* last = nullptr;

    TabbedOntoNotice() {
        demo.harness().settle();
        demo.open(AppModel::Section::suggestions);
        letEventsRun();
        last = pageStops(demo).back();
        tabTo(last);
        demo.harness().model->notify("Cleaned", false);
        QTest::qWait(Motion::enabled() ? 400 : 0);
        DemoWindow::pressTab();
        EXPECT_EQ(QApplication::focusWidget(), contentOf(demo)->banner()->closeButton())
            << describe(QApplication::focusWidget());
    }
    /// The notice's eight seconds run out.
    void timeOut() {
        demo.harness().timer->advance(8.5);
        letEventsRun();
        ASSERT_FALSE(demo.harness().model->notice());
    }
};
}  // namespace

TEST(NoticeFocus, TheKeyboardGoesBackWhereItCameFromWhenTheNoticeGoes) {
    ScopedHooks<Motion::Hooks> still{Motion::Hooks{false}};
    struct Case {
        const char* name;
        /// Done while the keyboard is on the notice; true when the control it came from is gone.
        std::function<bool(TabbedOntoNotice&)> meanwhile;
        /// How the notice goes.
        bool closedByKey;
    };
    const std::vector<Case> cases{
        {"timed out", [](TabbedOntoNotice&) { return false; }, false},
        {"closed from the keyboard", [](TabbedOntoNotice&) { return false; }, true},
        {"the control hidden meanwhile",
         [](TabbedOntoNotice& shown) {
             shown.last = pageStops(shown.demo).end()[-2];
             pageStops(shown.demo).back()->hide();
             return true;
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TabbedOntoNotice shown;
        ASSERT_TRUE(onBanner(shown.demo));
        const bool gone = c.meanwhile(shown);
        if (c.closedByKey)
            DemoWindow::press(Qt::Key_Space);
        else
            shown.timeOut();
        letEventsRun();
        // Back on the control, or on the page's control that now stands last, never the header's.
        EXPECT_EQ(QApplication::focusWidget(), gone ? pageStops(shown.demo).back() : shown.last)
            << describe(QApplication::focusWidget());
        EXPECT_FALSE(shown.demo.harness().model->notice());
        EXPECT_FALSE(contentOf(shown.demo)->banner()->isVisible());
    }
}

TEST(NoticeFocus, TabWhileTheNoticeSlidesAwaySkipsIt) {
    ScopedHooks<Motion::Hooks> moving{Motion::Hooks{true}};
    TabbedOntoNotice shown;
    ASSERT_TRUE(onBanner(shown.demo));
    shown.timeOut();
    NoticeBanner* banner = contentOf(shown.demo)->banner();
    ASSERT_TRUE(banner->isVisible()) << "the notice fades for a quarter second";
    EXPECT_EQ(QApplication::focusWidget(), shown.last) << describe(QApplication::focusWidget());

    // From the page's last control, Tab goes on past the fading notice.
    tabTo(shown.last);
    DemoWindow::pressTab();
    EXPECT_FALSE(onBanner(shown.demo)) << describe(QApplication::focusWidget());
    EXPECT_NE(QApplication::focusWidget(), nullptr);
    QTest::qWait(400);
    EXPECT_FALSE(banner->isVisible());

    // A new notice is a Tab stop again.
    tabTo(shown.last);
    shown.demo.harness().model->notify("Cleaned again", false);
    QTest::qWait(400);
    DemoWindow::pressTab();
    EXPECT_EQ(QApplication::focusWidget(), banner->closeButton()) << describe(QApplication::focusWidget());
}
