#include <gtest/gtest.h>

#include "agent/MarkdownText.hpp"

using namespace MarkdownText;
using MarkdownRun = MarkdownText::Run;

namespace {
/// A line as "kind:indent:text" with the runs' texts joined, for compact tables.
std::string describe(const Line& line) {
    static const char* names[] = {"spacer", "heading", "bullet", "paragraph"};
    std::string text;
    for (const auto& run : line.runs) text += run.text;
    return std::string(names[static_cast<int>(line.kind)]) + ":" + std::to_string(line.indent) + ":" + text;
}

std::vector<std::string> describe(std::string_view text) {
    std::vector<std::string> result;
    for (const auto& line : lines(text)) result.push_back(describe(line));
    return result;
}

MarkdownRun plain(std::string text) { return MarkdownRun{std::move(text), false, false, false, false, std::nullopt}; }
MarkdownRun styled(std::string text, bool strong, bool emphasis = false, bool code = false, bool strike = false) {
    return MarkdownRun{std::move(text), strong, emphasis, code, strike, std::nullopt};
}
}  // namespace

TEST(MarkdownText, LineRules) {
    struct Case {
        std::string text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"  ## Title", {"heading:0:Title"}},
        {"#Word", {"heading:0:Word"}},
        {"# ## #", {"heading:0:"}},
        {"#\tTabbed", {"heading:0:\tTabbed"}},
        {"    - item", {"bullet:4:item"}},
        {"\t- item", {"bullet:0:item"}},
        {"* star", {"bullet:0:star"}},
        {"-item", {"paragraph:0:-item"}},
        {"1. first", {"paragraph:0:1. first"}},
        {"> quoted", {"paragraph:0:> quoted"}},
        {"\u3000 wide spaces\u00A0", {"paragraph:0:wide spaces"}},
        {" \t", {"spacer:0:"}},
        {"one\ntwo\n", {"paragraph:0:one", "paragraph:0:two", "spacer:0:"}},
        {"```\n# not code\n```", {"paragraph:0:```", "heading:0:not code", "paragraph:0:```"}},
    };
    for (const auto& c : cases) EXPECT_EQ(describe(c.text), c.lines) << c.text;
}

TEST(MarkdownText, InlineRuns) {
    struct Case {
        std::string text;
        std::vector<MarkdownRun> runs;
    };
    MarkdownRun link = plain("site");
    link.link = "https://example.org/a";
    MarkdownRun auto_ = plain("http://x.org");
    auto_.link = "http://x.org";
    const Case cases[] = {
        {"a **bold** b", {plain("a "), styled("bold", true), plain(" b")}},
        {"__also__", {styled("also", true)}},
        {"run `rm -rf ~/x` now", {plain("run "), styled("rm -rf ~/x", false, false, true), plain(" now")}},
        {"``a ` b``", {styled("a ` b", false, false, true)}},
        {"~~old~~ new", {styled("old", false, false, false, true), plain(" new")}},
        {"*em* _em_", {styled("em", false, true), plain(" "), styled("em", false, true)}},
        {"**a `x` b**", {styled("a ", true), styled("x", true, false, true), styled(" b", true)}},
        {"[site](https://example.org/a) [file](file:///etc/passwd)", {link, plain(" file")}},
        {"see <http://x.org>", {plain("see "), auto_}},
        // Shown as typed.
        {"this **is not closed", {plain("this **is not closed")}},
        {"**a*", {plain("*"), styled("a", false, true)}},
        {"2 * 3 * 4 and ~~ x ~~", {plain("2 * 3 * 4 and ~~ x ~~")}},
        {"disk_status and scan_directory", {plain("disk_status and scan_directory")}},
        {"\\*not\\* `open", {plain("*not* `open")}},
        {"[no target] (x)", {plain("[no target] (x)")}},
    };
    for (const auto& c : cases) EXPECT_EQ(inlineRuns(c.text), c.runs) << c.text;
}

TEST(MarkdownText, OnlyWebLinksOpen) {
    EXPECT_TRUE(isOpenableLink("https://a.org"));
    EXPECT_TRUE(isOpenableLink("HTTP://a.org"));
    for (auto url : {"file:///etc", "javascript:alert(1)", "x-apple.systempreferences:x", "/tmp/a", "httpx://a"})
        EXPECT_FALSE(isOpenableLink(url)) << url;
}
