// The tool's entry point: help, unknown commands and usage errors.
#include "Support.hpp"
#include "TestSupport.hpp"
#include "platform/Trash.hpp"
#include "text/CLITexts.hpp"
#include "text/Localization.hpp"

using namespace testing_support;

namespace {
const std::string helpPointer = "Run ostrevane --help to see every command and its options.\n";
}  // namespace

TEST(CLI, HelpInBothLanguages) {
    ScopedHome english("en");
    // What a backup leaves out unless asked is said after the commands.
    std::string help = L(CLITexts::helpKey, Ostrevane::version) +
                       "\nBy default, backup and the backup plans leave out files and folders named .DS_Store, "
                       ".localized, .Trash, node_modules, DerivedData, .build, __pycache__; --exclude leaves out more "
                       "names (each matched exactly).\n";
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
    EXPECT_TRUE(
        result.out.ends_with("  claude-setup                        打印接入 Claude Code / Claude Desktop 的配置\n\n"
                             "backup 和备份计划默认不备份名为 .DS_Store、.localized、.Trash、node_modules、"
                             "DerivedData、.build、__pycache__ 的文件和目录;--exclude "
                             "可再排除其他名称(按名称精确匹配)。\n"));
}

// The help as a reader sees it, kept in tests/golden: a change to it shows as
// a change to that file.
TEST(CLI, HelpMatchesItsGoldenFile) {
    for (const std::string language : {"en", "zh"}) {
        ScopedHome home(language);
        const fs::path golden = fs::path(OSTREVANE_SOURCE_DIR) / "tests" / "golden" / ("help-" + language + ".txt");
        EXPECT_EQ(runCLI({"--help"}).out, readText(golden)) << golden;
    }
}

TEST(CLI, VersionPrintsTheToolAndItsVersionAlone) {
    ScopedHome home("zh");
    auto result = runCLI({"--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "ostrevane " + Ostrevane::version + "\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(runCLI({"--version", "status"}).status, 2);
}

TEST(CLI, UnknownCommandIsAUsageError) {
    ScopedHome home("en");
    auto result = runCLI({"frobnicate", "--json"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Unknown command: frobnicate\n" + helpPointer);
    // The word is shown, never sent to the terminal as an escape sequence.
    EXPECT_EQ(runCLI({"frob\x1b]0;title\x07\xff"}).err, "Unknown command: frob\\x1b]0;title\\x07\\xff\n" + helpPointer);

    ScopedHome chinese("zh");
    EXPECT_EQ(runCLI({"scan", "--deep"}).err, "错误: 未知选项: --deep\n运行 ostrevane --help 查看所有命令和选项。\n");
}

// Help asked for after a command, or among its options, is help, not an
// unknown option; after "--" it is a path like any other word.
TEST(CLI, HelpAnywhereBeforeTheEndOfOptionsPrintsTheHelp) {
    ScopedHome home("en");
    const std::string help = runCLI({"--help"}).out;
    ASSERT_TRUE(help.starts_with(L(CLITexts::helpKey, Ostrevane::version)));
    for (const std::vector<std::string>& words :
         std::vector<std::vector<std::string>>{{"scan", "--help"},
                                               {"scan", "-h"},
                                               {"largest", "~", "--min-size", "1", "--help"},
                                               {"plans", "add", "--help"},
                                               {"frobnicate", "--help"},
                                               {"status", "--json", "-h"}}) {
        auto result = runCLI(words);
        EXPECT_EQ(result.status, 0) << words[0] << " " << words[1];
        EXPECT_EQ(result.out, help) << words[0] << " " << words[1];
        EXPECT_EQ(result.err, "") << words[0] << " " << words[1];
    }
    auto afterEnd = runCLI({"largest", "--", "--help"});
    EXPECT_EQ(afterEnd.status, 1);
    EXPECT_EQ(afterEnd.out, "");
    EXPECT_TRUE(afterEnd.err.starts_with("Error: ") && afterEnd.err.find("/--help") != std::string::npos)
        << "the word is taken as a path: " << afterEnd.err;
}

TEST(CLI, LargestFilesPlainAndJSON) {
    ScopedHome home("en");
    writeFile(home.path("Movies/big.mov"), 3'000'000);
    writeFile(home.path("Movies/small.mov"), 1'200'000);
    writeFile(home.path("notes.txt"), 100);

    auto plain = runCLI({"largest", "--min-size", "1"});
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_NE(plain.out.find("~/Movies/big.mov"), std::string::npos);
    EXPECT_LT(plain.out.find("big.mov"), plain.out.find("small.mov"));

    auto document = runCLI({"largest", "~/Movies", "-n", "0", "--min-size", "0.5", "--json"});
    EXPECT_EQ(document.status, 0);
    json files = json::parse(document.out);
    ASSERT_EQ(files.size(), 1u);  // a count of none acts as the minimum
    EXPECT_EQ(files[0]["path"], home.home() + "/Movies/big.mov");

    auto none = runCLI({"largest", "--min-size", "100", "--older-than", "30"});
    EXPECT_EQ(none.out, "No matching files.\n");

    EXPECT_EQ(runCLI({"largest", "--min-size", "lots"}).status, 2);
    EXPECT_EQ(runCLI({"largest", "--min-size", "1e300"}).status, 2);
    auto missing = runCLI({"largest", "~/nowhere"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_TRUE(missing.err.starts_with("Error: Path doesn’t exist or can’t be accessed: ")) << missing.err;
}

TEST(CLI, ClaudeSetupNamesTheToolItself) {
    ScopedHome home("en");
    auto result = runCLI({"claude-setup"});
    EXPECT_EQ(result.status, 0);
    std::string tool = fs::canonical(OSTREVANE_CLI_PATH).string();
    EXPECT_EQ(result.out, L(CLITexts::setupKey, tool, tool) + "\n");
    EXPECT_NE(result.out.find("claude mcp add ostrevane --scope user -- " + tool + " mcp"), std::string::npos);
}

TEST(CLI, AMistypedOptionIsAUsageErrorAndTouchesNothing) {
    ScopedHome home("en");
    auto file = writeFile(home.path("old.log"), 10);
    auto result = runCLI({"trash", "~/old.log", "--exectue"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(runCLI({"scan", "--depth"}).status, 2);  // a value option without its value

    // After "--" a name that starts with a dash is a path.
    auto dashed = writeFile(home.path("-odd"), 10);
    auto moved = runCLI({"trash", "--execute", "--json", "--", home.path("-odd").string()});
    EXPECT_EQ(moved.status, 0) << moved.err;
    EXPECT_FALSE(fs::exists(dashed));
}

TEST(CLI, StrayWordsAndValuesThatAreNotNumbersAreUsageErrors) {
    ScopedHome home("en");
    writeFile(home.path("big.bin"), 2'000'000);
    // One line says what was wrong, one where the help is.
    for (const auto& [words, error] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"largest", "-n", "lots", "--min-size", "1"}, "Invalid value for -n: lots"},
             {{"largest", "--older-than", "a-month", "--min-size", "1"}, "Invalid value for --older-than: a-month"},
             {{"largest", "--min-size", "big"}, "Invalid value for --min-size: big"},
             {{"largest", "--min-size", "1e300"}, "Invalid value for --min-size: 1e300"},
             {{"largest", "~", "~/elsewhere"}, "Unexpected argument: ~/elsewhere"},
             {{"scan", "--depth", "deep"}, "Invalid value for --depth: deep"},
             {{"scan", "--depth"}, "Missing value for --depth"},
             {{"scan", "--deep"}, "Unknown option: --deep"},
             {{"history", "-n", "ten"}, "Invalid value for -n: ten"},
             // No option counts backwards: a negative value is a mistake, not the minimum.
             {{"largest", "-n", "-5"}, "Invalid value for -n: -5"},
             {{"largest", "--min-size", "-5"}, "Invalid value for --min-size: -5"},
             {{"largest", "--older-than", "-1"}, "Invalid value for --older-than: -1"},
             {{"duplicates", "--min-size", "-5"}, "Invalid value for --min-size: -5"},
             {{"duplicates", "--min-size", "-0.5"}, "Invalid value for --min-size: -0.5"},
             {{"scan", "--depth", "-3"}, "Invalid value for --depth: -3"},
             {{"scan", "--top", "-1"}, "Invalid value for --top: -1"},
             {{"history", "-n", "-2"}, "Invalid value for -n: -2"},
             {{"history", "5"}, "Unexpected argument: 5"},
             {{"plans", "run", "a", "b"}, "Unexpected argument: b"},
             {{"status", "now"}, "Unexpected argument: now"}}) {
        auto result = runCLI(words);
        EXPECT_EQ(result.status, 2) << words[0] << " " << words[1];
        EXPECT_EQ(result.out, "") << words[0] << " " << words[1];
        EXPECT_EQ(result.err, "Error: " + error + "\n" + helpPointer) << words[0] << " " << words[1];
    }
    // Numbers in any form strtod reads still count.
    EXPECT_EQ(runCLI({"largest", "-n", "2.9", "--min-size", "1", "--json"}).status, 0);

    // A word after --confirm is not an item to delete: the Trash stays as it is.
    auto victim = writeFile(home.path("old.log"), 10);
    ASSERT_EQ(runCLI({"trash", "--execute", victim.string()}).status, 0);
    auto emptied = runCLI({"empty-trash", "--confirm", victim.string()});
    EXPECT_EQ(emptied.status, 2);
    EXPECT_TRUE(fs::exists(fs::path(Trash::filesFolder()) / "old.log"));
}

// Output that could not be written is a failure, not a success the caller
// cannot read.
TEST(CLI, AnAnswerThatCannotBeWrittenEndsInFailure) {
    ScopedHome home("en");
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"--help"}, {"--version"}, {"status", "--json"}, {"scan", "--json"}, {"claude-setup"}}) {
        std::string command = "exec " + Text::shellQuoted(OSTREVANE_CLI_PATH);
        for (const auto& word : words) command += " " + Text::shellQuoted(word);
        auto result = Shell::run("/bin/sh", {"-c", command + " >/dev/full"}, 120);
        EXPECT_EQ(result.status, 1) << words[0];
        EXPECT_EQ(result.stderrText, "Error: No space left on device\n") << words[0];
    }
}
