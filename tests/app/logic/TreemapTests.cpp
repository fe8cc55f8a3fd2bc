#include <gtest/gtest.h>

#include "MapTrees.hpp"
#include "maps/TreemapPainter.hpp"

using namespace map_trees;

namespace {
const TreemapCell& cellWithID(const std::vector<TreemapCell>& cells, const std::string& id) {
    for (const TreemapCell& cell : cells)
        if (cell.id == id) return cell;
    throw std::runtime_error("no cell " + id);
}

Point centre(const TreemapCell& cell) { return {cell.rect.midX(), cell.rect.midY()}; }

// /r holds the folder a (a folder x, a file y and small files) and the file b.
std::vector<TreemapCell> sampleCells() {
    FileNode x = folder("/r/a/x", files("/r/a/x", {400}));
    FileNode a = folder("/r/a", {x, file("/r/a/y", 300)}, 200);
    return Treemap::cells(shared(folder("/r", {a, file("/r/b", 600)})), Treemap::layoutRect({620, 420}));
}
}  // namespace

TEST(TreemapLayout, FramesFoldersOnlyAboveTheThresholds) {
    const auto node = shared(folder("/r", {folder("/r/a", files("/r/a", {600, 400}))}));
    struct Case {
        double width, height;
        bool framed;
    };
    // The box is the rectangle less 2 points on every side.
    for (const Case& c : {Case{114, 200, false}, Case{114.5, 200, true}, Case{300, 84, false}, Case{300, 84.5, true}}) {
        const std::vector<TreemapCell> cells = Treemap::cells(node, Rect(0, 0, c.width, c.height));
        ASSERT_FALSE(cells.empty());
        EXPECT_EQ(cells[0].framed, c.framed) << c.width << "x" << c.height;
        EXPECT_EQ(cells.size(), c.framed ? 3u : 1u);
    }
    EXPECT_TRUE(Treemap::cells(shared(folder("/r", {})), Rect(0, 0, 600, 400)).empty());
    // A box 3 points wide after the inset gets no cell.
    EXPECT_TRUE(Treemap::cells(node, Rect(0, 0, 7, 400)).empty());
}

TEST(TreemapLayout, ShadesAndFills) {
    const std::vector<std::pair<std::vector<int64_t>, std::vector<double>>> cases{
        {{500}, {0}}, {{500, 400}, {0, 1}}, {{500, 400, 300, 200, 100}, {0, 0.25, 0.5, 0.75, 1}}};
    for (const auto& [sizes, shades] : cases) {
        const auto node = shared(folder("/r", {folder("/r/a", files("/r/a", sizes))}));
        const std::vector<TreemapCell> cells = Treemap::cells(node, Rect(0, 0, 600, 400));
        ASSERT_EQ(cells.size(), shades.size() + 1);
        const Swatch base = Theme::data()[0];
        for (size_t j = 0; j < shades.size(); ++j) {
            const TreemapCell& nested = cells[j + 1];
            EXPECT_DOUBLE_EQ(nested.shade, shades[j]);
            EXPECT_EQ(nested.rank, 0);
            EXPECT_EQ(nested.id, "/r/a›/r/a/f" + std::to_string(j));
            EXPECT_DOUBLE_EQ(TreemapPainter::swatch(nested).green, base.green * (1 - shades[j] * 0.42));
        }
        const Swatch framed = TreemapPainter::swatch(cells[0]);
        EXPECT_DOUBLE_EQ(framed.red, 0.13);
        EXPECT_NEAR(framed.green, 0.128909, 1e-6);
        EXPECT_NEAR(framed.blue, 0.126180, 1e-6);
    }
    const std::vector<TreemapCell> cells = sampleCells();
    const TreemapCell& rest = cellWithID(cells, "/r/a›/r/a/…");
    EXPECT_TRUE(rest.remainder);
    EXPECT_DOUBLE_EQ(TreemapPainter::swatch(rest).blue, Theme::data()[rest.rank.value()].blue * 0.38);
    EXPECT_EQ(TreemapPainter::swatch(cellWithID(cells, "/r/b")), Theme::data()[cellWithID(cells, "/r/b").rank.value()]);
}

TEST(TreemapPointer, HitPriorityTargetsAndTaps) {
    const std::vector<TreemapCell> cells = sampleCells();
    const TreemapCell& a = cellWithID(cells, "/r/a");
    ASSERT_TRUE(a.framed);
    const Point band{a.rect.minX() + 6, a.rect.minY() + 10};
    const Point nestedX = centre(cellWithID(cells, "/r/a›/r/a/x"));
    const Point nestedY = centre(cellWithID(cells, "/r/a›/r/a/y"));
    const Point nestedRest = centre(cellWithID(cells, "/r/a›/r/a/…"));
    const Point b = centre(cellWithID(cells, "/r/b"));
    const Point margin{3, 3};
    const std::string xID = "/r/a›/r/a/x";

    auto idAt = [&](Point p) -> std::string {
        auto index = Treemap::hit(p, cells);
        return index ? cells[*index].id : "none";
    };
    EXPECT_EQ(idAt(nestedX), xID);
    EXPECT_EQ(idAt(band), "/r/a");
    EXPECT_EQ(idAt(margin), "none");
    EXPECT_EQ(idAt({a.rect.maxX(), a.rect.midY()}), idAt({a.rect.maxX() + 0.01, a.rect.midY()}));  // max is exclusive
    EXPECT_EQ(idAt({a.rect.minX(), band.y}), "/r/a");

    struct TargetCase {
        Point at;
        std::optional<std::string> current, expected;
    };
    const TargetCase targets[] = {
        {band, xID, xID},  // the label band keeps the nested cell
        {band, std::nullopt, "/r/a"},
        {band, "/r/b", "/r/a"},
        {b, xID, "/r/b"},
        {margin, xID, xID},  // gaps and margins keep whatever was hovered
        {margin, std::nullopt, std::nullopt},
        {nestedY, xID, "/r/a›/r/a/y"},
    };
    for (const TargetCase& t : targets) EXPECT_EQ(Treemap::target(t.at, cells, t.current), t.expected);

    auto opened = [&](Point p) -> std::string {
        NodeRef node = Treemap::tap(p, cells);
        return node ? node->path : "none";
    };
    EXPECT_EQ(opened(nestedX), "/r/a/x");
    EXPECT_EQ(opened(nestedY), "/r/a");
    EXPECT_EQ(opened(nestedRest), "/r/a");
    EXPECT_EQ(opened(band), "/r/a");
    EXPECT_EQ(opened(b), "none");
    EXPECT_EQ(opened(margin), "none");

    EXPECT_EQ(Treemap::hovered(cells, xID), 1u);
    EXPECT_EQ(Treemap::hovered(cells, "gone"), std::nullopt);
}

TEST(TreemapPainter, LabelThresholdsAndHoverInk) {
    struct Case {
        double width, height;
        bool framed;
        size_t runs;
        bool oneLine;
    };
    const Case cases[] = {
        {41.9, 60, false, 0, false}, {42, 60, false, 2, false}, {80, 20, false, 0, false}, {80, 20.5, false, 2, true},
        {80, 39, false, 2, true},    {80, 40, false, 2, false}, {80, 40, true, 2, true},
    };
    for (const Case& c : cases) {
        TreemapCell cell{"/r/a", nullptr, "a", 2000, Rect(10, 10, c.width, c.height), 0, false, c.framed, 0, 0};
        const TreemapDrawing drawing = TreemapPainter::draw(cell, false, measure);
        ASSERT_EQ(drawing.label.size(), c.runs) << c.width << "x" << c.height;
        if (!c.runs) continue;
        const MapText& name = drawing.label[0];
        const MapText& size = drawing.label[1];
        EXPECT_EQ(name.baseline.x, 18);
        EXPECT_EQ(name.baseline.y, 15 + 11 * 0.75);
        if (c.oneLine) {
            EXPECT_EQ(size.text, "  2 KB");
            EXPECT_EQ(size.baseline.y, name.baseline.y);
            EXPECT_EQ(size.baseline.x, 18 + measure("a", name.style).width);
        } else {
            EXPECT_EQ(size.text, "2 KB");
            EXPECT_EQ(size.baseline, (Point{18, 30 + 10 * 0.75}));
        }
        EXPECT_EQ(size.color.opacity, 0.65);
    }
    TreemapCell plain{"/r/a", nullptr, "a", 2000, Rect(10, 10, 100, 60), 0, false, false, 0, 0};
    const TreemapDrawing rest = TreemapPainter::draw(plain, false, measure);
    EXPECT_EQ(rest.label[0].color, Theme::ink);
    EXPECT_FALSE(rest.outline);
    const TreemapDrawing hover = TreemapPainter::highlight(plain, measure);
    EXPECT_EQ(hover.fill, MapColors::paperTone(0.045));
    EXPECT_EQ(hover.outline, MapColors::lifted(Theme::data()[0]));
    EXPECT_EQ(hover.label[0].color, Theme::paper);

    TreemapCell framed = plain;
    framed.framed = true;
    const TreemapDrawing outline = TreemapPainter::highlight(framed, measure);
    EXPECT_FALSE(outline.fill);
    EXPECT_TRUE(outline.label.empty());
    EXPECT_EQ(outline.outline, MapColors::lifted(Theme::data()[0]));
}

TEST(TreemapPainter, LabelsGiveUpTheSizeThenCutTheNameByClusterAndAlwaysFit) {
    const std::string e = "e\xCC\x81";  // e and a combining acute: one cluster, two code points
    std::string accents;
    for (int i = 0; i < 10; ++i) accents += e;
    struct Case {
        double width, height;
        std::string label;
        std::vector<std::string> texts;  // empty: no label
    };
    const std::vector<Case> cases{
        {42, 30, "a", {"a"}},                          // one line: no room for the size beside the name
        {80, 30, "abcdefghij", {"abcdefghij"}},        // the size goes before the name is cut
        {60, 30, "abcdefghij", {"abcdefg…"}},          // n = int(48 * 10 / 55) - 1
        {60, 60, "abcdefghij", {"abcdefg…", "2 KB"}},  // two lines: the size keeps its own line
        {72, 30, "WWaaaaaaaa", {"WWa…"}},              // the estimate is lowered until the cut text fits
        {60, 30, accents, {e + e + e + "…"}},          // cut by cluster, not code point
        {42, 60, "WWWW", {}},                          // not even two clusters fit
    };
    for (const Case& c : cases) {
        TreemapCell cell{"/r/a", nullptr, c.label, 2000, Rect(10, 10, c.width, c.height), 0, false, false, 0, 0};
        const TreemapDrawing drawing = TreemapPainter::draw(cell, false, measure);
        std::vector<std::string> texts;
        for (const MapText& run : drawing.label) {
            texts.push_back(run.text);
            EXPECT_LE(run.baseline.x + measure(run.text, run.style).width, cell.rect.maxX() - 4) << run.text;
        }
        EXPECT_EQ(texts, c.texts) << c.label << " in " << c.width << "x" << c.height;
    }
}

TEST(TreemapPainter, AHoveredCellWithNothingDrawnInsideKeepsItsGroundColour) {
    const NodeRef folderNode = shared(folder("/r/a", files("/r/a", {400})));
    const NodeRef fileNode = shared(file("/r/b", 400));
    struct Case {
        NodeRef node;
        int level;
        bool dark;
    };
    const Case cases[] = {
        {folderNode, 0, false},  // a folder too small to frame its children
        {folderNode, 1, false},  // a nested folder
        {fileNode, 1, false},    // a nested file lights up as the Voronoi map's nested cells do
        {fileNode, 0, true},     // a top-level file has nothing inside
        {nullptr, 0, true},      // nor has the remainder
    };
    for (const Case& c : cases) {
        TreemapCell cell{"/r/a", c.node, "a", 2000, Rect(10, 10, 100, 60), c.level, !c.node, false, 0.8, 2};
        const TreemapDrawing hover = TreemapPainter::highlight(cell, measure);
        const Swatch ground = MapItem::swatch(2);
        EXPECT_EQ(hover.fill, c.dark ? MapColors::paperTone(0.045) : ground) << c.level;
        EXPECT_EQ(hover.outline, MapColors::lifted(ground));
        EXPECT_EQ(hover.label.at(0).color, Theme::labelColor(*hover.fill));
    }
}
