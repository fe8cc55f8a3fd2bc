#include <gtest/gtest.h>

#include "TestSupport.hpp"
#include "model/Launch.hpp"
#include "platform/Platform.hpp"

TEST(Launch, ReadsTheFirstSnapshotFolderAndTheDemoSwitch) {
    const std::string usage = "--snapshot needs a folder\nusage: OstrevaneApp [--snapshot <folder> [--demo]]";
    struct Case {
        std::vector<std::string> arguments;
        LaunchOptions expected;
    };
    const std::vector<Case> cases{
        {{"app"}, {}},
        {{"app", "--snapshot", "/out"}, {"/out", false, std::nullopt}},
        {{"app", "--snapshot"}, {std::nullopt, false, usage}},
        {{"app", "--snapshot", ""}, {std::nullopt, false, usage}},
        {{"app", "", "--snapshot", "", "--snapshot", "/b"}, {std::nullopt, false, usage}},
        {{"app", "--demo", "--snapshot", "/a", "--snapshot", "/b"}, {"/a", true, std::nullopt}},
        {{"app", "--snapshot", "--demo"}, {"--demo", true, std::nullopt}},
        {{"app", "--demo"}, {std::nullopt, true, std::nullopt}},
    };
    for (const Case& c : cases) EXPECT_EQ(Launch::parse(c.arguments), c.expected) << c.arguments.size();
}

TEST(Launch, WritesTheAppearanceDefaultsOverWhateverWasThere) {
    testing_support::ScopedHome home;
    UserDefaults::set("AppleAccentColor", 3);
    Launch::writeDefaults();
    EXPECT_EQ(UserDefaults::value("AppleAccentColor"), nlohmann::json(-1));
    EXPECT_EQ(UserDefaults::value("AppleHighlightColor"), nlohmann::json("0.847059 0.847059 0.862745 Graphite"));
}
