#include <gtest/gtest.h>

#include "TestSupport.hpp"
#include "model/LanguageChoice.hpp"
#include "platform/Platform.hpp"

using nlohmann::json;

TEST(LanguageChoice, ReadsOnlyTheApplicationsOwnList) {
    testing_support::ScopedHome home;
    // The environment's languages are the system's list: never a choice.
    testing_support::ScopedEnv system("LANGUAGE", "zh_CN:en");
    struct Case {
        std::optional<json> stored;
        LanguageChoice expected;
    };
    const std::vector<Case> cases{
        {json::array({"zh-Hant", "en"}), LanguageChoice::chinese},
        {json::array({"zh-Hans"}), LanguageChoice::chinese},
        {json::array({"fr"}), LanguageChoice::english},
        {std::nullopt, LanguageChoice::system},
        {json::array(), LanguageChoice::system},
        {json("zh-Hans"), LanguageChoice::system},
        {json::array({1, "zh"}), LanguageChoice::system},
    };
    for (const Case& c : cases) {
        if (c.stored)
            UserDefaults::set(LanguageChoices::key, *c.stored);
        else
            UserDefaults::remove(LanguageChoices::key);
        EXPECT_EQ(LanguageChoices::saved(), c.expected) << (c.stored ? c.stored->dump() : "absent");
    }
}

TEST(LanguageChoice, SaveWritesWhatTheNextStartReads) {
    testing_support::ScopedHome home;
    UserDefaults::set("explorerMode", "terrain");
    const std::vector<std::pair<LanguageChoice, std::optional<json>>> cases{
        {LanguageChoice::english, json::array({"en"})},
        {LanguageChoice::chinese, json::array({"zh-Hans"})},
        {LanguageChoice::system, std::nullopt},
    };
    for (const auto& [choice, written] : cases) {
        LanguageChoices::save(choice);
        EXPECT_EQ(UserDefaults::value(LanguageChoices::key), written);
        EXPECT_EQ(LanguageChoices::saved(), choice);
    }
    // The other settings in the file stay.
    EXPECT_EQ(UserDefaults::value("explorerMode"), json("terrain"));
}

TEST(LanguageChoice, TheVariableFixesTheCheckedChoiceOverTheStoredOne) {
    testing_support::ScopedHome home;
    UserDefaults::set(LanguageChoices::key, json::array({"en"}));
    const std::vector<std::pair<std::optional<std::string>, std::optional<LanguageChoice>>> cases{
        {std::nullopt, std::nullopt},       {"", std::nullopt},
        {"zh", LanguageChoice::chinese},    {"ZH_cn.UTF-8", LanguageChoice::chinese},
        {"en_GB", LanguageChoice::english}, {"fr", LanguageChoice::english},
    };
    for (const auto& [variable, expected] : cases) {
        testing_support::ScopedEnv lang("OSTREVANE_LANG", variable);
        EXPECT_EQ(LanguageChoices::forced(), expected) << variable.value_or("unset");
        EXPECT_EQ(LanguageChoices::shown(), expected.value_or(LanguageChoice::english)) << variable.value_or("unset");
    }
}
