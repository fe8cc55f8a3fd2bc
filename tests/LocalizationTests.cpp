#include "TestSupport.hpp"
#include "platform/Platform.hpp"
#include "text/Localization.hpp"

using namespace testing_support;

namespace {
Lang languageWith(std::initializer_list<std::pair<const char*, std::optional<std::string>>> variables) {
    std::vector<std::unique_ptr<ScopedEnv>> scoped;
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG", "OSTREVANE_LANG"})
        scoped.push_back(std::make_unique<ScopedEnv>(name, std::nullopt));
    for (auto& [name, value] : variables) scoped.push_back(std::make_unique<ScopedEnv>(name, value));
    ScopedHooks<Platform::Hooks> decided(Platform::Hooks::decidedOnce());
    return Langs::current();
}
}  // namespace

TEST(Language, EnvironmentVariableWinsAndIgnoresCase) {
    ScopedHome home(std::nullopt);
    UserDefaults::set("AppleLanguages", json::array({"en-GB"}));
    EXPECT_EQ(languageWith({{"OSTREVANE_LANG", "ZH_cn"}}), Lang::zh);
    EXPECT_EQ(languageWith({{"OSTREVANE_LANG", "fr"}, {"LANG", "zh_CN.UTF-8"}}), Lang::en);
    // An empty value is ignored; the stored choice decides.
    EXPECT_EQ(languageWith({{"OSTREVANE_LANG", ""}, {"LANG", "zh_CN.UTF-8"}}), Lang::en);
}

TEST(Language, StoredChoiceComesBeforeTheSystem) {
    ScopedHome home(std::nullopt);
    UserDefaults::set("AppleLanguages", json::array({"zh-Hans", "en"}));
    EXPECT_EQ(languageWith({{"LANG", "en_US.UTF-8"}}), Lang::zh);
    UserDefaults::set("AppleLanguages", json::array({"en-GB"}));
    EXPECT_EQ(languageWith({{"LANG", "zh_CN.UTF-8"}}), Lang::en);
    // An empty list or a value of another type passes on to the system.
    UserDefaults::set("AppleLanguages", json::array());
    EXPECT_EQ(languageWith({{"LANG", "zh_CN.UTF-8"}}), Lang::zh);
    UserDefaults::set("AppleLanguages", "zh");
    EXPECT_EQ(languageWith({{"LANG", "en_US"}}), Lang::en);
    UserDefaults::remove("AppleLanguages");
    EXPECT_FALSE(UserDefaults::value("AppleLanguages"));
}

TEST(Language, PreferredLanguagesInOrder) {
    ScopedHome home(std::nullopt);
    EXPECT_EQ(languageWith({{"LANGUAGE", "fr:de:zh_TW"}}), Lang::zh);
    EXPECT_EQ(languageWith({{"LANGUAGE", "fr:en_US:zh_CN"}}), Lang::en);
    EXPECT_EQ(languageWith({{"LANGUAGE", "fr"}}), Lang::en);
    EXPECT_EQ(languageWith({{"LC_ALL", "C.UTF-8"}}), Lang::en);
    EXPECT_EQ(languageWith({{"LC_MESSAGES", "zh_CN.UTF-8@pinyin"}, {"LANG", "en_US"}}), Lang::zh);
    EXPECT_EQ(languageWith({{"LANG", "POSIX"}, {"LANGUAGE", "de:zh"}}), Lang::zh);
    EXPECT_EQ(languageWith({}), Lang::en);
}

TEST(Localized, FillPlaceholders) {
    EXPECT_EQ(Localized::fill("%@ of %@", {"a", "b"}), "a of b");
    EXPECT_EQ(Localized::fill("%2$@ of %1$@", {"5", "2"}), "2 of 5");
    EXPECT_EQ(Localized::fill("100%% done", {}), "100% done");
    EXPECT_EQ(Localized::fill("%@ and %@", {"only"}), "only and ");
    EXPECT_EQ(Localized::fill("%5$@|%0$@", {"a", "b"}), "|");
    EXPECT_EQ(Localized::fill("%@", {"%@ || %%"}), "%@ || %%");
    EXPECT_EQ(Localized::fill("50%", {}), "50%");
    EXPECT_EQ(Localized::fill("%d %", {}), "%d %");
    EXPECT_EQ(Localized::fill("%@", {"a", "unused"}), "a");
}

TEST(Localized, FillPicksSingularOrPlural) {
    const char* format = "%@ file · %@||%@ files · %@";
    EXPECT_EQ(Localized::fill(format, {"1", "3 MB"}), "1 file · 3 MB");
    EXPECT_EQ(Localized::fill(format, {"2", "3 MB"}), "2 files · 3 MB");
    EXPECT_EQ(Localized::fill(format, {"1,024", "3 MB"}), "1,024 files · 3 MB");
    EXPECT_EQ(Localized::fill(format, {"01", "3 MB"}), "01 files · 3 MB");
    // The first value made of digits is the count, wherever it stands.
    EXPECT_EQ(Localized::fill("%1$@: %2$@ item, %3$@.||%1$@: %2$@ items, %3$@ in total.", {"Caches", "1", "5 MB"}),
              "Caches: 1 item, 5 MB.");
    EXPECT_EQ(Localized::fill("a||b||c", {}), "b||c");
    EXPECT_EQ(Localized::fill("%@ one||%@ many", {"١"}), "١ many");  // numeric, but not "1"
}

TEST(Localized, RenderingFollowsTheLanguage) {
    {
        ScopedHome home("zh");
        EXPECT_EQ(L("%@ 个文件 · %@", 1, "3 MB"), "1 个文件 · 3 MB");
        EXPECT_EQ(L("磁盘已用 %@%%。系统需要约 10%% 的空闲空间才能顺畅运行。", "91"),
                  "磁盘已用 91%。系统需要约 10% 的空闲空间才能顺畅运行。");
    }
    {
        ScopedHome home("en");
        EXPECT_EQ(L("%@ 个文件 · %@", 1, "3 MB"), "1 file · 3 MB");
        EXPECT_EQ(L("%@ 个计划中有 %@ 个出现问题,详见备份记录。", 5, 2),
                  "2 of 5 plans had problems; see the backup history.");
        EXPECT_EQ(L("磁盘已用 %@%%。系统需要约 10%% 的空闲空间才能顺畅运行。", "91"),
                  "Disk is 91% full. The system needs about 10% free space to run smoothly.");
        // A key the table lacks shows the Chinese text.
        EXPECT_EQ(L("没有这一行 %@", 7), "没有这一行 7");
        EXPECT_EQ(L(OstrevaneError("boom").message), "boom");
    }
}
