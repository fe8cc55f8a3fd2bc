#include <gtest/gtest.h>

#include <chrono>

#include "maps/TerrainScene.hpp"
#include "text/Localization.hpp"

namespace {

using namespace std::chrono_literals;

std::vector<double> flat(double height) { return std::vector<double>(TerrainModel::sampleCount, height); }
size_t at(int col, int row) { return size_t(row * TerrainModel::gridSize + col); }

TerrainModel::Region region(const std::string& name, int64_t bytes, Point summit, bool directory = true) {
    FileNode node;
    node.name = name;
    node.path = "/r/" + name;
    node.size = bytes;
    node.isDirectory = directory;
    return {{node.path, std::make_shared<const FileNode>(node), name, bytes, 0}, {}, summit};
}

TextBox measure(const std::string&, const MapFont& font) {
    return font == TerrainScene::nameFont ? TextBox{60, 11, 3} : TextBox{40, 9, 3};
}

/// A canvas no label reaches the edge of.
const Rect unbounded(-1e5, -1e5, 2e5, 2e5);

}  // namespace

TEST(IsoProjection, FitsTheIslandAndKeepsAMinimumScale) {
    const TerrainModel bare(flat(0), std::vector<int>(TerrainModel::sampleCount, -1), {});
    const IsoProjection small = IsoProjection::fit(bare, {10, 10});
    EXPECT_DOUBLE_EQ(small.scale, 0.1);
    EXPECT_DOUBLE_EQ(small.origin.x, 5);
    // Without levels the island is fitted as if it had one.
    const IsoProjection exact = IsoProjection::fit(bare, {1148.48, 800});
    EXPECT_NEAR(exact.scale, 1, 1e-12);
    EXPECT_NEAR(exact.origin.y, 12 + (800 - 710) * 0.5 + 16, 1e-9);
}

TEST(IsoProjection, RayOntoACliffFindsTheTerraceAboveIt) {
    // A wall 60 high in front of low ground; the pointer rests on its front face.
    std::vector<double> heights = flat(0);
    std::vector<int> owners(TerrainModel::sampleCount, -1);
    for (int col = 40; col <= 88; ++col)
        for (int row = 84; row <= 88; ++row) heights[at(col, row)] = 60, owners[at(col, row)] = 0;
    const TerrainModel wall(heights, owners, {region("Wall", 10, {320, 430})});
    ASSERT_EQ(wall.levels.size(), 5u);
    const IsoProjection projection{{0, 0}, 1};
    const Point face = projection.project({320, 440}, 30);
    const std::optional<Point> hit = projection.surface(face, wall, 0);
    ASSERT_TRUE(hit);
    EXPECT_EQ(wall.terrace(*hit), 60);
    EXPECT_NEAR(hit->y, 440, 1e-9);
    EXPECT_EQ(TerrainScene::regionAt(wall, projection, face), 0);
    ASSERT_NE(TerrainScene::openTarget(wall, projection, face), nullptr);
    EXPECT_EQ(TerrainScene::openTarget(wall, projection, face)->path, "/r/Wall");
    EXPECT_FALSE(TerrainScene::regionAt(wall, projection, projection.project({100, 100}, 0)));
    EXPECT_TRUE(projection.hidden(projection.project({320, 400}, 0), 0, wall));  // ground behind the wall
}

TEST(TerrainScene, LabelsRejectOverlapsAndKeepTheLargest) {
    std::vector<TerrainModel::Region> regions{region("a", 100, {100, 100}), region("b", 90, {110, 110}),
                                              region("c", 80, {400, 100}), region("rest", 500, {300, 300})};
    regions[3].item.node.reset();  // the remainder is never labelled
    const TerrainModel model(flat(0), std::vector<int>(TerrainModel::sampleCount, -1), regions);
    const std::vector<TerrainLabel> labels = TerrainScene::labels(model, {{0, 0}, 1}, measure, unbounded);
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[0].region, 0);
    EXPECT_EQ(labels[1].region, 2);
    // Centred on the summit, bottom 18 above it.
    EXPECT_NEAR(labels[0].box.midX(), 0, 1e-9);
    EXPECT_NEAR(labels[0].box.maxY(), 100 - 18, 1e-9);
    EXPECT_EQ(labels[0].box.width(), 68);
    EXPECT_EQ(labels[0].box.height(), 28);
}

TEST(TerrainScene, AtMostTwelveLabels) {
    std::vector<TerrainModel::Region> regions;
    for (int i = 0; i < 14; ++i) regions.push_back(region("r" + std::to_string(i), i + 1, {i * 45.0, 640 - i * 45.0}));
    const TerrainModel model(flat(0), std::vector<int>(TerrainModel::sampleCount, -1), regions);
    const std::vector<TerrainLabel> labels = TerrainScene::labels(model, {{0, 0}, 2}, measure, unbounded);
    ASSERT_EQ(labels.size(), 12u);
    EXPECT_EQ(labels.front().region, 13);
    EXPECT_EQ(labels.back().region, 2);
}

TEST(TerrainScene, AHiddenSummitIsLabelledWhereItsMountainShows) {
    // A small wall hides the summit of the big region behind it; its flanks
    // beside the wall stay in sight.
    std::vector<double> heights = flat(0);
    std::vector<int> owners(TerrainModel::sampleCount, -1);
    for (int col = 40; col <= 88; ++col)
        for (int row = 84; row <= 88; ++row) heights[at(col, row)] = 60, owners[at(col, row)] = 0;
    for (int col = 10; col <= 118; ++col)
        for (int row = 60; row <= 80; ++row) owners[at(col, row)] = 1;
    const TerrainModel model(heights, owners, {region("wall", 10, {320, 430}), region("big", 1000, {320, 400})});
    const IsoProjection projection{{0, 0}, 1};
    ASSERT_TRUE(projection.hidden(projection.project({320, 400}, 0), 0, model));
    const std::vector<TerrainLabel> labels = TerrainScene::labels(model, projection, measure, unbounded);
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels[0].region, 1);
    EXPECT_FALSE(projection.hidden(labels[0].anchor, 0, model));
}

TEST(TerrainScene, LabelsStayInsideTheCanvasAndTreesGiveWayToThem) {
    // Summits at the island's top and right corners, on the canvas's edges:
    // every label's plate ends up inside.
    std::vector<TerrainModel::Region> regions{region("a", 100, {0, 0}), region("b", 90, {640, 0})};
    const TerrainModel model(flat(0), std::vector<int>(TerrainModel::sampleCount, -1), regions);
    const IsoProjection projection{{300, 20}, 0.5};
    const Point right = projection.project({640, 0}, 0), bottom = projection.project({640, 640}, 0);
    const Rect canvas(0, 0, right.x + 5, bottom.y + 5);
    const std::vector<TerrainLabel> labels = TerrainScene::labels(model, projection, measure, canvas);
    ASSERT_EQ(labels.size(), 2u);
    for (const TerrainLabel& label : labels) {
        EXPECT_GE(label.box.minX() - 5, canvas.minX()) << label.name;
        EXPECT_GE(label.box.minY() - 4, canvas.minY()) << label.name;
        EXPECT_LE(label.box.maxX() + 5, canvas.maxX()) << label.name;
        EXPECT_LE(label.box.maxY() + 4, canvas.maxY()) << label.name;
    }
    const TerrainHighlight lit = *TerrainScene::highlight(model, projection, 0, measure, canvas);
    EXPECT_GE(lit.plate.minY(), canvas.minY());

    const TerrainTreeGlyph under = TerrainScene::tree({labels[0].box.midX(), labels[0].box.maxY() + 4}, 10);
    const TerrainTreeGlyph clear = TerrainScene::tree({labels[0].box.midX(), labels[0].box.maxY() + 60}, 10);
    const std::vector<TerrainTreeGlyph> kept = TerrainScene::clearOf({under, clear}, labels);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].trunk.minY(), clear.trunk.minY());
}

TEST(TerrainScene, IdleTextBoundaries) {
    const Date now = Date{} + 24h * 1000;
    const struct {
        std::optional<Date> modified;
        std::optional<std::string> text;
    } cases[] = {{std::nullopt, std::nullopt},
                 {now, L("今天改动过")},
                 {now - 24h + 1s, L("今天改动过")},
                 {now - 24h, L("%@ 天未改动", 1)},
                 {now - 24h * 200, L("%@ 天未改动", 200)}};
    for (const auto& c : cases) {
        FileNode node;
        node.modified = c.modified;
        EXPECT_EQ(TerrainScene::idleText(&node, now), c.text);
    }
    EXPECT_EQ(TerrainScene::idleText(nullptr, now), std::nullopt);
}
