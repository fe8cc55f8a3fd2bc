#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "TestSupport.hpp"
#include "clean/Cleaner.hpp"
#include "clean/Suggestions.hpp"
#include "platform/Trash.hpp"
#include "scan/Scanner.hpp"

using namespace testing_support;

namespace {

const std::string dryRunNote = "\nThis was a dry run; no files were changed. Add --execute to do it for real.\n";

class CleanCommandsTest : public HomeTest {
protected:
    fs::path trashed(const std::string& name) const { return fs::path(Trash::filesFolder()) / name; }
};

}  // namespace

TEST_F(CleanCommandsTest, TrashWithoutPathsIsAUsageError) {
    auto result = runCLI({"trash", "--execute"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Usage: ostrevane trash <path>... [--execute]\n");
}

TEST_F(CleanCommandsTest, TrashIsADryRunUntilExecuteIsGiven) {
    writeFile(home.path("Downloads/a.zip"), 100'000);

    auto dry = runCLI({"trash", "~/Downloads/a.zip"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_TRUE(dry.out.starts_with("Would move to the Trash: 1 item, ")) << dry.out;
    EXPECT_NE(dry.out.find("\n  ~/Downloads/a.zip\n"), std::string::npos) << dry.out;
    EXPECT_TRUE(dry.out.ends_with(dryRunNote)) << dry.out;
    EXPECT_TRUE(fs::exists(home.path("Downloads/a.zip")));
    EXPECT_FALSE(fs::exists(Trash::homeTrash()));

    auto real = runCLI({"trash", home.path("Downloads/a.zip").string(), "--execute"});
    EXPECT_EQ(real.status, 0) << real.err;
    EXPECT_TRUE(real.out.starts_with("Moved to the Trash: 1 item, ")) << real.out;
    EXPECT_NE(real.out.find(". Empty the Trash to free the space.\n"), std::string::npos) << real.out;
    EXPECT_EQ(real.out.find("dry run"), std::string::npos);
    EXPECT_FALSE(fs::exists(home.path("Downloads/a.zip")));
    EXPECT_EQ(fs::file_size(trashed("a.zip")), 100'000u);
}

TEST_F(CleanCommandsTest, RefusedPathsAreListedAndFailTheRun) {
    writeFile(home.path("Downloads/keep.txt"));
    auto result = runCLI({"trash", "~/Documents", "~/Downloads/keep.txt", "/usr/bin", "--execute"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.out.find("Moved to the Trash: 1 item, "), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(" 2 items skipped."), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\n  ~/Documents: Protected folder: only its contents can be cleaned, not the folder "
                              "itself\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("\n  /usr/bin: Only items in your home folder, /tmp and external volumes "
                              "(/media, /run/media, /mnt) can be changed\n"),
              std::string::npos)
        << result.out;
    EXPECT_TRUE(fs::exists(trashed("keep.txt")));
}

// A home whose Trash can't be made (a system account's home is "/"): the
// item stays, and its line names that Trash and why, not the item.
TEST_F(CleanCommandsTest, AnItemWhoseHomeTrashCantBeMadeStaysAndItsLineNamesTheTrash) {
    writeFile(home.path("notes.txt"));
    // Its folders lead nowhere, as "/.local" does for a home of "/".
    fs::create_directory_symlink(home.scratch() / "nowhere", home.path(".local"));
    auto result = runCLI({"trash", "~/notes.txt", "--execute"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.out.find(" has no Trash this tool can use: " + Trash::homeTrash() +
                              " couldn’t be made or opened (" + std::string(std::strerror(ENOENT)) + "); not moved\n"),
              std::string::npos)
        << result.out;
    EXPECT_TRUE(fs::exists(home.path("notes.txt")));
}

TEST_F(CleanCommandsTest, JSONPrintsTheCleanResultOnly) {
    writeFile(home.path("old.log"), 5000);
    auto result = runCLI({"trash", "~/old.log", "~/missing", "--json"});
    EXPECT_EQ(result.status, 1);
    json document = json::parse(result.out);
    EXPECT_EQ(document["dryRun"], true);
    EXPECT_EQ(document["trashed"], json::array({home.path("old.log").string()}));
    EXPECT_EQ(document["failed"],
              json::parse(R"([{"path":")" + home.path("missing").string() + R"(","reason":"Path doesn’t exist"}])"));
    EXPECT_EQ(document.size(), 6u);
    EXPECT_NE(result.out.find("\"bytes\""), std::string::npos);
    EXPECT_TRUE(fs::exists(home.path("old.log")));
}

TEST_F(CleanCommandsTest, EmptyTrashNeedsConfirmation) {
    writeFile(home.path("junk.bin"), 20'000);
    ASSERT_EQ(runCLI({"trash", "~/junk.bin", "--execute"}).status, 0);

    auto refused = runCLI({"empty-trash"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "Error: Emptying the Trash can’t be undone. Add --confirm if you’re sure.\n");
    EXPECT_TRUE(fs::exists(trashed("junk.bin")));

    auto emptied = runCLI({"empty-trash", "--confirm"});
    EXPECT_EQ(emptied.status, 0) << emptied.err;
    EXPECT_TRUE(emptied.out.starts_with("Emptied the Trash (1 item), freeing about ")) << emptied.out;
    EXPECT_FALSE(fs::exists(trashed("junk.bin")));
    EXPECT_TRUE(fs::is_empty(Trash::infoFolder()));

    auto again = runCLI({"empty-trash", "--confirm", "--json"});
    EXPECT_EQ(again.status, 0);
    json document = json::parse(again.out);
    EXPECT_EQ(document["dryRun"], false);
    // The free space of a busy disk moves on its own, so only the count is fixed.
    EXPECT_TRUE(document["message"].get<std::string>().starts_with("Emptied the Trash (0 items), freeing about "));
}

TEST_F(CleanCommandsTest, TextsFollowTheLanguage) {
    ScopedHome chinese("zh");
    writeFile(chinese.path("a.txt"));
    auto dry = runCLI({"trash", "~/a.txt"});
    EXPECT_TRUE(dry.out.starts_with("将移到废纸篓 1 项,共 ")) << dry.out;
    EXPECT_TRUE(dry.out.ends_with("\n这是试运行,没有改动任何文件。确认无误后加 --execute 执行。\n")) << dry.out;
    auto refused = runCLI({"empty-trash"});
    EXPECT_EQ(refused.err, "错误: 清倒废纸篓不可恢复。确认后请加 --confirm。\n");
}

TEST_F(CleanCommandsTest, PathsAreTakenAsGivenAndBlankOnesRefused) {
    writeFile(home.path("Downloads/ lead"));
    writeFile(home.path("Downloads/lead"));
    writeFile(home.path("Downloads/trail "));
    writeFile(home.path("Downloads/trail"));
    const fs::path previous = fs::current_path();
    fs::current_path(home.path("Downloads"));
    auto result = runCLI({"trash", " lead", "~/Downloads/trail ", " ", "--execute", "--json"});
    fs::current_path(previous);
    EXPECT_EQ(result.status, 1);
    json document = json::parse(result.out);
    EXPECT_EQ(document["trashed"],
              (json{home.path("Downloads/ lead").string(), home.path("Downloads/trail ").string()}));
    EXPECT_EQ(document["failed"], json::parse(R"([{"path":" ","reason":"The path is blank"}])"));
    EXPECT_EQ(entriesOf(home.path("Downloads")), (std::vector<std::string>{"lead", "trail"}));
}

TEST_F(CleanCommandsTest, NamesThatAreNotUTF8StillGiveAValidReport) {
    const std::string name = "caf\xe9.log";
    writeFile(home.path(name), 100);
    auto result = runCLI({"trash", "~/" + name, "~/missing-" + name, "--execute", "--json"});
    EXPECT_EQ(result.status, 1);
    json document = JSONOut::parse(result.out);
    EXPECT_EQ(document["trashed"], (json{home.home() + "/" + name}));
    EXPECT_EQ(document["failed"][0]["path"], home.home() + "/missing-" + name);
    EXPECT_FALSE(fs::exists(home.path(name)));
}

TEST_F(CleanCommandsTest, ControlCharactersInNamesAreShownEscaped) {
    writeFile(home.path("odd/two\nlines"), 2'000'000);
    writeFile(home.path("odd/\x1b]0;owned\x07\x1b[31mred\tx"), 2'000'000);
    auto trash = runCLI({"trash", "~/odd/two\nlines", "~/odd/\x1b]0;owned\x07\x1b[31mred\tx", "~/gone\rx"});
    auto scan = runCLI({"scan", "~/odd"});
    for (const auto& out : {trash.out, scan.out}) {
        EXPECT_EQ(out.find_first_of("\x1b\x07\t\r"), std::string::npos) << out;
        EXPECT_NE(out.find("two\\nlines"), std::string::npos) << out;
        EXPECT_NE(out.find("\\x1b]0;owned\\x07\\x1b[31mred\\tx"), std::string::npos) << out;
    }
    EXPECT_NE(trash.out.find("\n  ~/$'gone\\rx': Path doesn’t exist\n"), std::string::npos) << trash.out;
}

TEST_F(CleanCommandsTest, BidiOverridesAreEscapedInPlainOutputAndC1ControlsInJSON) {
    writeFile(home.path("odd/invoice\u202Efdp.exe"), 2'000'000);
    writeFile(home.path("odd/csi\xc2\x9b"
                        "31m\x7f"),
              2'000'000);
    auto plain = runCLI({"scan", "~/odd"});
    EXPECT_EQ(plain.out.find("\u202E"), std::string::npos) << plain.out;
    // Quoted as its bytes, which bash reads back in any locale (its "\\u202e" only in a UTF-8 one).
    EXPECT_NE(plain.out.find("$'invoice\\xe2\\x80\\xaefdp.exe'"), std::string::npos) << plain.out;
    auto document = runCLI({"scan", "~/odd", "--json"});
    EXPECT_EQ(document.out.find("\xc2\x9b"), std::string::npos) << document.out;
    EXPECT_EQ(document.out.find('\x7f'), std::string::npos) << document.out;
    EXPECT_NE(document.out.find("csi\\u009b31m\\u007f"), std::string::npos) << document.out;
    EXPECT_NO_THROW(json::parse(document.out));
}

// A path named twice, or inside another path of the same request, goes with
// it: it is counted once, and its being gone is no failure.
TEST_F(CleanCommandsTest, OverlappingPathsOfOneRequestAreMovedAndCountedOnce) {
    struct OverlapCase {
        std::vector<std::string> paths;
        /// What the request as a whole covers.
        std::string covered;
    };
    const std::vector<OverlapCase> cases = {
        {{"~/a.bin", "~/a.bin"}, "a.bin"},
        {{"~/a.bin", "~/./x/../a.bin"}, "a.bin"},
        {{"~/dir", "~/dir/inner.bin"}, "dir"},
        {{"~/dir/inner.bin", "~/dir/"}, "dir"},
        {{"~/dir/sub/deep.bin", "~/dir/sub", "~/dir"}, "dir"},
    };
    for (const auto& overlap : cases) {
        SCOPED_TRACE(overlap.covered + " from " + overlap.paths.back());
        writeFile(home.path("a.bin"), 40'000);
        writeFile(home.path("dir/inner.bin"), 60'000);
        writeFile(home.path("dir/sub/deep.bin"), 80'000);
        const int64_t expected = Scanner::quickSize(home.path(overlap.covered).string());
        std::vector<std::string> words = {"trash"};
        words.insert(words.end(), overlap.paths.begin(), overlap.paths.end());
        words.push_back("--json");

        auto dry = runCLI(words);
        words.push_back("--execute");
        auto real = runCLI(words);

        for (const auto* run : {&dry, &real}) {
            EXPECT_EQ(run->status, 0) << run->out;
            const json document = json::parse(run->out);
            EXPECT_EQ(document["failed"], json::array());
            EXPECT_EQ(document["bytes"], expected);
        }
        EXPECT_FALSE(fs::exists(home.path(overlap.covered)));
        fs::remove_all(home.path("dir"));
        fs::remove(home.path("a.bin"));
    }
}

// The Trash's size is both its halves, the items and their info files, as
// du counts them less the three folders themselves, which emptying keeps.
// Every place that shows it says so, and emptying frees exactly what went.
TEST_F(CleanCommandsTest, TheTrashCountsItsInfoFilesWhereverItIsShownAndFreed) {
    std::vector<std::string> paths;
    for (int index = 0; index < 300; ++index) {
        paths.push_back("~/notes/" + std::to_string(index) + ".txt");
        writeText(home.path("notes/" + std::to_string(index) + ".txt"), "one line\n");
    }
    // Past the suggestion's threshold, so that it is shown.
    allocate(home.path("notes/big.bin"), 10'240'000);
    paths.push_back("~/notes/big.bin");
    ASSERT_TRUE(Cleaner::trash(paths, false).failed.empty());

    const fs::path trash = Trash::homeTrash();
    auto ownBytes = [](const fs::path& folder) {
        struct stat status {};
        ::lstat(folder.c_str(), &status);
        return static_cast<int64_t>(status.st_blocks) * 512;
    };
    const auto keptBytes = [&] { return ownBytes(trash) + ownBytes(trash / "files") + ownBytes(trash / "info"); };
    const int64_t before = duBytes(trash);
    const int64_t whole = before - keptBytes();
    ASSERT_GT(whole, duBytes(trash / "files") - ownBytes(trash / "files")) << "one-line info files take room too";

    EXPECT_EQ(Trash::allocatedSize(), whole);
    const SuggestionReport report = SuggestionEngine::analyze(nullptr, {}, std::chrono::system_clock::now());
    const auto suggestion = std::find_if(report.suggestions.begin(), report.suggestions.end(),
                                         [](const Suggestion& found) { return found.id == "trash"; });
    ASSERT_NE(suggestion, report.suggestions.end());
    EXPECT_EQ(suggestion->reclaimableBytes, whole);
    EXPECT_EQ(report.totalReclaimableBytes, whole) << "the overview's figure";

    const std::string request =
        json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", "tools/call"}, {"params", {{"name", "empty_trash"}}}}.dump();
    auto served = runCLI({"mcp"}, request + "\n");
    const json reply = json::parse(served.out.substr(0, served.out.find('\n')));
    const json dryRun = json::parse(reply["result"]["content"][0]["text"].get<std::string>());
    EXPECT_EQ(dryRun["bytes"], whole) << served.out;

    auto emptied = runCLI({"empty-trash", "--confirm", "--json"});
    ASSERT_EQ(emptied.status, 0) << emptied.err;
    const json result = json::parse(emptied.out);
    EXPECT_EQ(result["bytes"], before - duBytes(trash));
    EXPECT_EQ(result["bytes"], whole);
}

// A clean that moves a cache and then empties the Trash through its
// suggestion deletes only what its analysis measured in the Trash, as its
// dry run said; what it moved there itself stays restorable.
TEST_F(CleanCommandsTest, CleaningAndEmptyingInOneCallKeepsWhatTheCallMoved) {
    allocate(home.path("Music/album/track03.flac"), 12'000'000);
    allocate(home.path(".cache/pip/http/wheel"), 60'000'000);
    ASSERT_EQ(runCLI({"trash", "~/Music/album/track03.flac", "--execute"}).status, 0);
    const int64_t shown = Trash::allocatedSize();

    auto dry = runCLI({"clean", "xdg-cache-apps", "trash", "--json"});
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(json::parse(dry.out).at(1)["bytes"], shown);
    auto real = runCLI({"clean", "xdg-cache-apps", "trash", "--execute", "--json"});
    ASSERT_EQ(real.status, 0) << real.err;
    const json results = json::parse(real.out);
    EXPECT_EQ(results.at(0)["trashed"], (json{home.path(".cache/pip/http").string()}));
    EXPECT_EQ(results.at(1)["bytes"], shown);
    EXPECT_EQ(results.at(1)["message"],
              "Emptied the Trash (1 item), freeing about " + Fmt::bytes(shown) +
                  ". 1 item moved to the Trash since the suggestion was made was kept; ostrevane empty-trash "
                  "--confirm empties it.");
    EXPECT_FALSE(fs::exists(trashed("track03.flac")));
    EXPECT_TRUE(fs::exists(trashed("http") / "wheel"));
    EXPECT_TRUE(fs::exists(fs::path(Trash::infoFolder()) / "http.trashinfo"));
}
