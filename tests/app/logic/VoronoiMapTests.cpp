#include <gtest/gtest.h>

#include "MapTrees.hpp"
#include "maps/VoronoiPainter.hpp"

using namespace map_trees;

namespace {
PointList square(double minX, double minY, double maxX, double maxY) {
    return {{minX, minY}, {maxX, minY}, {maxX, maxY}, {minX, maxY}};
}

MapItem item(const FileNode& node, std::optional<int> rank) {
    return {node.path, shared(node), node.name, node.size, rank};
}

VoronoiChild child(MapItem item, PointList cell) {
    const Point center = Polygon::centroid(cell);
    return {std::move(item), std::move(cell), center};
}

// Blob 0: the folder /r/a, its folder x on the left and its file y on the
// right with a gap between; blob 1: the file /r/b, 10 points to the right.
std::vector<VoronoiBlob> sampleBlobs() {
    VoronoiBlob a{item(folder("/r/a", {}), 0), square(0, 0, 200, 200), {100, 100}, {}};
    a.children = {child(item(folder("/r/a/x", {}), 0), square(10, 10, 95, 190)),
                  child(item(file("/r/a/y", 10), 1), square(105, 10, 190, 190))};
    VoronoiBlob b{item(file("/r/b", 10), 1), square(210, 0, 310, 200), {260, 100}, {}};
    return {a, b};
}
}  // namespace

TEST(VoronoiLayout, SizesCellsAndNesting) {
    const FileNode a = folder("/r/a", files("/r/a", {3000, 2000}));
    const FileNode b = folder("/r/b", files("/r/b", {2500}));
    const auto node = shared(folder("/r", {a, b, file("/r/c", 2000)}, 500));
    EXPECT_TRUE(VoronoiMap::build(node, {120, 400}).empty());
    EXPECT_TRUE(VoronoiMap::build(node, {400, 120}).empty());
    EXPECT_TRUE(VoronoiMap::build(shared(folder("/r", {})), {600, 400}).empty());
    EXPECT_EQ(VoronoiMap::build(node, {121, 121}).size(), 4u);

    const std::vector<VoronoiBlob> blobs = VoronoiMap::build(node, {600, 400});
    ASSERT_EQ(blobs.size(), 4u);
    std::map<std::string, size_t> children;
    for (const VoronoiBlob& blob : blobs) {
        children[blob.item.id] = blob.children.size();
        for (const Point& p : blob.cell) {
            EXPECT_GE(p.x, 12 + 3.5 - 1e-9);
            EXPECT_LE(p.y, 400 - 12 - 3.5 + 1e-9);
        }
    }
    // Only a folder with at least two nested items is subdivided.
    EXPECT_EQ(children, (std::map<std::string, size_t>{{"/r/a", 2}, {"/r/b", 0}, {"/r/c", 0}, {"/r/…", 0}}));
}

TEST(VoronoiLabel, FittingThresholds) {
    using LS = VoronoiPainter::LabelSize;
    const std::string e = "e\xCC\x81";
    std::string accents;
    for (int i = 0; i < 10; ++i) accents += e;
    struct Case {
        double width, height;  // of the cell; room is 20 and 12 less
        std::string label;
        LS size;
        std::string name;  // empty: no label at all
        size_t runs;
        double fontSize;
    };
    const Case cases[] = {
        {49.9, 100, "abcdefghij", LS::byRoom, "", 0, 0},
        {50, 26.9, "abcdefghij", LS::byRoom, "", 0, 0},
        {50, 27, "abcdefghij", LS::byRoom, "abcd…", 1, 11.5},  // n = int(30 * 10 / 57.5) - 1
        {76, 50, "abcdefghij", LS::byRoom, "abcdefgh…", 2, 11.5},
        {75.9, 50, "abcdefghij", LS::byRoom, "abcdefgh…", 1, 11.5},
        {76, 49.9, "abcdefghij", LS::byRoom, "abcdefgh…", 1, 11.5},
        {110, 50, "abcdefghij", LS::byRoom, "abcdefghij", 2, 11.5},
        {111, 50, "abcdefghij", LS::byRoom, "abcdefghij", 2, 13},
        {190, 50, "abcdefghij", LS::byRoom, "abcdefghij", 2, 13},
        {191, 50, "abcdefghij", LS::byRoom, "abcdefghij", 2, 15},
        {191, 50, "abcdefghij", LS::nested, "abcdefghij", 2, 10.5},
        {50, 27, "WWWW", LS::byRoom, "", 0, 0},                       // n would be 0: neither name nor size
        {80, 27, accents, LS::byRoom, e + e + e + e + "…", 1, 11.5},  // cut by cluster, not code point
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        SCOPED_TRACE(c.height);
        const MapItem it{"/r/x", nullptr, c.label, 2000, 0};
        const std::vector<MapText> runs = VoronoiPainter::label(
            square(100 - c.width / 2, 100 - c.height / 2, 100 + c.width / 2, 100 + c.height / 2), {100, 100}, it,
            c.size, Theme::ink, measure);
        ASSERT_EQ(runs.size(), c.runs);
        if (runs.empty()) continue;
        EXPECT_EQ(runs[0].text, c.name);
        EXPECT_EQ(runs[0].style.size, c.fontSize);
        EXPECT_EQ(runs[0].style.weight, MapFont::Weight::bold);
        if (runs.size() == 2) {
            EXPECT_EQ(runs[1].text, "2 KB");
        }
    }
}

TEST(VoronoiLabel, PlacesLinesAroundTheLabelPoint) {
    const MapItem it{"/r/x", nullptr, "ab", 2000, 0};
    // The centre sits left of the span's midpoint: the label goes halfway between.
    const std::vector<MapText> two = VoronoiPainter::label(square(0, 0, 200, 100), {90, 50}, it,
                                                           VoronoiPainter::LabelSize::nested, Theme::paper, measure);
    ASSERT_EQ(two.size(), 2u);
    const double f = 10.5;
    EXPECT_DOUBLE_EQ(two[0].baseline.x, 95 - measure("ab", two[0].style).width / 2);
    EXPECT_DOUBLE_EQ(two[0].baseline.y, 50 - 0.55 * f - 0.5 * f + 0.75 * f);
    EXPECT_DOUBLE_EQ(two[1].baseline.y, 50 + 0.75 * f - 0.5 * (f - 2) + 0.75 * (f - 2));
    EXPECT_EQ(two[1].style, (MapFont{f - 2, MapFont::Weight::regular, true}));
    EXPECT_EQ(two[1].color, (ThemeColor{Theme::paper.rgb, 0.72}));
    const std::vector<MapText> one = VoronoiPainter::label(square(0, 0, 200, 40), {90, 20}, it,
                                                           VoronoiPainter::LabelSize::nested, Theme::paper, measure);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_DOUBLE_EQ(one[0].baseline.y, 20 - 0.5 * f + 0.75 * f);
    // A line through the centre that misses the polygon gives no label.
    EXPECT_TRUE(VoronoiPainter::label(square(0, 0, 200, 100), {90, 150}, it, VoronoiPainter::LabelSize::nested,
                                      Theme::paper, measure)
                    .empty());
}

TEST(VoronoiPointer, HoverKeepsItsPlaceInGaps) {
    const std::vector<VoronoiBlob> blobs = sampleBlobs();
    using H = std::optional<MapHover>;
    struct Case {
        Point at;
        H current, expected;
    };
    const Case cases[] = {
        {{40, 100}, std::nullopt, MapHover{0, 0}},
        {{100, 100}, MapHover{0, 1}, MapHover{0, 1}},  // gap between nested cells keeps the lit child
        {{100, 100}, std::nullopt, MapHover{0, std::nullopt}},
        {{100, 100}, MapHover{1, std::nullopt}, MapHover{0, std::nullopt}},
        {{205, 100}, MapHover{0, 1}, MapHover{0, 1}},  // gap between blobs keeps the hover
        {{205, 100}, std::nullopt, std::nullopt},
        {{260, 100}, MapHover{0, 1}, MapHover{1, std::nullopt}},
    };
    for (const Case& c : cases) EXPECT_EQ(VoronoiMap::hit(c.at, blobs, c.current), c.expected) << c.at.x;

    auto opened = [&](Point p) -> std::string {
        NodeRef node = VoronoiMap::tap(p, blobs);
        return node ? node->path : "none";
    };
    EXPECT_EQ(opened({40, 100}), "/r/a/x");
    EXPECT_EQ(opened({150, 100}), "/r/a");  // a nested file opens the folder holding it
    EXPECT_EQ(opened({100, 100}), "/r/a");
    EXPECT_EQ(opened({260, 100}), "none");
    EXPECT_EQ(opened({205, 100}), "none");
}

TEST(VoronoiPointer, MotionFocusAndPill) {
    using H = std::optional<MapHover>;
    const std::tuple<H, H, std::optional<MapMotion::Animation>> motions[] = {
        {std::nullopt, std::nullopt, std::nullopt},        {MapHover{0, 1}, MapHover{0, 1}, std::nullopt},
        {std::nullopt, MapHover{0, 1}, MapMotion::swap},   {MapHover{0, 1}, std::nullopt, MapMotion::swap},
        {MapHover{0, 1}, MapHover{1, 1}, MapMotion::swap}, {MapHover{0, 1}, MapHover{0, std::nullopt}, MapMotion::step},
    };
    for (const auto& [from, to, animation] : motions) EXPECT_EQ(VoronoiMap::motion(from, to), animation);

    const std::vector<VoronoiBlob> blobs = sampleBlobs();
    EXPECT_FALSE(VoronoiMap::focus(blobs, MapHover{2, std::nullopt}));
    EXPECT_FALSE(VoronoiMap::focus(blobs, std::nullopt));
    const auto stale = VoronoiMap::focus(blobs, MapHover{1, 0});
    ASSERT_TRUE(stale);
    EXPECT_FALSE(stale->child);
    EXPECT_EQ(VoronoiMap::pillItem(blobs, *stale).id, "/r/b");
    EXPECT_EQ(VoronoiMap::pillItem(blobs, *VoronoiMap::focus(blobs, MapHover{0, 1})).id, "/r/a/y");
}

TEST(VoronoiPainter, ClosedOpenAndLit) {
    std::vector<VoronoiBlob> blobs = sampleBlobs();
    blobs[0].children[1].item.node = nullptr;  // make y stand for a remainder
    const Swatch colour = Theme::data()[0];

    const VoronoiDrawing closed = VoronoiPainter::closed(blobs[0], measure);
    ASSERT_EQ(closed.shapes.size(), 1u);
    EXPECT_TRUE(closed.clip.empty());
    EXPECT_EQ(closed.shapes[0].fill, colour);
    EXPECT_EQ(closed.shapes[0].label.at(0).color, Theme::ink);

    const VoronoiDrawing open = VoronoiPainter::open(blobs[0], measure);
    EXPECT_EQ(open.clip, blobs[0].cell);
    ASSERT_EQ(open.shapes.size(), 3u);
    EXPECT_EQ(open.shapes[0].fill, colour);
    EXPECT_TRUE(open.shapes[0].label.empty());
    EXPECT_EQ(open.shapes[1].fill, MapColors::grey(0.045));
    EXPECT_EQ(open.shapes[2].fill, MapColors::grey(0.16));
    EXPECT_EQ(open.shapes[1].radius, 13);
    EXPECT_EQ(open.shapes[1].label.at(0).color, Theme::paper);

    const VoronoiDrawing alone = VoronoiPainter::open(blobs[1], measure);
    ASSERT_EQ(alone.shapes.size(), 1u);
    EXPECT_EQ(alone.shapes[0].fill, MapColors::grey(0.045));
    EXPECT_EQ(alone.shapes[0].stroke, MapColors::lifted(Theme::data()[1]));
    EXPECT_EQ(alone.shapes[0].strokeWidth, 1.6);
    EXPECT_EQ(alone.shapes[0].label.at(0).color, Theme::paper);

    const VoronoiDrawing lit = VoronoiPainter::lit(blobs[0], 0, measure);
    EXPECT_EQ(lit.clip, blobs[0].cell);
    ASSERT_EQ(lit.shapes.size(), 1u);
    EXPECT_EQ(lit.shapes[0].polygon, blobs[0].children[0].cell);
    EXPECT_EQ(lit.shapes[0].stroke, colour);
    EXPECT_EQ(lit.shapes[0].strokeWidth, 1.5);
    EXPECT_EQ(lit.shapes[0].label.at(0).color, Theme::ink);
}
