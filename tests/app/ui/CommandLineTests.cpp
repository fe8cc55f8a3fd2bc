// The application's own command line, run as a terminal or a script runs it:
// the help and the version need no display, and a start without one says
// what would work instead of letting Qt abort.
#include <gtest/gtest.h>

#include "Support.hpp"
#include "TestSupport.hpp"
#include "model/Launch.hpp"
#include "text/CLITexts.hpp"
#include "text/Localization.hpp"

using namespace testing_support;

namespace {

/// The application run with only these variables: no display of any kind
/// unless `extra` brings one, its home and configuration in `dir`.
Shell::Output runWithoutDisplay(const TempDir& dir, const std::vector<std::string>& arguments,
                                const std::string& language, std::vector<std::string> extra = {}) {
    std::vector<std::string> environment{"PATH=/usr/bin:/bin",
                                         "HOME=" + (dir.path() / "home").string(),
                                         "OSTREVANE_HOME=" + (dir.path() / "home").string(),
                                         "XDG_CONFIG_HOME=" + (dir.path() / "config").string(),
                                         "XDG_RUNTIME_DIR=" + dir.path().string(),
                                         "OSTREVANE_LANG=" + language};
    environment.insert(environment.end(), extra.begin(), extra.end());
    return Shell::runWithEnvironment(OSTREVANE_APP_PATH, arguments, 30, environment);
}

size_t lineCount(const std::string& text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

}  // namespace

TEST(CommandLine, HelpAndVersionNeedNoDisplayAndWriteNothing) {
    const std::string englishUsage = [] {
        ScopedHome english("en");
        return L(CLITexts::appUsageKey);
    }();
    const std::string chineseUsage = std::string(CLITexts::appUsageKey);
    const std::string version = std::string("OstrevaneApp ") + OSTREVANE_PROJECT_VERSION + "\n";
    struct Case {
        std::vector<std::string> arguments;
        std::string language;
        std::string expected;
    };
    const std::vector<Case> cases{
        {{"--help"}, "en", englishUsage},
        {{"-h"}, "en", englishUsage},
        {{"--help"}, "zh", chineseUsage},
        // Asked for anywhere, even beside a Qt option or a snapshot that lacks its folder.
        {{"-platform", "xcb", "-h"}, "en", englishUsage},
        {{"--snapshot", "/out", "--demo", "--help"}, "en", englishUsage},
        {{"--demo", "--help", "--snapshot"}, "en", englishUsage},
        {{"--version"}, "en", version},
        {{"--version"}, "zh", version},
    };
    ASSERT_NE(englishUsage, chineseUsage);
    EXPECT_NE(englishUsage.find("--snapshot <folder>"), std::string::npos);
    for (const Case& c : cases) {
        TempDir dir;
        const Shell::Output run = runWithoutDisplay(dir, c.arguments, c.language);
        const std::string label = c.arguments.back() + " " + c.language;
        EXPECT_EQ(run.status, 0) << label << ": " << run.stderrText;
        EXPECT_EQ(run.stdoutText, c.expected) << label;
        EXPECT_EQ(run.stderrText, "") << label;
        EXPECT_FALSE(fs::exists(dir.path() / "config")) << label << ": asking for help writes no settings";
    }
}

TEST(CommandLine, AStartWithoutADisplaySaysSoInOneLineAndEnds) {
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> environment;
    };
    const std::vector<Case> cases{
        {{}, {}},
        {{"--demo"}, {}},
        // A last "--snapshot" has no folder, so the window is what was asked for.
        {{"--demo", "--snapshot"}, {}},
        {{"-style", "fusion"}, {"DISPLAY=", "WAYLAND_DISPLAY="}},
        // X chosen outright, with no X display to open.
        {{}, {"QT_QPA_PLATFORM=xcb"}},
        {{"-platform", "xcb"}, {}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const Shell::Output run = runWithoutDisplay(dir, c.arguments, "en", c.environment);
        const std::string label = std::to_string(c.arguments.size()) + " " + std::to_string(c.environment.size());
        EXPECT_EQ(run.status, 1) << label << ": " << run.stderrText;
        EXPECT_EQ(run.stdoutText, "") << label;
        EXPECT_EQ(lineCount(run.stderrText), 1u) << label << ": " << run.stderrText;
        EXPECT_TRUE(run.stderrText.starts_with("OstrevaneApp: The window needs a graphical display"))
            << label << ": " << run.stderrText;
        EXPECT_NE(run.stderrText.find("--snapshot <folder>"), std::string::npos) << label;
        EXPECT_FALSE(fs::exists(dir.path() / "config")) << label;
    }
    // In Chinese, the same one line.
    const std::string chineseLine = [] {
        ScopedHome chinese("zh");
        return "OstrevaneApp: " + Launch::noDisplayMessage() + "\n";
    }();
    TempDir dir;
    const Shell::Output chinese = runWithoutDisplay(dir, {}, "zh");
    EXPECT_EQ(chinese.status, 1);
    EXPECT_EQ(chinese.stderrText, chineseLine);
    EXPECT_EQ(chinese.stderrText.find("The window"), std::string::npos);
}
