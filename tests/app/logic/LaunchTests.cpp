#include <gtest/gtest.h>

#include <map>

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
        {{"app", "--snapshot"}, {}},
        {{"app", "--snapshot", ""}, {std::nullopt, false, usage}},
        {{"app", "", "--snapshot", "", "--snapshot", "/b"}, {std::nullopt, false, usage}},
        {{"app", "--demo", "--snapshot", "/a", "--snapshot", "/b"}, {"/a", true, std::nullopt}},
        {{"app", "--snapshot", "--demo"}, {"--demo", true, std::nullopt}},
        {{"app", "--demo"}, {std::nullopt, true, std::nullopt}},
        {{"app", "-h"}, {std::nullopt, false, std::nullopt, true}},
        {{"app", "--snapshot", "--help"}, {"--help", false, std::nullopt}},
        {{"app", "--snapshot", "/out", "--help"}, {"/out", false, std::nullopt, true}},
        {{"app", "--help", "--snapshot"}, {std::nullopt, false, std::nullopt, true}},
        {{"app", "--version", "-platform", "offscreen"}, {std::nullopt, false, std::nullopt, false, true}},
        {{"--help"}, {}},
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

TEST(Launch, FindsADisplayOrAPlatformThatNeedsNone) {
    struct Case {
        std::vector<std::string> arguments;
        std::map<std::string, std::string> environment;
        bool expected;
    };
    const std::vector<Case> cases{
        {{"app"}, {}, false},
        {{"app"}, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}}, false},
        {{"app"}, {{"DISPLAY", ":0"}}, true},
        {{"app"}, {{"WAYLAND_DISPLAY", "wayland-0"}}, true},
        {{"app", "-display", ":1"}, {}, true},
        {{"app"}, {{"QT_QPA_PLATFORM", "offscreen"}}, true},
        {{"app"}, {{"QT_QPA_PLATFORM", "minimal:enable_fonts"}}, true},
        {{"app"}, {{"QT_QPA_PLATFORM", "xcb"}}, false},
        {{"app"}, {{"QT_QPA_PLATFORM", "xcb;offscreen"}}, true},
        {{"app"}, {{"QT_QPA_PLATFORM", "wayland"}}, true},
        {{"app", "-platform", "offscreen"}, {}, true},
        {{"app", "--platform", "offscreen"}, {}, true},
        // Qt reads its option over the variable, the last one over earlier ones.
        {{"app", "-platform", "xcb"}, {{"QT_QPA_PLATFORM", "offscreen"}}, false},
        {{"app", "-platform", "offscreen", "-platform", "xcb"}, {}, false},
        {{"app", "-platform"}, {}, false},
        {{"app", "-style", "offscreen"}, {}, false},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const auto environment = [&c](const char* name) -> std::optional<std::string> {
            auto found = c.environment.find(name);
            return found == c.environment.end() ? std::nullopt : std::optional(found->second);
        };
        EXPECT_EQ(Launch::hasDisplay(c.arguments, environment), c.expected) << "case " << i;
    }
}
