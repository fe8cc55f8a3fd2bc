#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include "../logic/ModelHarness.hpp"
#include "TestSupport.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/Motion.hpp"
#include "ui/controls/TextLink.hpp"
#include "ui/pages/OverviewPage.hpp"
#include "ui/shell/ContentView.hpp"
#include "ui/shell/NoticeBanner.hpp"
#include "ui/shell/Sidebar.hpp"
#include "ui/theme/Typography.hpp"

namespace {
/// A window's content at 1180 × 780 on a model of its own, shown still.
struct ShownContent {
    testing_support::ScopedHome home;
    ScopedHooks<Motion::Hooks> still{Motion::Hooks{false}};
    ModelHarness harness;
    ContentView view{harness.model};
    ShownContent() {
        view.resize(1180, 780);
        view.show();
    }
};
}  // namespace

TEST(NoticeBanner, CloseClearsTheNoticeAndAnErrorNeverOffersTheTrash) {
    ShownContent shown;
    ModelHarness& harness = shown.harness;
    NoticeBanner* banner = shown.view.banner();
    EXPECT_FALSE(banner->isVisible());

    harness.model->notify("Cleaned", false);
    ASSERT_TRUE(banner->isVisible());
    EXPECT_EQ(banner->message()->text(), "Cleaned");
    EXPECT_EQ(banner->geometry().bottom() + 1, 780 - NoticeBanner::bottomGap);
    EXPECT_EQ(banner->width(), NoticeBanner::maxWidth);
    QTest::mouseClick(banner->closeButton(), Qt::LeftButton);
    EXPECT_FALSE(harness.model->notice());
    EXPECT_FALSE(banner->isVisible());

    harness.model->notify("Failed", true);
    EXPECT_TRUE(banner->trashLink()->isHidden());
}

TEST(NoticeBanner, ABidiOverrideInANameIsShownEscaped) {
    ShownContent shown;
    shown.harness.model->notify("Moved invoice\u202Efdp.exe and \u2067x\u2069 to the Trash", false);
    EXPECT_EQ(shown.view.banner()->message()->text(), "Moved invoice\\u202efdp.exe and \\u2067x\\u2069 to the Trash");
}

TEST(NoticeBanner, ALongNoticeIsCutAtFourLines) {
    const QFont font("Noto Sans CJK SC", 12);
    const QString shown = NoticeBanner::clamp(QString("word ").repeated(200), font, 300, 4);
    EXPECT_EQ(shown.count('\n'), 3);
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
    EXPECT_EQ(NoticeBanner::clamp("short", font, 300, 4), "short");
}

TEST(ContentView, FollowsTheSectionAndDropsAPagesSheetWhenLeavingIt) {
    testing_support::ScopedHome home;
    ModelHarness harness;
    {
        PageContext seen;
        // Declared after `seen`, so the factory that refers to it goes first.
        ScopedHooks<PageRegistry::Hooks> pages;
        pages->factories[AppModel::Section::agent] = [&seen](const PageContext& context) {
            seen = context;
            return new QWidget;
        };
        harness.model->setSection(std::nullopt);
        ContentView view(harness.model);
        EXPECT_TRUE(qobject_cast<OverviewPage*>(view.page()));

        harness.model->setSection(AppModel::Section::agent);
        ASSERT_TRUE(seen.confirm);
        EXPECT_EQ(seen.model, harness.model);
        seen.confirm(ConfirmRequest::make("t", "m", "ok", false, [] {}));
        EXPECT_TRUE(view.sheet()->request());
        harness.model->setSection(AppModel::Section::explorer);
        EXPECT_FALSE(view.sheet()->request());
    }
    // The page put in for the test went with it: the agent's own page is registered again.
    const auto& factories = PageRegistry::Hooks::active().factories;
    ASSERT_TRUE(factories.count(AppModel::Section::agent));
    EXPECT_TRUE(factories.at(AppModel::Section::agent));
}

TEST(SidebarRow, ABadgeGivesWayBeforeTheTitleIsCut) {
    struct Case {
        const char* language;
        bool selected;
        std::string badge;
        bool titleWhole;
        double badgeSize;  // 0: smaller than 11, whatever it is
    };
    const Case cases[] = {
        {"en", false, "进行中", true, 0},           // "Cloud Backup" beside "In progress"
        {"en", true, "进行中", true, 0},            // bold when selected
        {"zh", true, "进行中", true, 11},           // already fits: drawn as designed
        {"en", false, "1,234,567.8 GB", false, 9},  // nothing makes room: the title is cut
    };
    for (const Case& c : cases) {
        testing_support::ScopedHome home(c.language);
        SidebarRow row(AppModel::Section::backup);
        row.resize(Sidebar::columnWidth - 20, row.sizeHint().height());
        row.setSelected(c.selected);
        row.setBadge(L(c.badge.c_str()));
        const SidebarRow::Fit fit = row.fit();
        EXPECT_EQ(fit.title == QString::fromStdString(AppModel::title(AppModel::Section::backup)), c.titleWhole)
            << c.language << " " << fit.title.toStdString();
        if (c.badgeSize > 0)
            EXPECT_EQ(fit.badgeFont.pixelSize(), Typography::font(c.badgeSize).pixelSize()) << c.language;
        else
            EXPECT_LT(fit.badgeFont.pixelSize(), Typography::font(11).pixelSize()) << c.language;
    }
}
