// Names on disk that are no UTF-8: every path the tool writes, handed back to
// it, names that file and no other.
#include "Duplicates.hpp"
#include "TestSupport.hpp"
#include "base/InputLimits.hpp"
#include "base/Shell.hpp"
#include "platform/Trash.hpp"

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

    // Handed back as a script holds it: the bytes themselves, or the lone
    // surrogates of Python's surrogateescape in their UTF-8 form.
    std::string asSurrogates = path;
    if (size_t at = path.find('\xff'); at != std::string::npos) asSurrogates.replace(at, 1, "\xed\xb3\xbf");
    for (const std::string& given : {path, asSurrogates}) {
        auto dry = runCLI({"trash", given, "--json"});
        EXPECT_EQ(dry.status, 0) << dry.err;
        EXPECT_EQ(JSONOut::parse(dry.out)["trashed"], json{path}) << dry.out;
    }
    auto moved = runCLI({"trash", asSurrogates, "--execute"});
    EXPECT_EQ(moved.status, 0) << moved.err;
    EXPECT_TRUE(moved.out.starts_with("Moved to the Trash: 1 item, 2 MB.")) << moved.out;
    expectOnlyTheStrayNamedFileTrashed();
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
