#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

#include "geometry/Geometry.hpp"

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

const PointList unitSquare{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
const PointList square10{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
const PointList map{{0, 0}, {1000, 0}, {1000, 700}, {0, 700}};
// A convex hexagon that is neither a rectangle nor symmetric.
const PointList hexagon{{200, 0}, {640, 40}, {800, 330}, {560, 620}, {120, 560}, {0, 250}};

void expectRect(const Rect& r, double x, double y, double w, double h) {
    EXPECT_NEAR(r.origin.x, x, 1e-12);
    EXPECT_NEAR(r.origin.y, y, 1e-12);
    EXPECT_NEAR(r.size.width, w, 1e-12);
    EXPECT_NEAR(r.size.height, h, 1e-12);
}

/// Long-tailed weights in a fixed random order, like a folder's children.
std::vector<double> folderWeights(int n) {
    std::vector<double> weights;
    unsigned state = 12345;
    for (int i = 0; i < n; ++i) {
        state = state * 1103515245u + 12345u;
        const double u = ((state >> 8) % 10000 + 1) / 10001.0;
        weights.push_back(1000.0 / std::pow(u, 0.7));
    }
    return weights;
}

double areaError(const std::vector<PointList>& cells, const std::vector<double>& weights, double total) {
    const double sum = std::accumulate(weights.begin(), weights.end(), 0.0);
    double error = 0;
    for (std::size_t i = 0; i < cells.size(); ++i)
        error += std::fabs(Polygon::area(cells[i]) - total * weights[i] / sum);
    return error / total;
}

/// Whether p lies in the convex polygon, allowing for rounding on its edges.
bool insideConvex(const PointList& polygon, Point p, double slack) {
    const double sign = Polygon::signedArea(polygon) >= 0 ? 1 : -1;
    Point a = polygon.back();
    for (const Point& b : polygon) {
        const double ex = b.x - a.x, ey = b.y - a.y;
        const double side = sign * (ex * (p.y - a.y) - ey * (p.x - a.x)) / std::hypot(ex, ey);
        if (side < -slack) return false;
        a = b;
    }
    return true;
}

/// Every cell is a real polygon inside the outer one, and together they cover
/// its area exactly once.
void expectTiling(const std::vector<PointList>& cells, const PointList& polygon) {
    const double total = Polygon::area(polygon);
    double sum = 0;
    for (const PointList& cell : cells) {
        ASSERT_GE(cell.size(), 3u);
        sum += Polygon::area(cell);
        for (const Point& p : cell) EXPECT_TRUE(insideConvex(polygon, p, 1e-7)) << p.x << "," << p.y;
    }
    EXPECT_NEAR(sum, total, total * 1e-9);
}

/// The layout done the plain way: every clip of every cell carried out in
/// index order with Polygon::clip, one cell after another. The library's
/// shortcuts must not change a bit of the result.
std::vector<PointList> plainLayout(const std::vector<double>& weights, const PointList& polygon, int iterations,
                                   double tolerance) {
    const std::size_t n = weights.size();
    const double area = Polygon::area(polygon);
    double total = 0;
    for (double w : weights) total += w > 0 ? w : 0;
    const double floor = std::max(0.003 * total, 1e-12);
    std::vector<double> raised, target;
    for (double w : weights) raised.push_back(std::max(w, floor));
    const double sum = std::accumulate(raised.begin(), raised.end(), 0.0);
    for (double w : raised) target.push_back(area * w / sum);

    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](auto l, auto r) { return raised[l] > raised[r]; });
    std::vector<double> ordered;
    for (std::size_t i : order) ordered.push_back(raised[i]);
    const auto rects = Squarify::layout(ordered, Polygon::bounds(polygon));
    const Point c = Polygon::centroid(polygon);
    std::vector<Point> sites(n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = order[k];
        Point p{rects[k].midX() + (double(i % 7) - 3) * 0.013, rects[k].midY() + (double(i % 5) - 2) * 0.017};
        for (int move = 0; move < 14 && !Polygon::contains(polygon, p); ++move)
            p = {(c.x + p.x) * 0.5, (c.y + p.y) * 0.5};
        sites[i] = p;
    }
    std::vector<double> power(n, area / double(n) * 0.5);

    auto powerCells = [&] {
        std::vector<PointList> cells;
        for (std::size_t i = 0; i < n; ++i) {
            PointList cell = polygon;
            for (std::size_t k = 0; k < n && cell.size() >= 3; ++k) {
                if (k == i) continue;
                const Point si = sites[i], sk = sites[k];
                cell = Polygon::clip(cell, 2 * (sk.x - si.x), 2 * (sk.y - si.y),
                                     (sk.x * sk.x + sk.y * sk.y) - (si.x * si.x + si.y * si.y) + power[i] - power[k]);
            }
            cells.push_back(cell.size() >= 3 ? cell : PointList{});
        }
        return cells;
    };
    auto fixOverweighted = [&] {
        for (int pass = 0; pass < 40; ++pass) {
            bool changed = false;
            for (std::size_t i = 0; i < n; ++i) {
                for (std::size_t j = i + 1; j < n; ++j) {
                    const double dx = sites[i].x - sites[j].x, dy = sites[i].y - sites[j].y;
                    const double d2 = dx * dx + dy * dy;
                    if (d2 < std::fabs(power[i] - power[j])) {
                        double& larger = power[i] > power[j] ? power[i] : power[j];
                        larger = std::max(0.001, d2 + std::min(power[i], power[j]) - 0.001);
                        changed = true;
                    }
                }
            }
            if (!changed) break;
        }
    };

    auto cells = powerCells();
    auto best = cells;
    double bestError = std::numeric_limits<double>::infinity();
    for (int it = 0; it < iterations; ++it) {
        for (std::size_t i = 0; i < n; ++i)
            if (cells[i].size() >= 3) sites[i] = Polygon::centroid(cells[i]);
        fixOverweighted();
        const auto candidate = powerCells();
        std::vector<double> areas;
        double error = 0;
        bool complete = true;
        for (std::size_t i = 0; i < n; ++i) {
            areas.push_back(Polygon::area(candidate[i]));
            error += std::fabs(areas[i] - target[i]);
            complete = complete && candidate[i].size() >= 3;
        }
        error /= area;
        if (error < bestError && complete) {
            best = candidate;
            bestError = error;
        }
        if (error < tolerance) break;
        const double maxWeight = *std::max_element(power.begin(), power.end());
        const double g = std::max(0.5 * (1 - double(it) / 45), 0.08);
        for (std::size_t i = 0; i < n; ++i) {
            power[i] = areas[i] < 1e-9 ? maxWeight
                                       : std::max(power[i] * std::clamp(target[i] / areas[i], 1 - g, 1 + g), 0.001);
        }
        fixOverweighted();
        cells = powerCells();
    }
    return best;
}

}  // namespace

// Squarify

TEST(Squarify, DegenerateInputs) {
    EXPECT_TRUE(Squarify::layout({}, Rect(0, 0, 10, 10)).empty());
    EXPECT_EQ(Squarify::layout({0, 0}, Rect(0, 0, 10, 10)), std::vector<Rect>(2));
    EXPECT_EQ(Squarify::layout({1}, Rect(0, 0, 1, 100)), std::vector<Rect>(1));
    EXPECT_EQ(Squarify::layout({1, 2}, Rect(0, 0, 100, 1)), std::vector<Rect>(2));
    EXPECT_EQ(Squarify::layout({-3, 1}, Rect(0, 0, 100, 100)), std::vector<Rect>(2));
    EXPECT_EQ(Squarify::layout({notANumber, 1}, Rect(0, 0, 100, 100)), std::vector<Rect>(2));
}

TEST(Squarify, ClassicExample) {
    const auto rects = Squarify::layout({6, 6, 4, 3, 2, 2, 1}, Rect(0, 0, 6, 4));
    ASSERT_EQ(rects.size(), 7u);
    expectRect(rects[0], 0, 0, 3, 2);
    expectRect(rects[1], 0, 2, 3, 2);
    expectRect(rects[2], 3, 0, 12.0 / 7, 7.0 / 3);
    expectRect(rects[3], 33.0 / 7, 0, 9.0 / 7, 7.0 / 3);
    expectRect(rects[4], 3, 7.0 / 3, 1.2, 5.0 / 3);
    expectRect(rects[5], 4.2, 7.0 / 3, 1.2, 5.0 / 3);
    expectRect(rects[6], 5.4, 7.0 / 3, 0.6, 5.0 / 3);
}

TEST(Squarify, KeepsTheOrderOfUnsortedValuesAndFillsTheRectangle) {
    const std::vector<double> values{1, 6, 2, 6, 3, 0, 4, 2};
    const Rect frame(10, 20, 60, 40);
    const auto rects = Squarify::layout(values, frame);
    ASSERT_EQ(rects.size(), values.size());
    double covered = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_NEAR(rects[i].width() * rects[i].height(), values[i] * 100, 1e-9) << i;
        EXPECT_GE(rects[i].minX(), frame.minX() - 1e-9);
        EXPECT_GE(rects[i].minY(), frame.minY() - 1e-9);
        EXPECT_LE(rects[i].maxX(), frame.maxX() + 1e-9);
        EXPECT_LE(rects[i].maxY(), frame.maxY() + 1e-9);
        covered += rects[i].width() * rects[i].height();
    }
    EXPECT_NEAR(covered, frame.width() * frame.height(), 1e-9);
}

TEST(Squarify, ReadsAFlippedRectangleInStandardForm) {
    const auto flipped = Squarify::layout({6, 6, 4, 3, 2, 2, 1}, Rect(6, 4, -6, -4));
    const auto plain = Squarify::layout({6, 6, 4, 3, 2, 2, 1}, Rect(0, 0, 6, 4));
    EXPECT_EQ(flipped, plain);
}

// Polygon

TEST(Polygon, AreasAndOrientation) {
    EXPECT_EQ(Polygon::signedArea(unitSquare), 1);
    const PointList reversed(unitSquare.rbegin(), unitSquare.rend());
    EXPECT_EQ(Polygon::signedArea(reversed), -1);
    EXPECT_EQ(Polygon::area(unitSquare), 1);
    EXPECT_EQ(Polygon::area(reversed), 1);
    EXPECT_EQ(Polygon::signedArea({{0, 0}, {5, 5}}), 0);
    EXPECT_EQ(Polygon::area({}), 0);
}

TEST(Polygon, Centroid) {
    EXPECT_EQ(Polygon::centroid({}), (Point{0, 0}));
    EXPECT_EQ(Polygon::centroid({{0, 0}, {4, 2}}), (Point{2, 1}));
    EXPECT_EQ(Polygon::centroid({{0, 0}, {1, 1}, {5, 5}}), (Point{2, 2}));
    const Point c = Polygon::centroid({{0, 0}, {6, 0}, {0, 3}});
    EXPECT_NEAR(c.x, 2, 1e-12);
    EXPECT_NEAR(c.y, 1, 1e-12);
    const PointList reversedTriangle{{0, 3}, {6, 0}, {0, 0}};
    EXPECT_NEAR(Polygon::centroid(reversedTriangle).x, 2, 1e-12);
}

TEST(Polygon, BoundsAndContains) {
    EXPECT_EQ(Polygon::bounds({}), Rect());
    EXPECT_EQ(Polygon::bounds(hexagon), Rect(0, 0, 800, 620));
    EXPECT_TRUE(Polygon::contains(hexagon, {400, 300}));
    EXPECT_FALSE(Polygon::contains(hexagon, {20, 20}));
    EXPECT_FALSE(Polygon::contains({{0, 0}, {10, 10}}, {5, 5}));
    const PointList lShape{{0, 0}, {10, 0}, {10, 4}, {4, 4}, {4, 10}, {0, 10}};
    EXPECT_TRUE(Polygon::contains(lShape, {2, 8}));
    EXPECT_FALSE(Polygon::contains(lShape, {8, 8}));
}

TEST(Polygon, ClipKeepsTheLowerHalfPlaneInEdgeOrder) {
    EXPECT_EQ(Polygon::clip(unitSquare, 1, 0, 0.5), (PointList{{0, 0}, {0.5, 0}, {0.5, 1}, {0, 1}}));
    EXPECT_EQ(Polygon::clip(unitSquare, 1, 0, 5), unitSquare);
    EXPECT_TRUE(Polygon::clip(unitSquare, 1, 0, -1).empty());
    EXPECT_TRUE(Polygon::clip({}, 1, 0, 0).empty());
    EXPECT_EQ(Polygon::clip(unitSquare, 1, 1, 0.5), (PointList{{0, 0.5}, {0, 0}, {0.5, 0}}));
    // A point on the line counts as inside, and the crossing of the edge that
    // leaves from it repeats it.
    EXPECT_EQ(Polygon::clip(unitSquare, 1, 1, 1), (PointList{{0, 0}, {1, 0}, {1, 0}, {0, 1}, {0, 1}}));
}

TEST(Polygon, Inset) {
    EXPECT_EQ(Polygon::inset(square10, 2), (PointList{{2, 8}, {2, 2}, {8, 2}, {8, 8}}));
    EXPECT_TRUE(Polygon::inset(square10, 5).empty());
    EXPECT_TRUE(Polygon::inset(square10, 7).empty());
    EXPECT_EQ(Polygon::inset(square10, 0), square10);
    EXPECT_EQ(Polygon::inset(square10, -3), square10);
    EXPECT_TRUE(Polygon::inset({{0, 0}, {3, 3}}, 0).empty());

    // Clockwise input shrinks inwards too.
    const PointList clockwise(square10.rbegin(), square10.rend());
    EXPECT_NEAR(Polygon::area(Polygon::inset(clockwise, 2)), 36, 1e-9);

    // A repeated point (an edge of length 0) is skipped.
    const PointList repeated{{0, 0}, {10, 0}, {10, 0}, {10, 10}, {0, 10}};
    EXPECT_NEAR(Polygon::area(Polygon::inset(repeated, 1)), 64, 1e-9);

    const PointList shrunk = Polygon::inset(hexagon, 10);
    ASSERT_GE(shrunk.size(), 3u);
    for (const Point& p : shrunk) EXPECT_TRUE(insideConvex(hexagon, p, -10 + 1e-9));
}

TEST(Polygon, Inradius) {
    EXPECT_NEAR(Polygon::inradius(square10), 5, 1e-12);
    EXPECT_EQ(Polygon::inradius({{0, 0}, {1, 1}}), 0);
}

TEST(Polygon, SmoothDoublesThePointsPerPass) {
    const PointList once = Polygon::smooth(square10, 1);
    ASSERT_EQ(once.size(), 8u);
    EXPECT_EQ(once[0], (Point{0, 7.5}));
    EXPECT_EQ(once[1], (Point{0, 2.5}));
    EXPECT_EQ(Polygon::smooth(square10, 2).size(), 16u);
    EXPECT_EQ(Polygon::smooth(square10, 0), square10);
    const PointList two{{0, 0}, {1, 1}};
    EXPECT_EQ(Polygon::smooth(two, 3), two);
}

TEST(Polygon, Spans) {
    EXPECT_EQ(Polygon::horizontalSpan(square10, 11), std::nullopt);
    EXPECT_EQ(Polygon::horizontalSpan(square10, 4), (ClosedRange{0, 10}));
    EXPECT_EQ(Polygon::verticalSpan(square10, 3), (ClosedRange{0, 10}));
    EXPECT_EQ(Polygon::verticalSpan(square10, -1), std::nullopt);
    EXPECT_EQ(Polygon::horizontalSpan({{0, 0}, {1, 1}}, 0.5), std::nullopt);

    // At the height of a horizontal edge only the edges crossing it strictly
    // count: here the slanted edge meeting the top at x = 5 and the vertical one.
    const PointList house{{0, 0}, {10, 0}, {10, 10}, {5, 10}, {0, 5}};
    EXPECT_EQ(Polygon::horizontalSpan(house, 10), std::nullopt);
    const auto atFive = Polygon::horizontalSpan(house, 5);
    ASSERT_TRUE(atFive);
    EXPECT_EQ(*atFive, (ClosedRange{0, 10}));

    const PointList triangle{{0, 0}, {8, 0}, {0, 4}};
    EXPECT_EQ(Polygon::horizontalSpan(triangle, 2), (ClosedRange{0, 4}));
    EXPECT_EQ(Polygon::verticalSpan(triangle, 4), (ClosedRange{0, 2}));
}

TEST(Polygon, ConvexHull) {
    EXPECT_EQ(Polygon::convexHull({{0, 10}, {10, 0}, {5, 5}, {0, 0}, {10, 10}}),
              (PointList{{0, 0}, {10, 0}, {10, 10}, {0, 10}}));
    EXPECT_EQ(Polygon::convexHull({{3, 1}, {1, 2}}), (PointList{{1, 2}, {3, 1}}));
    // Collinear points are dropped.
    EXPECT_EQ(Polygon::convexHull({{0, 0}, {5, 0}, {10, 0}, {5, 5}}), (PointList{{0, 0}, {10, 0}, {5, 5}}));
}

// VoronoiTreemap

TEST(VoronoiTreemap, DegenerateInputs) {
    EXPECT_TRUE(VoronoiTreemap::layout({}, map, 50, 0.01).empty());
    EXPECT_EQ(VoronoiTreemap::layout({1, 2, 3}, {{0, 0}, {10, 10}}, 50, 0.01), std::vector<PointList>(3));
    EXPECT_EQ(VoronoiTreemap::layout({1, 2}, unitSquare, 50, 0.01), std::vector<PointList>(2));
    EXPECT_EQ(VoronoiTreemap::layout({1, 2}, {{0, 0}, {100, 0}, {200, 0}}, 50, 0.01), std::vector<PointList>(2));
    EXPECT_EQ(VoronoiTreemap::layout({7}, hexagon, 50, 0.01), std::vector<PointList>{hexagon});
}

TEST(VoronoiTreemap, TwoEqualWeightsHalveTheSquare) {
    const auto cells = VoronoiTreemap::layout({1, 1}, square10, 50, 0.01);
    ASSERT_EQ(cells.size(), 2u);
    expectTiling(cells, square10);
    EXPECT_NEAR(Polygon::area(cells[0]), 50, 0.5);
    EXPECT_NEAR(Polygon::area(cells[1]), 50, 0.5);
}

TEST(VoronoiTreemap, WithoutIterationsGivesThePlainVoronoiDiagramOfTheSeeds) {
    // The seeds are the squarified centres nudged by their index offsets.
    const auto rects = Squarify::layout({1, 1}, Rect(0, 0, 10, 10));
    const Point s0{rects[0].midX() - 0.039, rects[0].midY() - 0.034};
    const Point s1{rects[1].midX() - 0.026, rects[1].midY() - 0.017};
    const auto cells = VoronoiTreemap::layout({1, 1}, square10, 0, 0.01);
    ASSERT_EQ(cells.size(), 2u);
    expectTiling(cells, square10);
    auto d = [](Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); };
    for (const Point& p : cells[0]) EXPECT_LE(d(p, s0), d(p, s1) + 1e-9);
    for (const Point& p : cells[1]) EXPECT_LE(d(p, s1), d(p, s0) + 1e-9);
    EXPECT_EQ(VoronoiTreemap::layout({1, 1}, square10, -5, 0.01), cells);
}

TEST(VoronoiTreemap, ZeroWeightsAreRaisedToTheFloor) {
    const auto cells = VoronoiTreemap::layout({0, 0, 5}, map, 90, 0.01);
    ASSERT_EQ(cells.size(), 3u);
    expectTiling(cells, map);
    const double total = 700000;
    const double error = std::fabs(Polygon::area(cells[0]) - total * 0.015 / 5.03) +
                         std::fabs(Polygon::area(cells[1]) - total * 0.015 / 5.03) +
                         std::fabs(Polygon::area(cells[2]) - total * 5 / 5.03);
    EXPECT_LT(error / total, 0.01);

    // All weights zero (or not numbers): every cell gets the same share.
    for (const auto& weights : {std::vector<double>{0, 0, 0, 0}, std::vector<double>{notANumber, notANumber, 0, -1}}) {
        const auto equal = VoronoiTreemap::layout(weights, map, 90, 0.01);
        expectTiling(equal, map);
        for (const PointList& cell : equal) EXPECT_NEAR(Polygon::area(cell), total / 4, total * 0.01);
    }
}

TEST(VoronoiTreemap, VeryUnevenWeights) {
    const std::vector<double> weights{1, 10000, 1, 1, 1, 1};
    const auto cells = VoronoiTreemap::layout(weights, map, 90, 0.01);
    expectTiling(cells, map);
    // The small ones are raised to 0.3 % of the total; the large one keeps
    // nearly everything.
    const double total = 700000;
    const double floor = 0.003 * 10005;
    const double sum = 10000 + 5 * floor;
    EXPECT_NEAR(Polygon::area(cells[1]), total * 10000 / sum, total * 0.01);
    for (std::size_t i : {0, 2, 3, 4, 5}) EXPECT_NEAR(Polygon::area(cells[i]), total * floor / sum, total * 0.005);
}

TEST(VoronoiTreemap, TilesRectanglesAndConvexPolygonsCloseToTheTargets) {
    for (int n : {2, 5, 20, 60}) {
        const auto weights = folderWeights(n);
        for (const PointList& polygon : {map, hexagon, PointList(hexagon.rbegin(), hexagon.rend())}) {
            SCOPED_TRACE(n);
            const auto cells = VoronoiTreemap::layout(weights, polygon, 90, 0.01);
            ASSERT_EQ(cells.size(), weights.size());
            expectTiling(cells, polygon);
            EXPECT_LT(areaError(cells, weights, Polygon::area(polygon)), 0.05);
        }
    }
}

TEST(VoronoiTreemap, IsDeterministicAndSeedsEqualWeightsInIndexOrder) {
    const auto weights = folderWeights(40);
    EXPECT_EQ(VoronoiTreemap::layout(weights, hexagon, 60, 0.01), VoronoiTreemap::layout(weights, hexagon, 60, 0.01));

    // Equal weights: without iterations cell i holds the i-th squarified
    // rectangle's centre (the rectangles are filled column by column).
    const std::vector<double> equal(4, 1.0);
    const auto cells = VoronoiTreemap::layout(equal, square10, 0, 0.01);
    const auto rects = Squarify::layout(equal, Rect(0, 0, 10, 10));
    for (std::size_t i = 0; i < 4; ++i) EXPECT_TRUE(Polygon::contains(cells[i], {rects[i].midX(), rects[i].midY()}));
}

TEST(VoronoiTreemap, KeepsTheBestIteration) {
    // Without the early stop, each run is a prefix of the next longer one, so
    // the error of what comes back never grows with the iteration limit.
    const auto weights = folderWeights(25);
    const double total = Polygon::area(hexagon);
    double previous = std::numeric_limits<double>::infinity();
    for (int iterations = 1; iterations <= 40; ++iterations) {
        const double error = areaError(VoronoiTreemap::layout(weights, hexagon, iterations, 0), weights, total);
        EXPECT_LE(error, previous) << iterations;
        previous = error;
    }
}

TEST(VoronoiTreemap, StopsOnceTheErrorIsWithinTolerance) {
    const auto weights = folderWeights(12);
    EXPECT_EQ(VoronoiTreemap::layout(weights, map, 80, 10), VoronoiTreemap::layout(weights, map, 1, 0));
}

TEST(VoronoiTreemap, PullsSeedsIntoANonConvexPolygon) {
    // The third weight's squarified centre lies in the L's notch; halfway
    // towards the centroid it is inside. Without iterations the cells are the
    // plain Voronoi cells of the seeds, which shows where they were put.
    const PointList lShape{{0, 0}, {100, 0}, {100, 60}, {60, 60}, {60, 100}, {0, 100}};
    const auto rects = Squarify::layout({10, 1, 1}, Rect(0, 0, 100, 100));
    const Point outside{rects[2].midX() - 0.013, rects[2].midY()};
    ASSERT_FALSE(Polygon::contains(lShape, outside));
    const Point c = Polygon::centroid(lShape);
    const std::vector<Point> seeds{{rects[0].midX() - 0.039, rects[0].midY() - 0.034},
                                   {rects[1].midX() - 0.026, rects[1].midY() - 0.017},
                                   {(c.x + outside.x) * 0.5, (c.y + outside.y) * 0.5}};
    ASSERT_TRUE(Polygon::contains(lShape, seeds[2]));

    const auto cells = VoronoiTreemap::layout({10, 1, 1}, lShape, 0, 0.01);
    ASSERT_EQ(cells.size(), 3u);
    double sum = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_GE(cells[i].size(), 3u);
        sum += Polygon::area(cells[i]);
        for (const Point& p : cells[i]) {
            const double own = std::hypot(p.x - seeds[i].x, p.y - seeds[i].y);
            for (const Point& other : seeds) EXPECT_LE(own, std::hypot(p.x - other.x, p.y - other.y) + 1e-9) << i;
        }
    }
    EXPECT_NEAR(sum, Polygon::area(lShape), 1e-6);
}

TEST(VoronoiTreemap, MatchesThePlainComputationExactly) {
    // Sizes on both sides of the point where the cells are shared out over
    // threads, both orientations of a non-rectangular polygon, and a
    // non-convex one, where a line can cross a cell more than twice, and one
    // of many points.
    const PointList comb{{0, 0},     {900, 0},   {900, 600}, {600, 600}, {600, 150}, {450, 150},
                         {450, 600}, {300, 600}, {300, 150}, {150, 150}, {150, 600}, {0, 600}};
    for (int n : {3, 17, 45, 120}) {
        const auto weights = folderWeights(n);
        for (const PointList& polygon :
             {map, PointList(hexagon.rbegin(), hexagon.rend()), comb, Polygon::smooth(hexagon, 5)}) {
            SCOPED_TRACE(n);
            EXPECT_EQ(VoronoiTreemap::layout(weights, polygon, 25, 0.001), plainLayout(weights, polygon, 25, 0.001));
        }
    }
}
