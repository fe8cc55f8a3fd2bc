#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>

#include "TestSupport.hpp"
#include "platform/FileSystem.hpp"
#include "scan/Scanner.hpp"

using namespace testing_support;

namespace {

constexpr int64_t MiB = 1048576;

int64_t allocated(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return static_cast<int64_t>(status.st_blocks) * 512;
}

/// Sets a modification time in whole seconds since 1970, without following links.
void setTime(const fs::path& path, time_t seconds) {
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

time_t secondsOf(const std::optional<Date>& date) {
    return date ? std::chrono::system_clock::to_time_t(*date) : static_cast<time_t>(-1);
}

ScanOptions optionsWith(int64_t fanOut, int64_t minNodeSize = MiB) {
    ScanOptions options;
    options.fanOutDepth = fanOut;
    options.minNodeSize = minNodeSize;
    return options;
}

/// Sum of the allocations of everything in a tree, each hard-linked file once.
int64_t duTotal(const fs::path& root) {
    int64_t total = allocated(root);
    std::set<ino_t> seen;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        struct stat status {};
        ::lstat(it->path().c_str(), &status);
        if (!S_ISDIR(status.st_mode) && status.st_nlink > 1 && !seen.insert(status.st_ino).second) continue;
        total += static_cast<int64_t>(status.st_blocks) * 512;
    }
    return total;
}

std::vector<std::string> childNames(const FileNode& node) {
    std::vector<std::string> names;
    if (node.children)
        for (const auto& child : *node.children) names.push_back(child.name);
    return names;
}

class ScannerTest : public HomeTest {
protected:
    ScopedHooks<FileSystem::Hooks> fileSystem;
    fs::path tree() const { return home.path("tree"); }
};

// Shape and totals

TEST_F(ScannerTest, TotalsCountEverythingWhileOnlyLargeNodesAreKeptLargestFirst) {
    writeFile(tree() / "big.bin", 3 * MiB);
    writeFile(tree() / "small.txt", 10);
    writeFile(tree() / "media" / "movie.mp4", 5 * MiB);
    writeFile(tree() / "media" / "clip.mp4", 2 * MiB);
    for (int i = 0; i < 30; ++i) writeFile(tree() / "code" / "src" / ("f" + std::to_string(i) + ".c"), 100);
    fs::create_directories(tree() / "empty");

    for (int64_t fanOut : {0, 1, 2, 4}) {
        SCOPED_TRACE(fanOut);
        ScanResult result = Scanner::scan(tree().string(), optionsWith(fanOut));
        const FileNode& root = result.root;
        EXPECT_EQ(root.path, tree().string());
        EXPECT_EQ(root.name, "tree");
        EXPECT_TRUE(root.isDirectory);
        EXPECT_EQ(root.size, duTotal(tree()));
        EXPECT_EQ(root.fileCount, 34);
        EXPECT_EQ(result.fileCount, 34);
        EXPECT_EQ(result.minNodeSize, MiB);
        // Only nodes of at least 1 MiB are kept; the folders of small files are not.
        EXPECT_EQ(childNames(root), (std::vector<std::string>{"media", "big.bin"}));
        const FileNode* media = root.find((tree() / "media").string());
        ASSERT_NE(media, nullptr);
        EXPECT_EQ(childNames(*media), (std::vector<std::string>{"movie.mp4", "clip.mp4"}));
        EXPECT_EQ(media->fileCount, 2);
        EXPECT_EQ(media->size, allocated(tree() / "media") + allocated(tree() / "media/movie.mp4") +
                                   allocated(tree() / "media/clip.mp4"));
        const FileNode* movie = media->find((tree() / "media/movie.mp4").string());
        ASSERT_NE(movie, nullptr);
        EXPECT_FALSE(movie->isDirectory);
        EXPECT_EQ(movie->fileCount, 1);
        EXPECT_FALSE(movie->children.has_value());
    }
}

TEST_F(ScannerTest, AFolderOfOnlySmallFilesHasItsTotalsAndAnEmptyChildList) {
    for (int i = 0; i < 200; ++i) writeFile(tree() / ("n" + std::to_string(i % 7)) / ("f" + std::to_string(i)), 50);
    for (int64_t fanOut : {0, 3}) {
        ScanResult result = Scanner::scan(tree().string(), optionsWith(fanOut));
        EXPECT_EQ(result.root.fileCount, 200);
        EXPECT_EQ(result.root.size, duTotal(tree()));
        ASSERT_TRUE(result.root.children.has_value());
        EXPECT_TRUE(result.root.children->empty());
    }
}

TEST_F(ScannerTest, ParallelLevelsAndOneSequentialWalkAgreeOnAWideTree) {
    for (int a = 0; a < 24; ++a)
        for (int b = 0; b < 12; ++b)
            for (int c = 0; c < 6; ++c)
                writeFile(tree() / ("a" + std::to_string(a)) / ("b" + std::to_string(b)) / ("c" + std::to_string(c)),
                          static_cast<std::uintmax_t>(a * 300 + c * 5000));
    writeFile(tree() / "a3/b4/large", 3 * MiB);
    ScanResult sequential = Scanner::scan(tree().string(), optionsWith(0, 64 * 1024));
    for (int round = 0; round < 3; ++round) {
        ScanResult parallel = Scanner::scan(tree().string(), optionsWith(2, 64 * 1024));
        EXPECT_EQ(parallel.root.size, sequential.root.size);
        EXPECT_EQ(parallel.root.fileCount, 24 * 12 * 6 + 1);
        EXPECT_EQ(parallel.root, sequential.root);
    }
    EXPECT_EQ(sequential.root.size, duTotal(tree()));
}

TEST_F(ScannerTest, AFileOrALinkIsItsOwnRootWhateverItsSize) {
    writeFile(tree() / "tiny.txt", 5);
    fs::create_symlink("tiny.txt", tree() / "link");
    for (int64_t fanOut : {0, 4}) {
        ScanResult file = Scanner::scan((tree() / "tiny.txt").string(), optionsWith(fanOut));
        EXPECT_FALSE(file.root.isDirectory);
        EXPECT_EQ(file.root.name, "tiny.txt");
        EXPECT_EQ(file.root.fileCount, 1);
        EXPECT_EQ(file.root.size, allocated(tree() / "tiny.txt"));
        EXPECT_FALSE(file.root.children.has_value());

        ScanResult link = Scanner::scan((tree() / "link").string(), optionsWith(fanOut));
        EXPECT_FALSE(link.root.isDirectory);
        EXPECT_EQ(link.root.path, (tree() / "link").string());
        EXPECT_EQ(link.root.size, allocated(tree() / "link"));
    }
}

TEST_F(ScannerTest, LinksAreNeverFollowed) {
    writeFile(home.path("elsewhere/huge.bin"), 4 * MiB);
    fs::create_directories(tree());
    fs::create_directory_symlink(home.path("elsewhere"), tree() / "pointer");
    for (int64_t fanOut : {0, 4}) {
        ScanResult result = Scanner::scan(tree().string(), optionsWith(fanOut));
        EXPECT_EQ(result.root.fileCount, 1);
        EXPECT_LT(result.root.size, MiB);
    }
}

TEST_F(ScannerTest, ARootThatLinksToAFolderIsScannedAsThatFolderUnderTheLinksPath) {
    writeFile(home.path("elsewhere/sub/huge.bin"), 2 * MiB);
    writeFile(home.path("elsewhere/small.txt"), 10);
    fs::create_directory_symlink(home.path("elsewhere"), home.path("pointer"));
    for (int64_t fanOut : {0, 4}) {
        ScanResult result = Scanner::scan(home.path("pointer").string() + "/", optionsWith(fanOut));
        EXPECT_TRUE(result.root.isDirectory);
        EXPECT_EQ(result.root.name, "pointer");
        EXPECT_EQ(result.root.path, home.path("pointer").string());
        EXPECT_EQ(result.root.size, duTotal(home.path("elsewhere")));
        EXPECT_EQ(result.root.fileCount, 2);
        ASSERT_TRUE(result.root.find(home.path("pointer/sub/huge.bin").string())) << fanOut;
    }
    // Sizing for a move measures what would be moved: the link alone.
    EXPECT_EQ(Scanner::quickSize(home.path("pointer").string()), allocated(home.path("pointer")));
}

// Hard links

TEST_F(ScannerTest, HardLinksInOneFolderCountOnceAtBothKindsOfLevel) {
    writeFile(tree() / "pair" / "original.bin", 2 * MiB);
    fs::create_hard_link(tree() / "pair/original.bin", tree() / "pair/second.bin");
    int64_t expected = allocated(tree()) + allocated(tree() / "pair") + allocated(tree() / "pair/original.bin");
    for (int64_t fanOut : {0, 1, 4}) {
        SCOPED_TRACE(fanOut);
        ScanResult result = Scanner::scan(tree().string(), optionsWith(fanOut));
        EXPECT_EQ(result.root.size, expected);
        EXPECT_EQ(result.root.fileCount, 2);
        const FileNode* pair = result.root.find((tree() / "pair").string());
        ASSERT_NE(pair, nullptr);
        // The first link by path keeps the bytes; the other counts as a file of 0 bytes.
        EXPECT_EQ(pair->children->size(), 1u);
    }
}

/// Every node's size by path.
std::map<std::string, int64_t> sizesByPath(const FileNode& root) {
    std::map<std::string, int64_t> sizes;
    root.walk([&](const FileNode& node) {
        sizes[node.path] = node.size;
        return true;
    });
    return sizes;
}

TEST_F(ScannerTest, HardLinksInDifferentFoldersCountOnceAtTheFirstPathWhateverTheFanOut) {
    // Linked across two top-level folders, across two folders below the
    // fan-out depth (one walk), and across two walks.
    const fs::path deep = tree() / "x/1/2/3/4/5";
    writeFile(tree() / "a" / "data.bin", 2 * MiB);
    fs::create_directories(tree() / "b");
    fs::create_hard_link(tree() / "a/data.bin", tree() / "b/data.bin");
    writeFile(deep / "q" / "deep.bin", 3 * MiB);
    fs::create_directories(deep / "p");
    fs::create_directories(tree() / "y/1/2/3/4/5");
    fs::create_hard_link(deep / "q/deep.bin", deep / "p/deep.bin");
    fs::create_hard_link(deep / "q/deep.bin", tree() / "y/1/2/3/4/5/deep.bin");
    for (int64_t fanOut : {0, 1, 4}) {
        SCOPED_TRACE(fanOut);
        ScanResult first = Scanner::scan(tree().string(), optionsWith(fanOut, 0));
        EXPECT_EQ(first.root.size, duTotal(tree()));
        EXPECT_EQ(first.root.fileCount, 5);
        auto sizes = sizesByPath(first.root);
        EXPECT_EQ(sizes[(tree() / "a/data.bin").string()], allocated(tree() / "a/data.bin"));
        EXPECT_EQ(sizes[(tree() / "b").string()], allocated(tree() / "b"));
        EXPECT_EQ(sizes[(deep / "p/deep.bin").string()], allocated(deep / "q/deep.bin"));
        EXPECT_EQ(sizes[(deep / "q/deep.bin").string()], 0);
        EXPECT_EQ(sizes[(tree() / "y/1/2/3/4/5/deep.bin").string()], 0);
        for (int again = 0; again < 5; ++again)
            EXPECT_EQ(sizesByPath(Scanner::scan(tree().string(), optionsWith(fanOut, 0)).root), sizes);
        // Dropped once it is too small to keep, as if it had never counted.
        EXPECT_EQ(Scanner::scan(tree().string(), optionsWith(fanOut)).root.find((tree() / "b").string()), nullptr);
    }
}

// Fan-out depth

TEST(ScanOptionsTest, FanOutParsesWholeDecimalNumbersOnly) {
    EXPECT_EQ(ScanOptions::parseFanOut("0"), 0);
    EXPECT_EQ(ScanOptions::parseFanOut("+7"), 7);
    EXPECT_EQ(ScanOptions::parseFanOut("-3"), -3);
    EXPECT_EQ(ScanOptions::parseFanOut("0012"), 12);
    EXPECT_EQ(ScanOptions::parseFanOut("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(ScanOptions::parseFanOut("-9223372036854775808"), INT64_MIN);
    for (const char* bad : {"", "+", "-", "abc", "4a", " 4", "4 ", "1.5", "1e3", "9223372036854775808", "0x10", "++1"})
        EXPECT_EQ(ScanOptions::parseFanOut(bad), std::nullopt) << bad;
}

TEST(ScanOptionsTest, DefaultsReadTheEnvironmentEachTime) {
    {
        ScopedEnv unset("OSTREVANE_FANOUT", std::nullopt);
        ScanOptions options;
        EXPECT_EQ(options.fanOutDepth, 4);
        EXPECT_EQ(options.minNodeSize, MiB);
        EXPECT_TRUE(options.excludes.empty());
    }
    {
        ScopedEnv set("OSTREVANE_FANOUT", "2");
        EXPECT_EQ(ScanOptions().fanOutDepth, 2);
    }
    for (const char* ignored : {"abc", ""}) {
        ScopedEnv set("OSTREVANE_FANOUT", std::string(ignored));
        EXPECT_EQ(ScanOptions().fanOutDepth, 4);
    }
}

TEST_F(ScannerTest, ZeroOrNegativeFanOutWalksTheWholeTreeAsOneWalk) {
    writeFile(tree() / "a" / "data.bin", 2 * MiB);
    fs::create_directories(tree() / "b");
    fs::create_hard_link(tree() / "a/data.bin", tree() / "b/data.bin");
    int64_t once = duTotal(tree());
    for (const char* value : {"0", "-5"}) {
        ScopedEnv set("OSTREVANE_FANOUT", std::string(value));
        EXPECT_EQ(Scanner::scan(tree().string()).root.size, once) << value;
    }
    ScopedEnv set("OSTREVANE_FANOUT", "abc");
    EXPECT_EQ(Scanner::scan(tree().string()).root.size, once);
}

// Modification dates

TEST_F(ScannerTest, FolderDatesFollowTheNewestFileElseTheFolderItself) {
    const time_t fileTime = 1600000000;
    const time_t folderTime = 1700000000;
    for (int64_t fanOut : {0, 4}) {
        SCOPED_TRACE(fanOut);
        fs::remove_all(tree());
        writeFile(tree() / "full" / "old.txt", 10);
        writeFile(tree() / "full" / "older.txt", 10);
        setTime(tree() / "full/old.txt", fileTime);
        setTime(tree() / "full/older.txt", fileTime - 500);
        setTime(tree() / "full", folderTime);
        fs::create_directories(tree() / "empty");
        setTime(tree() / "empty", folderTime + 1);
        writeFile(tree() / "ancient" / "epoch.txt", 10);
        setTime(tree() / "ancient/epoch.txt", 0);
        setTime(tree() / "ancient", folderTime + 2);

        // A minimum of 1 byte keeps every node, so each folder's date can be read.
        ScanResult result = Scanner::scan(tree().string(), optionsWith(fanOut, 1));
        EXPECT_EQ(secondsOf(result.root.find((tree() / "full").string())->modified), fileTime);
        EXPECT_EQ(secondsOf(result.root.find((tree() / "empty").string())->modified), folderTime + 1);
        EXPECT_EQ(secondsOf(result.root.find((tree() / "ancient").string())->modified), folderTime + 2);
        EXPECT_EQ(secondsOf(result.root.find((tree() / "full/old.txt").string())->modified), fileTime);
    }
}

TEST_F(ScannerTest, OnlyRegularFilesDateAFolderInsideAWalk) {
    writeFile(tree() / "f" / "file.txt", 10);
    fs::create_symlink("file.txt", tree() / "f/link");
    setTime(tree() / "f/file.txt", 1500000000);
    setTime(tree() / "f/link", 1650000000);

    ScanResult walked = Scanner::scan(tree().string(), optionsWith(0, 1));
    EXPECT_EQ(secondsOf(walked.root.find((tree() / "f").string())->modified), 1500000000);
    // At a read level every entry but a folder takes part.
    ScanResult read = Scanner::scan(tree().string(), optionsWith(4, 1));
    EXPECT_EQ(secondsOf(read.root.find((tree() / "f").string())->modified), 1650000000);
}

// Failures, cancellation, progress

TEST_F(ScannerTest, AMissingPathThrowsWithTheExpandedPath) {
    try {
        Scanner::scan("~/does/not/exist/");
        FAIL() << "no error";
    } catch (const OstrevaneError& error) {
        EXPECT_EQ(error.message, "Path doesn’t exist or can’t be accessed: " + home.home() + "/does/not/exist");
    }
}

TEST_F(ScannerTest, ACancelledTokenNeverYieldsAPartialResult) {
    writeFile(tree() / "a.txt", 10);
    auto token = std::make_shared<CancelToken>();
    token->cancel();
    for (int64_t fanOut : {0, 4}) {
        try {
            Scanner::scan(tree().string(), optionsWith(fanOut), token);
            FAIL() << "no error";
        } catch (const OstrevaneError& error) {
            EXPECT_EQ(error.message, "Scan cancelled");
        }
    }
}

TEST_F(ScannerTest, CancellingDuringAScanStopsItWithinABatch) {
    // One walk of more than one progress batch, and a read level with many folders.
    for (int i = 0; i < 9000; ++i) writeFile(tree() / "walk" / ("f" + std::to_string(i)), 0);
    writeFile(tree() / "levels" / "top", 0);
    for (int i = 0; i < 40; ++i) writeFile(tree() / "levels" / ("d" + std::to_string(i)) / "x", 0);
    for (auto [folder, fanOut] : {std::pair{"walk", 0}, std::pair{"levels", 4}}) {
        SCOPED_TRACE(folder);
        auto token = std::make_shared<CancelToken>();
        std::atomic<int64_t> lastFiles{0};
        auto cancelOnFirstReport = [&](const ScanProgress& progress) {
            lastFiles = progress.files;
            token->cancel();
        };
        EXPECT_THROW(Scanner::scan((tree() / folder).string(), optionsWith(fanOut), token, cancelOnFirstReport),
                     OstrevaneError);
        EXPECT_GT(lastFiles.load(), 0);
    }
    // The walk stopped at its first batch rather than reading all 9000 files.
    auto token = std::make_shared<CancelToken>();
    int64_t reports = 0;
    EXPECT_THROW(Scanner::scan((tree() / "walk").string(), optionsWith(0), token,
                               [&](const ScanProgress& progress) {
                                   ++reports;
                                   EXPECT_EQ(progress.files, 4096);
                                   token->cancel();
                               }),
                 OstrevaneError);
    EXPECT_EQ(reports, 1);
}

TEST_F(ScannerTest, ProgressIsThrottledAndNeverAheadOfTheResult) {
    for (int i = 0; i < 300; ++i) writeFile(tree() / ("d" + std::to_string(i)) / "file", 100);
    std::mutex lock;
    std::vector<ScanProgress> reports;
    ScanResult result = Scanner::scan(tree().string(), optionsWith(4), nullptr, [&](const ScanProgress& progress) {
        std::lock_guard guard(lock);
        reports.push_back(progress);
    });
    ASSERT_FALSE(reports.empty());
    // The first report comes at once; the folders are read in far less than 0.12 s each.
    EXPECT_LT(reports.size(), 300u);
    for (const auto& report : reports) {
        EXPECT_LE(report.files, result.root.fileCount);
        EXPECT_LE(report.bytes, result.root.size);
        EXPECT_TRUE(report.currentPath.starts_with(tree().string()));
    }
}

size_t openDescriptors() {
    size_t count = 0;
    for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::directory_iterator(); ++it) ++count;
    return count;
}

TEST_F(ScannerTest, DeepTreesAreWalkedWholeAndLeaveNoDescriptorOpen) {
    fs::path deepest = tree();
    for (int level = 0; level < 120; ++level) deepest /= "d" + std::to_string(level % 10);
    writeFile(deepest / "bottom.bin", 2 * MiB);
    for (int i = 0; i < 5000; ++i) writeFile(tree() / "flat" / ("f" + std::to_string(i)), 0);
    size_t before = openDescriptors();
    for (int64_t fanOut : {0, 4}) {
        ScanResult result = Scanner::scan(tree().string(), optionsWith(fanOut));
        EXPECT_EQ(result.root.fileCount, 5001);
        EXPECT_EQ(result.root.size, duTotal(tree()));
        EXPECT_NE(result.root.find((deepest / "bottom.bin").string()), nullptr);
    }
    auto token = std::make_shared<CancelToken>();
    EXPECT_THROW(Scanner::scan(tree().string(), optionsWith(0), token, [&](const ScanProgress&) { token->cancel(); }),
                 OstrevaneError);
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(ScannerTest, TreesDeeperThanPathMaxAreCountedWholeWithFewDescriptors) {
    // 300 levels of 21 characters: paths of up to 6,600 characters.
    DeepTree deep(tree(), 300, "a-folder-of-21-chars-", 5000);
    const int64_t expected = duBytes(tree());
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    struct rlimit low = saved;
    low.rlim_cur = 128;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    for (int64_t fanOut : {0, 4, 1000}) {
        SCOPED_TRACE(fanOut);
        ScanResult result = Scanner::scan(tree().string(), optionsWith(fanOut, 0));
        EXPECT_EQ(result.root.size, expected);
        EXPECT_EQ(result.root.fileCount, 300);
        EXPECT_EQ(result.inaccessibleCount, 0);
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);
}

// Unreadable, cloud-only, excluded and foreign folders

TEST_F(ScannerTest, UnreadableFoldersAreCountedWithASampleOfAHundred) {
    for (int i = 0; i < 150; ++i) writeFile(tree() / "locked" / ("d" + std::to_string(1000 + i)) / "secret", 2 * MiB);
    writeFile(tree() / "open" / "fine.bin", 2 * MiB);
    const std::string lockedPrefix = (tree() / "locked").string() + "/";
    fileSystem->canOpenFolder = [&](const std::string& path) { return !path.starts_with(lockedPrefix); };

    for (int64_t fanOut : {0, 1, 4}) {
        SCOPED_TRACE(fanOut);
        ScanResult result = Scanner::scan(tree().string(), optionsWith(fanOut));
        EXPECT_EQ(result.inaccessibleCount, 150);
        ASSERT_EQ(result.inaccessible.size(), 100u);
        EXPECT_TRUE(std::is_sorted(result.inaccessible.begin(), result.inaccessible.end()));
        EXPECT_EQ(result.root.fileCount, 1);
        const FileNode* locked = result.root.find((tree() / "locked").string());
        int64_t lockedSize = locked ? locked->size
                                    : result.root.size - allocated(tree()) - allocated(tree() / "open") -
                                          allocated(tree() / "open/fine.bin");
        // A walk keeps an unreadable folder's own allocation; a read level counts it as 0.
        int64_t ownAllocations = 0;
        for (int i = 0; i < 150; ++i) ownAllocations += allocated(tree() / "locked" / ("d" + std::to_string(1000 + i)));
        EXPECT_EQ(lockedSize, allocated(tree() / "locked") + (fanOut >= 2 ? 0 : ownAllocations));
    }
}

TEST_F(ScannerTest, AnUnreadableRootIsAnEmptyFolder) {
    writeFile(tree() / "x.bin", 2 * MiB);
    fileSystem->canOpenFolder = [&](const std::string& path) { return path != tree().string(); };
    ScanResult read = Scanner::scan(tree().string(), optionsWith(4));
    EXPECT_EQ(read.root.size, 0);
    EXPECT_EQ(read.inaccessibleCount, 1);
    EXPECT_EQ(read.inaccessible, std::vector<std::string>{tree().string()});
    ScanResult walked = Scanner::scan(tree().string(), optionsWith(0));
    EXPECT_EQ(walked.root.size, allocated(tree()));
    EXPECT_EQ(walked.root.fileCount, 0);
    EXPECT_EQ(walked.inaccessibleCount, 1);
}

TEST_F(ScannerTest, CloudOnlyFoldersAreListedSortedUpToTwoHundred) {
    for (int i = 0; i < 230; ++i) writeFile(tree() / "cloud" / ("c" + std::to_string(500 - i)) / "stub", 2 * MiB);
    writeFile(tree() / "local.bin", 2 * MiB);
    const std::string cloudPrefix = (tree() / "cloud").string() + "/";
    fileSystem->isCloudOnlyFolder = [&](const std::string& path) { return path.starts_with(cloudPrefix); };

    int64_t ownAllocations = 0;
    for (int i = 0; i < 230; ++i) ownAllocations += allocated(tree() / "cloud" / ("c" + std::to_string(500 - i)));
    for (int64_t fanOut : {0, 4}) {
        SCOPED_TRACE(fanOut);
        ScanResult result = Scanner::scan(tree().string(), optionsWith(fanOut));
        EXPECT_EQ(result.cloudOnly.size(), 200u);
        EXPECT_TRUE(std::is_sorted(result.cloudOnly.begin(), result.cloudOnly.end()));
        EXPECT_EQ(result.root.fileCount, 1);
        EXPECT_EQ(result.inaccessibleCount, 0);
        int64_t rest = allocated(tree()) + allocated(tree() / "cloud") + allocated(tree() / "local.bin");
        EXPECT_EQ(result.root.size, rest + (fanOut == 0 ? ownAllocations : 0));
    }
}

TEST_F(ScannerTest, ExcludedFoldersAreMatchedByWholePath) {
    writeFile(tree() / "keep" / "node_modules" / "a.bin", 2 * MiB);
    writeFile(tree() / "skip" / "node_modules" / "b.bin", 2 * MiB);
    for (int64_t fanOut : {0, 4}) {
        ScanOptions options = optionsWith(fanOut);
        options.excludes = {"~/tree/skip/node_modules/"};
        ScanResult result = Scanner::scan(tree().string(), options);
        EXPECT_EQ(result.root.fileCount, 1) << fanOut;
        EXPECT_EQ(result.root.find((tree() / "skip/node_modules").string()), nullptr);
        EXPECT_NE(result.root.find((tree() / "keep/node_modules/a.bin").string()), nullptr);
    }
}

/// A tmpfs mounted for one test, so a second device is at hand.
class ScopedTmpfs {
public:
    explicit ScopedTmpfs(const fs::path& where) : point(where) {
        fs::create_directories(point);
        mounted = ::mount("tmpfs", point.c_str(), "tmpfs", 0, "mode=0755") == 0;
    }
    ~ScopedTmpfs() {
        if (mounted) ::umount2(point.c_str(), MNT_DETACH);
    }
    bool isMounted() const { return mounted; }

private:
    fs::path point;
    bool mounted = false;
};

TEST_F(ScannerTest, OtherDevicesAreLeftOutAtReadLevelsAndNotEnteredByAWalk) {
    writeFile(tree() / "here.bin", 2 * MiB);
    ScopedTmpfs mount(tree() / "mnt");
    if (!mount.isMounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
    writeFile(tree() / "mnt" / "there.bin", 3 * MiB);

    ScanResult read = Scanner::scan(tree().string(), optionsWith(4));
    EXPECT_EQ(read.root.fileCount, 1);
    EXPECT_EQ(read.root.size, allocated(tree()) + allocated(tree() / "here.bin"));

    ScanResult walked = Scanner::scan(tree().string(), optionsWith(0));
    EXPECT_EQ(walked.root.fileCount, 1);
    EXPECT_EQ(walked.root.size, allocated(tree()) + allocated(tree() / "here.bin") + allocated(tree() / "mnt"));
}

TEST_F(ScannerTest, AWalkPassesOverAFolderMountedInsideItself) {
    writeFile(tree() / "file.bin", 2 * MiB);
    fs::create_directories(tree() / "inner" / "loop");
    if (::mount(tree().c_str(), (tree() / "inner/loop").c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "cannot bind-mount here";
    ScanResult walked = Scanner::scan(tree().string(), optionsWith(0));
    ::umount2((tree() / "inner/loop").c_str(), MNT_DETACH);
    EXPECT_EQ(walked.root.fileCount, 1);
}

// Tree operations

FileNode file(const std::string& path, int64_t size) {
    return FileNode{path.substr(path.rfind('/') + 1), path, false, size, 1, std::nullopt, std::nullopt};
}

FileNode folder(const std::string& path, std::vector<FileNode> children, int64_t extraSize = 0,
                int64_t extraFiles = 0) {
    int64_t size = extraSize;
    int64_t count = extraFiles;
    for (const auto& child : children) {
        size += child.size;
        count += child.fileCount;
    }
    std::string name = path == "/" ? "/" : path.substr(path.rfind('/') + 1);
    std::stable_sort(children.begin(), children.end(),
                     [](const FileNode& a, const FileNode& b) { return a.size > b.size; });
    return FileNode{name, path, true, size, count, std::nullopt, std::move(children)};
}

FileNode sampleTree() {
    return folder("/",
                  {folder("/Users", {folder("/Users/a", {file("/Users/a/x.bin", 30), file("/Users/a/y.bin", 20)}),
                                     folder("/Users/ab", {file("/Users/ab/z.bin", 40)}, 5, 1)}),
                   file("/swap", 60)},
                  7, 3);
}

TEST(FileTreeTest, FindFollowsTheFirstContainingChildOnly) {
    FileNode root = sampleTree();
    ASSERT_NE(root.find("/Users/ab/z.bin"), nullptr);
    EXPECT_EQ(root.find("/Users/ab/z.bin")->size, 40);
    EXPECT_EQ(root.find("/"), &root);
    EXPECT_EQ(root.find("/Users/a")->path, "/Users/a");
    // "/Users/a" is only a string prefix of "/Users/ab/..."; it must not be entered.
    EXPECT_EQ(root.find("/Users/ab")->path, "/Users/ab");
    EXPECT_EQ(root.find("/Users/a/missing"), nullptr);
    EXPECT_EQ(root.find("/Other"), nullptr);
    EXPECT_EQ(root.find("/Users/a/x.bin/inside"), nullptr);
    FileNode users = *root.find("/Users");
    EXPECT_EQ(users.find("/elsewhere"), nullptr);
}

TEST(FileTreeTest, RemovingLowersEveryAncestorAndResorts) {
    FileNode root = sampleTree();
    FileNode pruned = root.removing({"/Users/ab/z.bin", "/Users/a/y.bin"});
    EXPECT_EQ(pruned.size, root.size - 60);
    EXPECT_EQ(pruned.fileCount, root.fileCount - 2);
    const FileNode* users = pruned.find("/Users");
    EXPECT_EQ(users->size, 35);  // a: 30, ab: 5
    EXPECT_EQ(childNames(*users), (std::vector<std::string>{"a", "ab"}));
    EXPECT_EQ(pruned.find("/Users/ab")->size, 5);
    EXPECT_EQ(pruned.find("/Users/ab")->fileCount, 1);
    EXPECT_EQ(pruned.find("/Users/ab/z.bin"), nullptr);
    // "/swap" (60) now comes before the shrunken "/Users" (35).
    EXPECT_EQ(childNames(pruned), (std::vector<std::string>{"swap", "Users"}));

    FileNode shrunk = root.removing({"/Users/a"});
    EXPECT_EQ(childNames(*shrunk.find("/Users")), std::vector<std::string>{"ab"});
    EXPECT_EQ(shrunk.find("/Users")->fileCount, 2);
}

TEST(FileTreeTest, RemovingWhatIsNotThereChangesNothingAndNeverGoesNegative) {
    FileNode root = sampleTree();
    EXPECT_EQ(root.removing({"/Users/nobody", "/Users/a/x.bin/deeper", "/"}), root);
    EXPECT_EQ(root.removing({}), root);
    FileNode inconsistent{"t", "/t", true, 10, 1, std::nullopt, std::vector<FileNode>{file("/t/big", 50)}};
    FileNode emptied = inconsistent.removing({"/t/big"});
    EXPECT_EQ(emptied.size, 0);
    EXPECT_EQ(emptied.fileCount, 0);
    ASSERT_TRUE(emptied.children.has_value());
    EXPECT_TRUE(emptied.children->empty());
}

TEST(FileTreeTest, WalkVisitsLargestFirstAndSkipsRefusedSubtrees) {
    FileNode root = sampleTree();
    std::vector<std::string> visited;
    root.walk([&](const FileNode& node) {
        visited.push_back(node.path);
        return node.path != "/Users/ab";
    });
    EXPECT_EQ(visited, (std::vector<std::string>{"/", "/Users", "/Users/a", "/Users/a/x.bin", "/Users/a/y.bin",
                                                 "/Users/ab", "/swap"}));
}

TEST(FileTreeTest, LargestFilesFiltersWhileCollectingAndNeverEntersSmallSubtrees) {
    FileNode root = sampleTree();
    auto all = [](const FileNode&) { return true; };
    auto paths = [](const std::vector<FileNode>& nodes) {
        std::vector<std::string> result;
        for (const auto& node : nodes) result.push_back(node.path);
        return result;
    };
    EXPECT_EQ(paths(root.largestFiles(10, 0, all)),
              (std::vector<std::string>{"/swap", "/Users/ab/z.bin", "/Users/a/x.bin", "/Users/a/y.bin"}));
    EXPECT_EQ(paths(root.largestFiles(2, 0, all)), (std::vector<std::string>{"/swap", "/Users/ab/z.bin"}));
    EXPECT_TRUE(root.largestFiles(0, 0, all).empty());
    EXPECT_EQ(paths(root.largestFiles(10, 25, all)),
              (std::vector<std::string>{"/swap", "/Users/ab/z.bin", "/Users/a/x.bin"}));
    std::vector<std::string> asked;
    auto none = [&](const FileNode& node) {
        asked.push_back(node.path);
        return false;
    };
    EXPECT_TRUE(root.largestFiles(10, 50, none).empty());
    EXPECT_EQ(asked, std::vector<std::string>{"/swap"});
    // The filter counts before the limit.
    auto notSwap = [](const FileNode& node) { return node.path != "/swap"; };
    EXPECT_EQ(paths(root.largestFiles(1, 0, notSwap)), std::vector<std::string>{"/Users/ab/z.bin"});
}

TEST(FileTreeTest, JSONWritesAbsentFieldsAsMissingAndEmptyListsAsEmpty) {
    FileNode bare{"f", "/f", false, 1, 1, std::nullopt, std::nullopt};
    json written = bare;
    EXPECT_FALSE(written.contains("modified"));
    EXPECT_FALSE(written.contains("children"));
    EXPECT_EQ(written.get<FileNode>(), bare);

    FileNode empty{
        "d", "/d", true, 4096, 0, std::chrono::system_clock::from_time_t(1700000000), std::vector<FileNode>{}};
    json emptyWritten = empty;
    EXPECT_EQ(emptyWritten["children"], json::array());
    EXPECT_EQ(emptyWritten["modified"], "2023-11-14T22:13:20Z");
    EXPECT_EQ(emptyWritten.get<FileNode>(), empty);

    FileNode tree = sampleTree();
    EXPECT_EQ(json(tree).get<FileNode>(), tree);
}

TEST(FileTreeTest, JSONReadingRefusesMissingKeysAndWrongTypes) {
    json good = FileNode{"f", "/f", false, 1, 1, std::nullopt, std::nullopt};
    for (const char* key : {"name", "path", "isDirectory", "size", "fileCount"}) {
        json missing = good;
        missing.erase(key);
        EXPECT_ANY_THROW(missing.get<FileNode>()) << key;
    }
    for (auto [key, value] : std::vector<std::pair<const char*, json>>{{"size", 1.5},
                                                                       {"size", "12"},
                                                                       {"isDirectory", 1},
                                                                       {"fileCount", true},
                                                                       {"modified", "2023-11-14T22:13:20.5Z"},
                                                                       {"modified", "yesterday"},
                                                                       {"children", json::object()}}) {
        json wrong = good;
        wrong[key] = value;
        EXPECT_ANY_THROW(wrong.get<FileNode>()) << key << " " << value.dump();
    }
}

// Names and records

TEST_F(ScannerTest, NamesThatAreNotUTF8KeepTheirBytesAndStillEncode) {
    fs::create_directories(tree());
    std::string badName = std::string("caf\xe9-") + "\xff.bin";
    writeFile(tree() / badName, 2 * MiB);
    for (int64_t fanOut : {0, 4}) {
        ScanResult result = Scanner::scan(tree().string(), optionsWith(fanOut));
        ASSERT_EQ(result.root.children->size(), 1u);
        const FileNode& node = result.root.children->front();
        EXPECT_EQ(node.name, badName);
        EXPECT_EQ(node.path, tree().string() + "/" + badName);
        EXPECT_EQ(JSONOut::parse(JSONOut::encode(json(result)))["root"]["children"][0]["path"], node.path);
    }
}

TEST_F(ScannerTest, ReplacingTheRootKeepsEverythingElse) {
    writeFile(tree() / "a.bin", 2 * MiB);
    ScanResult result = Scanner::scan(tree().string(), optionsWith(4));
    FileNode other{"x", "/x", true, 5, 42, std::nullopt, std::vector<FileNode>{}};
    ScanResult replaced = result.replacingRoot(other);
    EXPECT_EQ(replaced.root, other);
    EXPECT_EQ(replaced.fileCount, 42);
    EXPECT_EQ(replaced.scannedAt, result.scannedAt);
    EXPECT_EQ(replaced.duration, result.duration);
    EXPECT_EQ(replaced.minNodeSize, result.minNodeSize);
}

TEST_F(ScannerTest, QuickSizeIsTheRootSizeOrZero) {
    writeFile(tree() / "a" / "b.bin", 300 * 1024);
    writeFile(tree() / "c.txt", 10);
    EXPECT_EQ(Scanner::quickSize(tree().string()), duTotal(tree()));
    EXPECT_EQ(Scanner::quickSize((tree() / "missing").string()), 0);
}

TEST_F(ScannerTest, ScanResultsRoundTripThroughJSON) {
    writeFile(tree() / "a" / "b.bin", 2 * MiB);
    fs::create_directories(tree() / "empty");
    ScanResult result = Scanner::scan(tree().string(), optionsWith(4, 1));
    result.scannedAt = std::chrono::floor<std::chrono::seconds>(result.scannedAt);
    result.inaccessible = {"/x"};
    result.inaccessibleCount = 3;
    result.cloudOnly = {"/y"};
    json document = result;
    for (const char* key : {"root", "scannedAt", "duration", "fileCount", "inaccessible", "inaccessibleCount",
                            "cloudOnly", "minNodeSize"})
        EXPECT_TRUE(document.contains(key)) << key;
    EXPECT_EQ(document.get<ScanResult>(), result);
    // The empty folder keeps its empty list; files have none.
    EXPECT_EQ(document["root"]["children"].size(), 2u);
    const FileNode* empty = result.root.find((tree() / "empty").string());
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->children.has_value());
}

}  // namespace
