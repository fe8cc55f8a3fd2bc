#include <gtest/gtest.h>

#include "TestSupport.hpp"
#include "pages/Chrome.hpp"

using Section = AppModel::Section;

namespace {
SuggestionReport reportOf(int64_t total, const std::string& text) {
    SuggestionReport report;
    report.totalReclaimableBytes = total;
    report.totalReclaimable = text;
    return report;
}
}  // namespace

TEST(Chrome, BadgesOnlyForSuggestionsWithSpaceAndForARunningBackup) {
    testing_support::ScopedHome home;
    const std::optional<std::string> running = "plan-1";
    const std::optional<SuggestionReport> report = reportOf(5000, "5 KB");
    EXPECT_EQ(Chrome::badge(Section::suggestions, report, std::nullopt), "5 KB");
    EXPECT_EQ(Chrome::badge(Section::suggestions, reportOf(0, "0 KB"), running), std::nullopt);
    EXPECT_EQ(Chrome::badge(Section::suggestions, std::nullopt, running), std::nullopt);
    EXPECT_EQ(Chrome::badge(Section::backup, report, running), "In progress");
    EXPECT_EQ(Chrome::badge(Section::backup, report, std::nullopt), std::nullopt);
    for (Section section : {Section::overview, Section::explorer, Section::agent})
        EXPECT_EQ(Chrome::badge(section, report, running), std::nullopt);
}

TEST(Chrome, FooterTintTurnsAtExactlyEightyAndNinety) {
    struct Row {
        double percent;
        ThemeColor tint;
        bool low;
    };
    for (const Row& row : {Row{79.9, Theme::accent, false}, Row{80, Theme::warn, false}, Row{89.9, Theme::warn, false},
                           Row{90, Theme::danger, true}}) {
        EXPECT_EQ(Chrome::footerTint(row.percent), row.tint) << row.percent;
        EXPECT_EQ(Chrome::lowOnSpace(row.percent), row.low) << row.percent;
    }
}

TEST(Chrome, TheHeaderShowsNoAgeWhileAScanRuns) {
    testing_support::ScopedHome home;
    ScanResult scan;
    const Date now = std::chrono::system_clock::now();
    scan.scannedAt = now - std::chrono::hours(3);

    const auto scanning = Chrome::headerControls(true, &scan, now);
    EXPECT_TRUE(scanning.scanning);
    EXPECT_FALSE(scanning.age);
    EXPECT_FALSE(scanning.rescan);

    const auto idle = Chrome::headerControls(false, &scan, now);
    EXPECT_EQ(idle.age, "Scanned 3 hours ago");
    EXPECT_TRUE(idle.rescan);

    const auto never = Chrome::headerControls(false, nullptr, now);
    EXPECT_FALSE(never.age);
    EXPECT_TRUE(never.rescan);
    EXPECT_EQ(Chrome::shown(std::nullopt), Section::overview);
}
