#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <chrono>
#include <cstdlib>

#include "ui/maps/TerrainView.hpp"

namespace {

using namespace std::chrono_literals;

const Date now = Date{} + 24h * 20000;

FileNode entry(const std::string& path, int64_t size, int daysAgo, std::vector<FileNode> children = {}) {
    FileNode node;
    node.path = path;
    node.name = path.substr(path.rfind('/') + 1);
    node.size = size;
    node.fileCount = 1;
    node.modified = now - 24h * daysAgo;
    if (!children.empty()) {
        node.isDirectory = true;
        node.size = 0;
        for (const FileNode& child : children) node.size += child.size;
        node.children = std::move(children);
    }
    return node;
}

// A home of a few folders, two of them untouched for a year.
std::shared_ptr<const FileNode> home() {
    const int64_t g = 1'000'000'000;
    auto folder = [&](const std::string& name, int64_t size, int days) {
        return entry("/home/u/" + name, 0, days,
                     {entry("/home/u/" + name + "/a", size / 2, days), entry("/home/u/" + name + "/b", size / 3, days),
                      entry("/home/u/" + name + "/c", size / 6, days)});
    };
    return std::make_shared<const FileNode>(
        entry("/home/u", 0, 1,
              {folder("Library", 42 * g, 2), folder("Downloads", 18 * g, 3), folder("Movies", 14 * g, 400),
               folder("Documents", 9 * g, 10), folder("Archive", 6 * g, 500), entry("/home/u/disk.img", 4 * g, 30),
               folder("Pictures", 3 * g, 20)}));
}

void save(TerrainView& view, const char* name) {
    if (const char* folder = std::getenv("OSTREVANE_TERRAIN_PNG"))
        view.grab().save(QString::fromUtf8(folder) + "/" + name);
}

}  // namespace

TEST(TerrainView, HoverNamesTheMountainAndATapOpensItsFolder) {
    TerrainView view;
    view.clock = [] { return now; };
    view.animated = false;
    view.resize(900, 640);
    view.setNode(home());
    const std::shared_ptr<const TerrainModel> model = view.model();
    ASSERT_TRUE(model);
    ASSERT_FALSE(model->regions.empty());
    EXPECT_EQ(model->regions[0].item.label, "Library");
    EXPECT_FALSE(model->trees.empty());
    save(view, "terrain-rest.png");

    const IsoProjection projection = IsoProjection::fit(*model, {900, 640});
    const Point summit = model->regions[1].summit;
    const Point onScreen = projection.project(summit, model->terrace(summit));
    view.hoverAt({onScreen.x, onScreen.y + 2});
    EXPECT_EQ(view.hover(), 1);
    save(view, "terrain-hover.png");

    std::string opened;
    view.onOpen = [&](const FileNode& node) { opened = node.path; };
    view.grab();
    QPointF point(onScreen.x, onScreen.y + 2);
    QMouseEvent press(QEvent::MouseButtonPress, point, view.mapToGlobal(point), Qt::LeftButton, Qt::LeftButton, {});
    QMouseEvent release(QEvent::MouseButtonRelease, point, view.mapToGlobal(point), Qt::LeftButton, {}, {});
    QCoreApplication::sendEvent(&view, &press);
    QCoreApplication::sendEvent(&view, &release);
    EXPECT_EQ(opened, "/home/u/Downloads");

    view.hoverAt({2, 2});
    EXPECT_EQ(view.hover(), std::nullopt);
}

TEST(TerrainView, ARegionLitInAdvanceLooksExactlyAsDrawingItsLines) {
    // Every region hovered twice: before the view had idle time to light the
    // regions (its lines are stroked on the spot) and after (a prepared patch
    // covers the resting drawing). The two must agree to the byte.
    TerrainView view;
    view.clock = [] { return now; };
    view.animated = false;
    view.resize(900, 640);
    view.setNode(home());
    const size_t regions = view.model()->regions.size();
    ASSERT_GE(regions, 5u);
    std::vector<QImage> drawn;
    for (size_t region = 0; region < regions; ++region) {
        view.hoverRegion(int(region));
        drawn.push_back(view.grab().toImage());
    }
    ASSERT_FALSE(view.regionsLit());
    for (int turn = 0; turn < 1000 && !view.regionsLit(); ++turn) QCoreApplication::processEvents();
    ASSERT_TRUE(view.regionsLit());
    for (size_t region = 0; region < regions; ++region) {
        view.hoverRegion(std::nullopt);
        view.hoverRegion(int(region));
        EXPECT_TRUE(view.grab().toImage() == drawn[region]) << "region " << region;
    }
    // A resize lights the regions again for the new size.
    view.resize(700, 560);
    view.grab();
    EXPECT_FALSE(view.regionsLit());
}
