#include <gtest/gtest.h>

#include "TestSupport.hpp"
#include "pages/UsageSegments.hpp"

namespace {
FileNode folder(const std::string& path, int64_t size, std::vector<FileNode> children = {}) {
    return {Paths::lastComponent(path), path, true, size, 1, std::nullopt, std::move(children)};
}

ScanResult scanOf(int64_t size, std::vector<FileNode> children) {
    ScanResult scan;
    scan.root = folder("/home/u", size, std::move(children));
    return scan;
}

VolumeInfo volumeUsing(int64_t used) {
    VolumeInfo volume;
    volume.usedBytes = used;
    volume.totalBytes = 2000;
    return volume;
}

std::vector<std::pair<std::string, int64_t>> idsAndBytes(const std::vector<UsageSegment>& segments) {
    std::vector<std::pair<std::string, int64_t>> result;
    for (const auto& segment : segments) result.emplace_back(segment.id, segment.bytes);
    return result;
}
}  // namespace

TEST(UsageSegments, SplitsTheHomeAndPutsTheSystemLast) {
    testing_support::ScopedHome home;
    ScanResult scan = scanOf(300, {
                                      folder("/home/u/Library", 100, {folder("/home/u/Library/Mobile Documents", 30)}),
                                      folder("/home/u/Downloads", 50),
                                      folder("/home/u/Documents", 50),
                                      folder("/home/u/.cache", 20),
                                      {".zshrc", "/home/u/.zshrc", false, 5, 1, std::nullopt, std::nullopt},
                                      folder("/home/u/Movies", 10),
                                      folder("/home/u/Pictures", 10),
                                  });
    auto segments = UsageSegments::segments(volumeUsing(1000), &scan);
    // Ties (downloads, documents) keep the table's order; other = 300 - 245.
    std::vector<std::pair<std::string, int64_t>> expected{{"library", 70},   {"other", 55},  {"downloads", 50},
                                                          {"documents", 50}, {"icloud", 30}, {"tools", 25},
                                                          {"media", 20},     {"system", 700}};
    EXPECT_EQ(idsAndBytes(segments), expected);
    EXPECT_TRUE(segments.back().hatched);
    EXPECT_EQ(segments[5].path, "/home/u");  // dot entries open the home itself
    EXPECT_EQ(segments[6].path, "/home/u/Movies");
}

TEST(UsageSegments, EdgeCasesOfTheSplit) {
    testing_support::ScopedHome home;
    auto none = UsageSegments::segments(volumeUsing(900), nullptr);
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0].id, "used");
    EXPECT_EQ(none[0].bytes, 900);
    EXPECT_FALSE(none[0].path);

    // Without Library there is neither library nor icloud; a home larger than
    // the used space gives no system share, and other never goes negative.
    ScanResult scan = scanOf(100, {folder("/home/u/Downloads", 150)});
    EXPECT_EQ(idsAndBytes(UsageSegments::segments(volumeUsing(50), &scan)),
              (std::vector<std::pair<std::string, int64_t>>{{"downloads", 150}}));
}

TEST(UsageSegments, BarWidthsKeepAMinimumAndMayOverflow) {
    std::vector<UsageSegment> segments(3);
    segments[0].bytes = 1000;
    segments[1].bytes = 1;
    segments[2].bytes = 0;
    auto widths = UsageSegments::barWidths(segments, 1000, 303, 1);
    EXPECT_DOUBLE_EQ(widths[0], 300);
    EXPECT_DOUBLE_EQ(widths[1], 5);
    EXPECT_DOUBLE_EQ(widths[2], 5);
    EXPECT_DOUBLE_EQ(UsageSegments::freeWidth(widths, 303, 1), -10);
    // A total of 0 divides by 1.
    EXPECT_DOUBLE_EQ(UsageSegments::barWidths({segments[1]}, 0, 11, 1)[0], 10);
    UsageSegment system;
    system.hatched = true;
    EXPECT_FALSE(UsageSegments::showsLabel(system, 500));
    EXPECT_FALSE(UsageSegments::showsLabel(segments[0], 74));
    EXPECT_TRUE(UsageSegments::showsLabel(segments[0], 74.5));
}

// A Linux home: XDG folders and sandboxed apps' data are app data, except
// the tools' own folders inside them; videos are media; user folders follow
// user-dirs.dirs; there is no iCloud share.
TEST(UsageSegments, ALinuxHomeSplitsByXDGAndUserFolders) {
    testing_support::ScopedHome home;
    testing_support::writeText(home.path(".config/user-dirs.dirs"), "XDG_DOWNLOAD_DIR=\"$HOME/下载\"\n");
    const std::string h = home.home();
    ScanResult scan;
    scan.root = folder(
        h, 1000,
        {
            folder(h + "/.cache", 100),
            folder(h + "/.local", 210,
                   {folder(h + "/.local/share", 200,
                           {folder(h + "/.local/share/containers", 80), folder(h + "/.local/share/Trash", 20)})}),
            folder(h + "/.config", 30),
            folder(h + "/.var", 40),
            folder(h + "/snap", 50),
            folder(h + "/.rustup", 60),
            folder(h + "/go", 10),
            folder(h + "/miniconda3", 20),
            folder(h + "/Android", 30),
            folder(h + "/.ssh", 5),
            folder(h + "/Videos", 70),
            folder(h + "/Music", 15),
            folder(h + "/下载", 90),
            folder(h + "/Projects", 25),
        });
    auto segments = UsageSegments::segments(volumeUsing(1000), &scan);
    // library: 100 + (200 - 80) + 30 + 40 + 50; tools: 60 + 10 + 20 + 30 + 80 + 5 + the 10 of .local
    // outside share; other: 1000 less everything claimed.
    std::vector<std::pair<std::string, int64_t>> expected{
        {"library", 340}, {"other", 270}, {"tools", 215}, {"downloads", 90}, {"media", 85}};
    EXPECT_EQ(idsAndBytes(segments), expected);
    EXPECT_EQ(segments[3].path, h + "/下载");
    EXPECT_EQ(segments[4].path, h + "/Videos");
}

// Applications that predate the XDG folders (browsers, mail, games,
// runtimes) keep their data in hidden folders of the home: app data, while
// any other hidden folder stays a tool's.
TEST(UsageSegments, ApplicationFoldersOlderThanXDGAreAppData) {
    testing_support::ScopedHome home;
    const std::string h = home.home();
    for (const char* app : {".mozilla", ".thunderbird", ".steam", ".wine", ".zoom", ".java", ".minecraft"}) {
        SCOPED_TRACE(app);
        ScanResult scan;
        scan.root = folder(h, 100, {folder(h + "/" + app, 60), folder(h + "/.npm", 30)});
        EXPECT_EQ(idsAndBytes(UsageSegments::segments(volumeUsing(100), &scan)),
                  (std::vector<std::pair<std::string, int64_t>>{{"library", 60}, {"tools", 30}, {"other", 10}}));
    }
}
