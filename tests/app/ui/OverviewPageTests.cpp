#include <gtest/gtest.h>

#include "../logic/ModelHarness.hpp"
#include "TestSupport.hpp"
#include "platform/Desktop.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/pages/OverviewPage.hpp"
#include "ui/pages/SummaryCardView.hpp"

TEST(OverviewPage, TheBannerCallsThePlatformAndTheHomeCardOpensTheHomeFolder) {
    testing_support::ScopedHome home;
    ModelHarness harness;
    harness.engine.scanResult = scanOf(folderNode(home.home(), {folderNode(home.home() + "/Downloads", {}, 500)}));
    harness.model->refreshLight();  // the fake engine reports no full disk access
    harness.model->rescan();
    harness.settle();
    OverviewPage page(PageContext{harness.model, {}});
    ASSERT_FALSE(page.permissionBanner()->isHidden());

    int opened = 0;
    Desktop::Hooks hooks;
    hooks.openFullDiskAccessSettings = [&opened] { ++opened; };
    Desktop::ScopedHooks scoped(hooks);
    page.permissionBanner()->findChild<MonoButton*>()->click();
    EXPECT_EQ(opened, 1);

    // The explorer opens at the home folder even when another folder was open.
    harness.model->setExplorerPath(home.home() + "/Downloads");
    page.scanCard()->button()->click();
    EXPECT_EQ(harness.model->explorerPath(), home.home());
    EXPECT_EQ(harness.model->section(), AppModel::Section::explorer);
}
