#include <sys/stat.h>

#include "TestSupport.hpp"
#include "scan/ScanStore.hpp"
#include "scan/Scanner.hpp"

using namespace testing_support;

namespace {

constexpr uintmax_t MiB = 1048576;

class ScanCommandsTest : public HomeTest {
protected:
    json runJSON(const std::vector<std::string>& arguments) {
        CLIResult result = runCLI(arguments);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        try {
            return json::parse(result.out);
        } catch (...) {
            ADD_FAILURE() << "not JSON: " << result.out;
            return json::object();
        }
    }
    std::string projects() {
        writeFile(home.path("projects/app/build/output.bin"), 3 * MiB);
        writeFile(home.path("projects/app/main.c"), 100);
        writeFile(home.path("projects/notes.txt"), 2 * MiB);
        writeFile(home.path("Movies/film.mov"), 5 * MiB);
        return home.path("projects").string();
    }
};

int treeDepth(const json& node) {
    int deepest = 0;
    if (node.contains("children"))
        for (const auto& child : node["children"]) deepest = std::max(deepest, 1 + treeDepth(child));
    return deepest;
}

TEST_F(ScanCommandsTest, ScanPrintsTheViewOfAFreshThenACachedScan) {
    std::string path = projects();
    json first = runJSON({"scan", path, "--json"});
    EXPECT_EQ(first["path"], path);
    EXPECT_EQ(first["fromCache"], false);
    EXPECT_EQ(first["fileCount"], 3);
    EXPECT_EQ(first["totalBytes"], Scanner::scan(path).root.size);
    EXPECT_EQ(first["inaccessibleCount"], 0);
    EXPECT_FALSE(first.contains("hint"));
    EXPECT_EQ(first["tree"]["type"], "dir");
    EXPECT_EQ(first["tree"]["percent"], 100.0);
    EXPECT_EQ(first["tree"]["children"][0]["name"], "app");
    EXPECT_EQ(first["tree"]["children"][0]["children"][0]["name"], "build");
    EXPECT_EQ(treeDepth(first["tree"]), 2);

    json second = runJSON({"scan", path, "--json"});
    EXPECT_EQ(second["fromCache"], true);
    EXPECT_EQ(second["scannedAt"], first["scannedAt"]);

    json refreshed = runJSON({"scan", path, "--refresh", "--json"});
    EXPECT_EQ(refreshed["fromCache"], false);
}

TEST_F(ScanCommandsTest, AFolderInsideAYoungHomeScanIsAnsweredFromIt) {
    std::string path = projects();
    json homeView = runJSON({"scan", "--json"});
    EXPECT_EQ(homeView["path"], home.home());
    EXPECT_EQ(homeView["fileCount"], 4);
    json inside = runJSON({"scan", "~/projects/", "--json"});
    EXPECT_EQ(inside["fromCache"], true);
    EXPECT_EQ(inside["path"], path);
    EXPECT_EQ(inside["scannedAt"], homeView["scannedAt"]);
    EXPECT_EQ(inside["tree"]["percent"], 100.0);
    // A folder the home scan did not keep is scanned on its own.
    writeFile(home.path("small/a.txt"), 10);
    json small = runJSON({"scan", home.path("small").string(), "--json"});
    EXPECT_EQ(small["fromCache"], false);
}

// With the cache folder in a shared folder open to all, where another user
// put "Ostrevane", `scan` writes no scan there, reads none from there (a
// forged one included), and says why in one line. (Whose "Ostrevane" it is
// makes no difference here; the engine's tests give it other owners.)
TEST_F(ScanCommandsTest, NoScanIsStoredInOrReadFromACacheFolderOtherUsersCanWriteTo) {
    const std::string path = projects();
    const fs::path shared = home.scratch() / "shared";
    const fs::path theirs = shared / "Ostrevane";
    fs::create_directories(theirs);
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    // A scan the user's tool stored there, as a forger could copy it in.
    runJSON({"scan", path, "--json"});
    fs::copy_file(ScanStore::cacheFile(path), theirs / ScanStore::cacheFile(path).filename());
    ASSERT_EQ(::chmod(theirs.c_str(), 0777), 0);
    ScopedEnv noOverride("OSTREVANE_HOME", std::nullopt);
    ScopedEnv realHome("HOME", home.home());
    ScopedEnv cacheHome("XDG_CACHE_HOME", shared.string());

    for (int run = 0; run < 2; ++run) {
        const CLIResult result = runCLI({"scan", path, "--json"});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(json::parse(result.out)["fromCache"], false);
        EXPECT_EQ(result.err, "Not using the folder " + theirs.string() + ": other users can write to " +
                                  shared.string() + ", so they could put or replace files in it.\n");
    }
    EXPECT_EQ(entriesOf(theirs), std::vector<std::string>{ScanStore::cacheFile(path).filename().string()});
}

TEST_F(ScanCommandsTest, DepthAndTopAreClamped) {
    fs::path deep = home.path("deep");
    fs::path folder = deep;
    for (int level = 0; level < 9; ++level) {
        folder /= "level" + std::to_string(level);
        writeFile(folder / "data.bin", 2 * MiB);
    }
    for (int i = 0; i < 4; ++i) writeFile(deep / ("side" + std::to_string(i)) / "x.bin", 2 * MiB);

    EXPECT_EQ(treeDepth(runJSON({"scan", deep.string(), "--depth", "99", "--json"})["tree"]), 6);
    EXPECT_EQ(treeDepth(runJSON({"scan", deep.string(), "--depth", "0", "--json"})["tree"]), 1);
    EXPECT_EQ(treeDepth(runJSON({"scan", deep.string(), "--json"})["tree"]), 2);
    EXPECT_EQ(runCLI({"scan", deep.string(), "--depth", "lots", "--json"}).status, 2);
    json one = runJSON({"scan", deep.string(), "--depth", "1", "--top", "0", "--json"});
    EXPECT_EQ(one["tree"]["children"].size(), 1u);
    EXPECT_EQ(one["tree"]["omittedChildren"], 4);
    json many = runJSON({"scan", deep.string(), "--depth", "1", "--top", "500", "--json"});
    EXPECT_EQ(many["tree"]["children"].size(), 5u);
    EXPECT_FALSE(many["tree"].contains("omittedChildren"));
}

TEST_F(ScanCommandsTest, AMissingFolderIsAnErrorNamingTheExpandedPath) {
    CLIResult result = runCLI({"scan", "~/nowhere"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error: Path doesn’t exist or can’t be accessed: " + home.home() + "/nowhere\n");
}

TEST_F(ScanCommandsTest, ANamedPipeInPlaceOfTheCacheFileNeverBlocks) {
    std::string path = projects();
    fs::path cache = ScanStore::cacheFile(path);
    fs::create_directories(cache.parent_path());
    ASSERT_EQ(::mkfifo(cache.c_str(), 0600), 0);
    CLIResult result = runCLI({"scan", path, "--json"}, std::nullopt, 20);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::is_regular_file(cache));
}

TEST_F(ScanCommandsTest, PlainOutputShowsTheFolderLineAndTheTree) {
    std::string path = projects();
    CLIResult fresh = runCLI({"scan", path});
    ASSERT_EQ(fresh.status, 0) << fresh.err;
    std::string firstLine = fresh.out.substr(0, fresh.out.find('\n'));
    std::string total = Fmt::bytes(Scanner::scan(path).root.size);
    EXPECT_TRUE(firstLine.starts_with("~/projects  " + total + ", 3 files (took ")) << firstLine;
    EXPECT_TRUE(firstLine.ends_with("s)")) << firstLine;
    EXPECT_NE(fresh.out.find("%  app/\n"), std::string::npos) << fresh.out;
    EXPECT_NE(fresh.out.find("%  notes.txt\n"), std::string::npos) << fresh.out;
    EXPECT_NE(fresh.out.find("    "), std::string::npos);
    EXPECT_EQ(fresh.err, "");

    CLIResult cached = runCLI({"scan", path});
    EXPECT_NE(cached.out.find(" (cached "), std::string::npos) << cached.out;

    writeFile(home.path("single/only.txt"), 10);
    CLIResult one = runCLI({"scan", "~/single"});
    EXPECT_NE(one.out.find(", 1 file (took "), std::string::npos) << one.out;
}

TEST_F(ScanCommandsTest, NamesThatAreNotUTF8StillGiveAValidDocument) {
    fs::path folder = home.path("odd");
    writeFile(folder / std::string("r\xe9sum\xe9.pdf"), 2 * MiB);
    CLIResult result = runCLI({"scan", folder.string(), "--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find(R"("name": "r\udce9sum\udce9.pdf")"), std::string::npos) << result.out;
    json document = JSONOut::parse(result.out);
    EXPECT_EQ(document["tree"]["children"][0]["name"], "r\xe9sum\xe9.pdf");
}

TEST_F(ScanCommandsTest, StatusReportsVolumesAccessAndTheLastHomeScan) {
    json before = runJSON({"status", "--json"});
    EXPECT_EQ(before["home"], home.home());
    ASSERT_TRUE(before["volumes"].is_array());
    ASSERT_FALSE(before["volumes"].empty());
    EXPECT_EQ(before["volumes"][0]["mountPoint"], "/");
    EXPECT_TRUE(before["fullDiskAccess"].is_boolean());
    EXPECT_FALSE(before.contains("lastHomeScan"));
    double used = before["volumes"][0]["usedPercent"];
    EXPECT_EQ(before.contains("advice"), used >= 80);

    projects();
    json scan = runJSON({"scan", "--json"});
    json after = runJSON({"status", "--json"});
    ASSERT_TRUE(after.contains("lastHomeScan"));
    EXPECT_EQ(after["lastHomeScan"]["totalBytes"], scan["totalBytes"]);
    EXPECT_EQ(after["lastHomeScan"]["total"], scan["total"]);
    EXPECT_EQ(after["lastHomeScan"]["fileCount"], 4);
    EXPECT_EQ(after["lastHomeScan"]["scannedAt"], scan["scannedAt"]);

    CLIResult plain = runCLI({"status"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_NE(plain.out.find("\nRead permission: "), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("Last home scan: "), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find(", 4 files"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("  Used "), std::string::npos) << plain.out;
}

}  // namespace
