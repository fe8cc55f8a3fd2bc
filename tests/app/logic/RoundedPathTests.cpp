#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "maps/BrandMarkCells.hpp"
#include "maps/RoundedPath.hpp"

namespace {
using Kind = PathSegment::Kind;

std::vector<PathSegment> ofKind(const PathSegments& path, Kind kind) {
    std::vector<PathSegment> found;
    std::copy_if(path.begin(), path.end(), std::back_inserter(found), [&](const auto& s) { return s.kind == kind; });
    return found;
}

double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

TEST(RoundedPath, TooFewDistinctPointsGiveNothing) {
    EXPECT_TRUE(VoronoiMap::roundedPath({{0, 0}, {10, 0}}, 5).empty());
    EXPECT_TRUE(VoronoiMap::roundedPath({{0, 0}, {10, 0}, {10.5, 0.2}}, 5).empty());
    EXPECT_TRUE(VoronoiMap::roundedPath({{0, 0}, {10, 0}, {0.3, 0.3}}, 5).empty());
}

TEST(RoundedPath, SquareCornersGetTheFullRadiusTangentToBothEdges) {
    const PointList square{{0, 0}, {100, 0}, {100, 100}, {0, 100}};
    const PathSegments path = VoronoiMap::roundedPath(square, 10);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front().kind, Kind::move);
    EXPECT_EQ(path.front().to, (Point{0, 50}));
    EXPECT_EQ(path.back().kind, Kind::close);
    const auto arcs = ofKind(path, Kind::arc);
    ASSERT_EQ(arcs.size(), 4u);
    for (size_t i = 0; i < arcs.size(); ++i) {
        const PathSegment& arc = arcs[i];
        EXPECT_NEAR(arc.radius, 10, 1e-9);
        EXPECT_NEAR(std::fabs(arc.sweep), M_PI / 2, 1e-9);
        // The arc ends on the outgoing edge 10 from the corner, and its centre is 10 in from both edges.
        const Point corner = square[i];
        EXPECT_NEAR(distance(arc.to, corner), 10, 1e-9);
        EXPECT_NEAR(std::fabs(arc.center.x - corner.x), 10, 1e-9);
        EXPECT_NEAR(std::fabs(arc.center.y - corner.y), 10, 1e-9);
        const Point start{arc.center.x + 10 * std::cos(arc.startAngle), arc.center.y + 10 * std::sin(arc.startAngle)};
        EXPECT_NEAR(distance(start, corner), 10, 1e-9);
    }
}

TEST(RoundedPath, OrientationAndAClosingRepeatDoNotMatter) {
    const PointList triangle{{0, 0}, {120, 10}, {40, 90}};
    const PointList reversed{{40, 90}, {120, 10}, {0, 0}};
    const PointList ring{{0, 0}, {120, 10}, {40, 90}, {0.2, 0.1}};
    auto centres = [](const PointList& points) {
        std::vector<std::pair<double, double>> found;
        for (const auto& arc : ofKind(VoronoiMap::roundedPath(points, 12), Kind::arc)) {
            found.emplace_back(std::round(arc.center.x * 1e6), std::round(arc.center.y * 1e6));
        }
        std::sort(found.begin(), found.end());
        return found;
    };
    EXPECT_EQ(centres(triangle).size(), 3u);
    EXPECT_EQ(centres(triangle), centres(reversed));
    EXPECT_EQ(VoronoiMap::roundedPath(ring, 12), VoronoiMap::roundedPath(triangle, 12));
}

TEST(RoundedPath, SharpCornersWhereTheRadiusWouldBeTiny) {
    // A sliver: the two acute corners allow radii far below 0.6, the blunt one the full radius.
    const PointList sliver{{0, 0}, {200, 0}, {100, 2}};
    const PathSegments path = VoronoiMap::roundedPath(sliver, 5);
    const auto arcs = ofKind(path, Kind::arc);
    ASSERT_EQ(arcs.size(), 1u);
    EXPECT_NEAR(arcs[0].radius, 5, 1e-9);
    const auto lines = ofKind(path, Kind::line);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const auto& s) { return s.to == Point{0, 0}; }));
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const auto& s) { return s.to == Point{200, 0}; }));
}

TEST(RoundedPath, StraightCornerStaysAStraightEdge) {
    const PathSegments path = VoronoiMap::roundedPath({{0, 0}, {50, 0}, {100, 0}, {100, 100}, {0, 100}}, 10);
    EXPECT_EQ(ofKind(path, Kind::arc).size(), 4u);
    for (const auto& segment : path) {
        EXPECT_TRUE(std::isfinite(segment.to.x) && std::isfinite(segment.to.y));
    }
}

TEST(BrandMark, SixCellsOfThePowerDiagram) {
    const std::vector<std::vector<Point>> expected = {
        {{0, 0.5737}, {0.2552, 0.7209}, {0.5233, 0.7125}, {0.7516, 0.4043}, {0.6573, 0}, {0, 0}},
        {{0.7516, 0.4043}, {1, 0.4319}, {1, 0}, {0.6573, 0}},
        {{0.7516, 0.4043}, {0.5233, 0.7125}, {0.5596, 0.7913}, {0.8326, 1}, {1, 1}, {1, 0.4319}},
        {{0.5596, 0.7913}, {0.5233, 0.7125}, {0.2552, 0.7209}, {0.1505, 1}, {0.4794, 1}},
        {{0.2552, 0.7209}, {0, 0.5737}, {0, 1}, {0.1505, 1}},
        {{0.5596, 0.7913}, {0.4794, 1}, {0.8326, 1}},
    };
    const auto& cells = BrandMarkCells::cells();
    ASSERT_EQ(cells.size(), expected.size());
    for (size_t i = 0; i < cells.size(); ++i) {
        EXPECT_EQ(cells[i].accent, i == 4) << "cell " << i;
        ASSERT_EQ(cells[i].points.size(), expected[i].size()) << "cell " << i;
        for (size_t j = 0; j < expected[i].size(); ++j) {
            EXPECT_NEAR(cells[i].points[j].x, expected[i][j].x, 5e-5) << "cell " << i << " point " << j;
            EXPECT_NEAR(cells[i].points[j].y, expected[i][j].y, 5e-5) << "cell " << i << " point " << j;
        }
    }
}

TEST(BrandMark, SidebarSizeRoundsWithAtMostATenthOfTheSide) {
    const auto shapes = BrandMarkCells::shapes(22);
    EXPECT_EQ(shapes.size(), 6u);
    for (const auto& shape : shapes) {
        for (const auto& arc : ofKind(shape.path, Kind::arc)) EXPECT_LE(arc.radius, 2.2 + 1e-12);
    }
}
}  // namespace
