#include <unordered_map>

#include "maps/TerrainModel.hpp"

namespace {

constexpr int grid = TerrainModel::gridSize;
constexpr int cells = grid - 1;
constexpr double last = cells;

// A point of a cell polygon, named by what it lies on, so the two cells that
// share a crossing agree on it whatever rounding each computed: a grid vertex
// (id divisible by 3) or the horizontal (+1) or vertical (+2) grid edge that
// starts at a vertex. The point is in grid units.
struct Node {
    long id = 0;
    Point grid;

    bool isCrossing() const { return id % 3 != 0; }
};

struct Edge {
    Node from, to;
};

long vertexId(int col, int row) { return long(row * grid + col) * 3; }

Point toWorld(Point grid) { return {grid.x * TerrainModel::spacing, grid.y * TerrainModel::spacing}; }

/// A cell's polygon at or above `level`, walking corners (col, row),
/// (col + 1, row), (col + 1, row + 1), (col, row + 1): each inside corner,
/// then the crossing on the edge to the next corner when exactly one end is inside.
struct CellWalk {
    std::vector<Node> nodes;
    int inside = 0;

    CellWalk(const std::vector<double>& heights, int col, int row, double level) {
        static constexpr int dx[4] = {0, 1, 1, 0}, dy[4] = {0, 0, 1, 1};
        // The grid edge from corner i to corner i + 1: its first vertex and kind.
        static constexpr int ex[4] = {0, 1, 0, 0}, ey[4] = {0, 0, 1, 0}, kind[4] = {1, 2, 1, 2};
        double h[4];
        for (int i = 0; i < 4; ++i) {
            h[i] = heights[size_t((row + dy[i]) * grid + col + dx[i])];
            inside += level <= h[i];
        }
        if (inside == 0 || inside == 4) return;
        for (int i = 0; i < 4; ++i) {
            const int j = (i + 1) % 4;
            const Point from{double(col + dx[i]), double(row + dy[i])}, to{double(col + dx[j]), double(row + dy[j])};
            const bool in = level <= h[i];
            if (in) nodes.push_back({vertexId(col + dx[i], row + dy[i]), from});
            if (in == (level <= h[j])) continue;
            const double t = (level - h[i]) / (h[j] - h[i]);
            nodes.push_back({vertexId(col + ex[i], row + ey[i]) + kind[i],
                             {from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t}});
        }
    }
};

void addPartial(TerrainModel::Level& out, const CellWalk& walk, const std::vector<int>& owners) {
    if (walk.nodes.empty()) return;
    PointList polygon;
    std::vector<Point> crossings;
    int owner = -2;
    for (const Node& node : walk.nodes) {
        polygon.push_back(toWorld(node.grid));
        if (node.isCrossing())
            crossings.push_back(polygon.back());
        else if (owner == -2)
            owner = owners[size_t(node.id / 3)];
    }
    if (polygon.size() > 2) out.fills.push_back(std::move(polygon));
    for (size_t k = 0; k + 1 < crossings.size(); k += 2) out.lines.push_back({crossings[k], crossings[k + 1], owner});
}

void addRun(TerrainModel::Level& out, int start, int end, int row) {
    const double x0 = start * TerrainModel::spacing, x1 = end * TerrainModel::spacing;
    const double y0 = row * TerrainModel::spacing, y1 = (row + 1) * TerrainModel::spacing;
    out.fills.push_back({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
}

bool onBorder(Point a, Point b) {
    return (a.x == 0 && b.x == 0) || (a.x == last && b.x == last) || (a.y == 0 && b.y == 0) ||
           (a.y == last && b.y == last);
}

/// The edges of a cell polygon that bound the whole area: cuts between two
/// crossings, and edges along the world's border.
void addBoundary(const std::vector<Node>& nodes, std::vector<Edge>& out) {
    for (size_t i = 0; i < nodes.size(); ++i) {
        const Node& a = nodes[i];
        const Node& b = nodes[(i + 1) % nodes.size()];
        if ((a.isCrossing() && b.isCrossing()) || onBorder(a.grid, b.grid)) out.push_back({a, b});
    }
}

std::vector<Node> fullCell(int col, int row) {
    return {{vertexId(col, row), {double(col), double(row)}},
            {vertexId(col + 1, row), {double(col + 1), double(row)}},
            {vertexId(col + 1, row + 1), {double(col + 1), double(row + 1)}},
            {vertexId(col, row + 1), {double(col), double(row + 1)}}};
}

std::vector<PointList> chain(const std::vector<Edge>& edges) {
    std::unordered_map<long, size_t> leaving;
    for (size_t i = 0; i < edges.size(); ++i) leaving.emplace(edges[i].from.id, i);
    std::vector<bool> used(edges.size(), false);
    std::vector<PointList> loops;
    for (size_t start = 0; start < edges.size(); ++start) {
        PointList loop;
        for (size_t at = start; !used[at];) {
            used[at] = true;
            loop.push_back(toWorld(edges[at].from.grid));
            const auto next = leaving.find(edges[at].to.id);
            if (next == leaving.end()) break;
            at = next->second;
        }
        if (loop.size() > 2) loops.push_back(std::move(loop));
    }
    return loops;
}

}  // namespace

namespace TerrainContours {

TerrainModel::Level level(const std::vector<double>& heights, const std::vector<int>& owners, double height) {
    TerrainModel::Level out;
    for (int row = 0; row < cells; ++row) {
        int col = 0;
        while (col < cells) {
            CellWalk walk(heights, col, row, height);
            if (walk.inside == 4) {
                const int start = col++;
                while (col < cells && (walk = CellWalk(heights, col, row, height)).inside == 4) ++col;
                addRun(out, start, col, row);
                if (col == cells) break;
            }
            // The first cell after a run is not full: it is handled at once.
            addPartial(out, walk, owners);
            ++col;
        }
    }
    return out;
}

std::vector<TerrainModel::Level> levels(const std::vector<double>& heights, const std::vector<int>& owners) {
    std::vector<TerrainModel::Level> found;
    for (int k = 1; k <= TerrainModel::maxLevels; ++k) {
        TerrainModel::Level next = level(heights, owners, TerrainModel::levelStep * k);
        if (next.fills.empty()) break;
        found.push_back(std::move(next));
    }
    return found;
}

std::vector<PointList> outline(const std::vector<double>& heights, double height) {
    std::vector<Edge> edges;
    for (int row = 0; row < cells; ++row) {
        for (int col = 0; col < cells; ++col) {
            const CellWalk walk(heights, col, row, height);
            const bool border = row == 0 || col == 0 || row == cells - 1 || col == cells - 1;
            if (walk.inside == 4 && border)
                addBoundary(fullCell(col, row), edges);
            else
                addBoundary(walk.nodes, edges);
        }
    }
    return chain(edges);
}

}  // namespace TerrainContours
