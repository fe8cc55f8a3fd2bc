#include <chrono>
#include <thread>

#include "TestSupport.hpp"
#include "base/InputLimits.hpp"
#include "scan/ScanStore.hpp"
#include "scan/ScanView.hpp"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

constexpr int64_t MiB = 1048576;

Date wholeSecondsAgo(double seconds) {
    return std::chrono::floor<std::chrono::seconds>(
        std::chrono::system_clock::now() -
        std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::duration<double>(seconds)));
}

/// A stored scan whose tree does not match the disk, so a result can be told
/// apart from a fresh scan. It keeps the way to the cache folder, as every
/// scan stored now does; a file without it is read as no scan.
ScanResult fakeScan(const std::string& path, Date scannedAt, int64_t size = 123) {
    FileNode root{path.substr(path.rfind('/') + 1), path, true, size, 7, std::nullopt, std::vector<FileNode>{}};
    Paths::cacheDir();
    SeenFolders way;
    SeenWay::measure(Paths::cacheFolder().string(), way, false);
    return ScanResult{root, scannedAt, 1.5, 7, {}, 0, {}, MiB, way};
}

class ScanStoreTest : public HomeTest {
protected:
    ScopedHooks<ScanStore::Hooks> memory{ScanStore::Hooks::emptyMemory()};
    std::string folder() const {
        fs::create_directories(home.path("data"));
        return home.path("data").string();
    }
};

TEST(ScanStoreHashTest, FileNamesUseTheSeededHash) {
    EXPECT_EQ(ScanStore::hashText("/"), "44bd54d473cd3d44");
    EXPECT_EQ(ScanStore::hashText(""), "14650fb0739d0383");
}

TEST_F(ScanStoreTest, StoredScansAreFoundUnderEverySpellingOfThePath) {
    std::string path = folder();
    ScanResult result = fakeScan(path, wholeSecondsAgo(10));
    ScanStore::store(result, path);

    fs::path file = Paths::cacheDir() / ("scan-" + ScanStore::hashText(path) + ".json");
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(ScanStore::cacheFile(path), file);
    json written = json::parse(readText(file));
    EXPECT_EQ(written["root"]["path"], path);
    EXPECT_EQ(written.size(), 9u);

    for (const std::string& spelling : {std::string("~/data/"), path + "/", path + "/./x/..", std::string("~/data")}) {
        auto found = ScanStore::cached(spelling, 60);
        ASSERT_TRUE(found) << spelling;
        EXPECT_EQ(*found, result);
    }
}

TEST_F(ScanStoreTest, TheFileIsCompactWithKeysInFieldOrderAndWholeSecondDates) {
    std::string path = folder();
    ScanResult result = fakeScan(path, std::chrono::system_clock::from_time_t(1796685906) + 250ms);
    result.root.modified = std::chrono::system_clock::from_time_t(1700000000);
    result.root.children->push_back(FileNode{"a.bin", path + "/a.bin", false, 2 * MiB, 1, std::nullopt, std::nullopt});
    FileNode folder{"b", path + "/b", true, 3, 2, std::nullopt, std::vector<FileNode>{}};
    folder.children->push_back(FileNode{"empty", path + "/b/empty", true, 0, 0, std::nullopt, std::vector<FileNode>{}});
    folder.children->push_back(FileNode{"\"q\"", path + "/b/\"q\"", false, 3, 1, std::nullopt, std::nullopt});
    result.root.children->push_back(std::move(folder));
    result.inaccessible = {path + "/x", path + "/y"};
    ScanStore::store(result, path);

    std::string contents = readText(ScanStore::cacheFile(path));
    // Written without recursion, yet the very bytes of the whole document.
    EXPECT_EQ(contents, ordered_json(result).dump(-1, ' ', false, json::error_handler_t::strict));
    EXPECT_EQ(contents.find('\n'), std::string::npos);
    EXPECT_EQ(contents.find(": "), std::string::npos);
    auto keys = [](const ordered_json& object) {
        std::vector<std::string> names;
        for (const auto& item : object.items()) names.push_back(item.key());
        return names;
    };
    ordered_json written = ordered_json::parse(contents);
    EXPECT_EQ(keys(written), (std::vector<std::string>{"root", "scannedAt", "duration", "fileCount", "inaccessible",
                                                       "inaccessibleCount", "cloudOnly", "minNodeSize", "seen"}));
    EXPECT_EQ(keys(written["root"]),
              (std::vector<std::string>{"name", "path", "isDirectory", "size", "fileCount", "modified", "children"}));
    // A node without a date or children is written without those keys.
    EXPECT_EQ(keys(written["root"]["children"][0]),
              (std::vector<std::string>{"name", "path", "isDirectory", "size", "fileCount"}));
    EXPECT_EQ(written["scannedAt"], "2026-12-07T23:25:06Z");
    EXPECT_EQ(written["root"]["modified"], "2023-11-14T22:13:20Z");
}

TEST_F(ScanStoreTest, TheFileAloneAnswersAnotherProcess) {
    std::string path = folder();
    ScanResult result = fakeScan(path, wholeSecondsAgo(30));
    ScanStore::store(result, path);
    std::string contents = readText(ScanStore::cacheFile(path));
    ScanStore::invalidate();
    writeText(ScanStore::cacheFile(path), contents);
    auto found = ScanStore::cached(path, 60);
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, result);
}

TEST_F(ScanStoreTest, AgeIsCheckedAgainstTheLimit) {
    std::string path = folder();
    ScanStore::store(fakeScan(path, wholeSecondsAgo(100)), path);
    EXPECT_TRUE(ScanStore::cached(path, 102));
    EXPECT_FALSE(ScanStore::cached(path, 98));
    // A scan dated in the future would never expire: it is stale, in memory and on disk.
    ScanResult future = fakeScan(path, wholeSecondsAgo(-3600));
    ScanStore::store(future, path);
    EXPECT_FALSE(ScanStore::cached(path, 1e9));
    ScanStore::invalidate();
    writeText(ScanStore::cacheFile(path), json(future).dump());
    EXPECT_FALSE(ScanStore::cached(path, 1e9));
}

TEST_F(ScanStoreTest, AVeryDeepTreeKeepsNodesUpToThePathLimitAndItsCacheReadsBack) {
    std::string path = folder();
    // 600 levels of 21 bytes: paths of up to 12,600 bytes.
    DeepTree deep(path, 600, "a-folder-of-20-chars", 0);
    ScanOptions options;
    options.minNodeSize = 0;
    ScanResult result = Scanner::scan(path, options);
    EXPECT_EQ(result.root.fileCount, 600);
    size_t longest = 0;
    result.root.walk([&](const FileNode& node) {
        longest = std::max(longest, node.path.size());
        return true;
    });
    EXPECT_LE(longest, ScanOptions::defaultMaxNodePath);
    EXPECT_GT(longest, ScanOptions::defaultMaxNodePath - 21);

    ScanStore::store(result, path);
    std::string contents = readText(ScanStore::cacheFile(path));
    ScanStore::invalidate();
    writeText(ScanStore::cacheFile(path), contents);
    auto found = ScanStore::cached(path, 900);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->root.fileCount, 600);
}

TEST_F(ScanStoreTest, ACacheAsDeepAsTheScannerCanMakeReadsBackOnAWorkerThread) {
    // One-letter folders down to the longest path a node may have.
    std::string path = folder();
    ScanResult result = fakeScan(path, wholeSecondsAgo(10));
    const size_t levels = (ScanOptions::defaultMaxNodePath - path.size()) / 2;
    std::vector<FileNode> chain(levels);
    std::string nodePath = path;
    for (FileNode& node : chain) {
        nodePath += "/d";
        node = FileNode{"d", nodePath, true, 1, 1, std::nullopt, std::vector<FileNode>{}};
    }
    for (size_t level = levels - 1; level > 0; --level) chain[level - 1].children->push_back(std::move(chain[level]));
    result.root.children->push_back(std::move(chain[0]));
    ScanStore::store(result, path);
    std::string contents = readText(ScanStore::cacheFile(path));
    ScanStore::invalidate();
    writeText(ScanStore::cacheFile(path), contents);
    std::optional<ScanResult> found;
    std::thread([&] { found = ScanStore::cached(path, 900); }).join();
    ASSERT_TRUE(found);
    EXPECT_NE(found->root.find(nodePath), nullptr);
}

TEST_F(ScanStoreTest, ACacheNestedDeeperThanAnyScanOrTooLargeIsAMissNotACrash) {
    std::string path = folder();
    // 50,000 levels, each node the only child of the one above.
    const int levels = 50'000;
    std::string text = R"({"root":)";
    for (int level = 0; level < levels; ++level)
        text += R"({"name":"d","path":")" + (level == 0 ? path : std::string("d")) +
                R"(","isDirectory":true,"size":1,"fileCount":1,"children":[)";
    for (int level = 0; level < levels; ++level) text += "]}";
    json rest = json(fakeScan(path, wholeSecondsAgo(10)));
    rest.erase("root");
    text += "," + rest.dump().substr(1);
    writeText(ScanStore::cacheFile(path), text);
    EXPECT_EQ(ScanStore::cached(path, 900), std::nullopt);
    EXPECT_TRUE(fs::exists(ScanStore::cacheFile(path)));

    writeText(ScanStore::cacheFile(path), json(fakeScan(path, wholeSecondsAgo(10))).dump());
    {
        ScopedHooks<InputLimits::Hooks> limits;
        limits->storedFileBytes = 100;
        EXPECT_EQ(ScanStore::cached(path, 900), std::nullopt);
    }
    EXPECT_TRUE(ScanStore::cached(path, 900));
}

TEST_F(ScanStoreTest, AStaleMemoryEntryDoesNotHideAYoungerFile) {
    std::string path = folder();
    ScanStore::store(fakeScan(path, wholeSecondsAgo(5000), 1), path);
    // Another process wrote a younger scan meanwhile.
    ScanResult younger = fakeScan(path, wholeSecondsAgo(10), 2);
    writeText(ScanStore::cacheFile(path), json(younger).dump());
    auto found = ScanStore::cached(path, 900);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->root.size, 2);
    // The file's scan took the memory entry's place.
    fs::remove(ScanStore::cacheFile(path));
    ASSERT_TRUE(ScanStore::cached(path, 900));
    EXPECT_EQ(ScanStore::cached(path, 900)->root.size, 2);
    // A too-old file gives nothing and stays on disk.
    writeText(ScanStore::cacheFile(path), json(fakeScan(path, wholeSecondsAgo(5000), 3)).dump());
    EXPECT_EQ(ScanStore::cached(path, 5), std::nullopt);
    EXPECT_TRUE(fs::exists(ScanStore::cacheFile(path)));
}

TEST_F(ScanStoreTest, UnreadableFilesYieldNothingAndStay) {
    std::string path = folder();
    fs::path file = ScanStore::cacheFile(path);
    json good = fakeScan(path, wholeSecondsAgo(10));
    std::vector<std::string> bad = {"{not json", "", "[]"};
    for (const char* key : {"root", "scannedAt", "duration", "fileCount", "inaccessible", "inaccessibleCount",
                            "cloudOnly", "minNodeSize"}) {
        json missing = good;
        missing.erase(key);
        bad.push_back(missing.dump());
    }
    json fractional = good;
    fractional["scannedAt"] = ISODate::format(wholeSecondsAgo(10)).insert(19, ".250");
    bad.push_back(fractional.dump());
    json wrongType = good;
    wrongType["fileCount"] = "7";
    bad.push_back(wrongType.dump());
    for (const auto& contents : bad) {
        writeText(file, contents);
        EXPECT_EQ(ScanStore::cached(path, 900), std::nullopt) << contents;
        EXPECT_TRUE(fs::exists(file));
    }
    writeText(file, good.dump());
    EXPECT_TRUE(ScanStore::cached(path, 900));
}

TEST_F(ScanStoreTest, AFileHoldingAnotherFoldersScanIsAMiss) {
    std::string path = folder();
    // Same file name, but the scan inside is of another folder (a hash
    // collision, or a file copied from elsewhere).
    writeText(ScanStore::cacheFile(path), json(fakeScan(home.path("other").string(), wholeSecondsAgo(10))).dump());
    EXPECT_EQ(ScanStore::cached(path, 900), std::nullopt);
}

TEST_F(ScanStoreTest, ScanReusesYoungScansUnlessRefreshing) {
    std::string path = folder();
    writeFile(home.path("data/file.bin"), 2 * MiB);
    ScanStore::store(fakeScan(path, wholeSecondsAgo(10)), path);

    auto reused = ScanStore::scan(path, ScanOptions(), 900, false);
    EXPECT_TRUE(reused.cached);
    EXPECT_EQ(reused.result.root.size, 123);

    auto fresh = ScanStore::scan(path, ScanOptions(), 900, true);
    EXPECT_FALSE(fresh.cached);
    EXPECT_EQ(fresh.result.root.fileCount, 1);
    EXPECT_GT(fresh.result.root.size, 2 * MiB);
    // The fresh scan replaced the stored one, in memory and on disk.
    EXPECT_EQ(ScanStore::cached(path, 900)->root.size, fresh.result.root.size);
    EXPECT_EQ(json::parse(readText(ScanStore::cacheFile(path)))["root"]["size"], fresh.result.root.size);

    auto tooOld = ScanStore::scan(path, ScanOptions(), 0, false);
    EXPECT_FALSE(tooOld.cached);
}

TEST_F(ScanStoreTest, AFailedOrCancelledScanStoresNothing) {
    std::string path = folder();
    ScanResult stored = fakeScan(path, wholeSecondsAgo(5000));
    ScanStore::store(stored, path);
    auto token = std::make_shared<CancelToken>();
    token->cancel();
    EXPECT_THROW(ScanStore::scan(path, ScanOptions(), 900, true, token), OstrevaneError);
    EXPECT_EQ(json::parse(readText(ScanStore::cacheFile(path))).get<ScanResult>(), stored);
    EXPECT_EQ(ScanStore::cached(path, 1e9), stored);

    EXPECT_THROW(ScanStore::scan(home.path("missing").string(), ScanOptions(), 900, false), OstrevaneError);
    EXPECT_FALSE(fs::exists(ScanStore::cacheFile(home.path("missing").string())));
}

TEST_F(ScanStoreTest, InvalidateForgetsEveryScanAndLeavesOtherFiles) {
    std::string a = folder();
    std::string b = home.home();
    ScanStore::store(fakeScan(a, wholeSecondsAgo(1)), a);
    ScanStore::store(fakeScan(b, wholeSecondsAgo(1)), b);
    writeText(Paths::cacheDir() / "notes.txt", "keep");
    writeText(Paths::cacheDir() / "scan-folder" / "inside.json", "{}");
    ScanStore::invalidate();
    EXPECT_FALSE(ScanStore::cached(a, 1e9));
    EXPECT_FALSE(ScanStore::cached(b, 1e9));
    std::vector<std::string> left;
    for (const auto& item : fs::directory_iterator(Paths::cacheDir())) left.push_back(item.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"notes.txt"});
}

// Scan views

FileNode fileNode(const std::string& path, int64_t size) {
    return FileNode{path.substr(path.rfind('/') + 1),
                    path,
                    false,
                    size,
                    1,
                    std::chrono::system_clock::from_time_t(1700000000),
                    std::nullopt};
}

FileNode folderOf(const std::string& path, int count, int64_t each) {
    std::vector<FileNode> children;
    for (int i = 0; i < count; ++i) children.push_back(fileNode(path + "/f" + std::to_string(i), each));
    return FileNode{path.substr(path.rfind('/') + 1),
                    path,
                    true,
                    count * each + 4096,
                    count + 3,
                    std::nullopt,
                    std::move(children)};
}

ScanResult scanOf(FileNode root, int64_t inaccessibleCount = 0, double duration = 2.0) {
    std::vector<std::string> inaccessible;
    for (int64_t i = 0; i < std::min<int64_t>(inaccessibleCount, 100); ++i)
        inaccessible.push_back("/locked/" + std::to_string(100 + i));
    int64_t fileCount = root.fileCount;
    return ScanResult{std::move(root),
                      std::chrono::system_clock::from_time_t(1700000000),
                      duration,
                      fileCount,
                      inaccessible,
                      inaccessibleCount,
                      {},
                      MiB,
                      std::nullopt};
}

class ScanViewTest : public HomeTest {};

TEST_F(ScanViewTest, DepthOneListsTheLargestChildrenWithoutTheirOwn) {
    FileNode inner = folderOf("/r/inner", 3, 1000);
    FileNode root{"r", "/r", true, 0, 0, std::nullopt, std::vector<FileNode>{inner, fileNode("/r/a", 500)}};
    root.size = inner.size + 500;
    ScanView view = ScanView::make(scanOf(root), nullptr, 1, 10, false);
    ASSERT_TRUE(view.tree.children);
    ASSERT_EQ(view.tree.children->size(), 2u);
    for (const auto& child : *view.tree.children) {
        EXPECT_FALSE(child.children);
        EXPECT_FALSE(child.omittedChildren);
    }
    EXPECT_EQ(view.tree.percent, 100.0);
    EXPECT_EQ(view.tree.children->at(0).type, "dir");
    EXPECT_EQ(view.tree.children->at(0).files, 6);
    EXPECT_EQ(view.tree.children->at(1).type, "file");
    EXPECT_FALSE(view.tree.children->at(1).files);
    EXPECT_FALSE(json(view.tree.children->at(1)).contains("files"));
    EXPECT_EQ(view.tree.children->at(1).modified, Fmt::day(std::chrono::system_clock::from_time_t(1700000000)));
}

TEST_F(ScanViewTest, TheCutCountsOmittedChildren) {
    auto listed = [](int count, int top) {
        ScanResult scan = scanOf(folderOf("/r", count, 100));
        return ScanView::make(scan, nullptr, 2, top, false).tree;
    };
    NodeView twelve = listed(12, 10);
    EXPECT_EQ(twelve.children->size(), 10u);
    EXPECT_EQ(twelve.omittedChildren, 2);
    NodeView ten = listed(10, 10);
    EXPECT_EQ(ten.children->size(), 10u);
    EXPECT_FALSE(ten.omittedChildren);
    EXPECT_FALSE(json(ten).contains("omittedChildren"));
    NodeView none = listed(5, 0);
    ASSERT_TRUE(none.children);
    EXPECT_TRUE(none.children->empty());
    EXPECT_EQ(none.omittedChildren, 5);
    EXPECT_EQ(json(none)["children"], json::array());
}

TEST_F(ScanViewTest, AFolderWithoutKeptChildrenShowsNeitherKey) {
    FileNode empty{"e", "/e", true, 8192, 40, std::nullopt, std::vector<FileNode>{}};
    json document = ScanView::make(scanOf(empty), nullptr, 3, 10, false);
    EXPECT_FALSE(document["tree"].contains("children"));
    EXPECT_FALSE(document["tree"].contains("omittedChildren"));
    EXPECT_FALSE(document["tree"].contains("modified"));
    EXPECT_EQ(document["tree"]["files"], 40);
}

TEST_F(ScanViewTest, PercentagesReferToTheViewedFolder) {
    FileNode zero{"z", "/z", true, 0, 0, std::nullopt, std::vector<FileNode>{fileNode("/z/a", 0)}};
    ScanView empty = ScanView::make(scanOf(zero), nullptr, 2, 10, false);
    EXPECT_EQ(empty.tree.percent, 0);
    EXPECT_EQ(empty.tree.children->at(0).percent, 0);

    FileNode inner{"in",
                   "/r/in",
                   true,
                   3000,
                   2,
                   std::nullopt,
                   std::vector<FileNode>{fileNode("/r/in/a", 2000), fileNode("/r/in/b", 1000)}};
    FileNode root{"r", "/r", true, 9000, 5, std::nullopt, std::vector<FileNode>{inner}};
    ScanResult scan = scanOf(root);
    ScanView view = ScanView::make(scan, scan.root.find("/r/in"), 2, 10, true);
    EXPECT_EQ(view.path, "/r/in");
    EXPECT_EQ(view.totalBytes, 3000);
    EXPECT_EQ(view.total, "3 KB");
    EXPECT_EQ(view.fileCount, 2);
    EXPECT_TRUE(view.fromCache);
    EXPECT_EQ(view.tree.percent, 100);
    EXPECT_EQ(view.tree.children->at(0).percent, 66.7);
    EXPECT_EQ(view.tree.children->at(1).percent, 33.3);
}

TEST_F(ScanViewTest, TheHintAndSampleFollowTheUnreadableCount) {
    FileNode root = folderOf("/r", 1, 10);
    ScanView many = ScanView::make(scanOf(root, 250), nullptr, 1, 10, false);
    EXPECT_EQ(many.inaccessibleCount, 250);
    EXPECT_EQ(many.inaccessibleSample.size(), 8u);
    ASSERT_TRUE(many.hint);
    EXPECT_TRUE(many.hint->starts_with("250 folders couldn’t be read, so the results are low.")) << *many.hint;

    ScanView one = ScanView::make(scanOf(root, 1), nullptr, 1, 10, false);
    EXPECT_EQ(one.inaccessibleSample.size(), 1u);
    EXPECT_TRUE(one.hint->starts_with("1 folder couldn’t be read")) << *one.hint;

    ScanView none = ScanView::make(scanOf(root, 0), nullptr, 1, 10, false);
    EXPECT_FALSE(none.hint);
    EXPECT_FALSE(json(none).contains("hint"));
}

TEST_F(ScanViewTest, DurationIsRoundedToHundredthsAndTheViewRoundTrips) {
    ScanView view = ScanView::make(scanOf(folderOf("/r", 12, 100), 3, 41.625), nullptr, 2, 10, false);
    EXPECT_EQ(view.durationSeconds, 41.63);
    json document = view;
    for (const char* key : {"path", "totalBytes", "total", "fileCount", "scannedAt", "durationSeconds", "fromCache",
                            "inaccessibleCount", "inaccessibleSample", "hint", "tree"})
        EXPECT_TRUE(document.contains(key)) << key;
    EXPECT_EQ(document["scannedAt"], "2023-11-14T22:13:20Z");
    EXPECT_EQ(document.get<ScanView>(), view);
    json missing = document;
    missing.erase("tree");
    EXPECT_ANY_THROW(missing.get<ScanView>());
}

}  // namespace
