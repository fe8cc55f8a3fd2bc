#include <gtest/gtest.h>

#include "../logic/ModelHarness.hpp"
#include "TestSupport.hpp"
#include "clean/Suggestions.hpp"
#include "desktop/Desktop.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/pages/DiskCard.hpp"
#include "ui/pages/OverviewPage.hpp"
#include "ui/pages/SuggestionCard.hpp"
#include "ui/pages/SuggestionsPage.hpp"
#include "ui/pages/SummaryCardView.hpp"

#include <QLabel>
#include <algorithm>

// Linux has no settings page that grants access to folders: the banner's
// button reaches nothing of the desktop and changes nothing on the page.
TEST(OverviewPage, TheBannersButtonOpensNothingAndTheHomeCardOpensTheHomeFolder) {
    testing_support::ScopedHome home;
    ModelHarness harness;
    harness.engine.scanResult = scanOf(folderNode(home.home(), {folderNode(home.home() + "/Downloads", {}, 500)}));
    harness.model->refreshLight();  // the fake engine reports no full disk access
    harness.model->rescan();
    harness.settle();
    OverviewPage page(PageContext{harness.model, {}});
    ASSERT_FALSE(page.permissionBanner()->isHidden());

    int reached = 0;
    ScopedHooks<Desktop::Hooks> scoped;
    scoped->reveal = [&reached](const std::string&) { return ++reached, true; };
    scoped->openTrash = [&reached] { return ++reached, true; };
    scoped->chooseFolder = [&reached](QWidget*) { return ++reached, std::optional<std::string>(); };
    scoped->copy = [&reached](const std::string&) { ++reached; };
    MonoButton* open = page.permissionBanner()->findChild<MonoButton*>();
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->label().toStdString(), "Open Settings");
    const auto section = harness.model->section();
    open->click();
    harness.settle();
    EXPECT_EQ(reached, 0);
    EXPECT_FALSE(harness.model->notice());
    EXPECT_EQ(harness.model->section(), section);
    EXPECT_FALSE(page.permissionBanner()->isHidden());

    // The explorer opens at the home folder even when another folder was open.
    harness.model->setExplorerPath(home.home() + "/Downloads");
    page.scanCard()->button()->click();
    EXPECT_EQ(harness.model->explorerPath(), home.home());
    EXPECT_EQ(harness.model->section(), AppModel::Section::explorer);
}

// A small real Linux home, scanned and analysed by the engine itself: the
// cleanup page lists its browser cache and the disk card splits off its videos.
TEST(OverviewPage, ALinuxHomeShowsItsCacheRowAndItsVideosSegment) {
    testing_support::ScopedHome home;
    testing_support::allocate(home.path(".cache/mozilla/firefox/cache2/entries"), 60'000'000);
    testing_support::allocate(home.path("Videos/clip.mkv"), 3'000'000);
    ModelHarness harness;
    const ScanResult scan = Scanner::scan(home.home());
    harness.engine.scanResult = scan;
    harness.engine.suggestions = SuggestionEngine::analyze(&scan, {}, Date::clock::now()).suggestions;
    harness.engine.volumes = {*VolumeInfo::make("Disk", "/", 500'000'000'000, 400'000'000'000, 0, true)};
    harness.model->refreshLight();
    harness.model->rescan();
    harness.settle();
    harness.model->analyze();
    harness.settle();

    QWidget frame;
    auto* host = new ConfirmSheetHost(&frame);
    SuggestionsPage cleanup(PageContext::over(harness.model, host));
    const auto cards = cleanup.cards();
    const auto row = std::find_if(cards.begin(), cards.end(),
                                  [](const auto& card) { return card->suggestion().id == "xdg-cache-apps"; });
    ASSERT_NE(row, cards.end());
    EXPECT_EQ((*row)->suggestion().title, "Browser and tool caches");
    const auto labels = (*row)->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](QLabel* label) {
        return label->text().startsWith("Caches that browsers, thumbnails, fonts");
    }));

    OverviewPage overview(PageContext{harness.model, {}});
    const auto entries = overview.findChildren<LegendEntry*>();
    const auto media = std::find_if(entries.begin(), entries.end(),
                                    [](LegendEntry* entry) { return entry->segment().id == "media"; });
    ASSERT_NE(media, entries.end());
    EXPECT_EQ((*media)->segment().path, home.home() + "/Videos");
    EXPECT_GE((*media)->segment().bytes, 3'000'000);
    EXPECT_TRUE(std::none_of(entries.begin(), entries.end(),
                             [](LegendEntry* entry) { return entry->segment().id == "icloud"; }));
}
