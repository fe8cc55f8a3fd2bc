#include "maps/BrandMarkCells.hpp"

namespace {
struct Site {
    double x, y, weight;
    bool accent;
};

// A 1024-unit design space with y pointing up.
constexpr Site sites[] = {
    {420, 620, 62000, false}, {720, 690, 9000, false}, {690, 420, 18000, false},
    {430, 300, 4000, false},  {270, 360, 0, true},     {560, 250, -6000, false},
};
constexpr double squareOrigin = 184;
constexpr double squareSide = 656;

/// The part of the design square where site i's power distance is not above any other's.
PointList powerCell(size_t i) {
    const double top = squareOrigin + squareSide;
    PointList polygon{{squareOrigin, squareOrigin}, {top, squareOrigin}, {top, top}, {squareOrigin, top}};
    const Site& s = sites[i];
    for (size_t j = 0; j < std::size(sites); ++j) {
        if (j == i) continue;
        const Site& o = sites[j];
        polygon = Polygon::clip(polygon, 2 * (o.x - s.x), 2 * (o.y - s.y),
                                (o.x * o.x + o.y * o.y) - (s.x * s.x + s.y * s.y) + s.weight - o.weight);
    }
    return polygon;
}

std::vector<BrandCell> computeCells() {
    std::vector<BrandCell> cells;
    for (size_t i = 0; i < std::size(sites); ++i) {
        PointList polygon = powerCell(i);
        if (polygon.size() < 3) continue;
        for (Point& point : polygon) {
            point = {(point.x - squareOrigin) / squareSide, (squareOrigin + squareSide - point.y) / squareSide};
        }
        cells.push_back({std::move(polygon), sites[i].accent});
    }
    return cells;
}
}  // namespace

namespace BrandMarkCells {
const std::vector<BrandCell>& cells() {
    static const std::vector<BrandCell> computed = computeCells();
    return computed;
}

std::vector<BrandCellShape> shapes(double size) {
    std::vector<BrandCellShape> shapes;
    for (const BrandCell& cell : cells()) {
        PointList scaled = cell.points;
        for (Point& point : scaled) point = {point.x * size, point.y * size};
        PointList inset = Polygon::inset(scaled, size * 0.032);
        if (inset.size() < 3) continue;
        shapes.push_back({VoronoiMap::roundedPath(inset, size * 0.1), cell.accent});
    }
    return shapes;
}
}  // namespace BrandMarkCells
