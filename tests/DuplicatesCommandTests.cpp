// `ostrevane duplicates` end to end on a temporary home folder.
#include "TestSupport.hpp"
#include "service/Duplicates.hpp"
#include "text/CLITexts.hpp"
#include "text/Localization.hpp"

using namespace testing_support;

namespace {

/// Contents unique to `seed`, so groups never merge by accident.
std::string contents(size_t size, unsigned seed) {
    std::string bytes(size, static_cast<char>('a' + seed % 26));
    for (size_t i = 0; i < size; i += 4096) bytes[i] = static_cast<char>(seed >> ((i / 4096) % 4 * 8));
    return bytes;
}

// Sizes in whole 4 KiB blocks, so the allocated size is the length. The
// scanner keeps nothing under 1 MiB, and --min-size counts 1,000,000 bytes
// per megabyte: 2 MB sits between these two.
constexpr size_t justUnderTwoMB = 488 * 4096;  // 1,998,848
constexpr size_t justOverTwoMB = 489 * 4096;   // 2,002,944

const std::string quickNote =
    "Matched by size plus a fingerprint of the start and end, so almost certainly identical; add verify for a "
    "full-file check before deleting. Reflinked copies don\u2019t take extra space.";

class DuplicatesCommand : public HomeTest {
protected:
    void write(const std::string& relative, const std::string& bytes) { writeText(home.path(relative), bytes); }
    std::string at(const std::string& relative) { return home.path(relative).string(); }
};

}  // namespace

TEST_F(DuplicatesCommand, PrintsGroupsThenTheTotalAndTheNote) {
    write("docs/a", contents(justOverTwoMB, 1));
    write("docs/b", contents(justOverTwoMB, 1));
    write("docs/small1", contents(justUnderTwoMB, 2));
    write("docs/small2", contents(justUnderTwoMB, 2));
    write("other/c", contents(justOverTwoMB, 3));

    auto result = runCLI({"duplicates", "~/docs", "--min-size", "2"});
    EXPECT_EQ(result.status, 0) << result.err;
    std::string size = Fmt::bytes(justOverTwoMB);
    EXPECT_EQ(result.out, "2 copies × " + size + ", " + size + " wasted\n  ~/docs/a\n  ~/docs/b\n\n" + size +
                              " wasted in total. " + quickNote + "\n");
    EXPECT_EQ(result.err, "");

    // The default minimum is 50 MB.
    result = runCLI({"duplicates", at("docs")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "No duplicates found.\n");
}

TEST_F(DuplicatesCommand, JsonIsTheReportAlone) {
    write("a/one", contents(justOverTwoMB, 4));
    write("b/two", contents(justOverTwoMB, 4));
    write("b/three", contents(justOverTwoMB, 4));
    auto result = runCLI({"duplicates", "--verify", "--min-size", "1", "--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    auto report = JSONOut::decode<Service::DuplicateReport>(result.out);
    EXPECT_EQ(report.path, home.home());
    ASSERT_EQ(report.groups.size(), 1u);
    EXPECT_EQ(report.groups[0].paths, (std::vector<std::string>{at("a/one"), at("b/three"), at("b/two")}));
    EXPECT_TRUE(report.groups[0].verified);
    EXPECT_EQ(report.totalWastedBytes, 2 * static_cast<int64_t>(justOverTwoMB));
    EXPECT_EQ(report.note, "Whole files were verified with SHA-256.");
}

TEST_F(DuplicatesCommand, ListsFiftyGroupsAndCountsTheRestWhileJsonHoldsAll) {
    for (unsigned group = 0; group < 52; ++group)
        for (const char* copy : {"x", "y"})
            write("g" + std::to_string(group) + "/" + copy, contents(1100 * 1024, group + 10));

    auto plain = runCLI({"duplicates", "--min-size", "1"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_NE(plain.out.find("\n… and 2 more\n"), std::string::npos);
    size_t listed = 0;
    for (size_t at = plain.out.find("2 copies"); at != std::string::npos; at = plain.out.find("2 copies", at + 1))
        ++listed;
    EXPECT_EQ(listed, 50u);

    auto jsonRun = runCLI({"duplicates", "--min-size", "1", "--json"});
    auto report = JSONOut::decode<Service::DuplicateReport>(jsonRun.out);
    EXPECT_EQ(report.groups.size(), 52u);
    EXPECT_EQ(report.totalWastedBytes, 52 * 1100 * 1024);
}

TEST_F(DuplicatesCommand, ChineseTexts) {
    ScopedHome chinese("zh");
    writeText(chinese.path("p/a"), contents(justOverTwoMB, 5));
    writeText(chinese.path("p/b"), contents(justOverTwoMB, 5));
    auto result = runCLI({"duplicates", "--min-size", "1", "--verify"});
    ASSERT_EQ(result.status, 0) << result.err;
    std::string size = Fmt::bytes(justOverTwoMB);
    EXPECT_EQ(result.out, "2 份 × " + size + ",多占 " + size + "\n  ~/p/a\n  ~/p/b\n\n合计多占 " + size +
                              "。已对整个文件做 SHA-256 校验。\n");
    EXPECT_EQ(runCLI({"duplicates", "~/p"}).out, "没有发现重复文件。\n");
}

TEST_F(DuplicatesCommand, UsageAndFailures) {
    for (const auto& [words, error] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"duplicates", "a", "b"}, "Unexpected argument: b"},
             {{"duplicates", "--min-size", "lots"}, "Invalid value for --min-size: lots"},
             {{"duplicates", "--verfy"}, "Unknown option: --verfy"},
             {{"duplicates", "--min-size"}, "Missing value for --min-size"}}) {
        auto result = runCLI(words);
        EXPECT_EQ(result.status, 2) << words.back();
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "Error: " + error + "\nRun ostrevane --help to see every command and its options.\n");
    }
    auto missing = runCLI({"duplicates", "~/no-such-folder", "--json"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_TRUE(missing.err.starts_with("Error: ")) << missing.err;
}
