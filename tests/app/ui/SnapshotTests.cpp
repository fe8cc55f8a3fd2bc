#include <gtest/gtest.h>

#include <QImage>
#include <sstream>

#include "Support.hpp"
#include "TestSupport.hpp"
#include "snapshot/Snapshot.hpp"
#include "ui/theme/QtTheme.hpp"

using namespace testing_support;

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

/// Pixels of a region that differ from the page surface.
int inked(const QImage& image, const QRect& region) {
    const QRgb ground = qColor(Theme::ground).rgb();
    int count = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x) count += image.pixel(x, y) != ground;
    return count;
}

TEST(Snapshot, TheDemoRunWritesTheOverviewInEitherLanguage) {
    for (const char* language : {"zh", "en"}) {
        TempDir dir;
        const fs::path home = dir.path() / "home";
        fs::create_directories(home);
        ScopedEnv homeVariable("HOME", home.string());
        ScopedEnv config("XDG_CONFIG_HOME", (home / ".config").string());
        ScopedEnv override("OSTREVANE_HOME", home.string());
        ScopedEnv lang("OSTREVANE_LANG", language);
        ScopedEnv platform("QT_QPA_PLATFORM", std::nullopt);  // the mode picks offscreen itself
        const fs::path out = dir.path() / "shots";

        Shell::Output run = Shell::run(OSTREVANE_APP_PATH, {"--snapshot", out.string(), "--demo"}, 120);
        ASSERT_EQ(run.status, 0) << language << ": " << run.stderrText;
        std::vector<std::string> expected{Snapshot::accentLine(QColor::fromRgbF(0.557f, 0.557f, 0.576f))};
        for (const std::string& name : Snapshot::plan(true, true)) expected.push_back("wrote " + name + ".png");
        EXPECT_EQ(linesOf(run.stdoutText), expected) << language;
        EXPECT_EQ(expected[0], "accent r=0.56 g=0.56 b=0.58");

        QImage image(QString::fromStdString((out / "1-overview.png").string()));
        ASSERT_EQ(image.size(), QSize(1180, 780)) << language;
        EXPECT_EQ(inked(image, QRect(300, 150, 800, 600)), 0) << language;  // the empty page is ground
        EXPECT_GT(inked(image, QRect(0, 60, 216, 200)), 500) << language;  // the section titles are drawn
        EXPECT_NE(image.pixel(216, 400), qColor(Theme::ground).rgb());     // the rule
        const std::string defaults = readText(home / ".config/Ostrevane/defaults.json");
        EXPECT_NE(defaults.find("\"AppleAccentColor\": -1"), std::string::npos);
    }
}

TEST(Snapshot, AFolderThatCannotBeWrittenFailsTheRun) {
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", (dir.path() / "config").string());
    ScopedEnv override("OSTREVANE_HOME", dir.path().string());
    writeText(dir.path() / "file", "not a folder");
    Shell::Output run = Shell::run(OSTREVANE_APP_PATH, {"--snapshot", (dir.path() / "file").string(), "--demo"}, 120);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.stdoutText.find("wrote"), std::string::npos);
    EXPECT_NE(run.stderrText.find("1-overview.png"), std::string::npos);
}

}  // namespace
