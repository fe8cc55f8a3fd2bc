#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <set>

#include "maps/TerrainModel.hpp"
#include "maps/TerrainNoise.hpp"

namespace {

using namespace std::chrono_literals;

const Date now = Date{} + 24h * 20000;

FileNode file(const std::string& path, int64_t size, std::optional<Date> modified = std::nullopt) {
    FileNode node;
    node.name = path.substr(path.rfind('/') + 1);
    node.path = path;
    node.size = size;
    node.fileCount = 1;
    node.modified = modified;
    return node;
}

FileNode folder(const std::string& path, std::vector<FileNode> children, std::optional<Date> modified = std::nullopt) {
    FileNode node = file(path, 0, modified);
    node.isDirectory = true;
    for (const FileNode& child : children) node.size += child.size;
    node.children = std::move(children);
    return node;
}

std::shared_ptr<const FileNode> shared(FileNode node) { return std::make_shared<const FileNode>(std::move(node)); }

std::vector<double> flat(double height) { return std::vector<double>(TerrainModel::sampleCount, height); }
std::vector<int> sea() { return std::vector<int>(TerrainModel::sampleCount, -1); }
size_t at(int col, int row) { return size_t(row * TerrainModel::gridSize + col); }

}  // namespace

TEST(TerrainNoise, MatchesReferenceValues) {
    // Reference values from an independent implementation of the same lattice.
    const struct {
        double x, y, expected;
    } cases[] = {{0, 0, -1.0},
                 {1, 0, -0.1106431677729458},
                 {0.5, 0.5, -0.3818036163881895},
                 {-3.25, 7.75, 0.05919970006485098},
                 {123.4, -56.7, -0.26932219644464417},
                 {1000000.3, -1999999.1, 0.7674364698802985},
                 {-3999999999999.5, 3000000000000.25, -0.027659361409933747}};
    for (const auto& c : cases) EXPECT_NEAR(TerrainNoise::value(c.x, c.y), c.expected, 1e-12) << c.x << "," << c.y;
}

TEST(TerrainNoise, TreeSeedsAreAFixedHashOfTheId) {
    EXPECT_EQ(TerrainNoise::fnv1a(""), 0xcbf29ce484222325u);
    EXPECT_EQ(TerrainNoise::fnv1a("a"), 0xaf63dc4c8601ec8cu);
    uint64_t state = TerrainNoise::seed("/home/u/Library", 3);
    EXPECT_EQ(state, 14979648947514349814u);
    EXPECT_EQ(TerrainNoise::next(state), 16292683225971699271u);
}

TEST(TerrainModel, PeaksRunFrom18To186) {
    EXPECT_EQ(TerrainModel::peak(1000, 1000), 186);
    EXPECT_EQ(TerrainModel::peak(1, 1000000), 18);
    EXPECT_EQ(TerrainModel::peak(250, 1000), 102);  // 7.5 rounds away from zero to 8

    // Built: the tallest sample of each mountain is its peak give or take the noise.
    FileNode root = folder("/r", {file("/r/big", 1000000), file("/r/mid", 400000), file("/r/small", 9500)});
    TerrainModel model(shared(root), now);
    ASSERT_EQ(model.regions.size(), 3u);
    std::vector<double> tallest(3, 0);
    for (size_t i = 0; i < model.heights.size(); ++i)
        if (model.owners[i] >= 0)
            tallest[size_t(model.owners[i])] = std::max(tallest[size_t(model.owners[i])], model.heights[i]);
    EXPECT_NEAR(tallest[0], 186, 9.61);
    EXPECT_NEAR(tallest[2], 18, 9.61);
    const Point summit = model.regions[0].summit;
    EXPECT_DOUBLE_EQ(model.height(summit), tallest[0]);
}

TEST(TerrainModel, EmptyFolderIsAllSea) {
    TerrainModel model(shared(folder("/r", {})), now);
    EXPECT_TRUE(model.regions.empty());
    EXPECT_TRUE(model.levels.empty());
    EXPECT_TRUE(model.trees.empty());
    for (size_t i = 0; i < model.heights.size(); ++i) ASSERT_TRUE(model.heights[i] == 0 && model.owners[i] == -1);
}

TEST(TerrainModel, CoastFollowsTheWarpNotTheCell) {
    TerrainModel model(shared(folder("/r", {file("/r/only", 5000)})), now);
    ASSERT_EQ(model.regions.size(), 1u);
    int seaInside = 0;
    std::set<int> coastColumns;
    for (int row = 0; row < TerrainModel::gridSize; ++row) {
        for (int col = 0; col < TerrainModel::gridSize; ++col) {
            const bool inside = model.regions[0].shape.distance({col * 5.0, row * 5.0}) > 0;
            if (inside && model.owners[at(col, row)] < 0) ++seaInside;
            if (model.owners[at(col, row)] >= 0) {
                if (row > 20 && row < 108) coastColumns.insert(col);
                break;
            }
        }
    }
    EXPECT_GT(seaInside, 0);
    EXPECT_GT(coastColumns.size(), 2u);  // a wavy western coast
    EXPECT_EQ(model.owner({-50, 320}), model.owner({0, 320}));
}

TEST(TerrainContours, FullCellsMergeIntoOneRectanglePerRun) {
    std::vector<double> heights = flat(0);
    for (int col = 3; col <= 6; ++col) heights[at(col, 0)] = heights[at(col, 1)] = 20;
    for (int col = 0; col <= 128; ++col) heights[at(col, 10)] = heights[at(col, 11)] = 20;
    const TerrainModel::Level level = TerrainContours::level(heights, sea(), 12);
    const PointList run{{15, 0}, {30, 0}, {30, 5}, {15, 5}}, wholeRow{{0, 50}, {640, 50}, {640, 55}, {0, 55}};
    int rectangles = 0;
    for (const PointList& fill : level.fills) rectangles += (fill == run) + (fill == wholeRow);
    EXPECT_EQ(rectangles, 2);
}

TEST(TerrainContours, SaddleCellGivesSixPointsAndTwoLines) {
    std::vector<double> heights = flat(0);
    std::vector<int> owners = sea();
    heights[at(0, 0)] = heights[at(1, 1)] = 20;
    owners[at(1, 1)] = 2;  // corner 0 of the first cell is sea
    const TerrainModel::Level level = TerrainContours::level(heights, owners, 12);
    ASSERT_FALSE(level.fills.empty());
    EXPECT_EQ(level.fills[0], (PointList{{0, 0}, {2, 0}, {5, 3}, {5, 5}, {3, 5}, {0, 2}}));
    ASSERT_GE(level.lines.size(), 3u);
    const auto near = [](Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y) < 1e-9; };
    EXPECT_TRUE(near(level.lines[0].a, {2, 0}) && near(level.lines[0].b, {5, 3}));
    EXPECT_TRUE(near(level.lines[1].a, {3, 5}) && near(level.lines[1].b, {0, 2}));
    EXPECT_EQ(level.lines[0].owner, -1);
    EXPECT_EQ(level.lines[2].owner, 2);  // the next cell's first inside corner is owned
}

TEST(TerrainContours, OutlineCoversExactlyTheFills) {
    const FileNode home = folder("/h", {folder("/h/a", {file("/h/a/x", 500000), file("/h/a/y", 300000)}),
                                        file("/h/b", 400000), file("/h/c", 100000)});
    const TerrainModel model(shared(home), now);
    ASSERT_GT(model.levels.size(), 5u);
    std::vector<double> border = flat(0);  // land along the edge, with a notch, and an islet
    for (int i = 0; i < TerrainModel::gridSize; ++i) border[at(i, 0)] = border[at(0, i)] = border[at(i, 1)] = 20;
    border[at(60, 60)] = border[at(61, 60)] = 20;
    border[at(5, 0)] = 0;
    for (const auto& [heights, height] : {std::pair{model.heights, 12.0}, {model.heights, 60.0}, {border, 12.0}}) {
        double fills = 0, loops = 0;
        for (const PointList& fill : TerrainContours::level(heights, sea(), height).fills) fills += Polygon::area(fill);
        for (const PointList& loop : TerrainContours::outline(heights, height)) loops += Polygon::signedArea(loop);
        EXPECT_NEAR(std::abs(loops), fills, 1e-6 * fills) << height;
    }
}

TEST(TerrainContours, LevelsStopAtTheFirstEmptyOneAndAt17) {
    std::vector<double> heights = flat(0);
    heights[at(64, 64)] = 30;
    EXPECT_EQ(TerrainContours::levels(heights, sea()).size(), 2u);
    heights[at(64, 64)] = 1000;
    EXPECT_EQ(TerrainContours::levels(heights, sea()).size(), 17u);
    EXPECT_TRUE(TerrainContours::levels(flat(11.99), sea()).empty());
}

TEST(TerrainModel, StaleFrom180WholeDays) {
    const struct {
        std::optional<Date> modified;
        bool stale;
    } cases[] = {{std::nullopt, false},
                 {now - 24h * 179, false},
                 {now - 24h * 180 + 1s, false},
                 {now - 24h * 180, true},
                 {now + 24h * 400, false}};
    for (const auto& c : cases) {
        FileNode node = file("/x", 1, c.modified);
        EXPECT_EQ(isStale(&node, now), c.stale);
    }
    EXPECT_FALSE(isStale(nullptr, now));
}

TEST(TerrainModel, StaleFoldersGrowTheSameForestEveryTime) {
    const Date old = now - 24h * 400, fresh = now - 24h * 3;
    auto home = [&] {
        return folder("/h", {folder("/h/Old", {file("/h/Old/a", 600000, old), file("/h/Old/b", 300000, old)}, old),
                             file("/h/new", 700000, fresh)});
    };
    TerrainModel first(shared(home()), now), second(shared(home()), now);
    ASSERT_FALSE(first.trees.empty());
    ASSERT_EQ(first.trees.size(), second.trees.size());
    for (size_t i = 0; i < first.trees.size(); ++i) {
        EXPECT_EQ(first.trees[i].position, second.trees[i].position);
        EXPECT_EQ(first.trees[i].size, second.trees[i].size);
        EXPECT_GT(first.regions[0].shape.distance(first.trees[i].position), 4);  // only on the stale folder
        EXPECT_GE(first.trees[i].size, 8);
        EXPECT_LT(first.trees[i].size, 13);
        if (i > 0) {
            EXPECT_LE(first.trees[i - 1].position.x + first.trees[i - 1].position.y,
                      first.trees[i].position.x + first.trees[i].position.y);
        }
    }
}
