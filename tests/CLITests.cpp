// The tool's entry point: help, unknown commands and usage errors.
#include "CLITexts.hpp"
#include "Localization.hpp"
#include "TestSupport.hpp"

using namespace testing_support;

TEST(CLI, HelpInBothLanguages) {
    ScopedHome english("en");
    std::string help = L(CLITexts::helpKey, Ostrevane::version);
    for (const char* word : {"--help", "-h", "help"}) {
        auto result = runCLI({word});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, help);
        EXPECT_EQ(result.err, "");
    }
    EXPECT_EQ(runCLI({}).out, help);
    EXPECT_TRUE(help.starts_with("Ostrevane 0.3.1 — see where your disk space goes"));

    ScopedHome chinese("zh");
    auto result = runCLI({"--help"});
    EXPECT_TRUE(result.out.starts_with("Ostrevane 0.3.1 — 看清磁盘空间、给出清理建议、备份到网盘。")) << result.out;
    EXPECT_TRUE(result.out.ends_with("  claude-setup                        打印接入 Claude Code / Claude Desktop 的配置\n"));
}

TEST(CLI, UnknownCommandIsAUsageError) {
    ScopedHome home("en");
    auto result = runCLI({"frobnicate", "--json"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Unknown command: frobnicate\n" + L(CLITexts::helpKey, Ostrevane::version));
}
