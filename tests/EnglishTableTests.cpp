#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "text/CLITexts.hpp"
#include "text/Localization.hpp"

namespace {

// The value positions a format refers to, in reading order: "%@" takes the next
// value, "%N$@" value N (counted from 1); "%%" is a literal percent sign. None
// when a "%" starts no placeholder, which the table never needs.
std::optional<std::vector<int>> valueReferences(std::string_view format) {
    std::vector<int> references;
    int next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') continue;
        std::string_view rest = format.substr(i + 1);
        if (rest.starts_with('%')) {
            i += 1;
        } else if (rest.starts_with('@')) {
            references.push_back(next++);
            i += 1;
        } else if (rest.size() >= 3 && rest[0] >= '1' && rest[0] <= '9' && rest.substr(1, 2) == "$@") {
            references.push_back(rest[0] - '1');
            i += 3;
        } else {
            return std::nullopt;
        }
    }
    return references;
}

// The complete texts an English format can produce: both halves of a
// singular/plural pair, or the format itself.
std::vector<std::string_view> forms(std::string_view english) {
    size_t split = english.find("||");
    if (split == std::string_view::npos) return {english};
    return {english.substr(0, split), english.substr(split + 2)};
}

// The first row of the command-line tool's texts, which the help opens.
size_t commandLineStart() {
    const auto& rows = English::rows();
    const auto help = std::find_if(rows.begin(), rows.end(),
                                   [](const English::Row& row) { return row.chinese == CLITexts::helpKey; });
    return static_cast<size_t>(help - rows.begin());
}

std::string englishFor(const std::string& key) {
    const std::string* english = English::lookup(key);
    return english ? *english : "<missing: " + key + ">";
}

}  // namespace

// First so that it is the first use of the table in this process.
TEST(EnglishTable, ConcurrentFirstLookupsSeeOneTable) {
    const std::string key = "扫描已取消";
    std::vector<const std::string*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&, i] { seen[i] = English::lookup(key); });
    for (auto& thread : threads) thread.join();
    ASSERT_NE(seen[0], nullptr);
    EXPECT_EQ(*seen[0], "Scan cancelled");
    for (const std::string* english : seen) EXPECT_EQ(english, seen[0]);
}

TEST(EnglishTable, HoldsEveryKeyOnceInAreaOrder) {
    const auto& rows = English::rows();
    ASSERT_FALSE(rows.empty());

    std::set<std::string_view> keys;
    for (const auto& row : rows) {
        EXPECT_TRUE(keys.insert(row.chinese).second) << "duplicate key: " << row.chinese;
        EXPECT_NE(row.chinese, row.english);
        const std::string* english = English::lookup(std::string(row.chinese));
        ASSERT_NE(english, nullptr) << row.chinese;
        EXPECT_EQ(*english, row.english);
    }
    EXPECT_EQ(English::lookup("没有这一行"), nullptr);
    EXPECT_EQ(English::lookup(""), nullptr);

    // The areas follow one another in this order, each opened by its first row.
    const std::string_view anchors[] = {
        "已安装到 %@。如果终端里找不到 ostrevane,把 ~/.local/bin 加入 PATH。",  // agent page
        "磁盘",                                                                 // application shell
        "概览",                                                                 // application model
        "正在备份",                                                             // backup page
        "摄影 RAW 2023",                                                        // demo data
        "地形",                                                                 // explorer page and its maps
        "语言",                                                                 // language menu
        "已用",                                                                 // overview page
        "清理“Xcode 派生数据”?",                                                // snapshot samples and control gallery
        "正在分析…",                                                            // suggestions page
        "山越高 = 占用越多",                                                    // terrain map legend
        "要备份的路径不存在: %@",                                               // backup engine
        "受保护的目录,只能清理其中的内容,不能整体移除",                         // cleaner
        "百度网盘同步空间",                                                     // backup destinations
        "已扫描 %@ 个文件,%@",                                                  // MCP server
        "路径不存在或无法访问: %@",                                             // scanner and scan view
        "启动磁盘已用 %@%%,仅剩 %@,建议运行 suggest 查看可释放的空间。",        // command service
        "日志文件",                                                             // suggestion engine
        "刚刚",                                                                 // relative times
        CLITexts::helpKey,                                                      // command-line tool
        "未知命令: %@\n",
    };
    size_t previous = 0;
    for (std::string_view anchor : anchors) {
        const auto found = std::find_if(rows.begin(), rows.end(),
                                        [&](const English::Row& row) { return row.chinese == anchor; });
        ASSERT_NE(found, rows.end()) << anchor;
        const size_t at = static_cast<size_t>(found - rows.begin());
        EXPECT_GE(at, previous) << anchor;
        previous = at;
    }
}

TEST(EnglishTable, EveryFormUsesEachValueOfItsKeyOnce) {
    int keysWithValues = 0;
    for (const auto& row : English::rows()) {
        auto keyReferences = valueReferences(row.chinese);
        ASSERT_TRUE(keyReferences) << row.chinese;
        int count = static_cast<int>(keyReferences->size());
        // Keys are built by the code in order, so they never refer by position.
        std::vector<int> inOrder(count);
        for (int i = 0; i < count; ++i) inOrder[i] = i;
        EXPECT_EQ(*keyReferences, inOrder) << row.chinese;
        EXPECT_EQ(row.chinese.find("||"), std::string_view::npos) << row.chinese;
        if (count > 0) ++keysWithValues;

        for (std::string_view form : forms(row.english)) {
            auto references = valueReferences(form);
            ASSERT_TRUE(references) << row.english;
            std::sort(references->begin(), references->end());
            EXPECT_EQ(*references, inOrder) << row.chinese << " -> " << form;
        }
    }
    EXPECT_EQ(keysWithValues, 142);
}

TEST(EnglishTable, SpecialFormsKeepTheirCounts) {
    int pluralRows = 0, percentRows = 0, positionalRows = 0, joinedAfter = 0, joinedBefore = 0, keysWithLineFeeds = 0;
    const auto& rows = English::rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& [chinese, english] = rows[i];
        if (english.find("||") != std::string_view::npos) ++pluralRows;
        bool keyPercent = chinese.find("%%") != std::string_view::npos;
        EXPECT_EQ(keyPercent, english.find("%%") != std::string_view::npos) << chinese;
        if (keyPercent) ++percentRows;
        if (english.find("$@") != std::string_view::npos) ++positionalRows;
        if (english.starts_with(' ') && !chinese.starts_with(' ')) ++joinedAfter;
        if (english.ends_with(' ')) ++joinedBefore;
        if (chinese.find('\n') != std::string_view::npos) {
            ++keysWithLineFeeds;
            EXPECT_GE(i, commandLineStart()) << chinese;
        }
    }
    EXPECT_EQ(pluralRows, 39);
    EXPECT_EQ(percentRows, 5);
    EXPECT_EQ(positionalRows, 2);
    EXPECT_EQ(joinedAfter, 15);
    EXPECT_EQ(joinedBefore, 8);
    EXPECT_EQ(keysWithLineFeeds, 9);

    // Progress lines overwrite the terminal line they are printed on.
    int progressLines = 0;
    for (const auto& row : rows) {
        if (!row.chinese.starts_with("\r")) continue;
        ++progressLines;
        EXPECT_TRUE(
            row.chinese.starts_with("\r\x1b"
                                    "[K"))
            << row.chinese;
        EXPECT_TRUE(
            row.english.starts_with("\r\x1b"
                                    "[K"))
            << row.english;
    }
    EXPECT_EQ(progressLines, 2);
}

TEST(EnglishTable, EnglishUsesTypographicPunctuation) {
    const auto& rows = English::rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        std::string_view english = rows[i].english;
        for (size_t at = english.find('\''); at != std::string_view::npos; at = english.find('\'', at + 1)) {
            bool betweenLetters = at > 0 && at + 1 < english.size() &&
                                  std::isalpha(static_cast<unsigned char>(english[at - 1])) &&
                                  std::isalpha(static_cast<unsigned char>(english[at + 1]));
            EXPECT_FALSE(betweenLetters) << english;
        }
        // Outside the tool's usage syntax an ellipsis is one character.
        if (i < commandLineStart()) {
            EXPECT_EQ(english.find("..."), std::string_view::npos) << english;
        }
    }
}

TEST(EnglishTable, FormsRenderWithTheirValues) {
    EXPECT_EQ(Localized::fill(englishFor("%@ 个计划中有 %@ 个出现问题,详见备份记录。"), {"5", "2"}),
              "2 of 5 plans had problems; see the backup history.");
    EXPECT_EQ(Localized::fill(englishFor("%@ %@ 项,共 %@。"), {"Moved to the Trash", "1", "5 MB"}),
              "Moved to the Trash: 1 item, 5 MB.");
    EXPECT_EQ(Localized::fill(englishFor("%@ %@ 项,共 %@。"), {"Moved to the Trash", "3", "5 MB"}),
              "Moved to the Trash: 3 items, 5 MB in total.");
    EXPECT_EQ(Localized::fill(englishFor("磁盘已用 %@%%。系统需要约 10%% 的空闲空间才能顺畅运行。"), {"91.2"}),
              "Disk is 91.2% full. The system needs about 10% free space to run smoothly.");
    // Texts appended to one another keep their spacing in English.
    EXPECT_EQ(Localized::fill(englishFor("已把 %@ 项(%@)移到废纸篓。"), {"1", "2 GB"}) +
                  Localized::fill(englishFor("%@ 项无法移动(系统保护或正在使用)。"), {"2"}) +
                  englishFor("清倒废纸篓后空间才会释放。"),
              "Moved 1 item (2 GB) to the Trash. 2 items couldn’t be moved (protected by the system or in use). "
              "Empty the Trash to free the space.");
    EXPECT_EQ(
        Localized::fill(englishFor("%@ 天没有任何改动。"), {"1"}) +
            englishFor("可以归档到外置硬盘或网盘后移除本地副本。"),
        "Nothing has changed in 1 day. Archive it to an external drive or a cloud drive, then remove the local copy.");
}

TEST(CommandLineTexts, HelpAndSetupAreTableRows) {
    const auto& rows = English::rows();
    ASSERT_LT(commandLineStart(), rows.size());
    EXPECT_TRUE(CLITexts::helpKey.ends_with("\n"));
    EXPECT_FALSE(CLITexts::setupKey.ends_with("\n"));
    EXPECT_TRUE(CLITexts::helpKey.starts_with("Ostrevane %@ — "));

    const std::string* setup = English::lookup(std::string(CLITexts::setupKey));
    ASSERT_NE(setup, nullptr);
    auto setupRow = std::find_if(rows.begin(), rows.end(),
                                 [](const English::Row& row) { return row.chinese == CLITexts::setupKey; });
    ASSERT_NE(setupRow, rows.end());
    EXPECT_GE(static_cast<size_t>(setupRow - rows.begin()), commandLineStart());
    EXPECT_EQ(
        Localized::fill(*setup, {"/opt/ostrevane", "/opt/ostrevane"}),
        "Claude Code:\n"
        "  claude mcp add ostrevane --scope user -- /opt/ostrevane mcp\n"
        "\n"
        "Claude Desktop (add to mcpServers in claude_desktop_config.json):\n"
        "  \"ostrevane\": { \"command\": \"/opt/ostrevane\", \"args\": [\"mcp\"] }\n"
        "\n"
        "Then just tell Claude: “Check where I can free up disk space” or “Archive ~/Videos/old-project to my external drive”.");
}

TEST(EnglishTable, AddedRowsStandApartAndKeepTheirValues) {
    std::set<std::string_view> tableKeys;
    for (const auto& row : English::rows()) tableKeys.insert(row.chinese);
    for (const auto& row : English::addedRows()) {
        EXPECT_FALSE(tableKeys.count(row.chinese)) << row.chinese;
        auto keyReferences = valueReferences(row.chinese);
        ASSERT_TRUE(keyReferences) << row.chinese;
        for (std::string_view form : forms(row.english)) {
            auto englishReferences = valueReferences(form);
            ASSERT_TRUE(englishReferences) << row.chinese;
            EXPECT_EQ(keyReferences->size(), englishReferences->size()) << row.chinese;
        }
        EXPECT_EQ(englishFor(std::string(row.chinese)), row.english);
    }
}

// Texts name what a Linux user has: the file manager, folder permissions,
// the system, this computer. Identifiers (tool names, JSON and defaults keys)
// are not texts and are not in the table.
TEST(EnglishTable, NamesNoFacilityOfAnotherSystem) {
    auto namesOne = [](std::string_view english) -> std::string_view {
        for (std::string_view word : {"Finder", "macOS", "System Settings", "APFS", "brew"})
            if (english.find(word) != std::string_view::npos) return word;
        // "Mac" as a word of its own or a name's start ("MacBook"), not "Machine".
        for (size_t at = english.find("Mac"); at != std::string_view::npos; at = english.find("Mac", at + 1)) {
            bool starts = at == 0 || !std::isalpha(static_cast<unsigned char>(english[at - 1]));
            bool ends = at + 3 == english.size() || !std::islower(static_cast<unsigned char>(english[at + 3]));
            if (starts && ends) return "Mac";
        }
        return {};
    };
    EXPECT_EQ(namesOne("Optimize Mac Storage"), "Mac");
    EXPECT_EQ(namesOne("this Mac’s disk"), "Mac");
    EXPECT_EQ(namesOne("Machine learning"), "");
    std::vector<English::Row> all = English::rows();
    all.insert(all.end(), English::addedRows().begin(), English::addedRows().end());
    for (const auto& row : all) EXPECT_EQ(namesOne(row.english), "") << row.english;
}
