// Names on disk that are no UTF-8: every path the tool writes, handed back to
// it, names that file and no other.
#include <functional>
#include <set>

#include "TestSupport.hpp"
#include "base/InputLimits.hpp"
#include "base/Shell.hpp"
#include "platform/HomeFolder.hpp"
#include "platform/Trash.hpp"
#include "service/Duplicates.hpp"

using namespace testing_support;

namespace {

const std::string stray = "movie\xff.mkv";
// What a name with that byte used to be shown as, and is a file of its own.
const std::string lookalike = "movie\uFFFD.mkv";

class NamesNotUTF8 : public HomeTest {
protected:
    void SetUp() override {
        writeFile(home.path(stray), 2'000'000);
        writeFile(home.path(lookalike), 4'000);
    }
    /// The one path `largest --json` lists, read as a script's JSON reader would.
    std::string largestPath() {
        auto result = runCLI({"largest", "--min-size", "1", "--json"});
        EXPECT_EQ(result.status, 0) << result.err;
        json files = JSONOut::parse(result.out);
        EXPECT_EQ(files.size(), 1u) << result.out;
        return files.empty() ? "" : files[0].value("path", "");
    }
    void expectOnlyTheStrayNamedFileTrashed() {
        EXPECT_FALSE(fs::exists(home.path(stray)));
        EXPECT_TRUE(fs::exists(home.path(lookalike)));
        EXPECT_EQ(entriesOf(Trash::filesFolder()), std::vector<std::string>{stray});
    }
};

std::string hexOf(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : bytes) hex += {digits[byte >> 4], digits[byte & 0xF]};
    return hex;
}

std::string mcpLine(int id, const std::string& tool, const json& arguments) {
    return JSONOut::encode(json{{"jsonrpc", "2.0"},
                                {"id", id},
                                {"method", "tools/call"},
                                {"params", {{"name", tool}, {"arguments", arguments}}}},
                           false) +
           "\n";
}

/// The tool's own record inside the one reply of an MCP session.
json mcpRecord(const CLIResult& session) {
    json reply = JSONOut::parse(session.out);
    EXPECT_EQ(reply["result"].value("isError", true), false) << session.out;
    return JSONOut::parse(reply["result"]["content"][0].value("text", "null"));
}

}  // namespace

TEST(StrayBytesInJSON, OnlyBytesThatAreNoUTF8AreEscapedAndEveryTextReadsBack) {
    struct Case {
        std::string text;
        std::string written;  // the JSON string as the encoder writes it
    };
    const std::vector<Case> cases = {
        {"plain/name.txt", R"("plain/name.txt")"},
        {"\xe7\xa3\x81\xe7\x9b\x98 \xf0\x9f\x93\xbf", "\"\xe7\xa3\x81\xe7\x9b\x98 \xf0\x9f\x93\xbf\""},
        {lookalike, "\"" + lookalike + "\""},
        {"a\\udcff", R"("a\\udcff")"},
        {"tab\tone\x01", R"("tab\tone\u0001")"},
        {stray, R"("movie\udcff.mkv")"},
        {"\x01\xfe\x01", R"("\u0001\udcfe\u0001")"},
        {"caf\xe9 \xe7\xa3", R"("caf\udce9 \udce7\udca3")"},
        // The three-byte form of a surrogate is no UTF-8 either: three bytes.
        {"\xed\xb3\xbf", R"("\udced\udcb3\udcbf")"},
    };
    for (const Case& c : cases) {
        const json document = {{c.text, {c.text}}};
        const std::string encoded = JSONOut::encode(document, false);
        EXPECT_EQ(encoded, "{" + c.written + ":[" + c.written + "]}") << c.written;
        auto read = InputLimits::parse(encoded, 8);
        ASSERT_TRUE(read) << encoded;
        EXPECT_EQ(*read, document) << c.written;
        EXPECT_EQ(JSONOut::parse(encoded), document) << c.written;
    }
    // A surrogate pair is one character, not two bytes; any other lone
    // surrogate stays malformed.
    EXPECT_EQ(InputLimits::parse(R"(["\ud83d\udcff", "\uDCFF"])", 4), json({"\xf0\x9f\x93\xbf", "\xff"}));
    EXPECT_FALSE(InputLimits::parse(R"(["\udc7f"])", 4));
}

TEST_F(NamesNotUTF8, APathFromLargestHandedToTrashMovesThatFileAndNoOther) {
    const std::string path = largestPath();
    EXPECT_EQ(path, home.path(stray).string());
    // A second listing, from the stored scan, names it alike.
    EXPECT_EQ(largestPath(), path);

    auto dry = runCLI({"trash", path, "--json"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(JSONOut::parse(dry.out)["trashed"], json{path}) << dry.out;
    auto moved = runCLI({"trash", path, "--execute"});
    EXPECT_EQ(moved.status, 0) << moved.err;
    EXPECT_TRUE(moved.out.starts_with("Moved to the Trash: 1 item, 2 MB.")) << moved.out;
    expectOnlyTheStrayNamedFileTrashed();
}

// A command-line word is the bytes of its name, even those that spell a lone
// surrogate in UTF-8's way (ED B3 BF, not UTF-8 at all) beside a file named
// with the byte that surrogate stands for. A script gets the path from the
// JSON (Python's json and surrogateescape) and hands it back to a program,
// which passes the bytes; a control character in the same name goes alike,
// and so through MCP.
TEST_F(NamesNotUTF8, AGivenNameIsItsBytesAndAScriptHandsItBackAsRead) {
    const std::string wanted = "keep\xed\xb3\xbf.bin", other = "keep\xff.bin";
    const std::string script = R"(
import json, subprocess, sys
listed = subprocess.run([sys.argv[1], "largest", "--min-size", "1", "--json"], capture_output=True, check=True)
for file in json.loads(listed.stdout):
    # The name to hand back, given as its bytes, which Python reads as the JSON does.
    if file["path"].endswith(sys.argv[2]):
        sys.exit(subprocess.run([sys.argv[1], "trash", file["path"], "--execute"]).returncode)
sys.exit(3)
)";
    struct Case {
        const char* how;
        std::string trashed;
        std::function<int()> handBack;
    };
    const Case cases[] = {
        {"given as bytes", wanted,
         [&] {
             return runCLI({"trash", home.path("d/" + wanted).string(), "--execute"}).status;
         }},
        {"through Python, as read", wanted,
         [&] {
             return Shell::run("/usr/bin/python3", {"-c", script, OSTREVANE_CLI_PATH, "/" + wanted}, 60).status;
         }},
        {"through Python, a control character beside a stray byte", "ctl\x01\xfe.bin",
         [&] {
             return Shell::run("/usr/bin/python3", {"-c", script, OSTREVANE_CLI_PATH, "/ctl\x01\xfe.bin"}, 60).status;
         }},
        {"through MCP, a control character beside a stray byte", "ctl\x01\xfe.bin",
         [&] {
             const json files = mcpRecord(runCLI({"mcp"}, mcpLine(1, "largest_files", {{"min_size_mb", 1}})));
             for (const json& file : files)
                 if (file.value("path", "").ends_with("/ctl\x01\xfe.bin"))
                     return mcpRecord(runCLI({"mcp"}, mcpLine(2, "move_to_trash",
                                                              {{"paths", {file["path"]}}, {"confirm", true}})))
                                        .value("failed", json::array())
                                        .size() == 0
                                ? 0
                                : 1;
             return 3;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        // Each case scans afresh.
        for (const fs::path& folder :
             {home.path("d"), fs::path(Trash::filesFolder()), fs::path(Trash::infoFolder()), Paths::cacheFolder()})
            fs::remove_all(folder);
        for (const std::string& name : {wanted, other, c.trashed}) writeFile(home.path("d/" + name), 2'000'000);
        EXPECT_EQ(c.handBack(), 0);
        EXPECT_FALSE(fs::exists(home.path("d/" + c.trashed)));
        EXPECT_EQ(entriesOf(Trash::filesFolder()), std::vector<std::string>{c.trashed});
        EXPECT_EQ(fs::file_size(home.path("d/" + other)), 2'000'000u);
    }
}

TEST_F(NamesNotUTF8, ThePlainListingPastedIntoAShellNamesThatFile) {
    auto listing = runCLI({"largest", "--min-size", "1"});
    ASSERT_EQ(listing.status, 0) << listing.err;
    const size_t start = listing.out.find("  ~/") + 2;
    const std::string shown = listing.out.substr(start, listing.out.find("  ", start) - start);
    EXPECT_EQ(shown, "~/$'movie\\xff.mkv'");

    auto pasted = Shell::run(
        "/bin/bash", {"-c", "HOME=\"$OSTREVANE_HOME\"; exec \"$0\" trash " + shown + " --execute", OSTREVANE_CLI_PATH},
        60);
    EXPECT_EQ(pasted.status, 0) << pasted.stderrText;
    EXPECT_NE(pasted.stdoutText.find("\n  ~/$'movie\\xff.mkv'\n"), std::string::npos) << pasted.stdoutText;
    expectOnlyTheStrayNamedFileTrashed();
}

// Every name the shell would read otherwise is quoted, and the quoted form,
// pasted into bash, is that name's bytes and runs nothing; a name of letters,
// digits, spaces, parentheses and the like is shown as it is.
TEST_F(NamesNotUTF8, EveryShownNamePastedIntoBashIsThatNameAndRunsNothing) {
    const std::vector<std::string> hostile = {"x$(touch PWNED).bin",
                                              "x`touch PWNED`.bin",
                                              "a;touch PWNED;.bin",
                                              "a&touch PWNED&.bin",
                                              "x>PWNED.bin",
                                              "a|touch PWNED.bin",
                                              "it's $(touch PWNED) !x",
                                              "bang!x.bin",
                                              "say \"hi\".bin",
                                              "back\\slash\\.bin",
                                              "two\nlines\t.bin",
                                              "nb\u00a0sp.bin",
                                              "ideographic\u3000space",
                                              "zero\u200bwidth",
                                              "csi\xc2\x9b"
                                              "31m\x7f",
                                              "$'movie\\xff.mkv'",
                                              stray,
                                              "glob*?[a].bin",
                                              "{a,b}#.bin",
                                              "evil\u202etxt.exe"};
    const std::vector<std::string> bare = {"照片 2024 (1).jpg", "a-b_c.d,e+f=g@h%i:j~k.txt", "Café Ünïcødé"};
    const fs::path cwd = home.scratch() / "cwd";
    fs::create_directories(cwd);
    std::set<std::string> shownForms;
    auto shownOf = [&](const std::string& name) {
        writeFile(home.path("d/" + name), 10);
        auto dry = runCLI({"trash", home.path("d/" + name).string()});
        EXPECT_EQ(dry.status, 0) << dry.err;
        const size_t start = dry.out.find("\n  ~/") + 3;
        return dry.out.substr(start, dry.out.find('\n', start) - start);
    };
    for (const std::string& name : hostile) {
        SCOPED_TRACE(name);
        const std::string shown = shownOf(name);
        EXPECT_TRUE(shown.starts_with("~/$'")) << shown;
        EXPECT_TRUE(shownForms.insert(shown).second) << shown;
        // As hexadecimal digits: the bytes come back whatever they are. The shell
        // works in a folder of its own, where whatever a name ran would show.
        auto pasted = Shell::run("/bin/bash",
                                 {"-c", "HOME=\"$OSTREVANE_HOME\"; cd '" + cwd.string() + "' || exit 9; printf %s " +
                                            shown + " | od -An -v -tx1 | tr -d ' \\n'"},
                                 60);
        EXPECT_EQ(pasted.status, 0) << pasted.stderrText;
        EXPECT_EQ(pasted.stdoutText, hexOf(home.path("d/" + name).string())) << shown;
        EXPECT_TRUE(entriesOf(cwd).empty()) << shown;
    }
    for (const std::string& name : bare) EXPECT_EQ(shownOf(name), "~/d/" + name);
}

TEST_F(NamesNotUTF8, APathFromLargestFilesHandedToMoveToTrashMovesThatFileAndNoOther) {
    auto listed = runCLI({"mcp"}, mcpLine(1, "largest_files", {{"min_size_mb", 1}}));
    const json files = mcpRecord(listed);
    ASSERT_EQ(files.size(), 1u) << listed.out;
    // The path goes back in the escaped form it came in.
    const std::string path = files[0].value("path", "");
    EXPECT_EQ(path, home.path(stray).string());

    auto moved = runCLI({"mcp"}, mcpLine(2, "move_to_trash", {{"paths", {path}}, {"confirm", true}}));
    EXPECT_NE(moved.out.find(R"(movie\\udcff.mkv)"), std::string::npos) << moved.out;
    const json report = mcpRecord(moved);
    EXPECT_EQ(report["trashed"], json{path}) << moved.out;
    EXPECT_EQ(report["bytes"], files[0]["bytes"]) << moved.out;
    expectOnlyTheStrayNamedFileTrashed();
}

TEST_F(NamesNotUTF8, DuplicatesGroupsThemUnderTheirOwnNames) {
    const std::string same(3 * 1024 * 1024, 'd');
    writeText(home.path("x1\xff.bin"), same);
    writeText(home.path("x2\xfe.bin"), same);
    auto result = runCLI({"duplicates", "--min-size", "1", "--verify", "--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    auto report = JSONOut::decode<Service::DuplicateReport>(result.out);
    ASSERT_EQ(report.groups.size(), 1u) << result.out;
    EXPECT_EQ(report.groups[0].paths,
              (std::vector<std::string>{home.path("x1\xff.bin").string(), home.path("x2\xfe.bin").string()}));
}
