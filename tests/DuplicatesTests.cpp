// The duplicate finder: what is read of a file, which files are compared,
// which form groups, and in what order the groups come back.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/evp.h>
#include <tbb/global_control.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <set>

#include "TestSupport.hpp"
#include "platform/FileReading.hpp"
#include "scan/Scanner.hpp"
#include "service/Duplicates.hpp"
#include "text/Localization.hpp"

using namespace testing_support;
using Service::DuplicateGroup;
using Service::DuplicateReport;

namespace {

constexpr size_t KiB = 1024;
constexpr size_t MiB = 1024 * KiB;

/// Bytes that differ from position to position, so that a slice taken from
/// the wrong place never matches by accident.
std::string patterned(size_t size, unsigned seed = 1) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::string withByteChanged(std::string bytes, size_t at) {
    bytes[at] = static_cast<char>(bytes[at] ^ 0x5a);
    return bytes;
}

std::string sha256Hex(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    std::string text;
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        text += pair;
    }
    return text;
}

std::string littleEndian(uint64_t value) {
    std::string bytes;
    for (int i = 0; i < 8; ++i, value >>= 8) bytes.push_back(static_cast<char>(value & 0xff));
    return bytes;
}

FileNode scanned(const fs::path& path) {
    ScanOptions options;
    options.minNodeSize = 0;
    return Scanner::scan(path.string(), options).root;
}

/// A hand-made tree, so that a test decides the sizes the finder sees.
FileNode fileNode(const fs::path& path, int64_t size) {
    return FileNode{path.filename().string(), path.string(), false, size, 1, std::nullopt, std::nullopt};
}
FileNode folderNode(const fs::path& path, std::vector<FileNode> children) {
    int64_t size = 0;
    int64_t count = 0;
    for (const auto& child : children) {
        size += child.size;
        count += child.fileCount;
    }
    return FileNode{path.filename().string(), path.string(), true, size, count, std::nullopt, std::move(children)};
}

std::set<std::vector<std::string>> pathSets(const DuplicateReport& report) {
    std::set<std::vector<std::string>> sets;
    for (const auto& group : report.groups) sets.insert(group.paths);
    return sets;
}

class DuplicatesTest : public HomeTest {
protected:
    ScopedHooks<FileReading::Hooks> reading;
    std::string at(const std::string& relative) { return home.path(relative).string(); }
    fs::path root() const { return fs::path(home.home()); }
    void write(const std::string& relative, const std::string& bytes) { writeText(home.path(relative), bytes); }
};

}  // namespace

TEST_F(DuplicatesTest, QuickFingerprintHashesLengthStartAndEnd) {
    std::string big = patterned(300 * KiB);
    std::string small = patterned(200 * KiB, 2);
    std::string boundary = patterned(256 * KiB, 3);
    write("big", big);
    write("small", small);
    write("boundary", boundary);
    write("empty", "");

    EXPECT_EQ(Service::fingerprint(at("big"), false),
              sha256Hex(littleEndian(big.size()) + big.substr(0, 128 * KiB) + big.substr(big.size() - 128 * KiB)));
    // At most 256 KiB: the length and the first 128 KiB, nothing of the end.
    EXPECT_EQ(Service::fingerprint(at("small"), false),
              sha256Hex(littleEndian(small.size()) + small.substr(0, 128 * KiB)));
    EXPECT_EQ(Service::fingerprint(at("boundary"), false),
              sha256Hex(littleEndian(boundary.size()) + boundary.substr(0, 128 * KiB)));
    EXPECT_EQ(Service::fingerprint(at("empty"), false), sha256Hex(littleEndian(0)));

    EXPECT_EQ(Service::fingerprint(at("big"), true), sha256Hex(big));
    EXPECT_EQ(Service::fingerprint(at("empty"), true),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Service::fingerprint(at("missing"), true), std::nullopt);
}

TEST_F(DuplicatesTest, LargeFilesHashWholeAcrossChunks) {
    std::string bytes = patterned(3 * MiB + 5);
    write("large", bytes);
    EXPECT_EQ(Service::fingerprint(at("large"), true), sha256Hex(bytes));
}

TEST_F(DuplicatesTest, WhereTwoFilesDifferDecidesQuickButNotVerifiedGroups) {
    // Pairs of one size, each pair with contents of its own, differing in one
    // byte at the place the name says.
    auto pair = [&](const std::string& folder, const std::string& bytes, std::optional<size_t> changedAt) {
        write(folder + "/a", bytes);
        write(folder + "/b", changedAt ? withByteChanged(bytes, *changedAt) : bytes);
    };
    const size_t small = 200 * KiB;  // no more than 256 KiB
    const size_t large = 1 * MiB + 3 * KiB;
    pair("small/start", patterned(small, 1), 10);
    pair("small/after-first-128k", patterned(small, 2), 150 * KiB);
    pair("large/start", patterned(large, 3), 0);
    pair("large/middle", patterned(large, 4), large / 2);
    pair("large/end", patterned(large, 5), large - 1);
    pair("large/same", patterned(large, 6), std::nullopt);

    for (const char* where : {"small", "large"}) {
        SCOPED_TRACE(where);
        FileNode tree = scanned(home.path(where));
        auto quick = Service::duplicates(tree, 0, false, 100);
        auto verified = Service::duplicates(tree, 0, true, 100);
        std::set<std::vector<std::string>> expectedQuick, expectedVerified;
        if (std::string(where) == "small") {
            expectedQuick = {{at("small/after-first-128k/a"), at("small/after-first-128k/b")}};
        } else {
            expectedQuick = {{at("large/middle/a"), at("large/middle/b")}, {at("large/same/a"), at("large/same/b")}};
            expectedVerified = {{at("large/same/a"), at("large/same/b")}};
        }
        EXPECT_EQ(pathSets(quick), expectedQuick);
        EXPECT_EQ(pathSets(verified), expectedVerified);
        for (const auto& group : quick.groups) EXPECT_FALSE(group.verified);
        for (const auto& group : verified.groups) EXPECT_TRUE(group.verified);
    }
}

TEST_F(DuplicatesTest, ThreeCopiesMakeOneGroupWithSortedPathsAndSizesFromTheTree) {
    std::string bytes = patterned(64 * KiB);
    write("docs/b", bytes);
    write("docs/a", bytes);
    write("docs/Z", bytes);
    write("docs/other", patterned(64 * KiB, 9));
    FileNode tree = folderNode(home.path("docs"),
                               {fileNode(home.path("docs/b"), 70000), fileNode(home.path("docs/a"), 70000),
                                fileNode(home.path("docs/other"), 70000), fileNode(home.path("docs/Z"), 70000)});
    for (bool verify : {false, true}) {
        auto report = Service::duplicates(tree, 0, verify, 10);
        ASSERT_EQ(report.groups.size(), 1u);
        const DuplicateGroup& group = report.groups[0];
        EXPECT_EQ(group.paths, (std::vector<std::string>{at("docs/Z"), at("docs/a"), at("docs/b")}));
        EXPECT_EQ(group.bytesEach, 70000);
        EXPECT_EQ(group.sizeEach, Fmt::bytes(70000));
        EXPECT_EQ(group.wastedBytes, 140000);
        EXPECT_EQ(group.wasted, Fmt::bytes(140000));
        EXPECT_EQ(group.verified, verify);
        EXPECT_EQ(report.path, at("docs"));
        EXPECT_EQ(report.totalWastedBytes, 140000);
        EXPECT_EQ(report.totalWasted, Fmt::bytes(140000));
    }
}

TEST_F(DuplicatesTest, IdenticalFilesWithDifferentBlockCountsFormOneGroup) {
    // The same bytes twice: written whole, and with a hole where the zeros are.
    const std::string start = patterned(512 * KiB), end = patterned(512 * KiB, 5);
    write("s/dense", start + std::string(2 * MiB, '\0') + end);
    int sparse = ::open(home.path("s/sparse").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(sparse, 0);
    ASSERT_EQ(::pwrite(sparse, start.data(), start.size(), 0), static_cast<ssize_t>(start.size()));
    ASSERT_EQ(::pwrite(sparse, end.data(), end.size(), start.size() + 2 * MiB), static_cast<ssize_t>(end.size()));
    ::close(sparse);
    FileNode tree = scanned(home.path("s"));
    const FileNode* small = tree.find(at("s/sparse"));
    ASSERT_NE(small, nullptr);
    ASSERT_LT(small->size, tree.find(at("s/dense"))->size) << "the file system filled the hole";
    for (bool verify : {false, true}) {
        auto report = Service::duplicates(tree, 0, verify, 10);
        ASSERT_EQ(report.groups.size(), 1u) << verify;
        EXPECT_EQ(report.groups[0].paths, (std::vector<std::string>{at("s/dense"), at("s/sparse")}));
        EXPECT_EQ(report.groups[0].bytesEach, small->size);
        // Keeping the sparse copy frees the dense one's blocks.
        EXPECT_EQ(report.totalWastedBytes, tree.find(at("s/dense"))->size);
    }
}

TEST_F(DuplicatesTest, SparseCopiesBelowTheScansFloorStillGroupWithTheirDenseCopies) {
    // An all-zero file with no blocks at all and its written-out copy; a disk
    // image with data at both ends, written out once and twice with holes.
    // The sparse ones hold less than the scan's 1 MiB floor, so the scanned
    // tree has no node for them.
    auto sparseFile = [&](const std::string& relative, size_t length,
                          const std::vector<std::pair<size_t, std::string>>& data) {
        fs::create_directories(home.path(relative).parent_path());
        int fd = ::open(home.path(relative).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        for (const auto& [offset, bytes] : data)
            ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
                      static_cast<ssize_t>(bytes.size()));
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(length)), 0);
        ::close(fd);
    };
    const size_t zerosLength = 6 * MiB, imageLength = 8 * MiB;
    const std::string head = patterned(200 * KiB, 7), tail = patterned(100 * KiB, 8);
    sparseFile("zeros/sparse", zerosLength, {});
    write("backup/zeros-dense", std::string(zerosLength, '\0'));
    std::string image = head + std::string(imageLength - head.size() - tail.size(), '\0') + tail;
    write("images/dense.img", image);
    sparseFile("images/sparse.img", imageLength, {{0, head}, {imageLength - tail.size(), tail}});
    sparseFile("old/sparse-copy.img", imageLength, {{0, head}, {imageLength - tail.size(), tail}});
    auto allocated = [&](const std::string& relative) {
        struct stat status {};
        ::stat(home.path(relative).c_str(), &status);
        return static_cast<int64_t>(status.st_blocks) * 512;
    };
    ASSERT_EQ(allocated("zeros/sparse"), 0) << "the file system filled the hole";
    ASSERT_LT(allocated("images/sparse.img"), int64_t(MiB));

    FileNode tree = Scanner::scan(home.home()).root;
    ASSERT_EQ(tree.find(at("zeros/sparse")), nullptr);
    for (int64_t minSize : {int64_t(0), int64_t(5 * MiB)}) {
        for (bool verify : {false, true}) {
            SCOPED_TRACE(testing::Message() << "verify " << verify << " minimum " << minSize);
            auto report = Service::duplicates(tree, minSize, verify, 10);
            ASSERT_EQ(pathSets(report),
                      (std::set<std::vector<std::string>>{
                          {at("backup/zeros-dense"), at("zeros/sparse")},
                          {at("images/dense.img"), at("images/sparse.img"), at("old/sparse-copy.img")}}));
            for (const auto& group : report.groups) {
                int64_t total = 0, smallest = INT64_MAX;
                for (const auto& path : group.paths) {
                    int64_t bytes = allocated(path.substr(home.home().size() + 1));
                    total += bytes;
                    smallest = std::min(smallest, bytes);
                }
                EXPECT_EQ(group.bytesEach, smallest);
                EXPECT_EQ(group.wastedBytes, total - smallest);
            }
        }
    }
}

TEST_F(DuplicatesTest, FilesDeeperThanPathMaxAreFound) {
    // 320 levels of 20-character names: the deepest paths are past 6,000 bytes.
    DeepTree deep(root(), 320, std::string(20, 'n'), 3000);
    ScanOptions options;
    options.minNodeSize = 0;
    FileNode tree = Scanner::scan(home.home(), options).root;
    for (bool verify : {false, true}) {
        SCOPED_TRACE(verify);
        auto report = Service::duplicates(tree, 0, verify, 10);
        ASSERT_EQ(report.groups.size(), 1u);
        EXPECT_EQ(report.groups[0].paths.size(), 320u);
        EXPECT_GT(report.groups[0].paths.back().size(), size_t(PATH_MAX));
    }
}

TEST_F(DuplicatesTest, PathsSortByCodePointAfterCanonicalNormalisation) {
    // "é" written precomposed and decomposed: byte order would put the
    // decomposed one ("e" + combining accent) first.
    std::string composedX = "\xC3\xA9x", decomposedY = "e\xCC\x81y";
    for (const auto& name : {composedX, decomposedY, std::string("f")}) write("n/" + name, "same");
    auto report = Service::duplicates(scanned(home.path("n")), 0, true, 10);
    ASSERT_EQ(report.groups.size(), 1u);
    EXPECT_EQ(report.groups[0].paths,
              (std::vector<std::string>{at("n/f"), at("n/" + composedX), at("n/" + decomposedY)}));
}

TEST_F(DuplicatesTest, FilesBelowTheMinimumAreNeitherCollectedNorRead) {
    std::string bytes = patterned(8 * KiB);
    write("d/a", bytes);
    write("d/b", bytes);
    FileNode tree = folderNode(home.path("d"),
                               {fileNode(home.path("d/a"), 10'000'000), fileNode(home.path("d/b"), 10'000'000)});
    std::atomic<int> opened = 0;  // files are read on several threads
    reading->canOpen = [&](const std::string&) {
        ++opened;
        return true;
    };
    EXPECT_TRUE(Service::duplicates(tree, 50'000'000, false, 10).groups.empty());
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(Service::duplicates(tree, 10'000'000, false, 10).groups.size(), 1u);
}

TEST_F(DuplicatesTest, EmptyFilesGroupWithNothingWasted) {
    write("e/one", "");
    write("e/two", "");
    std::string bytes = patterned(5000);
    write("e/x", bytes);
    write("e/y", bytes);
    FileNode tree = folderNode(home.path("e"), {fileNode(home.path("e/x"), 8192), fileNode(home.path("e/y"), 8192),
                                                fileNode(home.path("e/one"), 0), fileNode(home.path("e/two"), 0)});
    auto report = Service::duplicates(tree, 0, true, 10);
    ASSERT_EQ(report.groups.size(), 2u);
    EXPECT_EQ(report.groups[0].wastedBytes, 8192);
    EXPECT_EQ(report.groups[1].paths, (std::vector<std::string>{at("e/one"), at("e/two")}));
    EXPECT_EQ(report.groups[1].wastedBytes, 0);
    EXPECT_EQ(report.totalWastedBytes, 8192);
    // Any minimum above zero leaves them out.
    EXPECT_EQ(Service::duplicates(tree, 1, true, 10).groups.size(), 1u);
}

TEST_F(DuplicatesTest, HardLinksAndSymbolicLinksAreOneFileOnDisk) {
    std::string bytes = patterned(40 * KiB);
    write("left/original", bytes);
    fs::create_directories(home.path("right"));
    fs::create_hard_link(home.path("left/original"), home.path("right/link"));
    fs::create_symlink(home.path("left/original"), home.path("right/symlink"));
    // A scan whose parallel parts each met one of the links counts both at
    // full size; the finder must still see one file.
    FileNode linksOnly = folderNode(
        root(), {folderNode(home.path("left"), {fileNode(home.path("left/original"), 40960)}),
                 folderNode(home.path("right"),
                            {fileNode(home.path("right/link"), 40960), fileNode(home.path("right/symlink"), 40960)})});
    for (bool verify : {false, true}) {
        auto report = Service::duplicates(linksOnly, 0, verify, 10);
        EXPECT_TRUE(report.groups.empty());
        EXPECT_EQ(report.totalWastedBytes, 0);
    }

    // A real copy beside them is one duplicate, named by the first link met.
    write("copy", bytes);
    FileNode withCopy = linksOnly;
    withCopy.children->push_back(fileNode(home.path("copy"), 40960));
    for (bool verify : {false, true}) {
        auto report = Service::duplicates(withCopy, 0, verify, 10);
        ASSERT_EQ(report.groups.size(), 1u);
        EXPECT_EQ(report.groups[0].paths, (std::vector<std::string>{at("copy"), at("left/original")}));
        EXPECT_EQ(report.groups[0].wastedBytes, 40960);
    }

    // The scanner's own tree, where a later link counts as nothing.
    auto report = Service::duplicates(scanned(root()), 0, true, 10);
    ASSERT_EQ(report.groups.size(), 1u);
    EXPECT_EQ(report.groups[0].paths.size(), 2u);
    EXPECT_TRUE(std::count(report.groups[0].paths.begin(), report.groups[0].paths.end(), at("copy")));
}

TEST_F(DuplicatesTest, UnreadableFilesTakePartInNoGroup) {
    std::string bytes = patterned(300 * KiB);
    for (const char* name : {"u/a", "u/b", "u/c"}) write(name, bytes);
    write("v/a", patterned(300 * KiB, 2));
    write("v/b", patterned(300 * KiB, 2));
    std::string blocked = at("u/b");
    reading->canOpen = [&](const std::string& path) { return path != blocked && path != at("v/b"); };
    for (bool verify : {false, true}) {
        SCOPED_TRACE(verify);
        auto report = Service::duplicates(scanned(root()), 0, verify, 10);
        EXPECT_EQ(pathSets(report), (std::set<std::vector<std::string>>{{at("u/a"), at("u/c")}}));
        EXPECT_EQ(Service::fingerprint(blocked, verify), std::nullopt);
    }
}

TEST_F(DuplicatesTest, AFileThatFailsMidReadHasNoFingerprint) {
    // b and c agree up to 2.5 MiB and differ after it; both fail at 2 MiB, so
    // digests of what was read before the failure would match each other.
    std::string shared = patterned(3 * MiB, 4);
    std::string b = shared, c = withByteChanged(shared, 2 * MiB + MiB / 2);
    std::string a = patterned(3 * MiB, 5);
    write("m/a1", a);
    write("m/a2", a);
    write("m/b", b);
    write("m/c", c);
    reading->failsAtOffset = [&](const std::string& path) -> std::optional<int64_t> {
        if (path == at("m/b") || path == at("m/c")) return int64_t(2 * MiB);
        return std::nullopt;
    };
    auto verified = Service::duplicates(scanned(home.path("m")), 0, true, 10);
    EXPECT_EQ(pathSets(verified), (std::set<std::vector<std::string>>{{at("m/a1"), at("m/a2")}}));
    EXPECT_EQ(Service::fingerprint(at("m/b"), true), std::nullopt);

    // The quick fingerprint's read of the end fails the same way; the length
    // and the start alone would make b and c look alike.
    auto quick = Service::duplicates(scanned(home.path("m")), 0, false, 10);
    EXPECT_EQ(pathSets(quick), (std::set<std::vector<std::string>>{{at("m/a1"), at("m/a2")}}));
    EXPECT_EQ(Service::fingerprint(at("m/b"), false), std::nullopt);
}

TEST_F(DuplicatesTest, AFileWhoseStartCannotBeReadStillLeavesTheOthersGrouped) {
    std::string bytes = patterned(100 * KiB);
    for (const char* name : {"s/a", "s/b", "s/c"}) write(name, bytes);
    write("s/d", patterned(100 * KiB, 3));
    reading->failsAtOffset = [&](const std::string& path) -> std::optional<int64_t> {
        if (path == at("s/b")) return 0;
        if (path == at("s/d")) return 50 * KiB;  // past the start, before the end
        return std::nullopt;
    };
    auto report = Service::duplicates(scanned(home.path("s")), 0, true, 10);
    EXPECT_EQ(pathSets(report), (std::set<std::vector<std::string>>{{at("s/a"), at("s/c")}}));
}

TEST_F(DuplicatesTest, AFileChangedOnceItsBytesWereReadTakesPartInNoGroup) {
    // The old bytes of a still match b, but the path now holds something
    // else: trashing it as "a copy" would lose the new contents. One reader,
    // so files are read largest first: a and b, then c and d.
    tbb::global_control oneReader(tbb::global_control::max_allowed_parallelism, 1);
    auto replaceByRename = [&] {  // how editors and downloads save
        write("w/new", patterned(400 * KiB, 7));
        fs::rename(home.path("w/new"), home.path("w/a"));
    };
    auto writeInPlace = [&] {
        int fd = ::open(home.path("w/a").c_str(), O_WRONLY);
        EXPECT_EQ(::pwrite(fd, "!", 1, 10), 1);
        ::close(fd);
    };
    struct Case {
        const char* name;
        const char* whileOpening;  // a: while a is read; c: after a was read
        std::function<void()> change;
    };
    for (const Case& change : {Case{"replaced", "w/a", replaceByRename}, Case{"written", "w/c", writeInPlace}}) {
        for (bool verify : {false, true}) {
            SCOPED_TRACE(testing::Message() << change.name << " verify " << verify);
            for (const char* name : {"w/a", "w/b"}) write(name, patterned(400 * KiB, 9));
            for (const char* name : {"w/c", "w/d"}) write(name, patterned(100 * KiB, 10));
            // Written long ago, so the change's time cannot fall in the same clock tick.
            fs::last_write_time(home.path("w/a"), fs::file_time_type::clock::now() - std::chrono::hours(1));
            int openings = 0;
            const int changedAt = verify ? 2 : 1;  // verify first reads a sample of every file
            reading->failsAtOffset = [&](const std::string& path) -> std::optional<int64_t> {
                if (path == at(change.whileOpening) && ++openings == changedAt) change.change();
                return std::nullopt;
            };
            auto report = Service::duplicates(scanned(home.path("w")), 0, verify, 10);
            EXPECT_EQ(pathSets(report), (std::set<std::vector<std::string>>{{at("w/c"), at("w/d")}}));
        }
    }
}

TEST_F(DuplicatesTest, AStoredScanIsCheckedAgainstTheDiskNow) {
    // Every copy was alike when the tree was made; since then the paths have
    // changed in every way a user's files do.
    std::string bytes = patterned(300 * KiB, 8);
    const std::vector<std::string> names = {"a", "b", "gone", "pipe", "link", "edited", "grown"};
    for (const auto& name : names) write("t/" + name, bytes);
    FileNode stored = scanned(home.path("t"));
    fs::remove(home.path("t/gone"));
    fs::remove(home.path("t/pipe"));
    ASSERT_EQ(::mkfifo(home.path("t/pipe").c_str(), 0644), 0);
    fs::remove(home.path("t/link"));
    fs::create_symlink(home.path("t/a"), home.path("t/link"));
    write("t/edited", withByteChanged(bytes, 10 * KiB));
    write("t/grown", bytes + "x");
    for (bool verify : {false, true}) {
        SCOPED_TRACE(verify);
        auto report = Service::duplicates(stored, 0, verify, 10);
        EXPECT_EQ(pathSets(report), (std::set<std::vector<std::string>>{{at("t/a"), at("t/b")}}));
    }
}

TEST_F(DuplicatesTest, GroupsComeMostWastefulFirstAndTheLimitKeepsTheTotals) {
    // Content sizes are arbitrary; the tree's sizes decide the order.
    auto make = [&](const std::string& name, int copies, int64_t size, unsigned seed) {
        std::vector<FileNode> files;
        std::string bytes = patterned(1000 + seed, seed);
        for (int i = 0; i < copies; ++i) {
            std::string relative = name + "/" + std::to_string(i);
            write(relative, bytes);
            files.push_back(fileNode(home.path(relative), size));
        }
        return folderNode(home.path(name), std::move(files));
    };
    FileNode tree = folderNode(root(), {
                                           make("pair-small", 2, 100'000, 1),   // wastes 100,000
                                           make("trio", 3, 200'000, 2),         // wastes 400,000
                                           make("pair-large", 2, 400'000, 3),   // wastes 400,000
                                           make("pair-middle", 2, 250'000, 4),  // wastes 250,000
                                       });
    auto report = Service::duplicates(tree, 0, false, 10);
    std::vector<std::string> order;
    for (const auto& group : report.groups) order.push_back(fs::path(group.paths[0]).parent_path().filename());
    // Equal waste keeps the order groups were made in: larger copies first.
    EXPECT_EQ(order, (std::vector<std::string>{"pair-large", "trio", "pair-middle", "pair-small"}));
    EXPECT_EQ(report.totalWastedBytes, 1'150'000);

    auto limited = Service::duplicates(tree, 0, false, 2);
    ASSERT_EQ(limited.groups.size(), 2u);
    EXPECT_EQ(limited.groups[0], report.groups[0]);
    EXPECT_EQ(limited.groups[1], report.groups[1]);
    EXPECT_EQ(limited.totalWastedBytes, 1'150'000);

    auto none = Service::duplicates(tree, 0, false, 0);
    EXPECT_TRUE(none.groups.empty());
    EXPECT_EQ(none.totalWastedBytes, 1'150'000);
    EXPECT_EQ(none.totalWasted, Fmt::bytes(1'150'000));
}

TEST_F(DuplicatesTest, NoDuplicatesStillCarriesTheNote) {
    write("lonely/a", patterned(1000, 1));
    write("lonely/b", patterned(1000, 2));
    FileNode tree = scanned(home.path("lonely"));
    auto quick = Service::duplicates(tree, 0, false, 10);
    EXPECT_TRUE(quick.groups.empty());
    EXPECT_EQ(quick.totalWastedBytes, 0);
    EXPECT_EQ(quick.totalWasted, Fmt::bytes(0));
    EXPECT_EQ(
        quick.note,
        "Matched by size plus a fingerprint of the start and end, so almost certainly identical; add verify for a "
        "full-file check before deleting. Reflinked copies don\u2019t take extra space.");
    EXPECT_EQ(Service::duplicates(tree, 0, true, 10).note, "Whole files were verified with SHA-256.");
}

TEST_F(DuplicatesTest, BundlesLibrariesToolFoldersAndTrashesAreNotEntered) {
    std::string bytes = patterned(20 * KiB);
    const std::string uid = std::to_string(getuid());
    std::vector<std::string> hidden = {"Library/Caches/x1",
                                       "Library/Caches/x2",
                                       "Tools/Foo.APP/x",
                                       "Pictures/P.photoslibrary/x",
                                       "Music/M.MusicLibrary/x",
                                       "F.framework/x",
                                       "a.xcarchive/x",
                                       "proj/node_modules/pkg/x",
                                       "proj/.git/objects/x",
                                       ".local/share/Trash/files/x",
                                       "users/alice/.local/share/Trash/files/x",  // root searching every home
                                       "usb/.Trash-" + uid + "/files/x",
                                       "usb/.Trash/" + uid + "/files/x"};
    for (const auto& path : hidden) write(path, bytes);
    write("docs/a", bytes);
    write("docs/Library/b", bytes);  // only the home folder's own Library is passed over
    write("docs/app/c", bytes);      // a name without an extension
    FileNode tree = scanned(root());

    auto fromHome = Service::duplicates(tree, 0, true, 10);
    EXPECT_EQ(pathSets(fromHome),
              (std::set<std::vector<std::string>>{{at("docs/Library/b"), at("docs/a"), at("docs/app/c")}}));

    // Only the walk's own descent is pruned: a search that starts below a
    // pruned folder looks at everything there.
    auto belowLibrary = Service::duplicates(*tree.find(at("Library/Caches")), 0, true, 10);
    EXPECT_EQ(pathSets(belowLibrary),
              (std::set<std::vector<std::string>>{{at("Library/Caches/x1"), at("Library/Caches/x2")}}));
    for (const char* start : {"Library", "proj/node_modules", "Tools/Foo.APP"}) {
        SCOPED_TRACE(start);
        EXPECT_TRUE(Service::duplicates(*tree.find(at(start)), 0, true, 10).groups.empty());
    }

    // Sparse files, found on disk rather than in the tree, follow the same
    // rule: a search that starts at a pruned folder finds none of them either.
    for (const char* start :
         {"Library", ".local/share/Trash/files", "users/alice/.local/share/Trash/files", "proj/node_modules"}) {
        SCOPED_TRACE(start);
        for (const char* name : {"/hole1", "/hole2"}) {
            write(start + std::string(name), "");
            fs::resize_file(home.path(start + std::string(name)), 2 * MiB);
        }
        FileNode rescanned = scanned(root());
        EXPECT_TRUE(Service::duplicates(*rescanned.find(at(start)), 0, true, 10).groups.empty());
    }
}

TEST_F(DuplicatesTest, RecordsEncodeWithTheirFieldNames) {
    DuplicateReport report{"/h/docs",
                           {DuplicateGroup{4096, "4 KB", 8192, "8 KB", true, {"/h/docs/a", "/h/docs/b", "/h/docs/c"}}},
                           8192,
                           "8 KB",
                           "note"};
    json document = report;
    EXPECT_EQ(document.dump(),
              R"({"groups":[{"bytesEach":4096,"paths":["/h/docs/a","/h/docs/b","/h/docs/c"],"sizeEach":"4 KB",)"
              R"("verified":true,"wasted":"8 KB","wastedBytes":8192}],"note":"note","path":"/h/docs",)"
              R"("totalWasted":"8 KB","totalWastedBytes":8192})");
    EXPECT_EQ(document.get<DuplicateReport>(), report);
    document["groups"][0].erase("verified");
    EXPECT_ANY_THROW(document.get<DuplicateReport>());
}
