#include <gtest/gtest.h>

#include "MapTrees.hpp"
#include "TestSupport.hpp"
#include "maps/Graphemes.hpp"
#include "maps/LayoutCache.hpp"
#include "maps/MapHover.hpp"
#include "maps/MapItem.hpp"
#include "maps/MapMotion.hpp"
#include "maps/MapPill.hpp"
#include "maps/VoronoiMap.hpp"
#include "text/Localization.hpp"

using namespace map_trees;

namespace {
struct Expected {
    std::string id;
    int64_t bytes;
    std::optional<int> rank;
};

void expectItems(const std::vector<MapItem>& items, const std::vector<Expected>& expected) {
    ASSERT_EQ(items.size(), expected.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].id, expected[i].id) << i;
        EXPECT_EQ(items[i].bytes, expected[i].bytes) << i;
        EXPECT_EQ(items[i].rank, expected[i].rank) << i;
        EXPECT_EQ(items[i].node == nullptr, !expected[i].rank) << i;
    }
}

std::vector<int64_t> repeated(size_t count, int64_t size) { return std::vector<int64_t>(count, size); }
}  // namespace

TEST(MapItemSplit, EdgeCases) {
    struct Case {
        const char* name;
        FileNode node;
        int limit;
        std::vector<Expected> expected;
        std::string remainderLabel;
    };
    std::vector<Expected> thirty;
    for (int i = 0; i < 28; ++i) thirty.push_back({"/d/f" + std::to_string(i), 1000, i});
    std::vector<Expected> thirtyWithRest = thirty;
    thirtyWithRest.insert(thirtyWithRest.begin() + 0, {"/d/…", 2000, std::nullopt});
    std::vector<Expected> thirtyTiny = thirty;

    const Case cases[] = {
        {"size 0", folder("/d", files("/d", {0, 0})), 28, {}, ""},
        {"a file", file("/d/a.bin", 500), 28, {{"/d/a.bin/…", 500, std::nullopt}}, L("小文件")},
        {"all below size / 400",
         folder("/d", files("/d", {500, 500, 500}), 400000),
         28,
         {{"/d/…", 401500, std::nullopt}},
         L("其余 %@ 项", 3)},
        {"30 children, limit 28", folder("/d", files("/d", repeated(30, 1000))), 28, thirtyWithRest,
         L("其余 %@ 项", 2)},
        {"hidden children within size / 400",
         folder("/d", files("/d",
                            [] {
                                auto sizes = repeated(28, 1000);
                                sizes.insert(sizes.end(), {1, 1});
                                return sizes;
                            }())),
         28, thirtyTiny, ""},
        {"limit 0", folder("/d", files("/d", {600, 400})), 0, {{"/d/…", 1000, std::nullopt}}, L("其余 %@ 项", 2)},
        // The remainder sorts ahead of smaller kept children; a child below
        // size / 400 takes no rank.
        {"remainder in front",
         folder("/d", files("/d", {5000, 1000, 9}), 3000),
         28,
         {{"/d/f0", 5000, 0}, {"/d/…", 3009, std::nullopt}, {"/d/f1", 1000, 1}},
         L("其余 %@ 项", 1)},
        {"400 bytes, 399 kept",
         folder("/d", files("/d", {200, 199}), 1),
         28,
         {{"/d/f0", 200, 0}, {"/d/f1", 199, 1}},
         ""},
        {"rest equal to a child keeps the child first",
         folder("/d", files("/d", {600, 200}), 200),
         28,
         {{"/d/f0", 600, 0}, {"/d/f1", 200, 1}, {"/d/…", 200, std::nullopt}},
         L("小文件")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<MapItem> items = Treemap::split(shared(c.node), c.limit);
        expectItems(items, c.expected);
        for (const MapItem& item : items) {
            if (!item.rank) {
                EXPECT_EQ(item.label, c.remainderLabel);
            }
        }
    }
    EXPECT_TRUE(Treemap::split(nullptr, 28).empty());
}

TEST(MapItemSplit, ItemsKeepTheirTreeAlive) {
    std::shared_ptr<const FileNode> root = shared(folder("/d", files("/d", {700, 300})));
    const std::vector<MapItem> items = Treemap::split(root, 28);
    root.reset();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1].node->path, "/d/f1");
    EXPECT_EQ(items[1].label, "f1");
}

TEST(MapItemSwatch, RanksAndGreys) {
    const auto& data = Theme::data();
    EXPECT_EQ(MapItem::swatch(0), data[0]);
    EXPECT_EQ(MapItem::swatch(7), data[7]);
    const Swatch remainder = MapItem::swatch(std::nullopt);
    EXPECT_DOUBLE_EQ(remainder.red, 0.25);
    EXPECT_DOUBLE_EQ(remainder.green, 0.24790136411332633);
    EXPECT_DOUBLE_EQ(remainder.blue, 0.2426547743966422);
    for (int rank : {8, 30, -1}) {
        const Swatch overflow = MapItem::swatch(rank);
        EXPECT_DOUBLE_EQ(overflow.red, 0.42) << rank;
        EXPECT_DOUBLE_EQ(overflow.green, 0.41647429171038824) << rank;
        EXPECT_DOUBLE_EQ(overflow.blue, 0.4076600209863589) << rank;
    }
}

TEST(LayoutCache, BuildsOncePerKey) {
    LayoutCache<int> cache;
    int builds = 0;
    auto build = [&] { return ++builds; };
    EXPECT_EQ(cache.get("", build), 1);  // a fresh cache stores nothing, even for the empty key
    EXPECT_EQ(cache.get("", build), 1);
    EXPECT_EQ(cache.get("a", build), 2);
    EXPECT_EQ(cache.get("b", build), 3);
    EXPECT_EQ(cache.get("a", build), 4);  // one entry: alternating keys rebuild
    EXPECT_EQ(builds, 4);
}

TEST(LayoutCache, KeysTruncateTheViewSize) {
    const FileNode node = folder("/home/u", files("/home/u", {1234}));
    EXPECT_EQ(MapKeys::layout(node, {820.9, 680.2}), "/home/u|1234|820x680");
    EXPECT_EQ(MapKeys::terrain(node), "/home/u|1234");
}

// The first nested cell has index 0: moving onto it from its blob, or back,
// is a change the map animates, never mistaken for no nested cell.
TEST(MapHover, TheFirstNestedCellIsAChangeFromItsBlob) {
    using H = std::optional<MapHover>;
    const std::tuple<H, H, std::optional<MapMotion::Animation>> cases[] = {
        {MapHover{2, std::nullopt}, MapHover{2, 0}, MapMotion::step},
        {MapHover{2, 0}, MapHover{2, std::nullopt}, MapMotion::step},
        {MapHover{2, 0}, MapHover{2, 0}, std::nullopt},
        {MapHover{2, 0}, MapHover{3, 0}, MapMotion::swap},
        {std::nullopt, MapHover{0, std::nullopt}, MapMotion::swap},
    };
    for (const auto& [from, to, expected] : cases) EXPECT_EQ(VoronoiMap::motion(from, to), expected);
}

TEST(MapMotion, EaseOutRunsAheadAndEndsAtTheDuration) {
    EXPECT_DOUBLE_EQ(MapMotion::swap.duration, 0.22);
    EXPECT_DOUBLE_EQ(MapMotion::step.duration, 0.14);
    EXPECT_EQ(MapMotion::step.progress(-1), 0);
    EXPECT_EQ(MapMotion::step.progress(0.14), 1);
    EXPECT_EQ(MapMotion::step.progress(5), 1);
    EXPECT_EQ((MapMotion::Animation{0}.progress(0)), 1);
    double previous = 0;
    for (double t = 0.05; t < 1; t += 0.05) {
        const double eased = MapMotion::easeOut(t);
        EXPECT_GT(eased, t);
        EXPECT_GT(eased, previous);
        previous = eased;
    }
}

TEST(Graphemes, CutsBetweenClustersOnly) {
    const std::string accented = "e\xCC\x81";                     // e + combining acute
    const std::string flag = "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA";  // two regional indicators
    const std::string text = accented + flag + "文件" + "\xFF" + "z";
    EXPECT_EQ(Graphemes::count(text), 6u);
    EXPECT_EQ(Graphemes::prefix(text, 1), accented);
    EXPECT_EQ(Graphemes::prefix(text, 2), accented + flag);
    EXPECT_EQ(Graphemes::prefix(text, 4), accented + flag + "文件");
    EXPECT_EQ(Graphemes::prefix(text, 5), accented + flag + "文件\xFF");
    EXPECT_EQ(Graphemes::suffix(text, 2), "\xFFz");
    EXPECT_EQ(Graphemes::prefix(text, 99), text);
    EXPECT_EQ(Graphemes::count(""), 0u);
}

TEST(MapPill, Content) {
    testing_support::ScopedHome home;
    const FileNode report = file(home.home() + "/Documents/report.pdf", 2000);
    const FileNode docs = folder(home.home() + "/Documents", {report});
    struct Case {
        MapItem item;
        int64_t total;
        MapPillContent expected;
    };
    const Case cases[] = {
        {{report.path, shared(report), report.name, 2000, 0},
         8000,
         {"doc", "~/Documents/report.pdf", "2 KB", "25%", {}}},
        {{docs.path, shared(docs), docs.name, 1000, 0}, 3000, {"folder", "~/Documents", "1 KB", "33.3%", {}}},
        {{docs.path + "/…", nullptr, L("小文件"), 2000, std::nullopt}, 0, {"folder", L("小文件"), "2 KB", "0%", {}}},
    };
    for (const Case& c : cases) EXPECT_EQ(MapPill::content(c.item, c.total), c.expected);
    EXPECT_EQ(MapPill::content(cases[0].item, 8000, "3 days ago").note, "3 days ago");
}

TEST(MapPill, LayoutElidesOnlyTheName) {
    const Size view{400, 300};
    const MapPillLayout fits = MapPill::layout({"doc", "~/a.txt", "2 KB", "25%", {}}, view, measure);
    const double row = 12 + 8 + measure("~/a.txt", MapPill::callout).width + 8 +
                       measure("2 KB", {12, MapFont::Weight::semibold, true}).width + 8 +
                       measure("25%", MapPill::callout).width;
    EXPECT_EQ(fits.capsule, Rect(12, 300 - 12 - 26, 26 + row, 26));  // 12-point line plus 7 above and below
    EXPECT_EQ(fits.radius, 13);
    ASSERT_EQ(fits.texts.size(), 3u);
    EXPECT_EQ(fits.texts[0].text, "~/a.txt");
    EXPECT_EQ(fits.texts[2].color, MapPill::secondary);

    const std::string longName = "~/" + std::string(200, 'x') + "/end.bin";
    const MapPillLayout elided = MapPill::layout({"doc", longName, "2 KB", "25%", std::string("note")}, view, measure);
    EXPECT_LE(elided.capsule.maxX(), 400 - 12);
    ASSERT_EQ(elided.texts.size(), 4u);
    EXPECT_TRUE(elided.texts[0].text.starts_with("~/x"));
    EXPECT_TRUE(elided.texts[0].text.ends_with("x/end.bin"));
    EXPECT_NE(elided.texts[0].text.find("…"), std::string::npos);
    EXPECT_EQ(elided.texts[1].text, "2 KB");
    EXPECT_EQ(elided.texts[3].text, "note");
    // The bisection finds the widest cut: one more cluster would not fit.
    EXPECT_GT(elided.capsule.maxX() + 6, 400 - 12);
}
